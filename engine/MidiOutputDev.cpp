#include "engine/MidiOutputDev.h"

#include <utility>

#include "engine/Exceptions.h"

TMidiOutputDev::TMidiOutputDev(std::int32_t DeviceNumber, std::string Name)
    : FDeviceNumber(DeviceNumber), FName(std::move(Name)) {}

void TMidiOutputDev::AddRef() {
  ++FRefCount;
  if (FRefCount == 1) OpenDevice();  // the state reports tell the outcome
}

void TMidiOutputDev::Release() {
  --FRefCount;
  if (FRefCount == 0) Close();
  if (FRefCount < 0) throw Exception("Negative reference count.");
}

bool TMidiOutputDev::OpenDevice() { return TMidiOutput::Open(FDeviceNumber); }

bool TMidiOutputDev::Open(std::int32_t) { throw Exception("Mustnot call this function."); }
