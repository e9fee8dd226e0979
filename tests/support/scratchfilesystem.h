#pragma once

#include <QString>
#include <functional>

namespace testsupport {

// Runs scenario on a small file system of its own, for conditions that stop root too (a full disk,
// no inode left, a read-only mount, a coarse clock). The current test is run again in a child
// process with a private mount namespace, where a fresh file system of the given type ("tmpfs",
// "ramfs", ...) mounted with options (such as "size=64k" or "nr_inodes=2") is handed to scenario
// as its folder; scenario's assertions run in the child, and the test fails when the child fails.
// Where the machine refuses the mount the test is skipped. Call it as the last statement of a
// test.
void onFileSystem(const QString& type, const QString& options,
                  const std::function<void(const QString& folder)>& scenario);

inline void onTmpfs(const QString& options,
                    const std::function<void(const QString& folder)>& scenario) {
    onFileSystem(QStringLiteral("tmpfs"), options, scenario);
}

// Runs scenario as an ordinary user, whom file permissions stop: run by root, the current test is
// run again in a child process that drops to the user "nobody" (setresuid) before it starts, and
// scenario runs there on files the child creates itself. Run by anyone else, scenario just runs.
// Call it as the last statement of a test.
void asOrdinaryUser(const std::function<void()>& scenario);

} // namespace testsupport
