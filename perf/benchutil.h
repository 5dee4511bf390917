// Small helpers shared by the bench programs: a clock, statistics and the
// "name: value" lines the bench script collects.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

inline double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double Max(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

inline void Print(const std::string& name, double value, const char* unit) {
    std::printf("%s: %.3f %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

// Prints the median and the maximum of `samples` under `name`.
inline void PrintStats(const std::string& name, const std::vector<double>& samples, const char* unit) {
    Print(name + ".median", Median(samples), unit);
    Print(name + ".max", Max(samples), unit);
}

// Resident memory of process `pid` ("self" for this one), from /proc.
inline double ResidentMiB(const std::string& pid = "self") {
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0;
}

// Repetition count: --quick runs each measurement a few times only.
inline bool Quick(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--quick") return true;
    return false;
}

}  // namespace bench
