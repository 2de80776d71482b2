#pragma once

// Small summaries of repeated measurements, shared by the bench programs.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <errno.h>
#include <string>
#include <vector>

namespace velmora::bench {

// The value at fraction q (0..1) of the sorted samples by nearest rank,
// except that the median of an even count is the mean of the middle two.
inline double Quantile(std::vector<double> samples, double q)
{
    if (samples.empty())
        return NAN;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    if (q == 0.5 && n % 2 == 0)
        return (samples[n / 2 - 1] + samples[n / 2]) / 2;
    const auto rank = std::size_t(std::ceil(q * double(n)));
    return samples[std::clamp<std::size_t>(rank, 1, n) - 1];
}

inline double Median(const std::vector<double> &samples)
{
    return Quantile(samples, 0.5);
}

// Trouble: one line on standard error under the program's name, and a
// non-zero exit, which stops scripts/bench. Takes std::string or QString.
template <typename Text> [[noreturn]] void Fail(const Text &why)
{
    std::string text;
    if constexpr (requires { why.toStdString(); })
        text = why.toStdString();
    else
        text = why;
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text.c_str());
    std::exit(1);
}

// One figure for scripts/bench: "name value".
inline void Report(const char *name, double value)
{
    std::printf("%s %.6g\n", name, value);
    std::fflush(stdout);
}

} // namespace velmora::bench
