#include "playbackmemory.h"

#include <malloc.h>

namespace velmora {

void keepPlaybackMemory()
{
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 32 << 20); // glibc's largest: 10 MiB is never mapped apart
    mallopt(M_TOP_PAD, 16 << 20);
}

} // namespace velmora
