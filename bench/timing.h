#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <sys/resource.h>
#include <vector>

namespace bench {

// Processor time of the whole process so far (user + system: page faults count here).
inline double cpuNowMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

inline long minorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

struct Sample {
    double wallMs, cpuMs, faults;
};

// Medians of wall-clock time, processor time and page faults over `rounds` calls of body; the
// machine may be shared, so processor time is the steadier figure.
template <class Body> Sample measure(int rounds, Body&& body) {
    std::vector<double> wall, cpu, faults;
    for (int i = 0; i < rounds; ++i) {
        const long faultsBefore = minorFaults();
        const double cpuBefore = cpuNowMs();
        const auto start = std::chrono::steady_clock::now();
        body();
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        cpu.push_back(cpuNowMs() - cpuBefore);
        faults.push_back(static_cast<double>(minorFaults() - faultsBefore));
    }
    for (auto* v : {&wall, &cpu, &faults})
        std::sort(v->begin(), v->end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2], faults[faults.size() / 2]};
}

} // namespace bench
