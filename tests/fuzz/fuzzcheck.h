#pragma once

// Shared by the fuzz targets: the failure signal and the UTF-16 input
// decoding.

#include <QString>
#include <QtEndian>

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace velmora::fuzz {

// A broken invariant: say which one, then stop the way libFuzzer records.
[[noreturn]] inline void Fail(const char *check, const char *file, int line)
{
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", check, file, line);
    __builtin_trap();
}

// Unit by unit, so that lone surrogates, which no UTF-8 decoding yields,
// reach the code under test; an odd last byte is dropped.
inline QString FromUtf16Le(const std::uint8_t *data, std::size_t size)
{
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    qFromLittleEndian<char16_t>(data, text.size(), text.data());
    return text;
}

} // namespace velmora::fuzz

#define FUZZ_CHECK(check) ((check) ? void() : velmora::fuzz::Fail(#check, __FILE__, __LINE__))
