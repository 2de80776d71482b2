// Md5Hex beside Qt's own MD5 over the same bytes, as throughput.
//
// Both produce the lowercase hex digest. Md5Hex starts from UTF-16 text (what
// it is given in the program) and takes each character as one byte; Qt's is
// handed those bytes ready-made, so the conversion counts against ours only.
#include "md5.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

// Every byte value, spread by a simple generator so that no block repeats.
std::string Bytes(std::int64_t size)
{
    std::string bytes(std::size_t(size), '\0');
    std::uint32_t state = 0x9E3779B9u;
    for (char &b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = char(state >> 24);
    }
    return bytes;
}

void Md5Hex(benchmark::State &state)
{
    const std::string bytes = Bytes(state.range(0));
    std::u16string text;
    for (const char b : bytes)
        text.push_back(char16_t(static_cast<unsigned char>(b))); // one byte per character
    for (auto _ : state) {
        std::string hex = velmora::Md5Hex(text, 32);
        benchmark::DoNotOptimize(hex);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void QtMd5(benchmark::State &state)
{
    const std::string bytes = Bytes(state.range(0));
    const QByteArray data(bytes.data(), qsizetype(bytes.size()));
    for (auto _ : state) {
        QByteArray hex = QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
        benchmark::DoNotOptimize(hex);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(Md5Hex)->Arg(64)->Arg(1 << 20);
BENCHMARK(QtMd5)->Arg(64)->Arg(1 << 20);

BENCHMARK_MAIN();
