// The conversion run over copies of the public image corpora (kept beside the project, never in
// it): each folder converts exactly the files the loader reads, to JPEG files of their size, and
// leaves every source and nothing else behind. Skipped when the corpora are not there.
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "platform/controls/picturebox.h"
#include "platform/errors/runtimeerror.h"
#include "platform/gdi/gdi.h"
#include "platform/picture/loadpicture.h"
#include "support/decodedjpeg.h"
#include "support/hostilefolder.h"
#include "support/messageboxes.h"
#include "support/programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <iostream>

namespace {

QString corpora() {
    return QDir(qEnvironmentVariable("KALMORA_SOURCE_DIR")).filePath("../shared/corpora");
}

// What the loader makes of a file on its own: the picture's size, or nothing.
std::optional<QSize> loadedSize(const QString& path) {
    try {
        const platform::PictureDisp picture = platform::LoadPicture(path);
        gdi::BITMAP description{};
        gdi::GetObjectA(picture->Handle(), sizeof description, &description);
        return QSize(description.bmWidth, description.bmHeight);
    } catch (const platform::RuntimeError&) {
        return std::nullopt;
    }
}

class CorpusRun : public testsupport::ProgramFolderTest,
                  public ::testing::WithParamInterface<const char*> {};

TEST_P(CorpusRun, ConvertsWhatTheLoaderReadsAndKeepsEverySource) {
    const QDir corpus(QDir(corpora()).filePath(QString::fromLatin1(GetParam())));
    if (!corpus.exists())
        GTEST_SKIP() << "no image corpora at " << corpora().toStdString();
    QTemporaryDir copy;
    ASSERT_TRUE(copy.isValid());
    for (const QString& name : corpus.entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(corpus.filePath(name), copy.filePath(name))) << name.toStdString();
    const auto before = testsupport::HostileFolder::fingerprint(copy.path());

    testsupport::MessageBoxes boxes;
    frmMain& w = forms().show<frmMain>();
    w.Dateiliste->setPath(copy.path());
    w.Dateiliste->setPattern(QStringLiteral("*.*"));
    platform::setText(*w.Pfad, copy.path());
    QStringList names;
    for (int i = 0; i < w.Dateiliste->ListCount(); ++i)
        names.append(w.Dateiliste->List(i));
    ASSERT_EQ(names.size(), static_cast<int>(before.size()));
    const int objectsBefore = gdi::liveObjectCount();
    QTest::mouseClick(w.cmd_Save, Qt::LeftButton);
    w.Quelle->setPicture({});
    EXPECT_EQ(gdi::liveObjectCount(), objectsBefore);

    auto after = testsupport::HostileFolder::fingerprint(copy.path());
    int converted = 0;
    int tooLarge = 0;
    for (int index = 0; index < names.size(); ++index) {
        const QString output = QStringLiteral("Foto%1.jpg").arg(index, 3, 10, QLatin1Char('0'));
        const std::optional<QSize> size = loadedSize(copy.filePath(names[index]));
        SCOPED_TRACE(names[index].toStdString());
        // A JPEG file holds at most 65500 pixels each way; a larger picture gets a message.
        if (size && (size->width() > 65500 || size->height() > 65500)) {
            ++tooLarge;
            EXPECT_FALSE(after.contains(output));
            continue;
        }
        ASSERT_EQ(after.contains(output), size.has_value());
        if (!size)
            continue;
        ++converted;
        const auto decoded = testsupport::decodeJpegFile(copy.filePath(output));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(QSize(decoded->width, decoded->height), *size);
        after.erase(output);
    }
    EXPECT_EQ(boxes.count(), tooLarge);
    EXPECT_EQ(after, before);
    std::cout << GetParam() << ": " << converted << " of " << names.size() << " converted\n";
}

INSTANTIATE_TEST_SUITE_P(Corpora, CorpusRun,
                         ::testing::Values("bmp/good", "bmp/questionable", "bmp/bad", "gif",
                                           "jpeg-good", "jpeg-bad"),
                         [](const auto& info) {
                             QString name = QString::fromLatin1(info.param);
                             return name.replace(u'/', u'_').replace(u'-', u'_').toStdString();
                         });

} // namespace
