#include "platform/registry/registry.h"
#include "platform/registry/systemregistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <gtest/gtest.h>

using namespace platform;

namespace {

void makeFile(const QString& path, bool executable) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    auto permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        permissions |= QFile::ExeOwner;
    ASSERT_TRUE(file.setPermissions(permissions));
}

// Sets PATH for the life of the object.
class PathVariable {
public:
    explicit PathVariable(const QString& value) : saved_(qgetenv("PATH")) {
        qputenv("PATH", value.toLocal8Bit());
    }
    ~PathVariable() { qputenv("PATH", saved_); }

private:
    QByteArray saved_;
};

QByteArray sysInfoPathValue() {
    HKEY key = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return "<no key>";
    const RegKey owned(key);
    std::array<std::uint8_t, 1024> data{};
    DWORD size = data.size();
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key, "PATH", nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return "<no value>";
    return QByteArray(reinterpret_cast<const char*>(data.data()), size);
}

class SystemRegistryTest : public ::testing::Test {
protected:
    void TearDown() override { registry::reset(); }
    QTemporaryDir dir;
};

TEST_F(SystemRegistryTest, FindsTheMostPreferredInstalledProgram) {
    const QString first = dir.filePath("a"), second = dir.filePath("b");
    ASSERT_TRUE(QDir().mkpath(first) && QDir().mkpath(second));
    makeFile(second + "/gnome-system-monitor", true);
    makeFile(first + "/kinfocenter", true);
    makeFile(second + "/hardinfo", false); // not a program: passed over
    EXPECT_EQ(findSystemInformationProgram({first, second}), first + "/kinfocenter");
    makeFile(second + "/hardinfo2", true);
    EXPECT_EQ(findSystemInformationProgram({first, second}), second + "/hardinfo2");
}

TEST_F(SystemRegistryTest, FindsNothingWhereNoneIsInstalled) {
    makeFile(dir.filePath("htop"), true);
    EXPECT_TRUE(findSystemInformationProgram({dir.path()}).isEmpty());
    EXPECT_TRUE(findSystemInformationProgram({dir.filePath("missing")}).isEmpty());
}

TEST_F(SystemRegistryTest, TheSystemEntryNamesTheProgramFoundOnThePath) {
    makeFile(dir.filePath("lshw-gtk"), true);
    {
        const PathVariable path(dir.filePath("missing") + ":" + dir.path());
        registry::reset();
    }
    EXPECT_EQ(sysInfoPathValue(), (dir.filePath("lshw-gtk").toLocal8Bit() + '\0'));

    HKEY key = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location", 0,
                            KEY_READ, &key),
              ERROR_FILE_NOT_FOUND)
        << "no folder here holds the Windows program file";
}

TEST_F(SystemRegistryTest, NoProgramNoEntry) {
    {
        const PathVariable path(dir.path());
        registry::reset();
    }
    EXPECT_EQ(sysInfoPathValue(), "<no key>");
}

} // namespace
