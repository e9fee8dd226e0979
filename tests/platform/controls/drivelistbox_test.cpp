// The drive list: which drives it shows, its current drive and when it reports a change.
#include "platform/controls/drivelistbox.h"
#include "platform/errors/runtimeerror.h"
#include "support/errornumber.h"
#include "support/fakemounts.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QStringList shown(const platform::DriveListBox& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts.push_back(list.itemText(i));
    return texts;
}

using testsupport::errorNumber;

class DriveListBoxTest : public ::testing::Test {
protected:
    QTemporaryDir a, b;
    QString text(const QTemporaryDir& dir, const char* type) const {
        return dir.path() + " [" + type + "]";
    }
};

TEST_F(DriveListBoxTest, ShowsTheReadyDrivesAndStartsOnTheWorkingDirectorysDrive) {
    testsupport::FakeMounts mounts({{"/", "ext4"},
                                    {a.path(), "xfs"},
                                    {b.path(), "vfat"},
                                    {a.filePath("fehlt"), "nfs"},
                                    {"/proc", "proc"}});
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(b.path()));
    platform::DriveListBox list;
    QDir::setCurrent(saved);
    QStringList expected = {"/ [ext4]", text(a, "xfs"), text(b, "vfat")};
    expected.sort();
    EXPECT_EQ(shown(list), expected);
    EXPECT_EQ(list.Drive(), text(b, "vfat"));
    EXPECT_EQ(list.currentText(), list.Drive());
}

TEST_F(DriveListBoxTest, SettingTheDriveByTextOrPathReportsOnlyRealChanges) {
    testsupport::FakeMounts mounts({{"/", "ext4"}, {a.path(), "xfs"}});
    platform::DriveListBox list;
    ASSERT_EQ(list.Drive(), "/ [ext4]") << "the tests run on the root drive";
    QSignalSpy changes(&list, &platform::DriveListBox::Change);

    list.setDrive(a.path() + "/unter/ordner");
    EXPECT_EQ(list.Drive(), text(a, "xfs"));
    EXPECT_EQ(changes.count(), 1);
    list.setDrive(text(a, "xfs"));
    list.setDrive(a.path());
    EXPECT_EQ(changes.count(), 1) << "the drive it already shows";
    list.setDrive(QStringLiteral("/etc"));
    EXPECT_EQ(list.Drive(), "/ [ext4]");
    EXPECT_EQ(changes.count(), 2);
    mounts.add(b.path(), "vfat"); // since the list was read: it reads the drives again
    list.setDrive(b.path() + "/DCIM");
    EXPECT_EQ(list.Drive(), text(b, "vfat"));
}

TEST_F(DriveListBoxTest, ANameWithoutADriveFailsAndKeepsTheDrive) {
    testsupport::FakeMounts mounts({{a.path(), "xfs"}});
    platform::DriveListBox list;
    ASSERT_EQ(list.Drive(), text(a, "xfs")) << "no drive holds the working directory: the first";
    QSignalSpy changes(&list, &platform::DriveListBox::Change);
    for (const QString& name : {QStringLiteral("/etc"), QStringLiteral("relativ"), QString(),
                                QStringLiteral("\\\\server\\share")})
        EXPECT_EQ(errorNumber([&] { list.setDrive(name); }), platform::ErrDeviceUnavailable)
            << name.toStdString();
    EXPECT_EQ(list.Drive(), text(a, "xfs"));
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(DriveListBoxTest, AChoiceInTheListIsAChange) {
    testsupport::FakeMounts mounts({{"/", "ext4"}, {a.path(), "xfs"}});
    platform::DriveListBox list;
    QSignalSpy changes(&list, &platform::DriveListBox::Change);
    list.setCurrentIndex(list.findText(text(a, "xfs")));
    EXPECT_EQ(list.Drive(), text(a, "xfs"));
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(DriveListBoxTest, DroppingDownReadsTheDrivesAgainAndKeepsTheCurrentOne) {
    testsupport::FakeMounts mounts({{"/", "ext4"}, {a.path(), "xfs"}});
    platform::DriveListBox list;
    list.setDrive(a.path());
    mounts.add(b.path(), "ext4");
    QStringList expected = {"/ [ext4]", text(a, "xfs"), text(b, "ext4")};
    expected.sort();
    QSignalSpy changes(&list, &platform::DriveListBox::Change);
    list.showPopup();
    list.hidePopup();
    EXPECT_EQ(shown(list), expected);
    EXPECT_EQ(list.Drive(), text(a, "xfs"));

    // The current drive goes away: it stays shown until another one is chosen.
    const QString gone = text(a, "xfs");
    a.remove();
    list.showPopup();
    list.hidePopup();
    EXPECT_EQ(shown(list), expected);
    EXPECT_EQ(list.Drive(), gone);
    EXPECT_EQ(changes.count(), 0);
}

} // namespace
