#include "bench/windows/BareThru.h"

namespace bench {

TBareThru::TOutput::TOutput(UINT Device) {
  if (midiOutOpen(&Handle, Device, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) Handle = nullptr;
}

TBareThru::TOutput::~TOutput() {
  if (Handle) midiOutClose(Handle);
}

TBareThru::TBareThru(UINT InputDevice, UINT OutputDevice)
    : FOutput(OutputDevice), FInput(InputDevice, &TBareThru::Pass, FOutput.Handle) {}

}  // namespace bench
