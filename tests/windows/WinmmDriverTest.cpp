// The virtual devices through winmm itself, with the notices delivered to
// the backend's notice windows: what every test above this level relies on.
#include <gtest/gtest.h>

#include "platform/MmSystem.h"

#include <cstdint>
#include <string>
#include <vector>

#include "VirtualMidiEnvironment.h"
#include "platform/NoticeWindow.h"

using namespace testdevices;
using vmidi::DeviceEventKind;
using vmidi::Direction;

namespace {

// A notice window that records every MIDI notice it is handed.
class RecordingWindow {
 public:
  RecordingWindow() : window_([this](TMessage& m) { notices.push_back(m); }) {}
  DWORD_PTR Target() const { return window_.CallbackTarget(); }
  std::size_t Count(UINT Message) const {
    std::size_t n = 0;
    for (const auto& m : notices) n += m.Msg == Message ? 1 : 0;
    return n;
  }
  std::vector<TMessage> Of(UINT Message) const {
    std::vector<TMessage> found;
    for (const auto& m : notices)
      if (m.Msg == Message) found.push_back(m);
    return found;
  }
  std::vector<TMessage> notices;

 private:
  platform::NoticeWindow window_;
};

constexpr UINT HeaderSize = sizeof(MIDIHDR);

}  // namespace

TEST(WinmmDriver, DeviceCapabilitiesCarryTheConfiguredNamesAndVersions) {
  REQUIRE_VIRTUAL_MIDI();
  ASSERT_EQ(midiInGetNumDevs(), static_cast<UINT>(InputCount));
  ASSERT_EQ(midiOutGetNumDevs(), static_cast<UINT>(OutputCount));
  struct Case {
    int device;
    const char* name;
    UINT version;
  };
  for (const Case& c : {Case{OutUsbMidi, "USB MIDI", 0x0105}, Case{OutSynthB, "Virtual Synth B", 0x010A},
                        Case{OutRefusing, "Refusing Synth", 0x0000}, Case{OutUsbMidiTwin, "usb midi", 0x0105}}) {
    MIDIOUTCAPSA caps{};
    ASSERT_EQ(midiOutGetDevCapsA(c.device, &caps, sizeof caps), MMSYSERR_NOERROR) << c.name;
    EXPECT_STREQ(caps.szPname, c.name);
    EXPECT_EQ(caps.vDriverVersion, c.version) << c.name;
  }
  MIDIINCAPSA inCaps{};
  ASSERT_EQ(midiInGetDevCapsA(InUsbMidi, &inCaps, sizeof inCaps), MMSYSERR_NOERROR);
  EXPECT_STREQ(inCaps.szPname, "USB MIDI");
  EXPECT_EQ(inCaps.vDriverVersion, 0x0105u);

  MIDIOUTCAPSA broken{};
  EXPECT_NE(midiOutGetDevCapsA(OutBroken, &broken, sizeof broken), MMSYSERR_NOERROR);
  MIDIINCAPSA brokenIn{};
  EXPECT_NE(midiInGetDevCapsA(InBroken, &brokenIn, sizeof brokenIn), MMSYSERR_NOERROR);
}

