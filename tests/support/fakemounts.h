#pragma once

#include <QByteArray>
#include <QString>
#include <initializer_list>
#include <utility>

namespace testsupport {

// A mountinfo line for a mount point and a file-system type, written as the kernel writes it
// (blanks, tabs, newlines and backslashes in the mount point as octal escapes).
QByteArray mountInfoLine(const QString& mountPoint, const QString& type);

// Puts a mount table of the test's making in place of the kernel's while it lives.
class FakeMounts {
public:
    // (mount point, type) pairs, in the order the table lists them.
    explicit FakeMounts(std::initializer_list<std::pair<QString, QString>> mounts);
    ~FakeMounts();
    FakeMounts(const FakeMounts&) = delete;
    FakeMounts& operator=(const FakeMounts&) = delete;

    void add(const QString& mountPoint, const QString& type);

private:
    QByteArray text_;
};

} // namespace testsupport
