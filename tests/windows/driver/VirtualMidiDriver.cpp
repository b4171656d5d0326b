// winevmidi.drv: a MIDI driver of virtual devices for winmm, for the Windows
// tests under Wine and for trying the program without MIDI hardware.
//
// Wine's winmm takes its MIDI devices from the one audio driver that its
// audio device layer picks (HKCU\Software\Wine\Drivers, value "Audio" =
// "vmidi" names wine + vmidi + .drv). That layer wants the four endpoint
// entry points below; this driver offers no audio endpoints, only MIDI.
//
// What each output device receives is reported to the controller with a
// QueryPerformanceCounter time stamp; the controller injects short messages
// and system-exclusive bytes into the input devices, which deliver them as a
// real driver does: through DriverCallback with the callback and instance of
// MIDIOPENDESC, system-exclusive bytes into the queued buffers one after the
// other, a buffer returned when it is full or holds the closing 0xF7.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "ControlLink.h"
#include "FrameCodec.h"
#include "VirtualDeviceConfig.h"
#include "VirtualMidiProtocol.h"

// winmm exports it; the mingw headers do not declare it.
extern "C" BOOL WINAPI DriverCallback(DWORD_PTR DwCallback, DWORD DwFlags, HDRVR HDevice, DWORD DwMsg,
                                      DWORD_PTR dwUser, DWORD_PTR dwParam1, DWORD_PTR dwParam2);

namespace {

// The manufacturer and product identifiers of a device without registered
// ones (MM_UNMAPPED, MM_PID_UNMAPPED).
constexpr WORD UnmappedManufacturer = 0xFFFF;
constexpr WORD UnmappedProduct = 0xFFFF;

using vmidi::DeviceEventKind;
using vmidi::Direction;

std::int64_t QpcNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// A notice for the client, made while the driver's lock is held and posted
// after it has been released, so that a client callback can never wait on
// the driver.
struct Notice {
  DWORD_PTR Callback;
  DWORD Flags;
  HDRVR Handle;
  UINT Message;
  DWORD_PTR Instance;
  DWORD_PTR Param1;
  DWORD_PTR Param2;
};

class NoticeBatch {
 public:
  NoticeBatch() = default;
  NoticeBatch(const NoticeBatch&) = delete;
  NoticeBatch& operator=(const NoticeBatch&) = delete;
  ~NoticeBatch() {
    for (const auto& n : notices_)
      DriverCallback(n.Callback, n.Flags, n.Handle, n.Message, n.Instance, n.Param1, n.Param2);
  }
  void Add(const Notice& Notice) { notices_.push_back(Notice); }

 private:
  std::vector<Notice> notices_;
};

struct Port {
  vmidi::VirtualDevice Device;
  bool RefuseOpen = false;
  bool Open = false;
  MIDIOPENDESC Desc{};
  DWORD Flags = 0;

