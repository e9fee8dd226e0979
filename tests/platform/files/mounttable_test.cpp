// The mount table and the drives made of it.
#include "platform/files/drives.h"
#include "platform/files/mounttable.h"
#include "support/fakemounts.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

namespace platform {
void PrintTo(const Mount& m, std::ostream* out) {
    *out << m.mountPoint.toStdString() << " [" << m.type.toStdString() << "]";
}
void PrintTo(const Drive& d, std::ostream* out) {
    *out << d.text().toStdString();
}
} // namespace platform

namespace {

using platform::Drive;
using platform::Mount;

// As a container and a desktop system list them, with optional fields of every kind and a
// mount point with escaped characters.
const QByteArray kMountInfo =
    "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
    "23 27 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
    "24 27 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw,size=12334792k,mode=755\n"
    "25 24 0:23 / /dev/shm rw,relatime - tmpfs tmpfs rw,size=24683784k\n"
    "26 24 0:24 / /dev/pts rw,relatime - devpts devpts rw,mode=600,ptmxmode=000\n"
    "27 1 254:0 / / rw,relatime - overlay overlay rw,lowerdir=/a:/b,upperdir=/c,workdir=/d\n"
    "31 23 0:28 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
    "41 31 0:38 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n"
    "50 27 8:2 / /home rw,relatime shared:2 master:1 - ext4 /dev/sda2 rw\n"
    "51 27 0:40 / /run rw,nosuid,nodev shared:5 - tmpfs tmpfs rw,size=1632976k,mode=755\n"
    "52 51 0:41 / /run/user/1000 rw,nosuid,nodev shared:6 - tmpfs tmpfs rw,mode=700\n"
    "53 52 0:42 / /run/user/1000/gvfs rw,nosuid,nodev - fuse.gvfsd-fuse gvfsd-fuse rw\n"
    "54 27 8:17 / /run/media/ann/USB\\040STICK rw,nosuid shared:7 - vfat /dev/sdb1 rw\n"
    "55 27 0:43 / /tmp rw,nosuid,nodev shared:8 - tmpfs tmpfs rw\n"
    "56 27 0:44 / /proc/sys/fs/binfmt_misc rw,relatime - binfmt_misc binfmt_misc rw\n"
    "57 27 8:3 / /mnt/back\\134slash\\011tab rw - xfs /dev/sda3 rw\n"
    "58 27 8:1 /etc/hosts /etc/hosts rw - ext4 /dev/sda1 rw\n"
    "59 27 0:45 / /mnt/net rw - nfs4 server:/export rw\n"
    "60 27 0:46 / /boot/efi rw - vfat /dev/sda4 rw\n"
    "broken line without fields\n"
    "61 27 0:47 / /no/separator rw ext4 /dev/sda5 rw\n"
    "62 27 0:48 / /mnt/net rw - autofs systemd-1 rw\n"; // hides the NFS mount below it

TEST(MountTable, ParsesEveryWellFormedLine) {
    const std::vector<Mount> mounts = platform::parseMountInfo(kMountInfo);
    ASSERT_EQ(mounts.size(), 20u);
    EXPECT_EQ(mounts[0], (Mount{"/proc", "proc"}));
    EXPECT_EQ(mounts[5], (Mount{"/", "overlay"}));
    EXPECT_EQ(mounts[8], (Mount{"/home", "ext4"})) << "two optional fields";
    EXPECT_EQ(mounts[12], (Mount{"/run/media/ann/USB STICK", "vfat"}));
    EXPECT_EQ(mounts[15], (Mount{"/mnt/back\\slash\ttab", "xfs"}));
    EXPECT_EQ(mounts[19], (Mount{"/mnt/net", "autofs"}));
}

TEST(MountTable, TheEscapesWrittenForAMountPointComeBack) {
    const QString odd = QStringLiteral("/mnt/a b\\c\td\ne ü");
    const std::vector<Mount> mounts =
        platform::parseMountInfo(testsupport::mountInfoLine(odd, QStringLiteral("ext4")));
    ASSERT_EQ(mounts.size(), 1u);
    EXPECT_EQ(mounts[0].mountPoint, odd);
}

struct UserFilesCase {
    const char* mountPoint;
    const char* type;
    bool holds;
};
void PrintTo(const UserFilesCase& c, std::ostream* out) {
    *out << c.mountPoint << ' ' << c.type;
}

class HoldsUserFiles : public ::testing::TestWithParam<UserFilesCase> {};

TEST_P(HoldsUserFiles, ByTypeAndPlace) {
    const UserFilesCase& c = GetParam();
    EXPECT_EQ(
        platform::holdsUserFiles({QString::fromUtf8(c.mountPoint), QString::fromUtf8(c.type)}),
        c.holds)
        << c.mountPoint << " " << c.type;
}

INSTANTIATE_TEST_SUITE_P(
    Mounts, HoldsUserFiles,
    ::testing::Values(
        UserFilesCase{"/", "overlay", true}, UserFilesCase{"/", "ext4", true},
        UserFilesCase{"/home", "btrfs", true}, UserFilesCase{"/tmp", "tmpfs", true},
        UserFilesCase{"/run/media/ann/STICK", "vfat", true},
        UserFilesCase{"/mnt/share", "cifs", true}, UserFilesCase{"/mnt/ram", "ramfs", true},
        UserFilesCase{"/runaway", "tmpfs", true}, UserFilesCase{"/devices", "ext4", true},
        UserFilesCase{"/run", "tmpfs", false}, UserFilesCase{"/run/user/1000", "tmpfs", false},
        UserFilesCase{"/run/lock", "tmpfs", false}, UserFilesCase{"/dev/shm", "tmpfs", false},
        UserFilesCase{"/dev", "devtmpfs", false}, UserFilesCase{"/sys/fs/cgroup", "tmpfs", false},
        UserFilesCase{"/proc", "proc", false}, UserFilesCase{"/sys", "sysfs", false},
        UserFilesCase{"/sys/fs/cgroup/cpu", "cgroup", false},
        UserFilesCase{"/sys/fs/cgroup/unified", "cgroup2", false},
        UserFilesCase{"/dev/pts", "devpts", false}, UserFilesCase{"/dev/mqueue", "mqueue", false},
        UserFilesCase{"/sys/kernel/debug", "debugfs", false},
        UserFilesCase{"/sys/kernel/tracing", "tracefs", false},
        UserFilesCase{"/sys/kernel/security", "securityfs", false},
        UserFilesCase{"/sys/fs/pstore", "pstore", false},
        UserFilesCase{"/sys/fs/bpf", "bpf", false}, UserFilesCase{"/mnt/auto", "autofs", false},
        UserFilesCase{"/sys/fs/fuse/connections", "fusectl", false},
        UserFilesCase{"/sys/kernel/config", "configfs", false},
        UserFilesCase{"/mnt/huge", "hugetlbfs", false},
        UserFilesCase{"/proc/sys/fs/binfmt_misc", "binfmt_misc", false},
        UserFilesCase{"relative", "ext4", false}));

TEST(Drives, AreTheMountsThatHoldUserFilesSortedAndOnePerMountPoint) {
    const std::vector<Drive> drives = platform::drivesOf(kMountInfo);
    const std::vector<Drive> expected = {
        {"/", "overlay"},
        {"/boot/efi", "vfat"},
        {"/etc/hosts", "ext4"}, // a bind-mounted file: the drive list leaves it out as not ready
        {"/home", "ext4"},
        {"/mnt/back\\slash\ttab", "xfs"},
        {"/run/media/ann/USB STICK", "vfat"},
        {"/tmp", "tmpfs"},
    };
    EXPECT_EQ(drives, expected);
}

TEST(Drives, TextIsTheMountPointThenTheType) {
    EXPECT_EQ((Drive{"/", "overlay"}).text(), "/ [overlay]");
    EXPECT_EQ((Drive{"/home", "ext4"}).text(), "/home [ext4]");
}

struct DriveOfCase {
    const char* text;
    const char* mountPoint; // nullptr: no drive
};
void PrintTo(const DriveOfCase& c, std::ostream* out) {
    *out << '"' << c.text << '"';
}

class DriveOf : public ::testing::TestWithParam<DriveOfCase> {};

TEST_P(DriveOf, TheLongestMountPointThatBeginsThePath) {
    const std::vector<Drive> drives = {
        {"/", "ext4"}, {"/home", "ext4"}, {"/home/ann/Fotos", "nfs"}, {"/media/a b", "vfat"}};
    const std::optional<Drive> found =
        platform::driveOf(drives, QString::fromUtf8(GetParam().text));
    if (!GetParam().mountPoint) {
        EXPECT_FALSE(found.has_value()) << found->text().toStdString();
        return;
    }
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->mountPoint, GetParam().mountPoint);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DriveOf,
    ::testing::Values(DriveOfCase{"/", "/"}, DriveOfCase{"/etc", "/"},
                      DriveOfCase{"/home", "/home"}, DriveOfCase{"/home/", "/home"},
                      DriveOfCase{"/home/ann", "/home"}, DriveOfCase{"/homes/ann", "/"},
                      DriveOfCase{"/home/ann/Fotos/2023", "/home/ann/Fotos"},
                      DriveOfCase{"/home/ann/Fotos2", "/home"},
                      DriveOfCase{"/home/ann/../ann/Fotos", "/home/ann/Fotos"},
                      DriveOfCase{"/home [ext4]", "/home"},
                      DriveOfCase{"/media/a b [vfat]", "/media/a b"},
                      DriveOfCase{"/media/a b/c", "/media/a b"},
                      DriveOfCase{"/home [xfs]", "/"}, // not a drive's text: a path below "/"
                      DriveOfCase{"home/ann", nullptr}, DriveOfCase{"", nullptr},
                      DriveOfCase{"\\\\server\\share", nullptr}));

