#pragma once

// The word operations that Md5Hex is built from. They are internals, exposed
// only so that tests can check them one by one; nothing outside the digest
// should call them.
//
// std::uint32_t arithmetic already wraps modulo 2^32, so the operations are
// the plain unsigned ones. They stay inline here because the compression
// loop runs them 64 times per block and needs their counts folded away.

#include <cstdint>
#include <stdexcept>

namespace velmora::md5 {

// Raised by the word shifts for a count outside 0..31. A digest never raises
// it: all its counts are fixed.
class DigestError : public std::out_of_range
{
public:
    using std::out_of_range::out_of_range;
};

[[noreturn]] void ThrowBadShiftCount(int count);

constexpr std::uint32_t ShiftWordLeft(std::uint32_t v, int n)
{
    if (n < 0 || n > 31)
        ThrowBadShiftCount(n);
    return v << n;
}

// Zeros enter at bit 31.
constexpr std::uint32_t ShiftWordRight(std::uint32_t v, int n)
{
    if (n < 0 || n > 31)
        ThrowBadShiftCount(n);
    return v >> n;
}

// Built from the two shifts, so counts 0 and 32 throw like the shifts do.
constexpr std::uint32_t RotateWordLeft(std::uint32_t v, int n)
{
    return ShiftWordLeft(v, n) | ShiftWordRight(v, 32 - n);
}

constexpr std::uint32_t AddWords(std::uint32_t x, std::uint32_t y)
{
    return x + y;
}

// The auxiliary functions of RFC 1321, in its own forms.
constexpr std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return (x & y) | (~x & z);
}
constexpr std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return (x & z) | (y & ~z);
}
constexpr std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return x ^ y ^ z;
}
constexpr std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return y ^ (x | ~z);
}

// One RFC 1321 step each; only `a` changes.
constexpr void FF(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t)
{
    a = AddWords(a, AddWords(AddWords(F(b, c, d), x), t));
    a = RotateWordLeft(a, s);
    a = AddWords(a, b);
}
constexpr void GG(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t)
{
    a = AddWords(a, AddWords(AddWords(G(b, c, d), x), t));
    a = RotateWordLeft(a, s);
    a = AddWords(a, b);
}
constexpr void HH(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t)
{
    a = AddWords(a, AddWords(AddWords(H(b, c, d), x), t));
    a = RotateWordLeft(a, s);
    a = AddWords(a, b);
}
constexpr void II(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t)
{
    a = AddWords(a, AddWords(AddWords(I(b, c, d), x), t));
    a = RotateWordLeft(a, s);
    a = AddWords(a, b);
}

} // namespace velmora::md5
