#pragma once

#include <cstddef>
#include <memory>

namespace platform {

// A LittleCMS context of its own for one picture, whose allocations stop at a budget: a profile
// that claims huge tables makes the library fail cleanly instead of taking the memory. Handles
// are the library's own (cmsContext, cmsHPROFILE, cmsHTRANSFORM) held as void*, so that its
// header stays out of ours. Library errors are not printed anywhere: a failure is a null handle.
class LcmsContext {
public:
    explicit LcmsContext(std::size_t budgetBytes);
    ~LcmsContext();
    LcmsContext(const LcmsContext&) = delete;
    LcmsContext& operator=(const LcmsContext&) = delete;

    void* get() const { return context_; } // null when the context could not be made

    struct Budget {
        std::size_t limit = 0;
        std::size_t used = 0;
    };

private:
    Budget budget_;
    void* context_ = nullptr;
};

struct LcmsProfileClose {
    void operator()(void* profile) const;
};
using LcmsProfile = std::unique_ptr<void, LcmsProfileClose>;

struct LcmsTransformDelete {
    void operator()(void* transform) const;
};
using LcmsTransform = std::unique_ptr<void, LcmsTransformDelete>;

} // namespace platform