  void Notify(NoticeBatch& Batch, UINT Message, DWORD_PTR Param1, DWORD_PTR Param2) const {
    Batch.Add({Desc.dwCallback, HIWORD(Flags), reinterpret_cast<HDRVR>(Desc.hMidi), Message,
               Desc.dwInstance, Param1, Param2});
  }
};

struct OutputPort : Port {
  bool HoldLong = false;
  bool Unplugged = false;
  bool DeadHandle = false;  // open when it was unplugged
  std::deque<MIDIHDR*> Held;  // long messages not yet completed, oldest first
  BYTE RunningStatus = 0;
};

struct InputPort : Port {
  bool Started = false;
  std::int64_t StartQpc = 0;
  std::deque<MIDIHDR*> Buffers;  // queued with MIDM_ADDBUFFER, filled front first
};

// Everything below is guarded by g_lock; it is taken by every entry point
// and by the control link's commands, never across a client callback.
std::mutex g_lock;
bool g_configured = false;
std::vector<InputPort> g_inputs;
std::vector<OutputPort> g_outputs;
std::int64_t g_qpcFrequency = 1;
vmidi::ControlLink* g_link = nullptr;  // lives until the process ends

void Report(std::vector<std::uint8_t> Frame) {
  if (g_link) g_link->Send(std::move(Frame));
}

void ReportEvent(Direction Direction, UINT Device, DeviceEventKind Kind) {
  Report(vmidi::FrameWriter(static_cast<std::uint8_t>(vmidi::Report::DeviceEvent))
             .U8(static_cast<std::uint8_t>(Direction))
             .U8(static_cast<std::uint8_t>(Device))
             .U8(static_cast<std::uint8_t>(Kind))
             .I64(QpcNow())
             .Take());
}

void ReportOutput(UINT Device, bool IsLong, std::int64_t Qpc, const void* Bytes, std::size_t Length) {
  Report(vmidi::FrameWriter(static_cast<std::uint8_t>(vmidi::Report::OutputData))
             .U8(static_cast<std::uint8_t>(Device))
             .U8(IsLong ? 1 : 0)
             .I64(Qpc)
             .Bytes(Bytes, Length)
             .Take());
}

// The bytes a short message puts on the cable. A first byte below 0x80 is
// running status: the data bytes of the last status follow.
std::size_t ShortMessageLength(BYTE First, BYTE RunningStatus) {
  const BYTE status = First < 0x80 ? RunningStatus : First;
  std::size_t length;
  if (status >= 0xF8 || status == 0xF6 || status == 0xF4 || status == 0xF5) length = 1;
  else if (status == 0xF1 || status == 0xF3) length = 2;
  else if (status == 0xF2) length = 3;
  else if (status == 0xF0 || status == 0xF7) length = 1;
  else if ((status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0) length = 2;
  else if (status >= 0x80) length = 3;
  else length = 3;  // running status with no status seen yet: pass every byte on
  return First < 0x80 ? length - 1 : length;
}

void FillName(WCHAR (&Target)[MAXPNAMELEN], const std::string& Name) {
  std::fill(std::begin(Target), std::end(Target), L'\0');
  const int cut = static_cast<int>(std::min<std::size_t>(Name.size(), MAXPNAMELEN - 1));
  MultiByteToWideChar(CP_ACP, 0, Name.data(), cut, Target, MAXPNAMELEN - 1);
}

void Configure() {
  if (g_configured) return;
  g_configured = true;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  g_qpcFrequency = frequency.QuadPart;

  char text[8192];
  const DWORD length = GetEnvironmentVariableA(vmidi::DevicesVariable, text, sizeof text);
  const auto devices = length > 0 && length < sizeof text ? vmidi::ParseDeviceList(std::string(text, length))
                                                        : vmidi::DefaultDeviceList();
  for (const auto& device : devices) {
    if (device.Output) {
      g_outputs.emplace_back();
      g_outputs.back().Device = device;
      g_outputs.back().RefuseOpen = device.RefuseOpen;
    } else {
      g_inputs.emplace_back();
      g_inputs.back().Device = device;
      g_inputs.back().RefuseOpen = device.RefuseOpen;
    }
  }
}

void HandleCommand(const std::vector<std::uint8_t>& Body);

void StartControlLink() {
  char text[32];
  const DWORD length = GetEnvironmentVariableA(vmidi::ControlPortVariable, text, sizeof text);
  if (length == 0 || length >= sizeof text) return;
  const unsigned long port = std::strtoul(text, nullptr, 10);
  if (port == 0 || port > 65535) return;
  auto hello = vmidi::FrameWriter(static_cast<std::uint8_t>(vmidi::Report::Hello))
                   .U32(vmidi::ProtocolVersion)
                   .U32(static_cast<std::uint32_t>(g_inputs.size()))
                   .U32(static_cast<std::uint32_t>(g_outputs.size()))
                   .I64(g_qpcFrequency)
                   .Take();
  g_link = new vmidi::ControlLink(static_cast<std::uint16_t>(port), std::move(hello), HandleCommand);
}

// --- output ------------------------------------------------------------------

void CompleteOutputHeader(OutputPort& Port, MIDIHDR* Header, NoticeBatch& Batch) {
  Header->dwFlags = (Header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
  Port.Notify(Batch, MOM_DONE, reinterpret_cast<DWORD_PTR>(Header), 0);
}

DWORD OutputMessage(UINT Id, UINT Message, DWORD_PTR User, DWORD_PTR Param1, DWORD_PTR Param2) {
  const std::int64_t qpc = QpcNow();
  NoticeBatch batch;  // declared before the guard: posted after the lock is released
  std::lock_guard<std::mutex> guard(g_lock);
  Configure();
  switch (Message) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
      return MMSYSERR_NOERROR;
    case MODM_GETNUMDEVS:
      return static_cast<DWORD>(g_outputs.size());
    default:
      break;
  }
  if (Id >= g_outputs.size()) return MMSYSERR_BADDEVICEID;
  OutputPort& port = g_outputs[Id];
  if (port.DeadHandle && Message == MODM_CLOSE) {
    // What it held is lost with it; the handle is released.
    for (MIDIHDR* header : port.Held) header->dwFlags &= ~MHDR_INQUEUE;
    port.Held.clear();
    port.Open = false;
    port.DeadHandle = false;
    ReportEvent(Direction::Output, Id, DeviceEventKind::Closed);
    return MMSYSERR_NOERROR;
  }
  if (port.Unplugged || (port.DeadHandle && Message != MODM_OPEN)) return MMSYSERR_NODRIVER;
  switch (Message) {
    case MODM_GETDEVCAPS: {
      if (port.Device.CapsFail) return MMSYSERR_ERROR;
      MIDIOUTCAPSW caps{};
      caps.wMid = UnmappedManufacturer;
      caps.wPid = UnmappedProduct;
      caps.vDriverVersion = port.Device.DriverVersion;
      FillName(caps.szPname, port.Device.Name);
      caps.wTechnology = MOD_MIDIPORT;
      caps.wChannelMask = 0xFFFF;
      std::memcpy(reinterpret_cast<void*>(Param1), &caps, std::min<std::size_t>(Param2, sizeof caps));
      return MMSYSERR_NOERROR;
    }
    case MODM_OPEN: {
      if (port.RefuseOpen || port.Open) {
        ReportEvent(Direction::Output, Id, DeviceEventKind::OpenRefused);
        return MMSYSERR_ALLOCATED;
      }
      port.Open = true;
      port.Desc = *reinterpret_cast<const MIDIOPENDESC*>(Param1);
      port.Flags = static_cast<DWORD>(Param2);
      port.RunningStatus = 0;
      *reinterpret_cast<DWORD_PTR*>(User) = Id;
      ReportEvent(Direction::Output, Id, DeviceEventKind::Opened);
      port.Notify(batch, MOM_OPEN, 0, 0);
      return MMSYSERR_NOERROR;
    }
    case MODM_CLOSE:
      if (!port.Open) return MMSYSERR_INVALHANDLE;
      if (!port.Held.empty()) {
        ReportEvent(Direction::Output, Id, DeviceEventKind::CloseRefused);
        return MIDIERR_STILLPLAYING;
      }
      port.Notify(batch, MOM_CLOSE, 0, 0);
      port.Open = false;
      ReportEvent(Direction::Output, Id, DeviceEventKind::Closed);
      return MMSYSERR_NOERROR;
    case MODM_DATA: {
      if (!port.Open) return MMSYSERR_INVALHANDLE;
      const auto packed = static_cast<DWORD>(Param1);
      const BYTE bytes[3] = {LOBYTE(packed), LOBYTE(packed >> 8), LOBYTE(packed >> 16)};
      const std::size_t length = ShortMessageLength(bytes[0], port.RunningStatus);
      if (bytes[0] >= 0x80 && bytes[0] < 0xF0) port.RunningStatus = bytes[0];
      else if (bytes[0] >= 0xF0 && bytes[0] < 0xF8) port.RunningStatus = 0;
      ReportOutput(Id, false, qpc, bytes, length);
      return MMSYSERR_NOERROR;
    }
    case MODM_LONGDATA: {
      if (!port.Open) return MMSYSERR_INVALHANDLE;
      auto* header = reinterpret_cast<MIDIHDR*>(Param1);
      if (!header || Param2 < offsetof(MIDIHDR, dwOffset)) return MMSYSERR_INVALPARAM;
      if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
      if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
      port.RunningStatus = 0;
      ReportOutput(Id, true, qpc, header->lpData, header->dwBufferLength);
      header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
      if (port.HoldLong) port.Held.push_back(header);
      else CompleteOutputHeader(port, header, batch);
      return MMSYSERR_NOERROR;
    }
    case MODM_PREPARE: {
      auto* header = reinterpret_cast<MIDIHDR*>(Param1);
      if (!header) return MMSYSERR_INVALPARAM;
      if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
      header->dwFlags |= MHDR_PREPARED;
      return MMSYSERR_NOERROR;
    }
    case MODM_UNPREPARE: {
      auto* header = reinterpret_cast<MIDIHDR*>(Param1);
      if (!header) return MMSYSERR_INVALPARAM;
      if (header->dwFlags & MHDR_INQUEUE) {
        ReportEvent(Direction::Output, Id, DeviceEventKind::UnprepareRefused);
        return MIDIERR_STILLPLAYING;
      }
      header->dwFlags &= ~MHDR_PREPARED;
      ReportEvent(Direction::Output, Id, DeviceEventKind::Unprepared);
      return MMSYSERR_NOERROR;
    }
    case MODM_RESET:
      if (!port.Open) return MMSYSERR_INVALHANDLE;
      while (!port.Held.empty()) {
        CompleteOutputHeader(port, port.Held.front(), batch);
        port.Held.pop_front();
      }
      port.RunningStatus = 0;
      ReportEvent(Direction::Output, Id, DeviceEventKind::Reset);
      return MMSYSERR_NOERROR;
    default:
      return MMSYSERR_NOTSUPPORTED;
  }
}

// --- input -------------------------------------------------------------------

DWORD_PTR MillisecondsSinceStart(const InputPort& Port) {
  return static_cast<DWORD_PTR>((QpcNow() - Port.StartQpc) * 1000 / g_qpcFrequency);
}

void ReturnInputBuffer(InputPort& Port, NoticeBatch& Batch) {
  MIDIHDR* header = Port.Buffers.front();
  Port.Buffers.pop_front();
  header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
  Port.Notify(Batch, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), MillisecondsSinceStart(Port));
}

DWORD InputMessage(UINT Id, UINT Message, DWORD_PTR User, DWORD_PTR Param1, DWORD_PTR Param2) {
  NoticeBatch batch;  // declared before the guard: posted after the lock is released
  std::lock_guard<std::mutex> guard(g_lock);
  Configure();
  switch (Message) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
      return MMSYSERR_NOERROR;
    case MIDM_GETNUMDEVS:
      return static_cast<DWORD>(g_inputs.size());
    default:
      break;
  }
  if (Id >= g_inputs.size()) return MMSYSERR_BADDEVICEID;
  InputPort& port = g_inputs[Id];
  switch (Message) {
    case MIDM_GETDEVCAPS: {
      if (port.Device.CapsFail) return MMSYSERR_ERROR;
      MIDIINCAPSW caps{};
      caps.wMid = UnmappedManufacturer;
      caps.wPid = UnmappedProduct;
      caps.vDriverVersion = port.Device.DriverVersion;
      FillName(caps.szPname, port.Device.Name);
      std::memcpy(reinterpret_cast<void*>(Param1), &caps, std::min<std::size_t>(Param2, sizeof caps));
      return MMSYSERR_NOERROR;
    }
    case MIDM_OPEN: {
      if (port.RefuseOpen || port.Open) {
        ReportEvent(Direction::Input, Id, DeviceEventKind::OpenRefused);
        return MMSYSERR_ALLOCATED;
      }
      port.Open = true;
      port.Started = false;
      port.Desc = *reinterpret_cast<const MIDIOPENDESC*>(Param1);
      port.Flags = static_cast<DWORD>(Param2);
      *reinterpret_cast<DWORD_PTR*>(User) = Id;
      ReportEvent(Direction::Input, Id, DeviceEventKind::Opened);
      port.Notify(batch, MIM_OPEN, 0, 0);
      return MMSYSERR_NOERROR;
    }
    case MIDM_CLOSE:
      if (!port.Open) return MMSYSERR_INVALHANDLE;
      if (!port.Buffers.empty()) {
        ReportEvent(Direction::Input, Id, DeviceEventKind::CloseRefused);
        return MIDIERR_STILLPLAYING;
      }
      port.Notify(batch, MIM_CLOSE, 0, 0);
      port.Open = false;
      port.Started = false;
      ReportEvent(Direction::Input, Id, DeviceEventKind::Closed);
      return MMSYSERR_NOERROR;
    case MIDM_PREPARE: {
      auto* header = reinterpret_cast<MIDIHDR*>(Param1);
      if (!header) return MMSYSERR_INVALPARAM;
      if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
      header->dwFlags |= MHDR_PREPARED;
      return MMSYSERR_NOERROR;
    }
    case MIDM_UNPREPARE: {
      auto* header = reinterpret_cast<MIDIHDR*>(Param1);
      if (!header) return MMSYSERR_INVALPARAM;
      if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
      header->dwFlags &= ~MHDR_PREPARED;
      return MMSYSERR_NOERROR;
    }
    case MIDM_ADDBUFFER: {
      if (!port.Open) return MMSYSERR_INVALHANDLE;
      auto* header = reinterpret_cast<MIDIHDR*>(Param1);
      if (!header || Param2 < offsetof(MIDIHDR, dwOffset) || !header->lpData || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
      if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
      if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
      header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
      header->dwBytesRecorded = 0;
      port.Buffers.push_back(header);
      return MMSYSERR_NOERROR;
    }
    case MIDM_START:
      if (!port.Open) return MMSYSERR_INVALHANDLE;
      if (!port.Started) {
        port.Started = true;
        port.StartQpc = QpcNow();
        ReportEvent(Direction::Input, Id, DeviceEventKind::Started);
      }
      return MMSYSERR_NOERROR;
    case MIDM_STOP:
      if (!port.Open) return MMSYSERR_INVALHANDLE;
      // A buffer that has taken bytes is returned; empty ones stay queued.
      if (!port.Buffers.empty() && port.Buffers.front()->dwBytesRecorded > 0) ReturnInputBuffer(port, batch);
      port.Started = false;
      ReportEvent(Direction::Input, Id, DeviceEventKind::Stopped);
      return MMSYSERR_NOERROR;
    case MIDM_RESET:
      if (!port.Open) return MMSYSERR_INVALHANDLE;
      while (!port.Buffers.empty()) ReturnInputBuffer(port, batch);
      port.Started = false;
      ReportEvent(Direction::Input, Id, DeviceEventKind::Reset);
      return MMSYSERR_NOERROR;
    default:
      return MMSYSERR_NOTSUPPORTED;
  }
}

// --- commands from the controller --------------------------------------------

std::uint32_t InjectShort(UINT Id, DWORD Packed, NoticeBatch& Batch) {
  if (Id >= g_inputs.size()) return 0;
  InputPort& port = g_inputs[Id];
  if (!port.Open || !port.Started) return 0;
  port.Notify(Batch, MIM_DATA, Packed, MillisecondsSinceStart(port));
  return 1;
}

std::uint32_t InjectSysEx(UINT Id, const std::vector<std::uint8_t>& Bytes, NoticeBatch& Batch) {
  if (Id >= g_inputs.size()) return 0;
  InputPort& port = g_inputs[Id];
  if (!port.Open || !port.Started) return 0;
  std::uint32_t accepted = 0;
  for (const std::uint8_t byte : Bytes) {
    if (port.Buffers.empty()) continue;  // no buffer: the byte is lost, as on a real port
    MIDIHDR* header = port.Buffers.front();
    header->lpData[header->dwBytesRecorded++] = static_cast<char>(byte);
    ++accepted;
    if (header->dwBytesRecorded == header->dwBufferLength || byte == 0xF7) ReturnInputBuffer(port, Batch);
  }
  return accepted;
}

void HandleCommand(const std::vector<std::uint8_t>& Body) {
  vmidi::FrameReader reader(Body.data(), Body.size());
  const auto command = static_cast<vmidi::Command>(reader.U8());
  const std::uint32_t sequence = reader.U32();
  std::uint32_t value = 0;
  std::int64_t qpc = 0;
  {
    NoticeBatch batch;
    std::lock_guard<std::mutex> guard(g_lock);
    switch (command) {
      case vmidi::Command::InjectShort: {
        const UINT device = reader.U8();
        const DWORD packed = reader.U32();
        qpc = QpcNow();
        value = InjectShort(device, packed, batch);
        break;
      }
      case vmidi::Command::InjectSysEx: {
        const UINT device = reader.U8();
        const auto bytes = reader.Rest();
        qpc = QpcNow();
        value = InjectSysEx(device, bytes, batch);
        break;
      }
      case vmidi::Command::SetRefuseOpen: {
        const auto direction = static_cast<Direction>(reader.U8());
        const UINT device = reader.U8();
        const bool on = reader.U8() != 0;
        if (direction == Direction::Output && device < g_outputs.size()) g_outputs[device].RefuseOpen = on, value = 1;
        if (direction == Direction::Input && device < g_inputs.size()) g_inputs[device].RefuseOpen = on, value = 1;
        break;
      }
      case vmidi::Command::SetHoldLong: {
        const UINT device = reader.U8();
        const bool on = reader.U8() != 0;
        if (device < g_outputs.size()) g_outputs[device].HoldLong = on, value = 1;
        break;
      }
      case vmidi::Command::CompleteHeld: {
        const UINT device = reader.U8();
        if (device < g_outputs.size()) {
          OutputPort& port = g_outputs[device];
          value = static_cast<std::uint32_t>(port.Held.size());
          for (MIDIHDR* header : port.Held) CompleteOutputHeader(port, header, batch);
          port.Held.clear();
        }
        break;
      }
      case vmidi::Command::SetUnplugged: {
        const UINT device = reader.U8();
        const bool on = reader.U8() != 0;
        if (device < g_outputs.size()) {
          OutputPort& port = g_outputs[device];
          port.Unplugged = on;
          if (on && port.Open) port.DeadHandle = true;
          value = 1;
        }
        break;
      }
      case vmidi::Command::Ping:
        value = 1;
        break;
    }
    if (qpc == 0) qpc = QpcNow();
  }
  // After the notices have been posted, so that a controller that waits for
  // the Ack finds them in the client's queue.
  Report(vmidi::FrameWriter(static_cast<std::uint8_t>(vmidi::Report::Ack)).U32(sequence).U32(value).I64(qpc).Take());
}

}  // namespace

