#pragma once

#include "platform/errors/runtimeerror.h"

#include <new>
#include <utility>

namespace platform {

// The "go on with the next step" mode: each step runs through step(); a step that fails is
// abandoned, its error number is kept, and the caller goes on. number() tells the last failure,
// clear() forgets it. Handlers written this way read as the numbered steps they implement.
class ResumeNext {
public:
    template <class Step> bool step(Step&& body) noexcept {
        try {
            std::forward<Step>(body)();
            return true;
        } catch (const RuntimeError& e) {
            number_ = e.number();
        } catch (const std::bad_alloc&) {
            number_ = ErrOutOfMemory;
        } catch (...) {
            number_ = ErrInternal;
        }
        return false;
    }

    int number() const noexcept { return number_; }
    void clear() noexcept { number_ = 0; }

private:
    int number_ = 0;
};

} // namespace platform
