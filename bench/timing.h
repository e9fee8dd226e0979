#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <string>
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

// The process's peak of resident memory so far (VmHWM), in KiB; -1 when it cannot be read.
inline long peakMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Sample {
    double wallMs, cpuMs, faults;
};

// A moment to measure from: elapsed() gives the wall-clock time, processor time and page faults
// since.
struct Mark {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    double cpuMs = cpuNowMs();
    long faults = minorFaults();

    Sample elapsed() const {
        return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall)
                    .count(),
                cpuNowMs() - cpuMs, static_cast<double>(minorFaults() - faults)};
    }
};

// Medians of wall-clock time, processor time and page faults over `rounds` calls of body; the
// machine may be shared, so processor time is the steadier figure.
template <class Body> Sample measure(int rounds, Body&& body) {
    std::vector<double> wall, cpu, faults;
    for (int i = 0; i < rounds; ++i) {
        const Mark start;
        body();
        const Sample sample = start.elapsed();
        wall.push_back(sample.wallMs);
        cpu.push_back(sample.cpuMs);
        faults.push_back(sample.faults);
    }
    for (auto* v : {&wall, &cpu, &faults})
        std::sort(v->begin(), v->end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2], faults[faults.size() / 2]};
}

} // namespace bench