// --- entry points ------------------------------------------------------------

extern "C" {

LRESULT CALLBACK DriverProc(DWORD_PTR, HDRVR Driver, UINT Message, LPARAM Param1, LPARAM Param2) {
  switch (Message) {
    case DRV_LOAD: {
      std::lock_guard<std::mutex> guard(g_lock);
      Configure();
      if (!g_link) StartControlLink();
      return 1;
    }
    case DRV_FREE: {
      std::lock_guard<std::mutex> guard(g_lock);
      if (g_link) g_link->Shutdown();
      return 1;
    }
    case DRV_OPEN:
    case DRV_CLOSE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_QUERYCONFIGURE:
    case DRV_INSTALL:
    case DRV_REMOVE:
      return 1;
    case DRV_CONFIGURE:
      return DRVCNF_OK;
    default:
      return DefDriverProc(0, Driver, Message, Param1, Param2);
  }
}

DWORD CALLBACK modMessage(UINT Id, UINT Message, DWORD_PTR User, DWORD_PTR Param1, DWORD_PTR Param2) {
  return OutputMessage(Id, Message, User, Param1, Param2);
}

DWORD CALLBACK midMessage(UINT Id, UINT Message, DWORD_PTR User, DWORD_PTR Param1, DWORD_PTR Param2) {
  return InputMessage(Id, Message, User, Param1, Param2);
}

// The audio device layer's entry points: the driver is always preferred
// (3) and offers no endpoints, so nothing asks for an endpoint or a session.
int WINAPI GetPriority() { return 3; }

HRESULT WINAPI GetEndpointIDs(int /*flow*/, WCHAR*** Ids, GUID** Guids, UINT* Count, UINT* DefaultIndex) {
  // The caller frees both arrays with HeapFree.
  *Ids = static_cast<WCHAR**>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(WCHAR*)));
  *Guids = static_cast<GUID*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(GUID)));
  *Count = 0;
  *DefaultIndex = 0;
  return S_OK;
}

HRESULT WINAPI GetAudioEndpoint(void*, void*, void** Client) {
  if (Client) *Client = nullptr;
  return E_NOTIMPL;
}

HRESULT WINAPI GetAudioSessionManager(void*, void** Manager) {
  if (Manager) *Manager = nullptr;
  return E_NOTIMPL;
}

}  // extern "C"
