// Heap blocks for MIDI headers and system-exclusive data: the process heap,
// zero-filled.
#include "platform/Platform.h"

namespace platform {

void* ProcessHeapAlloc(std::size_t bytes) { return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes); }

void ProcessHeapFree(void* block) {
  if (block) ::HeapFree(::GetProcessHeap(), 0, block);
}

}  // namespace platform
