#pragma once

#include <QString>
#include <QTemporaryDir>
#include <cstddef>

namespace testsupport {

// Lets a test mount file systems without touching the machine's own mounts: the test runs again
// in a child copy of the test program inside a private mount namespace (`unshare -m`), whose
// mounts vanish with it.
//
//     TEST(Suite, Name) {
//         if (!testsupport::runsInPrivateMountNamespace())
//             return; // the child ran the test; its result is reported on this test
//         ... mount and test ...
//     }
//
// In the parent it runs the child, reports the child's failure or skip on the current test and
// returns false. It returns true only inside the child. Where namespaces or mounting are refused
// the test is skipped with the reason.
bool runsInPrivateMountNamespace();

// A tmpfs of a given size mounted on a fresh temporary folder while it lives; use it only inside
// runsInPrivateMountNamespace(). mounted() is false (and error() says why) when mounting failed.
class SmallTmpfs {
public:
    explicit SmallTmpfs(std::size_t bytes);
    ~SmallTmpfs();
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    const QString& error() const { return error_; }
    QString path() const { return folder_.path(); }
    QString filePath(const QString& name) const { return folder_.filePath(name); }

private:
    QTemporaryDir folder_;
    bool mounted_ = false;
    QString error_;
};

} // namespace testsupport
