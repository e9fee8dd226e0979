#pragma once

#include <QString>
#include <functional>

namespace testsupport {

// Runs scenario on a small file system of its own, for failures that stop root too (a full disk,
// no inode left, a read-only mount). The current test is run again in a child process with a
// private mount namespace, where a fresh tmpfs mounted with options (such as "size=64k" or
// "nr_inodes=2") is handed to scenario as its folder; scenario's assertions run in the child,
// and the test fails when the child fails. Where the machine refuses the mount the test is
// skipped. Call it as the last statement of a test.
void onTmpfs(const QString& options, const std::function<void(const QString& folder)>& scenario);

} // namespace testsupport
