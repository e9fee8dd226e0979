#pragma once

#include <functional>

namespace testsupport {

// Watches every DoEvents while it lives: counts them (from 0) and runs an action at the start of
// each one, before the pending messages are handled. What the action posts, that DoEvents
// delivers; what it does at once happens as a user's input between two steps would.
class Pumps {
public:
    Pumps();
    ~Pumps();
    Pumps(const Pumps&) = delete;
    Pumps& operator=(const Pumps&) = delete;

    int count() const { return count_; }
    // The action gets the number of the DoEvents it runs in.
    void onPump(std::function<void(int)> action) { action_ = std::move(action); }

private:
    int count_ = 0;
    std::function<void(int)> action_;
};

} // namespace testsupport
