#include "platform/colour/lcmscontext.h"

#include <cstdlib>
#include <cstring>
#include <lcms2.h>
#include <lcms2_plugin.h>

namespace platform {

namespace {

// Each block starts with its size and the budget it was counted against (none for the few blocks
// the library takes for the context itself, before the context can name its budget).
struct alignas(std::max_align_t) BlockHeader {
    std::size_t size;
    LcmsContext::Budget* budget;
};

void* budgetedMalloc(cmsContext context, cmsUInt32Number size) {
    auto* budget = static_cast<LcmsContext::Budget*>(cmsGetContextUserData(context));
    if (budget && size > budget->limit - budget->used)
        return nullptr;
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (!header)
        return nullptr;
    *header = {size, budget};
    if (budget)
        budget->used += size;
    return header + 1;
}

void budgetedFree(cmsContext, void* block) {
    if (!block)
        return;
    auto* header = static_cast<BlockHeader*>(block) - 1;
    if (header->budget)
        header->budget->used -= header->size;
    std::free(header);
}

void* budgetedRealloc(cmsContext context, void* block, cmsUInt32Number size) {
    void* grown = budgetedMalloc(context, size);
    if (grown && block) {
        std::memcpy(grown, block,
                    std::min<std::size_t>(size, (static_cast<BlockHeader*>(block) - 1)->size));
        budgetedFree(context, block);
    }
    return grown;
}

cmsPluginMemHandler budgetedMemory = {
    {cmsPluginMagicNumber, LCMS_VERSION, cmsPluginMemHandlerSig, nullptr},
    budgetedMalloc,
    budgetedFree,
    budgetedRealloc,
    nullptr,
    nullptr,
    nullptr,
};

} // namespace

LcmsContext::LcmsContext(std::size_t budgetBytes) : budget_{budgetBytes, 0} {
    context_ = cmsCreateContext(&budgetedMemory, &budget_);
    if (context_)
        cmsSetLogErrorHandlerTHR(static_cast<cmsContext>(context_),
                                 [](cmsContext, cmsUInt32Number, const char*) {});
}

LcmsContext::~LcmsContext() {
    if (context_)
        cmsDeleteContext(static_cast<cmsContext>(context_));
}

void LcmsProfileClose::operator()(void* profile) const {
    cmsCloseProfile(profile);
}

void LcmsTransformDelete::operator()(void* transform) const {
    cmsDeleteTransform(transform);
}

} // namespace platform
