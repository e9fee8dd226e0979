#include "fuzz/fuzztargets.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Every file of the committed seed corpus, the inputs that once made a fuzz target fail among
// them, goes through the target's code path in every build.
namespace {

using Target = std::string (*)(std::span<const std::uint8_t>);

struct Corpus {
    const char* folder;
    Target target;
};

class SeedCorpus : public ::testing::TestWithParam<Corpus> {};

TEST_P(SeedCorpus, EverySeedIsHandledSoundly) {
    const QDir folder(qEnvironmentVariable("KALMORA_SOURCE_DIR") +
                      QStringLiteral("/tests/data/fuzz-seeds/") +
                      QString::fromLatin1(GetParam().folder));
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 5) << "seed corpus missing: " << folder.path().toStdString();
    for (const QString& name : names) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = file.readAll();
        const std::string problem =
            GetParam().target({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                               static_cast<std::size_t>(bytes.size())});
        EXPECT_EQ(problem, "") << name.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, SeedCorpus,
                         ::testing::Values(Corpus{"picture", &fuzztargets::convertPicture},
                                           Corpus{"profile", &fuzztargets::readSettings}),
                         [](const auto& info) { return std::string(info.param.folder); });

} // namespace
