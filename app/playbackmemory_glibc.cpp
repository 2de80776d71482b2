#include "playbackmemory.h"

#include <cstdlib>

#include <malloc.h>

namespace velmora {

void keepPlaybackMemory()
{
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 32 << 20); // glibc's largest: 10 MiB is never mapped apart
    mallopt(M_TOP_PAD, 16 << 20);
}

void touchPlaybackMemory()
{
    constexpr std::size_t kBytes = 16 << 20;
    auto *memory = static_cast<volatile char *>(std::malloc(kBytes));
    if (!memory)
        return;
    // Through a volatile pointer: a store the compiler cannot leave out.
    for (std::size_t at = 0; at < kBytes; at += 4096)
        memory[at] = 0;
    std::free(const_cast<char *>(memory));
}

} // namespace velmora
