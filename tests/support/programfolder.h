#pragma once

#include "platform/windows/forms.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace testsupport {

// A test fixture for the program's windows: a temporary program folder with an optional
// settings file, a window registry on it, and a reader for what the program wrote.
class ProgramFolderTest : public ::testing::Test {
protected:
    ProgramFolderTest();
    ~ProgramFolderTest() override;

    // The program's folder.
    QString folder() const { return dir_.path(); }
    QString iniPath() const { return dir_.path() + QStringLiteral("/Kalmora.ini"); }
    // Writes the settings file with exactly this text, in the bytes the program writes values in.
    void writeIni(const QString& text) const;
    // Creates an empty file in the program's folder (or below it).
    void touch(const QString& name) const;

    // The values of the settings file as "Section/Key" (written as the program wrote them)
    // -> value; an empty map without a file.
    std::map<QString, QString> readIni() const;

    platform::Forms& forms() { return *forms_; }
    // How often the last window was unloaded (the program's end).
    int ended() const { return ended_; }

private:
    QTemporaryDir dir_;
    std::unique_ptr<platform::Forms> forms_;
    int ended_ = 0;
};

// A settings file as "Section/Key" -> value, names and values trimmed; empty without a file.
std::map<QString, QString> readIniFile(const QString& path);

} // namespace testsupport
