// A MIDI header and its data block, both from the process heap and freed
// when their owner goes. A pair that a driver may still hold is not freed
// but handed over with KeepForDriver.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/MmSystem.h"

struct TProcessHeapFree {
  void operator()(void* Block) const noexcept;
};
template <class T>
using THeapPtr = std::unique_ptr<T, TProcessHeapFree>;

class TMidiHeader {
 public:
  TMidiHeader() = default;
  // A header whose data block holds Length bytes, not yet prepared; empty
  // when the heap refuses either block.
  static TMidiHeader Allocate(std::size_t Length);

  explicit operator bool() const { return FHeader != nullptr; }
  MIDIHDR* Get() const { return FHeader.get(); }
  MIDIHDR* operator->() const { return FHeader.get(); }

  // The driver may still write to both blocks: they are kept until the
  // program ends, and this owner is left empty.
  void KeepForDriver();

 private:
  // Declared in this order so the data block is freed before its header.
  THeapPtr<MIDIHDR> FHeader;
  THeapPtr<void> FData;
};
