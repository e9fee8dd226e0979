#include "support/programfolder.h"

#include "platform/files/filenames.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>

namespace testsupport {

ProgramFolderTest::ProgramFolderTest() : forms_(std::make_unique<platform::Forms>(dir_.path())) {
    forms_->setLastWindowUnloaded([this] { ++ended_; });
}

ProgramFolderTest::~ProgramFolderTest() {
    platform::Forms::setModalHandler({});
    // Windows still loaded are discarded without their unload steps; unloaded ones wait for the
    // event loop.
    forms_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void ProgramFolderTest::writeIni(const QString& text) const {
    QFile file(iniPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(platform::encodeName(text));
}

void ProgramFolderTest::touch(const QString& name) const {
    const QString path = dir_.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

std::map<QString, QString> ProgramFolderTest::readIni() const {
    return readIniFile(iniPath());
}

std::map<QString, QString> readIniFile(const QString& path) {
    std::map<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    QString section;
    for (const QByteArray& bytes : file.readAll().split('\n')) {
        const QString line = platform::decodeName(bytes).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2).trimmed();
        } else if (const qsizetype eq = line.indexOf(u'='); eq > 0) {
            values[section + u'/' + line.left(eq).trimmed()] = line.mid(eq + 1).trimmed();
        }
    }
    return values;
}

} // namespace testsupport
