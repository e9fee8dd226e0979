// Installed or portable, decided by where the program sits.
#include "platform/files/filenames.h"
#include "platform/windows/settingslocation.h"
#include "support/qtprinters.h"

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <tuple>

namespace {

// The program's folder, what lies beside it (a folder when it ends in '/', else a file), and
// whether that makes an installed program.
const std::tuple<const char*, const char*, bool> layouts[] = {
    {"usr/bin", "usr/share/kalmora/", true}, {"usr/local/bin", "usr/local/share/kalmora/", true},
    {"build", "share/kalmora/", false},      {"opt/bin", "opt/share/kalmora2/", false},
    {"usr/bin", "usr/share/kalmora", false}, {"M\xe4rz/bin", "M\xe4rz/share/kalmora/", true},
};

// Folders by the bytes of their names, which need not be UTF-8.
std::filesystem::path onDisk(const QString& path) {
    return platform::encodeName(path).toStdString();
}

TEST(ProgramPlaces, InstalledOnlyBesideItsShareFolderThenInTheUsersFolders) {
    const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME");
    for (const auto& [folder, beside, installed] : layouts) {
        QTemporaryDir root;
        const QString program = root.filePath(platform::decodeName(folder));
        const QString share = root.filePath(platform::decodeName(beside));
        std::filesystem::create_directories(onDisk(program));
        std::filesystem::create_directories(onDisk(share).parent_path());
        ASSERT_TRUE(share.endsWith(u'/') || std::ofstream(onDisk(share)));
        qputenv("HOME", root.filePath("home").toUtf8());
        qputenv("XDG_CONFIG_HOME", "relative"); // invalid: the default holds
        const platform::ProgramPlaces places = platform::programPlaces(program);
        const QString settings = installed ? root.filePath("home/.config/Kalmora") : program;
        EXPECT_EQ(places.settingsFolder, settings) << folder << ' ' << beside;
        EXPECT_EQ(places.defaultFolder, installed ? root.filePath("home") : program); // no Pictures
        // Made private on the first write; a portable copy never makes its own folder again.
        ASSERT_TRUE(std::filesystem::remove_all(onDisk(program)) > 0);
        places.makeSettingsFolder();
        EXPECT_EQ(std::filesystem::is_directory(onDisk(settings)), installed);
        for (const auto& made : {onDisk(settings), onDisk(settings).parent_path()})
            EXPECT_TRUE(!installed || std::filesystem::status(made).permissions() ==
                                          std::filesystem::perms::owner_all);
        // By bytes: QTemporaryDir cannot remove a name that is not UTF-8.
        std::filesystem::remove_all(onDisk(root.path()));
    }
    qputenv("HOME", home);
    config.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
}

} // namespace
