#include "support/messageboxes.h"

namespace testsupport {

MessageBoxes::MessageBoxes() {
    platform::setMessageBoxHandler([this](const platform::MessageBoxRequest& request) {
        shown_.push_back(request);
        if (onShow_)
            onShow_(request);
        return static_cast<int>(platform::vbOK);
    });
}

MessageBoxes::~MessageBoxes() {
    platform::setMessageBoxHandler({});
}

} // namespace testsupport
