#include "VirtualMidiEnvironment.h"  // winsock2.h before windows.h
#include "bench/windows/WineMeasurement.h"

#include <cstdio>


namespace bench {

bool StartVirtualDevices() {
  if (StartVirtualMidi()) return true;
  std::fprintf(stderr, "the virtual MIDI driver is not loaded (VELMORA_WINE_AUDIO=vmidi under Wine)\n");
  return false;
}

std::string SystemUnderneath() {
  // Only Wine's ntdll has it.
  using WineVersion = const char* (*)();
  if (FARPROC found = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
    return std::string("Wine ") + reinterpret_cast<WineVersion>(reinterpret_cast<void*>(found))();
  return "Windows";
}

}  // namespace bench
