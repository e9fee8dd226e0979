#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testsupport {

// Everything in a folder, hidden entries included.
QStringList entriesOf(const QString& folder);
// A file's bytes; empty when it cannot be read.
QByteArray contentsOf(const QString& path);
// Writes a file whole; a failure fails the test.
void writeFile(const QString& path, const QByteArray& contents);

} // namespace testsupport
