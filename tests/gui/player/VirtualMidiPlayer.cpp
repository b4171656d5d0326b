// The newcomer's stand-in for real MIDI hardware: starts Velmora.exe over
// the virtual MIDI driver of the Windows tests, plays a short phrase on a
// few channels of the virtual keyboard every few seconds, and writes what
// each virtual synth receives, with its time, to a log file. Ends when
// Velmora ends.
//
//   velmora_virtual_player <Velmora.exe> <log file>
//
// The driver (winevmidi.drv, beside Velmora.exe, the Wine prefix's audio
// driver set to "vmidi") offers "Virtual Keyboard" as input 0 and "Virtual
// Synth A" and "Virtual Synth B" as outputs 0 and 1.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "VirtualMidiController.h"
#include "driver/VirtualMidiProtocol.h"

namespace {

constexpr DWORD PhraseEveryMilliseconds = 4000;
const char* const OutputNames[] = {"Virtual Synth A", "Virtual Synth B"};

struct Step {
  DWORD At;  // milliseconds into the phrase
  DWORD Message;
};

DWORD Short(int Status, int Data1, int Data2) {
  return static_cast<DWORD>(Status) | static_cast<DWORD>(Data1) << 8 | static_cast<DWORD>(Data2) << 16;
}

// A bar of four beats: an arpeggio on channel 0, a bass line on channel 1,
// and kick and snare on channel 9 (the drum channel).
std::vector<Step> Phrase() {
  std::vector<Step> steps;
  const int arpeggio[] = {60, 64, 67, 72};
  for (int i = 0; i < 4; ++i) {
    const DWORD at = 250u * static_cast<DWORD>(i);
    steps.push_back({at, Short(0x90, arpeggio[i], 96)});
    steps.push_back({at + 200, Short(0x80, arpeggio[i], 0)});
  }
  steps.push_back({0, Short(0x91, 36, 110)});
  steps.push_back({480, Short(0x81, 36, 0)});
  steps.push_back({500, Short(0x91, 43, 100)});
  steps.push_back({980, Short(0x81, 43, 0)});
  for (int beat = 0; beat < 4; ++beat) {
    const int drum = beat % 2 == 0 ? 36 : 38;
    const DWORD at = 250u * static_cast<DWORD>(beat);
    steps.push_back({at, Short(0x99, drum, 120)});
    steps.push_back({at + 100, Short(0x89, drum, 0)});
  }
  return steps;
}

double Milliseconds(std::int64_t Qpc) {
  static LARGE_INTEGER frequency{};
  if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
  return static_cast<double>(Qpc) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::int64_t Now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

std::string Bytes(const std::vector<std::uint8_t>& Bytes) {
  std::string text;
  char hex[4];
  for (std::uint8_t b : Bytes) {
    std::snprintf(hex, sizeof hex, "%02X ", b);
    text += hex;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

std::string Describe(const std::vector<std::uint8_t>& Bytes) {
  if (Bytes.empty()) return {};
  const int status = Bytes[0] & 0xF0;
  const int channel = Bytes[0] & 0x0F;
  const char* kind = status == 0x90 && Bytes.size() > 2 && Bytes[2] ? "note on" : status == 0x80 || status == 0x90 ? "note off" : "";
  if (!*kind) return {};
  return std::string(kind) + ", channel " + std::to_string(channel) + ", note " + std::to_string(Bytes.size() > 1 ? Bytes[1] : 0);
}

// The lines come from two sources (what was played, what the driver
// reported) at different moments; they are held back briefly and written in
// time order.
class Log {
 public:
  explicit Log(const char* Path) : FFile(std::fopen(Path, "w")) {}
  ~Log() {
    Flush(1e300);
    if (FFile) std::fclose(FFile);
  }
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;
  bool Open() const { return FFile != nullptr; }
  void Line(double Ms, const std::string& Who, const std::string& What) {
    char head[48];
    std::snprintf(head, sizeof head, "%10.1f ms  %-17s ", Ms, Who.c_str());
    FPending.emplace(Ms, head + What);
  }
  void Flush(double BeforeMs) {
    if (!FFile) return;
    while (!FPending.empty() && FPending.begin()->first < BeforeMs) {
      std::fprintf(FFile, "%s\n", FPending.begin()->second.c_str());
      FPending.erase(FPending.begin());
    }
    std::fflush(FFile);
  }

 private:
  std::FILE* FFile;
  std::multimap<double, std::string> FPending;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: velmora_virtual_player <Velmora.exe> <log file>\n");
    return 2;
  }
  Log log(argv[2]);
  if (!log.Open()) {
    std::fprintf(stderr, "velmora_virtual_player: cannot write %s\n", argv[2]);
    return 2;
  }
  vmidi::Controller controller;
  if (!controller.Listen()) {
    std::fprintf(stderr, "velmora_virtual_player: cannot listen for the driver\n");
    return 2;
  }
  // Velmora inherits the variable; the driver in its process connects back.
  SetEnvironmentVariableA(vmidi::ControlPortVariable, std::to_string(controller.Port()).c_str());

  std::string commandLine = std::string("\"") + argv[1] + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION velmora{};
  if (!CreateProcessA(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &velmora)) {
    std::fprintf(stderr, "velmora_virtual_player: cannot start %s\n", argv[1]);
    return 2;
  }
  CloseHandle(velmora.hThread);
  if (!controller.AcceptDriver(60000)) {
    std::fprintf(stderr, "velmora_virtual_player: the virtual MIDI driver did not connect; "
                         "Velmora runs without the virtual keyboard\n");
    WaitForSingleObject(velmora.hProcess, INFINITE);
    return 1;
  }

  const std::int64_t start = Now();
  const auto sinceStart = [start](std::int64_t qpc) { return Milliseconds(qpc) - Milliseconds(start); };
  log.Line(0, "player", "Velmora started; the virtual keyboard plays a bar every 4 s on channels 0, 1 and 9");

  const std::vector<Step> phrase = Phrase();
  std::vector<bool> played(phrase.size(), false);
  DWORD phraseStart = GetTickCount() + 2000;  // give the program its first moments
  std::size_t reported[2] = {0, 0};
  std::size_t events = 0;
  DWORD lastReport = 0;
  while (WaitForSingleObject(velmora.hProcess, 5) == WAIT_TIMEOUT) {
    const DWORD now = GetTickCount();
    if (static_cast<int>(now - phraseStart) >= 0) {
      const DWORD into = now - phraseStart;
      for (std::size_t i = 0; i < phrase.size(); ++i) {
        if (!played[i] && into >= phrase[i].At) {
          played[i] = true;
          const vmidi::Ack ack = controller.InjectShort(0, phrase[i].Message);
          const std::vector<std::uint8_t> bytes = {
              static_cast<std::uint8_t>(phrase[i].Message), static_cast<std::uint8_t>(phrase[i].Message >> 8),
              static_cast<std::uint8_t>(phrase[i].Message >> 16)};
          // Not taken: the input is closed (another input chosen in Velmora).
          log.Line(sinceStart(ack.Received ? ack.Qpc : Now()), "Virtual Keyboard",
                   Bytes(bytes) + "  " + Describe(bytes) + (ack.Received && ack.Value ? "" : "  (input not open)"));
        }
      }
      if (into >= PhraseEveryMilliseconds) {
        phraseStart += PhraseEveryMilliseconds;
        played.assign(phrase.size(), false);
      }
    }
    if (now - lastReport >= 100) {
      lastReport = now;
      for (int device = 0; device < 2; ++device) {
        const auto records = controller.Received(device);
        for (std::size_t i = reported[device]; i < records.size(); ++i)
          log.Line(sinceStart(records[i].Qpc), OutputNames[device],
                   Bytes(records[i].Bytes) + "  " + Describe(records[i].Bytes));
        reported[device] = records.size();
      }
      const auto deviceEvents = controller.Events();
      for (std::size_t i = events; i < deviceEvents.size(); ++i) {
        const vmidi::EventRecord& e = deviceEvents[i];
        const char* kinds[] = {"", "opened", "refused to open", "closed", "refused to close", "reset", "started", "stopped"};
        const auto kind = static_cast<std::size_t>(e.Kind);
        const std::string who = e.Dir == vmidi::Direction::Input ? "Virtual Keyboard"
                                : e.Device < 2                 ? OutputNames[e.Device]
                                                               : "output " + std::to_string(e.Device);
        log.Line(sinceStart(e.Qpc), who, kind < std::size(kinds) ? kinds[kind] : "event");
      }
      events = deviceEvents.size();
      log.Flush(sinceStart(Now()) - 500);
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(velmora.hProcess, &code);
  CloseHandle(velmora.hProcess);
  log.Line(sinceStart(Now()), "player", "Velmora ended");
  return static_cast<int>(code);
}
