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
