#include "support/fakemounts.h"

#include "platform/files/filenames.h"
#include "platform/files/mounttable.h"

namespace testsupport {

QByteArray mountInfoLine(const QString& mountPoint, const QString& type) {
    static int id = 100;
    QByteArray escaped;
    for (const char c : platform::encodeName(mountPoint)) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\')
            escaped +=
                '\\' + QByteArray::number(static_cast<unsigned char>(c), 8).rightJustified(3, '0');
        else
            escaped += c;
    }
    ++id;
    return QByteArray::number(id) + " 1 8:1 / " + escaped +
           " rw,relatime shared:" + QByteArray::number(id) + " - " + type.toUtf8() +
           " /dev/sda1 rw\n";
}

FakeMounts::FakeMounts(std::initializer_list<std::pair<QString, QString>> mounts) {
    for (const auto& [mountPoint, type] : mounts)
        text_ += mountInfoLine(mountPoint, type);
    platform::setMountInfoSource([this] { return text_; });
}

FakeMounts::~FakeMounts() {
    platform::setMountInfoSource({});
}

void FakeMounts::add(const QString& mountPoint, const QString& type) {
    text_ += mountInfoLine(mountPoint, type);
}

} // namespace testsupport