TEST(DriveOf, NoDriveWithoutARoot) {
    const std::vector<Drive> drives = {{"/home", "ext4"}};
    EXPECT_FALSE(platform::driveOf(drives, QStringLiteral("/etc")).has_value());
    EXPECT_FALSE(platform::driveOf({}, QStringLiteral("/")).has_value());
}

TEST(Drives, TheCurrentFolderIsTheWorkingDirectoryOnItsDriveAndTheMountPointElsewhere) {
    QTemporaryDir work;
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    const std::vector<Drive> drives = {{"/", "ext4"}, {work.path(), "xfs"}, {"/home", "ext4"}};
    EXPECT_EQ(platform::currentFolder(drives, drives[1]), QDir::currentPath());
    EXPECT_EQ(platform::currentFolder(drives, drives[0]), "/");
    EXPECT_EQ(platform::currentFolder(drives, drives[2]), "/home");
    QDir::setCurrent(saved);
}

TEST(Drives, ReadyWhenTheMountPointCanBeOpened) {
    QTemporaryDir dir;
    EXPECT_TRUE(platform::isReady({dir.path(), "ext4"}));
    EXPECT_FALSE(platform::isReady({dir.filePath("gone"), "ext4"}));
}

TEST(Drives, TheSystemTableComesFromTheKernelUnlessATestHandsOneIn) {
    const std::vector<Drive> real = platform::systemDrives();
    EXPECT_TRUE(
        std::any_of(real.begin(), real.end(), [](const Drive& d) { return d.mountPoint == "/"; }));
    {
        testsupport::FakeMounts fake({{"/srv/daten", "ext4"}});
        EXPECT_EQ(platform::systemDrives(), (std::vector<Drive>{{"/srv/daten", "ext4"}}));
    }
    EXPECT_EQ(platform::systemDrives(), real);
}

} // namespace
