// Facts of the MIDI messages that Velmora routes by: the channels, the
// packing of a short message, the kinds and controllers it looks at.
#pragma once

#include <cstdint>

#include "platform/MmSystem.h"

inline constexpr int ChannelCount = 16;
// A channel that maps to no output device (before the first preset load, or
// on a machine without output devices).
inline constexpr std::int32_t NoDevice = -1;

namespace midi {

constexpr std::uint8_t StatusOf(DWORD Message) { return static_cast<std::uint8_t>(Message & 0xFF); }
constexpr std::uint8_t ChannelOf(DWORD Message) { return static_cast<std::uint8_t>(Message & 0x0F); }
constexpr std::uint8_t KindOf(DWORD Message) { return static_cast<std::uint8_t>(Message & 0xF0); }
constexpr std::uint8_t Data1Of(DWORD Message) { return static_cast<std::uint8_t>((Message >> 8) & 0x7F); }
constexpr std::uint8_t Data2Of(DWORD Message) { return static_cast<std::uint8_t>((Message >> 16) & 0x7F); }
constexpr DWORD Pack(std::uint8_t Status, std::uint8_t Data1, std::uint8_t Data2) {
  return static_cast<DWORD>(Status) | (static_cast<DWORD>(Data1) << 8) | (static_cast<DWORD>(Data2) << 16);
}

// Message kinds, the high four bits of a channel message's status.
inline constexpr std::uint8_t NoteOffKind = 0x80;
inline constexpr std::uint8_t NoteOnKind = 0x90;
inline constexpr std::uint8_t KeyPressureKind = 0xA0;
inline constexpr std::uint8_t ControlChangeKind = 0xB0;
inline constexpr std::uint8_t ProgramChangeKind = 0xC0;
inline constexpr std::uint8_t PitchBendKind = 0xE0;
inline constexpr std::uint8_t SystemKind = 0xF0;

inline constexpr std::uint8_t EndOfExclusive = 0xF7;

// Controllers with a meaning for what a device holds.
inline constexpr std::uint8_t AllSoundOff = 120;
inline constexpr std::uint8_t ResetAllControllers = 121;
inline constexpr std::uint8_t AllNotesOff = 123;
// Bank Select, its coarse and its fine controller.
inline constexpr std::uint8_t BankSelectCoarse = 0;
inline constexpr std::uint8_t BankSelectFine = 32;
constexpr bool IsBankSelect(DWORD Message) {
  return KindOf(Message) == ControlChangeKind &&
         (Data1Of(Message) == BankSelectCoarse || Data1Of(Message) == BankSelectFine);
}
// Timing clock, start, stop, active sensing, reset: status bytes from here on
// may stand between any two bytes of another message.
inline constexpr std::uint8_t FirstRealTimeStatus = 0xF8;
constexpr bool IsRealTime(DWORD Message) { return StatusOf(Message) >= FirstRealTimeStatus; }
// The centre of the pitch bend, as its two data bytes (0x2000).
inline constexpr std::uint8_t BendCentreLow = 0x00;
inline constexpr std::uint8_t BendCentreHigh = 0x40;

}  // namespace midi
