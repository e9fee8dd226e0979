#include "fuzz/fuzztargets.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const std::string problem = fuzztargets::readSettings({data, size}); !problem.empty()) {
        std::fprintf(stderr, "settings file mishandled: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
