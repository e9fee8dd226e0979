#include "support/processstarts.h"

#include "platform/errors/runtimeerror.h"

namespace testsupport {

ProcessStarts::ProcessStarts() {
    platform::setProcessStartHandler([this](const platform::ProcessStartRequest& request) {
        if (failWith_ != 0)
            throw platform::RuntimeError(failWith_);
        started_.push_back(request.program);
        return static_cast<qint64>(4242 + started_.size());
    });
}

ProcessStarts::~ProcessStarts() {
    platform::setProcessStartHandler({});
}

} // namespace testsupport
