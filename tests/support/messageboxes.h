#pragma once

#include "platform/windows/messagebox.h"

#include <functional>
#include <vector>

namespace testsupport {

// Answers every message box with OK while it lives, and keeps what was asked.
class MessageBoxes {
public:
    MessageBoxes();
    ~MessageBoxes();
    MessageBoxes(const MessageBoxes&) = delete;
    MessageBoxes& operator=(const MessageBoxes&) = delete;

    const std::vector<platform::MessageBoxRequest>& shown() const { return shown_; }
    int count() const { return static_cast<int>(shown_.size()); }
    void clear() { shown_.clear(); }

    // Runs while a box is "open" (after it was recorded, before it is answered).
    void onShow(std::function<void(const platform::MessageBoxRequest&)> action) {
        onShow_ = std::move(action);
    }

private:
    std::vector<platform::MessageBoxRequest> shown_;
    std::function<void(const platform::MessageBoxRequest&)> onShow_;
};

} // namespace testsupport
