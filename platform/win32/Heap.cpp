// Heap blocks for MIDI headers and system-exclusive data: the process heap,
// zero-filled.
#include "platform/Platform.h"

namespace platform {

void* ProcessHeapAlloc(std::size_t Bytes) { return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, Bytes); }

void ProcessHeapFree(void* Block) {
  if (Block) ::HeapFree(::GetProcessHeap(), 0, Block);
}

}  // namespace platform
