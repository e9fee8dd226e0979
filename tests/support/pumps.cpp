#include "support/pumps.h"

#include "platform/windows/messagebox.h"

namespace testsupport {

Pumps::Pumps() {
    platform::setDoEventsObserver([this] {
        const int number = count_++;
        if (action_)
            action_(number);
    });
}

Pumps::~Pumps() {
    platform::setDoEventsObserver({});
}

} // namespace testsupport
