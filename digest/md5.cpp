#include "md5.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {
namespace md5 {

namespace {

// The auxiliary functions of RFC 1321, in its own forms. std::uint32_t
// arithmetic wraps modulo 2^32 as MD5's does: the plain operators serve.
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

// One RFC 1321 step each: a = b + ((a + F(b, c, d) + x + t) <<< s).
constexpr void FF(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t)
{
    a = b + std::rotl(a + F(b, c, d) + x + t, s);
}
constexpr void GG(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t)
{
    a = b + std::rotl(a + G(b, c, d) + x + t, s);
}
constexpr void HH(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t)
{
    a = b + std::rotl(a + H(b, c, d) + x + t, s);
}
constexpr void II(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t)
{
    a = b + std::rotl(a + I(b, c, d) + x + t, s);
}

constexpr bool IsHighSurrogate(char32_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Hands `put` the bytes of the character that starts at text[i] and returns
// the index of the next one. See Md5Hex for the byte rule.
template <typename Put>
std::size_t PutCharacterBytes(std::u16string_view text, std::size_t i, Put &&put)
{
    char32_t c = text[i++];
    if (c <= 0xFF) {
        put(c);
        return i;
    }
    if (IsHighSurrogate(c) && i < text.size() && IsLowSurrogate(text[i]))
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
    else if (IsHighSurrogate(c) || IsLowSurrogate(c))
        c = 0xFFFD;

    if (c < 0x800) {
        put(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
    }
    put(0x80 | (c & 0x3F));
    return i;
}

// Branch-free so that the compiler can check a block's worth at once.
constexpr bool AllOneByte(std::u16string_view units)
{
    char16_t any = 0;
    for (char16_t u : units)
        any |= u;
    return any <= 0xFF;
}

// Lays the message out in 16-word blocks, bytes filling each word from the
// least significant end, and hands every block to `onBlock` as soon as it is
// full. A digest thus needs no buffer for the whole message.
template <typename OnBlock> class BlockWriter
{
public:
    explicit BlockWriter(OnBlock &onBlock) : m_onBlock(onBlock) {}

    bool atWordStart() const { return m_shift == 0; }
    bool atBlockStart() const { return m_shift == 0 && m_index == 0; }

    // Only at a block start; all 64 characters must be one-byte ones.
    void putOneByteBlock(const char16_t *units)
    {
        for (int w = 0; w < 16; ++w, units += 4)
            m_block[w] = PackWord(units);
        m_byteCount += 64;
        m_onBlock(m_block);
    }

    // Only at a word start; all 4 characters must be one-byte ones.
    void putOneByteWord(const char16_t *units)
    {
        m_byteCount += 4;
        store(PackWord(units));
    }

    void putByte(std::uint32_t byte)
    {
        ++m_byteCount;
        m_word |= byte << m_shift;
        m_shift += 8;
        if (m_shift == 32) {
            store(m_word);
            m_word = 0;
            m_shift = 0;
        }
    }

    // The RFC 1321 padding: the byte 0x80, zeros up to 8 bytes short of a
    // block, and the bit count as a 64-bit little-endian number.
    void finish()
    {
        const std::uint64_t bitCount = m_byteCount * 8;
        putByte(0x80);
        if (m_shift != 0)
            store(m_word);
        while (m_index != 14)
            store(0);
        store(static_cast<std::uint32_t>(bitCount));
        store(static_cast<std::uint32_t>(bitCount >> 32));
    }

private:
    static std::uint32_t PackWord(const char16_t *units)
    {
        return std::uint32_t{units[0]} | std::uint32_t{units[1]} << 8 |
               std::uint32_t{units[2]} << 16 | std::uint32_t{units[3]} << 24;
    }

    void store(std::uint32_t word)
    {
        m_block[m_index++] = word;
        if (m_index == 16) {
            m_onBlock(m_block);
            m_index = 0;
        }
    }

    OnBlock &m_onBlock;
    std::uint32_t m_block[16] = {};
    int m_index = 0;
    std::uint32_t m_word = 0;
    int m_shift = 0;
    std::uint64_t m_byteCount = 0;
};

// The padded message of `text` as little-endian words, block by block: the
// bytes of `text` (by the byte rule of Md5Hex), the byte 0x80, zeros, and
// the 64-bit bit count.
template <typename OnBlock> void ForEachBlock(std::u16string_view text, OnBlock &&onBlock)
{
    BlockWriter<OnBlock> writer(onBlock);
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        // Most text is one byte per character: take it a block or a word at
        // a time where the layout allows.
        if (writer.atBlockStart() && size - i >= 64 && AllOneByte(text.substr(i, 64))) {
            writer.putOneByteBlock(text.data() + i);
            i += 64;
        } else if (writer.atWordStart() && size - i >= 4 && AllOneByte(text.substr(i, 4))) {
            writer.putOneByteWord(text.data() + i);
            i += 4;
        } else {
            i = PutCharacterBytes(text, i, [&writer](char32_t byte) { writer.putByte(byte); });
        }
    }
    writer.finish();
}

// Least significant byte first: 0x67452301 gives "01234567".
void AppendHex(std::string &out, std::uint32_t word)
{
    constexpr char digits[17] = "0123456789abcdef";
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t byte = (word >> (8 * i)) & 0xFF;
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
}

// The 64 steps of RFC 1321 over one 16-word block, in its order.
void ProcessBlock(std::uint32_t (&state)[4], const std::uint32_t *x)
{
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    FF(a, b, c, d, x[0], 7, 0xd76aa478);
    FF(d, a, b, c, x[1], 12, 0xe8c7b756);
    FF(c, d, a, b, x[2], 17, 0x242070db);
    FF(b, c, d, a, x[3], 22, 0xc1bdceee);
    FF(a, b, c, d, x[4], 7, 0xf57c0faf);
    FF(d, a, b, c, x[5], 12, 0x4787c62a);
    FF(c, d, a, b, x[6], 17, 0xa8304613);
    FF(b, c, d, a, x[7], 22, 0xfd469501);
    FF(a, b, c, d, x[8], 7, 0x698098d8);
    FF(d, a, b, c, x[9], 12, 0x8b44f7af);
    FF(c, d, a, b, x[10], 17, 0xffff5bb1);
    FF(b, c, d, a, x[11], 22, 0x895cd7be);
    FF(a, b, c, d, x[12], 7, 0x6b901122);
    FF(d, a, b, c, x[13], 12, 0xfd987193);
    FF(c, d, a, b, x[14], 17, 0xa679438e);
    FF(b, c, d, a, x[15], 22, 0x49b40821);

    GG(a, b, c, d, x[1], 5, 0xf61e2562);
    GG(d, a, b, c, x[6], 9, 0xc040b340);
    GG(c, d, a, b, x[11], 14, 0x265e5a51);
    GG(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    GG(a, b, c, d, x[5], 5, 0xd62f105d);
    GG(d, a, b, c, x[10], 9, 0x02441453);
    GG(c, d, a, b, x[15], 14, 0xd8a1e681);
    GG(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    GG(a, b, c, d, x[9], 5, 0x21e1cde6);
    GG(d, a, b, c, x[14], 9, 0xc33707d6);
    GG(c, d, a, b, x[3], 14, 0xf4d50d87);
    GG(b, c, d, a, x[8], 20, 0x455a14ed);
    GG(a, b, c, d, x[13], 5, 0xa9e3e905);
    GG(d, a, b, c, x[2], 9, 0xfcefa3f8);
    GG(c, d, a, b, x[7], 14, 0x676f02d9);
    GG(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    HH(a, b, c, d, x[5], 4, 0xfffa3942);
    HH(d, a, b, c, x[8], 11, 0x8771f681);
    HH(c, d, a, b, x[11], 16, 0x6d9d6122);
    HH(b, c, d, a, x[14], 23, 0xfde5380c);
    HH(a, b, c, d, x[1], 4, 0xa4beea44);
    HH(d, a, b, c, x[4], 11, 0x4bdecfa9);
    HH(c, d, a, b, x[7], 16, 0xf6bb4b60);
    HH(b, c, d, a, x[10], 23, 0xbebfbc70);
    HH(a, b, c, d, x[13], 4, 0x289b7ec6);
    HH(d, a, b, c, x[0], 11, 0xeaa127fa);
    HH(c, d, a, b, x[3], 16, 0xd4ef3085);
    HH(b, c, d, a, x[6], 23, 0x04881d05);
    HH(a, b, c, d, x[9], 4, 0xd9d4d039);
    HH(d, a, b, c, x[12], 11, 0xe6db99e5);
    HH(c, d, a, b, x[15], 16, 0x1fa27cf8);
    HH(b, c, d, a, x[2], 23, 0xc4ac5665);

    II(a, b, c, d, x[0], 6, 0xf4292244);
    II(d, a, b, c, x[7], 10, 0x432aff97);
    II(c, d, a, b, x[14], 15, 0xab9423a7);
    II(b, c, d, a, x[5], 21, 0xfc93a039);
    II(a, b, c, d, x[12], 6, 0x655b59c3);
    II(d, a, b, c, x[3], 10, 0x8f0ccc92);
    II(c, d, a, b, x[10], 15, 0xffeff47d);
    II(b, c, d, a, x[1], 21, 0x85845dd1);
    II(a, b, c, d, x[8], 6, 0x6fa87e4f);
    II(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    II(c, d, a, b, x[6], 15, 0xa3014314);
    II(b, c, d, a, x[13], 21, 0x4e0811a1);
    II(a, b, c, d, x[4], 6, 0xf7537e82);
    II(d, a, b, c, x[11], 10, 0xbd3af235);
    II(c, d, a, b, x[2], 15, 0x2ad7d2bb);
    II(b, c, d, a, x[9], 21, 0xeb86d391);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

} // namespace md5

std::string Md5Hex(std::u16string_view text, int lengthSelector)
{
    using namespace md5;

    std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    ForEachBlock(text, [&state](const std::uint32_t(&block)[16]) { ProcessBlock(state, block); });

    std::string hex;
    hex.reserve(32);
    if (lengthSelector == 32) {
        for (std::uint32_t word : state)
            AppendHex(hex, word);
    } else {
        AppendHex(hex, state[1]);
        AppendHex(hex, state[2]);
    }
    return hex;
}

} // namespace velmora