TEST(WinmmDriver, ARefusingDeviceFailsTheOpenAndAcceptsOnceAllowed) {
  REQUIRE_VIRTUAL_MIDI();
  RecordingWindow window;
  HMIDIOUT handle = nullptr;
  EXPECT_EQ(midiOutOpen(&handle, OutRefusing, window.Target(), 0, CALLBACK_WINDOW), MMSYSERR_ALLOCATED);

  ASSERT_TRUE(VirtualMidi()->SetRefuseOpen(Direction::Output, OutRefusing, false));
  ASSERT_EQ(midiOutOpen(&handle, OutRefusing, window.Target(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  // An open device is taken: a second open is refused like a busy port.
  HMIDIOUT second = nullptr;
  EXPECT_EQ(midiOutOpen(&second, OutRefusing, window.Target(), 0, CALLBACK_WINDOW), MMSYSERR_ALLOCATED);
  EXPECT_EQ(midiOutClose(handle), MMSYSERR_NOERROR);
  ASSERT_TRUE(VirtualMidi()->SetRefuseOpen(Direction::Output, OutRefusing, true));

  HMIDIIN input = nullptr;
  ASSERT_TRUE(VirtualMidi()->SetRefuseOpen(Direction::Input, InKeyboard, true));
  EXPECT_EQ(midiInOpen(&input, InKeyboard, window.Target(), 0, CALLBACK_WINDOW), MMSYSERR_ALLOCATED);
  ASSERT_TRUE(VirtualMidi()->SetRefuseOpen(Direction::Input, InKeyboard, false));
}

TEST(WinmmDriver, ShortMessagesReachTheOutputDeviceAsTheirBytes) {
  REQUIRE_VIRTUAL_MIDI();
  VirtualMidi()->ClearRecords();
  RecordingWindow window;
  HMIDIOUT handle = nullptr;
  ASSERT_EQ(midiOutOpen(&handle, OutSynthB, window.Target(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  struct Case {
    DWORD packed;
    std::vector<std::uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {0x00643C90, {0x90, 0x3C, 0x64}},  // note on
      {0x000000F8, {0xF8}},              // clock: one byte, keeps the running status
      {0x00004040, {0x40, 0x40}},        // running status of the note on: its two data bytes
      {0x00000AC3, {0xC3, 0x0A}},        // program change: two bytes
      {0x0000000B, {0x0B}},              // running status of the program change: one byte
  };
  const std::int64_t before = QpcNow();
  for (const auto& c : cases) ASSERT_EQ(midiOutShortMsg(handle, c.packed), MMSYSERR_NOERROR);
  const std::int64_t after = QpcNow();
  ASSERT_TRUE(VirtualMidi()->Sync());
  const auto received = VirtualMidi()->Received(OutSynthB);
  ASSERT_EQ(received.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_FALSE(received[i].Long);
    EXPECT_EQ(received[i].Bytes, cases[i].bytes) << "message " << i;
    EXPECT_GE(received[i].Qpc, before);
    EXPECT_LE(received[i].Qpc, after);
  }
  EXPECT_EQ(midiOutClose(handle), MMSYSERR_NOERROR);
}

TEST(WinmmDriver, InjectedInputArrivesAsNoticesInPostingOrder) {
  REQUIRE_VIRTUAL_MIDI();
  RecordingWindow window;
  HMIDIIN handle = nullptr;
  ASSERT_EQ(midiInOpen(&handle, InUsbMidi, window.Target(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  EXPECT_EQ(VirtualMidi()->InjectShort(InUsbMidi, 0x00643C90).Value, 0u) << "taken before midiInStart";
  ASSERT_EQ(midiInStart(handle), MMSYSERR_NOERROR);
  const std::vector<DWORD> messages = {0x00643C90, 0x00403C80, 0x007F07B5, 0x000000F8};
  for (DWORD m : messages) ASSERT_EQ(VirtualMidi()->InjectShort(InUsbMidi, m).Value, 1u);
  ASSERT_TRUE(PumpUntil([&] { return window.Count(MM_MIM_DATA) == messages.size(); }));
  const auto data = window.Of(MM_MIM_DATA);
  for (std::size_t i = 0; i < messages.size(); ++i) {
    EXPECT_EQ(static_cast<DWORD>(data[i].LParam), messages[i]);
    EXPECT_EQ(data[i].WParam, reinterpret_cast<WPARAM>(handle));
  }
  EXPECT_EQ(midiInStop(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInReset(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(handle), MMSYSERR_NOERROR);
}

TEST(WinmmDriver, SystemExclusiveFillsTheQueuedBuffersInTurn) {
  REQUIRE_VIRTUAL_MIDI();
  RecordingWindow window;
  HMIDIIN handle = nullptr;
  ASSERT_EQ(midiInOpen(&handle, InUsbMidi, window.Target(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  constexpr DWORD BufferSize = 4096;
  std::vector<std::vector<char>> blocks(3, std::vector<char>(BufferSize));
  std::vector<MIDIHDR> headers(3);
  for (std::size_t i = 0; i < headers.size(); ++i) {
    headers[i].lpData = blocks[i].data();
    headers[i].dwBufferLength = BufferSize;
    ASSERT_EQ(midiInPrepareHeader(handle, &headers[i], HeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(handle, &headers[i], HeaderSize), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(midiInStart(handle), MMSYSERR_NOERROR);

  std::vector<std::uint8_t> sysex(10000);
  for (std::size_t i = 0; i < sysex.size(); ++i) sysex[i] = static_cast<std::uint8_t>(i % 0x80);
  sysex.front() = 0xF0;
  sysex.back() = 0xF7;
  EXPECT_EQ(VirtualMidi()->InjectSysEx(InUsbMidi, sysex).Value, sysex.size());
  ASSERT_TRUE(PumpUntil([&] { return window.Count(MM_MIM_LONGDATA) == 3; }));
  const auto returned = window.Of(MM_MIM_LONGDATA);
  const DWORD expected[3] = {4096, 4096, 10000 - 2 * 4096};
  std::vector<std::uint8_t> joined;
  for (std::size_t i = 0; i < 3; ++i) {
    auto* header = reinterpret_cast<MIDIHDR*>(returned[i].LParam);
    ASSERT_EQ(header, &headers[i]) << "buffers come back in the order they were queued";
    EXPECT_EQ(header->dwBytesRecorded, expected[i]);
    EXPECT_TRUE(header->dwFlags & MHDR_DONE);
    joined.insert(joined.end(), header->lpData, header->lpData + header->dwBytesRecorded);
  }
  EXPECT_EQ(joined, sysex);

  // No buffer queued: the bytes are lost, as on a real port.
  EXPECT_EQ(VirtualMidi()->InjectSysEx(InUsbMidi, {0xF0, 0x01, 0xF7}).Value, 0u);

  EXPECT_EQ(midiInReset(handle), MMSYSERR_NOERROR);
  for (auto& header : headers) EXPECT_EQ(midiInUnprepareHeader(handle, &header, HeaderSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(handle), MMSYSERR_NOERROR);
}

TEST(WinmmDriver, LongMessagesCompleteAndResetReturnsHeldOnesAsDone) {
  REQUIRE_VIRTUAL_MIDI();
  VirtualMidi()->ClearRecords();
  RecordingWindow window;
  HMIDIOUT handle = nullptr;
  ASSERT_EQ(midiOutOpen(&handle, OutUsbMidi, window.Target(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  std::vector<char> bytes = {'\xF0', '\x7E', '\x7F', '\x09', '\x01', '\xF7'};
  MIDIHDR first{};
  first.lpData = bytes.data();
  first.dwBufferLength = static_cast<DWORD>(bytes.size());
  ASSERT_EQ(midiOutPrepareHeader(handle, &first, HeaderSize), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutLongMsg(handle, &first, HeaderSize), MMSYSERR_NOERROR);
  ASSERT_TRUE(PumpUntil([&] { return window.Count(MM_MOM_DONE) == 1; }));
  EXPECT_EQ(window.Of(MM_MOM_DONE)[0].LParam, reinterpret_cast<LPARAM>(&first));
  EXPECT_TRUE(first.dwFlags & MHDR_DONE);

  ASSERT_TRUE(VirtualMidi()->SetHoldLong(OutUsbMidi, true));
  MIDIHDR held{};
  held.lpData = bytes.data();
  held.dwBufferLength = static_cast<DWORD>(bytes.size());
  ASSERT_EQ(midiOutPrepareHeader(handle, &held, HeaderSize), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutLongMsg(handle, &held, HeaderSize), MMSYSERR_NOERROR);
  PumpFor(50);
  EXPECT_EQ(window.Count(MM_MOM_DONE), 1u) << "a held message is not done";
  EXPECT_EQ(midiOutUnprepareHeader(handle, &held, HeaderSize), MIDIERR_STILLPLAYING);
  // No midiOutClose here: Wine's winmm releases the handle even when the
  // driver refuses the close with MIDIERR_STILLPLAYING, which would leave
  // the virtual device open for the rest of the run.
  ASSERT_EQ(midiOutReset(handle), MMSYSERR_NOERROR);
  EXPECT_TRUE(held.dwFlags & MHDR_DONE);
  EXPECT_EQ(midiOutUnprepareHeader(handle, &held, HeaderSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutUnprepareHeader(handle, &first, HeaderSize), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutClose(handle), MMSYSERR_NOERROR);
  ASSERT_TRUE(VirtualMidi()->SetHoldLong(OutUsbMidi, false));

  // The reset's completion notice was posted before the close and is
  // handled after it: a late notice, as the ports must expect.
  ASSERT_TRUE(PumpUntil([&] { return window.Count(MM_MOM_DONE) == 2; }));
  EXPECT_EQ(window.Of(MM_MOM_DONE)[1].LParam, reinterpret_cast<LPARAM>(&held));
  ASSERT_TRUE(VirtualMidi()->Sync());
  const auto received = VirtualMidi()->Received(OutUsbMidi);
  ASSERT_EQ(received.size(), 2u);
  for (const auto& r : received) {
    EXPECT_TRUE(r.Long);
    EXPECT_EQ(r.Bytes, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  }
}

TEST(WinmmDriver, NoticesOfSeveralPortsKeepOnePostingOrder) {
  REQUIRE_VIRTUAL_MIDI();
  std::vector<int> order;
  platform::NoticeWindow a([&](TMessage& m) { if (m.Msg == MM_MIM_DATA) order.push_back(static_cast<int>(m.LParam)); });
  platform::NoticeWindow b([&](TMessage& m) { if (m.Msg == MM_MIM_DATA) order.push_back(static_cast<int>(m.LParam)); });
  HMIDIIN ha = nullptr;
  HMIDIIN hb = nullptr;
  ASSERT_EQ(midiInOpen(&ha, InUsbMidi, a.CallbackTarget(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInOpen(&hb, InKeyboard, b.CallbackTarget(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(ha), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(hb), MMSYSERR_NOERROR);
  std::vector<int> expected;
  for (int i = 0; i < 40; ++i) {
    const int device = (i * 7) % 3 == 0 ? InKeyboard : InUsbMidi;
    const DWORD message = 0x00000090u | (static_cast<DWORD>(i) << 8);
    ASSERT_EQ(VirtualMidi()->InjectShort(device, message).Value, 1u);
    expected.push_back(static_cast<int>(message));
  }
  ASSERT_TRUE(PumpUntil([&] { return order.size() == expected.size(); }));
  EXPECT_EQ(order, expected);
  midiInReset(ha);
  midiInReset(hb);
  EXPECT_EQ(midiInClose(ha), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(hb), MMSYSERR_NOERROR);
}
