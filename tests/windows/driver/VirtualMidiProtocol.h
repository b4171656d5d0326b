// The control channel between the virtual MIDI driver (winevmidi.drv, loaded
// by winmm inside the program under test) and whoever controls it: a test,
// or a player that feeds a program started by hand.
//
// The controller listens on 127.0.0.1 and puts its port number into the
// environment variable VELMORA_VMIDI_CONTROL before the program's first MIDI
// call; the driver connects to it when winmm loads it. The device list is
// read once from VELMORA_VMIDI_DEVICES (see VirtualDeviceConfig.h).
//
// Both directions carry frames: a 32-bit little-endian length of what
// follows, one byte of frame type, then the frame's fields, packed, little
// endian. Every command carries a sequence number that its Ack repeats, so a
// controller can wait for the driver to have carried it out.
#pragma once

#include <cstdint>

namespace vmidi {

constexpr char ControlPortVariable[] = "VELMORA_VMIDI_CONTROL";
constexpr char DevicesVariable[] = "VELMORA_VMIDI_DEVICES";
constexpr char DriverModuleName[] = "winevmidi.drv";
constexpr std::uint32_t ProtocolVersion = 1;

enum class Direction : std::uint8_t { Input = 0, Output = 1 };

// Controller -> driver. Fields after the type: u32 sequence, then as listed.
enum class Command : std::uint8_t {
  InjectShort = 1,    // u8 device, u32 packed message. Ack value: 1 if the input took it.
  InjectSysEx = 2,    // u8 device, bytes. Ack value: bytes that found a queued buffer.
  SetRefuseOpen = 3,  // u8 direction, u8 device, u8 on. Opens answer MMSYSERR_ALLOCATED.
  SetHoldLong = 4,    // u8 device, u8 on. Long messages stay queued until released.
  CompleteHeld = 5,   // u8 device. Completes every held long message, oldest first.
  Ping = 6,           // nothing. Ack once every earlier command is done.
  // u8 device, u8 on. The output stops answering as an unplugged device does:
  // every call answers MMSYSERR_NODRIVER, its capabilities included. A
  // handle open when it stopped stays dead after it answers again, until it
  // is closed (the close releases it).
  SetUnplugged = 7,
};

// Driver -> controller.
enum class Report : std::uint8_t {
  Hello = 0x80,       // u32 protocol version, u32 inputs, u32 outputs, i64 QPC frequency
  Ack = 0x81,         // u32 sequence, u32 value, i64 QPC when it was carried out
  OutputData = 0x82,  // u8 device, u8 kind (0 short, 1 long), i64 QPC, the bytes
  DeviceEvent = 0x83, // u8 direction, u8 device, u8 event (DeviceEventKind), i64 QPC
};

enum class DeviceEventKind : std::uint8_t {
  Opened = 1,
  OpenRefused = 2,
  Closed = 3,
  CloseRefused = 4,  // long messages or buffers were still queued
  Reset = 5,
  Started = 6,
  Stopped = 7,
  // An output header handed back by the program (MODM_UNPREPARE), and one
  // it asked for while the device still held it.
  Unprepared = 8,
  UnprepareRefused = 9,
};

}  // namespace vmidi
