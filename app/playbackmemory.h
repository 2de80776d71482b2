#pragma once

namespace velmora {

// Sets glibc's heap up so that the memory mpv takes for every address it
// opens stays with the process: a 10 MiB probe buffer, allocated and zeroed
// by a thread of its own each time, which otherwise comes fresh from the
// system and costs some 2,500 page faults before the first sound. One heap
// for every thread, which keeps up to 16 MiB at its top, and no fresh
// mapping for blocks of that size. To be called first in main(), before any
// thread exists: a heap already made for a thread stays its own.
void keepPlaybackMemory();

// Touches the memory at the top of the heap that the next address's probe
// buffer will take, so that its pages are there before it needs them: once
// mpv has been warmed up, as whatever runs meanwhile takes from the top.
void touchPlaybackMemory();

} // namespace velmora
