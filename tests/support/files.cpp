#include "support/files.h"

#include "platform/files/filenames.h"
#include "platform/files/wholefile.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace testsupport {

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

QByteArray contentsOf(const QString& path) {
    return QByteArray::fromStdString(
        platform::readWholeFile(platform::encodeName(path).toStdString()).data);
}

void writeFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(contents), contents.size()) << path.toStdString();
}

} // namespace testsupport
