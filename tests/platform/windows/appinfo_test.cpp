// Installed or portable, decided by where the program sits.
#include "platform/windows/appinfo.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

namespace {

// The program's folder, what lies beside it (a folder when it ends in '/', else a file), and
// whether that makes an installed program.
const std::tuple<const char*, const char*, bool> layouts[] = {
    {"usr/bin", "usr/share/kalmora/", true}, {"usr/local/bin", "usr/local/share/kalmora/", true},
    {"build", "share/kalmora/", false},      {"opt/bin", "opt/share/kalmora2/", false},
    {"usr/bin", "usr/share/kalmora", false},
};

TEST(ProgramPlaces, InstalledOnlyBesideItsShareFolderThenInTheUsersFolders) {
    const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME");
    for (const auto& [folder, beside, installed] : layouts) {
        QTemporaryDir root;
        const QString program = root.filePath(folder), share = root.filePath(beside);
        ASSERT_TRUE(QDir().mkpath(program) && QDir().mkpath(QFileInfo(share).path()));
        ASSERT_TRUE(share.endsWith(u'/') || QFile(share).open(QIODevice::WriteOnly));
        qputenv("HOME", root.filePath("home").toUtf8());
        qputenv("XDG_CONFIG_HOME", "relative"); // invalid: the default holds
        const platform::ProgramPlaces places = platform::programPlaces(program);
        const QString settings = installed ? root.filePath("home/.config/Kalmora") : program;
        EXPECT_EQ(places.settingsFolder, settings) << folder << ' ' << beside;
        EXPECT_EQ(places.defaultFolder, installed ? root.filePath("home") : program); // no Pictures
        // Made private on the first write; a portable copy never makes its own folder again.
        ASSERT_TRUE(QDir(program).removeRecursively());
        places.makeSettingsFolder();
        EXPECT_EQ(QFileInfo(settings).isDir(), installed);
        for (const QString& made : {settings, QFileInfo(settings).path()})
            EXPECT_TRUE(!installed || (QFile::permissions(made) & 0x7077) == 0x7000);
    }
    qputenv("HOME", home);
    config.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
}

} // namespace
