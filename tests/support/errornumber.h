#pragma once

#include "platform/errors/runtimeerror.h"

#include <functional>

namespace testsupport {

// The number of the RuntimeError that `action` throws; 0 when it throws none.
inline int errorNumber(const std::function<void()>& action) {
    try {
        action();
    } catch (const platform::RuntimeError& error) {
        return error.number();
    }
    return 0;
}

} // namespace testsupport
