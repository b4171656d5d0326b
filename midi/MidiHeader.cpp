#include "midi/MidiHeader.h"

#include "midi/DriverHeldBlocks.h"
#include "platform/Platform.h"

void TProcessHeapFree::operator()(void* Block) const noexcept { platform::ProcessHeapFree(Block); }

TMidiHeader TMidiHeader::Allocate(std::size_t Length) {
  TMidiHeader result;
  THeapPtr<MIDIHDR> header(static_cast<MIDIHDR*>(platform::ProcessHeapAlloc(sizeof(MIDIHDR))));
  if (!header) return result;
  THeapPtr<void> data(platform::ProcessHeapAlloc(Length));
  if (!data) return result;
  header->lpData = static_cast<LPSTR>(data.get());
  header->dwBufferLength = static_cast<DWORD>(Length);
  header->dwFlags = 0;
  result.FHeader = std::move(header);
  result.FData = std::move(data);
  return result;
}

void TMidiHeader::KeepForDriver() {
  KeepBlockForDriver(FData.release());
  KeepBlockForDriver(FHeader.release());
}
