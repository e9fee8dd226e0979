#pragma once

#include "platform/windows/processstart.h"

#include <QString>
#include <vector>

namespace testsupport {

// Takes over every process start while it lives: records the program instead of starting it,
// or fails the start with a run-time error when told to.
class ProcessStarts {
public:
    ProcessStarts();
    ~ProcessStarts();
    ProcessStarts(const ProcessStarts&) = delete;
    ProcessStarts& operator=(const ProcessStarts&) = delete;

    const std::vector<QString>& started() const { return started_; }
    int count() const { return static_cast<int>(started_.size()); }

    // From now on a start throws RuntimeError(number); 0 lets starts succeed again.
    void failWith(int number) { failWith_ = number; }

private:
    std::vector<QString> started_;
    int failWith_ = 0;
};

} // namespace testsupport
