// What the key benchmarks share: their percentiles and the dating of their phrase files.
#pragma once

#include <utime.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

inline double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(v.size() * p))];
}

// Dates a generated phrase file an hour back, as a user's file is: one written within the
// last two seconds is read again on every key (its time is too coarse to trust).
inline void dateAsSavedEarlier(const std::string& path) {
    struct utimbuf earlier {};
    earlier.actime = earlier.modtime = std::time(nullptr) - 3600;
    utime(path.c_str(), &earlier);
}
