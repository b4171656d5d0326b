// The reference of an undelayed route: the least a MIDI thru can do on
// Windows. Each short message the input notice delivers goes straight to
// midiOutShortMsg, in the notice handler. With several inputs it merges
// them: each input's notices go to the one output the same way.
#pragma once

#include <memory>
#include <vector>

#include "bench/windows/BareInput.h"

namespace bench {

class TBareThru {
 public:
  TBareThru(UINT InputDevice, UINT OutputDevice);
  TBareThru(const std::vector<UINT>& InputDevices, UINT OutputDevice);
  TBareThru(const TBareThru&) = delete;
  TBareThru& operator=(const TBareThru&) = delete;

  bool Opened() const;

 private:
  struct TOutput {
    explicit TOutput(UINT Device);
    ~TOutput();
    HMIDIOUT Handle = nullptr;
  };
  static void Pass(void* Output, DWORD Message) { midiOutShortMsg(static_cast<HMIDIOUT>(Output), Message); }

  TOutput FOutput;     // declared first: opened before the input, closed after it
  std::vector<std::unique_ptr<TBareInput>> FInputs;
};

}  // namespace bench
