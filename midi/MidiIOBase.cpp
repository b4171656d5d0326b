#include "midi/MidiIOBase.h"

TMidiIOBase::TMidiIOBase() : FNoticeWindow([this](TMessage& message) { WndProc(message); }) {}

TMidiIOBase::~TMidiIOBase() = default;

bool TMidiIOBase::Open(std::int32_t Index) {
  SetDeviceIndex(Index < 0 ? NoDevice : Index);
  return false;
}

void TMidiIOBase::SetState(TMidiPortState Value) {
  StoreState(Value);
  if (OnStateChange) OnStateChange(*this, Value);
}

void TMidiIOBase::BecomeLost() {
  // Lost, the port still names the device it waits to open again.
  const std::int32_t device = DeviceIndex();
  if (State() != mpsClosed) Close();
  SetDeviceIndex(device);
  SetState(mpsLost);
}
