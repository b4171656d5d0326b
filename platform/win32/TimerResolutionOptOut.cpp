#include "platform/win32/TimerResolutionOptOut.h"

#include "platform/MmSystem.h"

namespace platform::win32 {

namespace {

// The layout and values of the system's PROCESS_POWER_THROTTLING_STATE and
// ProcessPowerThrottling, spelled out so that the file builds with headers
// older than the setting.
struct PowerThrottlingState {
  ULONG Version;
  ULONG ControlMask;
  ULONG StateMask;
};
constexpr ULONG PowerThrottlingCurrentVersion = 1;
constexpr ULONG PowerThrottlingIgnoreTimerResolution = 0x4;
constexpr int ProcessPowerThrottlingClass = 4;

using SetProcessInformationCall = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

}  // namespace

void OptOutOfTimerResolutionThrottling() {
  // Looked up at run time: the call exists from Windows 8 on, and the
  // program must start on older systems too.
  const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  const auto setProcessInformation = reinterpret_cast<SetProcessInformationCall>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetProcessInformation")));
  if (setProcessInformation == nullptr) return;
  // Control bit set, state bit clear: the system always honours the
  // resolution this process asks for.
  PowerThrottlingState state{PowerThrottlingCurrentVersion, PowerThrottlingIgnoreTimerResolution, 0};
  // Deliberately ignored: systems before Windows 11 refuse the setting, and
  // there the resolution was never throttled in the first place.
  static_cast<void>(setProcessInformation(::GetCurrentProcess(), ProcessPowerThrottlingClass, &state,
                                          sizeof(state)));
}

}  // namespace platform::win32
