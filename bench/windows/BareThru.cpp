#include "bench/windows/BareThru.h"

namespace bench {

TBareThru::TOutput::TOutput(UINT Device) {
  if (midiOutOpen(&Handle, Device, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) Handle = nullptr;
}

TBareThru::TOutput::~TOutput() {
  if (Handle) midiOutClose(Handle);
}

TBareThru::TBareThru(UINT InputDevice, UINT OutputDevice) : TBareThru(std::vector<UINT>{InputDevice}, OutputDevice) {}

TBareThru::TBareThru(const std::vector<UINT>& InputDevices, UINT OutputDevice) : FOutput(OutputDevice) {
  for (const UINT device : InputDevices)
    FInputs.push_back(std::make_unique<TBareInput>(device, &TBareThru::Pass, FOutput.Handle));
}

bool TBareThru::Opened() const {
  if (FOutput.Handle == nullptr) return false;
  for (const auto& input : FInputs)
    if (!input->Opened()) return false;
  return true;
}

}  // namespace bench
