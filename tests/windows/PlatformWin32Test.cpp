// The Windows backend's own services: the clock, the folders, the settings
// file's atomic replacement, the heap, the notice windows and the timer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "VirtualMidiEnvironment.h"
#include "platform/NoticeWindow.h"
#include "platform/Platform.h"
#include "platform/win32/NoticeExceptions.h"

namespace {

std::string TemporaryFolder() {
  char base[MAX_PATH + 1];
  GetTempPathA(sizeof base, base);
  std::string folder = std::string(base) + "velmora-tests-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(GetTickCount64());
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::vector<std::string> FilesIn(const std::string& Folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((Folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

class ScopedFolder {
 public:
  ScopedFolder() : path(TemporaryFolder()) {}
  ~ScopedFolder() {
    for (const auto& name : FilesIn(path)) {
      const std::string file = path + "\\" + name;
      SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(file.c_str());
      RemoveDirectoryA(file.c_str());
    }
    RemoveDirectoryA(path.c_str());
  }
  const std::string path;
};

TDateTime LocalTimeNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return EncodeDateTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

}  // namespace

// --- Now ---------------------------------------------------------------------

TEST(Win32Clock, NowStartsAtTheLocalTimeAndFollowsElapsedTime) {
  const TDateTime wall = LocalTimeNow();
  const TDateTime now = platform::Now();
  EXPECT_NEAR(DateTimeToMilliseconds(now), DateTimeToMilliseconds(wall), 250.0)
      << "Now is anchored to the local time";

  const ULONGLONG ticksBefore = GetTickCount64();
  const TDateTime before = platform::Now();
  Sleep(300);
  const TDateTime after = platform::Now();
  const ULONGLONG ticksAfter = GetTickCount64();
  const double elapsed = DateTimeToMilliseconds(after - before);
  EXPECT_NEAR(elapsed, static_cast<double>(ticksAfter - ticksBefore), 40.0);
}

TEST(Win32Clock, NowNeverGoesBackAndResolvesWellBelowAMillisecond) {
  TDateTime previous = platform::Now();
  double smallestStep = 1e9;
  const ULONGLONG end = GetTickCount64() + 50;
  while (GetTickCount64() < end) {
    const TDateTime now = platform::Now();
    ASSERT_GE(now, previous);
    if (now > previous) smallestStep = std::min(smallestStep, DateTimeToMilliseconds(now - previous));
    previous = now;
  }
  EXPECT_LT(smallestStep, 0.1) << "milliseconds between two distinct readings";
}

TEST(Win32Clock, NowAgreesAcrossThreads) {
  // The anchor is shared: a reading on another thread lies between two
  // readings of this one.
  const TDateTime before = platform::Now();
  TDateTime other = 0;
  std::thread([&] { other = platform::Now(); }).join();
  const TDateTime after = platform::Now();
  EXPECT_LE(before, other);
  EXPECT_LE(other, after);
}

// --- folders -------------------------------------------------------------------

TEST(Win32Folders, LocalAppDataIsAnExistingFolderWithoutTrailingDelimiter) {
  const std::string folder = platform::LocalAppDataFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Win32Folders, ProgramFilePathNamesThisProgram) {
  const std::string path = platform::ProgramFilePath();
  const std::string name = "velmora_windows_tests.exe";
  ASSERT_GT(path.size(), name.size());
  EXPECT_EQ(_stricmp(path.substr(path.size() - name.size()).c_str(), name.c_str()), 0) << path;
  EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(platform::PathDelimiter, '\\');
}

// --- settings file -----------------------------------------------------------

TEST(Win32Files, ReplaceAndReadRoundTripAnyBytes) {
  ScopedFolder folder;
  const std::string path = folder.path + "\\Velmora.ini";
  std::string big(3 * 1024 * 1024 + 17, 'x');
  for (std::size_t i = 0; i < big.size(); i += 4099) big[i] = static_cast<char>(i % 251);
  const std::vector<std::string> texts = {
      "[VelmoraEngine]\r\nTimerInterval=4\r\n",
      std::string("with\0zero\0bytes\n", 16),
      "",
      big,
      "short again",
  };
  for (const auto& text : texts) {
    ASSERT_TRUE(platform::ReplaceFileText(path, text));
    std::string read;
    ASSERT_TRUE(platform::ReadFileText(path, read));
    EXPECT_EQ(read.size(), text.size());
    EXPECT_TRUE(read == text);
    EXPECT_EQ(FilesIn(folder.path), std::vector<std::string>{"Velmora.ini"}) << "no temporary file is left";
  }
}

TEST(Win32Files, AFailedReplacementLeavesTheTargetAsItWas) {
  ScopedFolder folder;
  const std::string path = folder.path + "\\Velmora.ini";
  ASSERT_TRUE(platform::ReplaceFileText(path, "old"));

  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(platform::ReplaceFileText(path, "new")) << "read-only target";
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::string read;
  ASSERT_TRUE(platform::ReadFileText(path, read));
  EXPECT_EQ(read, "old");
  EXPECT_EQ(FilesIn(folder.path), std::vector<std::string>{"Velmora.ini"}) << "the temporary file is removed";

  EXPECT_FALSE(platform::ReplaceFileText(folder.path + "\\missing\\Velmora.ini", "new")) << "missing folder";
  CreateDirectoryA((folder.path + "\\adir").c_str(), nullptr);
  EXPECT_FALSE(platform::ReplaceFileText(folder.path + "\\adir", "new")) << "a folder in the way";
}

TEST(Win32Files, ReadingAMissingFileFails) {
  ScopedFolder folder;
  std::string text = "unchanged";
  EXPECT_FALSE(platform::ReadFileText(folder.path + "\\none.ini", text));
  EXPECT_EQ(text, "unchanged");
  EXPECT_FALSE(platform::FileExists(folder.path + "\\none.ini"));
}

// Another program holds the file open and shares nothing (a backup tool, an
// editor): it cannot be read, and it still exists, so it is not a missing file.
TEST(Win32Files, AFileHeldWithoutSharingCannotBeReadButExists) {
  ScopedFolder folder;
  const std::string path = folder.path + "\\Velmora.ini";
  ASSERT_TRUE(platform::ReplaceFileText(path, "[Velmora]\r\nLeft=5\r\n"));
  const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::string text;
  EXPECT_FALSE(platform::ReadFileText(path, text));
  EXPECT_TRUE(platform::FileExists(path));
  CloseHandle(held);
  EXPECT_TRUE(platform::ReadFileText(path, text));
  EXPECT_FALSE(platform::FileExists(folder.path)) << "a folder is no file";
}

// --- heap ----------------------------------------------------------------------

TEST(Win32Heap, BlocksComeZeroFilled) {
  std::vector<void*> blocks;
  for (std::size_t size : {64u, 4096u, 70000u}) {
    void* dirty = platform::ProcessHeapAlloc(size);
    ASSERT_NE(dirty, nullptr);
    std::memset(dirty, 0xAB, size);
    platform::ProcessHeapFree(dirty);
    auto* block = static_cast<unsigned char*>(platform::ProcessHeapAlloc(size));
    ASSERT_NE(block, nullptr);
    bool allZero = true;
    for (std::size_t i = 0; i < size; ++i) allZero = allZero && block[i] == 0;
    EXPECT_TRUE(allZero) << size;
    blocks.push_back(block);
  }
  for (void* block : blocks) platform::ProcessHeapFree(block);
  platform::ProcessHeapFree(nullptr);  // no block: accepted, and nothing happens
}

// --- notice windows ------------------------------------------------------------

TEST(Win32NoticeWindow, HandsMidiNoticesToItsHandlerOnly) {
  std::vector<UINT> seen;
  platform::NoticeWindow window([&](TMessage& m) { seen.push_back(m.Msg); });
  const HWND hwnd = reinterpret_cast<HWND>(window.CallbackTarget());
  ASSERT_TRUE(IsWindow(hwnd));
  for (UINT message : {UINT(MM_MIM_DATA), UINT(WM_USER + 5), UINT(MM_MOM_DONE), UINT(WM_TIMER),
                       UINT(MM_MIM_LONGDATA), UINT(MM_MOM_OPEN)})
    PostMessageA(hwnd, message, 0, 0);
  PumpMessages();
  EXPECT_EQ(seen, (std::vector<UINT>{MM_MIM_DATA, MM_MOM_DONE, MM_MIM_LONGDATA, MM_MOM_OPEN}));
}

TEST(Win32NoticeWindow, NoticesPostedToADestroyedWindowAreDropped) {
  int handled = 0;
  HWND hwnd;
  {
    platform::NoticeWindow window([&](TMessage&) { ++handled; });
    hwnd = reinterpret_cast<HWND>(window.CallbackTarget());
    PostMessageA(hwnd, MM_MIM_DATA, 0, 0x90);
  }
  EXPECT_FALSE(IsWindow(hwnd));
  PumpMessages();
  EXPECT_EQ(handled, 0);
}

namespace {
std::vector<std::string> reportedErrors;
void RecordError(const std::exception& Error) noexcept { reportedErrors.push_back(Error.what()); }
}  // namespace

TEST(Win32NoticeWindow, AnExceptionFromAHandlerGoesToTheErrorReportAndDeliveryGoesOn) {
  std::vector<LPARAM> seen;
  platform::NoticeWindow window([&](TMessage& m) {
    seen.push_back(m.LParam);
    if (m.LParam == 2) throw std::runtime_error("Cannot add node after this object.");
    if (m.LParam == 4) throw 42;
  });
  const HWND hwnd = reinterpret_cast<HWND>(window.CallbackTarget());
  reportedErrors.clear();
  platform::win32::SetNoticeExceptionHandler(RecordError);
  for (LPARAM i = 1; i <= 5; ++i) PostMessageA(hwnd, MM_MIM_DATA, 0, i);
  PumpMessages();
  EXPECT_EQ(seen, (std::vector<LPARAM>{1, 2, 3, 4, 5}));
  EXPECT_EQ(reportedErrors,
            (std::vector<std::string>{"Cannot add node after this object.", "Unknown exception in a MIDI notice."}));

  platform::win32::SetNoticeExceptionHandler(nullptr);
  PostMessageA(hwnd, MM_MIM_DATA, 0, 2);
  PostMessageA(hwnd, MM_MIM_DATA, 0, 6);
  PumpMessages();
  EXPECT_EQ(seen.back(), 6) << "without a handler the exception is dropped and delivery goes on";
  EXPECT_EQ(reportedErrors.size(), 2u);
  EXPECT_NO_THROW(platform::DeliverPendingNotices());
}

// --- timer ---------------------------------------------------------------------

namespace {

struct TickLog {
  std::atomic<int> ticks{0};
  std::atomic<bool> inCallback{false};
  std::atomic<DWORD> thread{0};
  std::atomic<int> sleepMs{0};
};

void CALLBACK CountTick(UINT, UINT, DWORD_PTR User, DWORD_PTR, DWORD_PTR) {
  auto* log = reinterpret_cast<TickLog*>(User);
  log->inCallback = true;
  log->thread = GetCurrentThreadId();
  if (log->sleepMs > 0) Sleep(static_cast<DWORD>(log->sleepMs.load()));
  ++log->ticks;
  log->inCallback = false;
}

}  // namespace

TEST(Win32Timer, PeriodicEventsTickAtTheirIntervalOnAnotherThread) {
  TIMECAPS caps{};
  ASSERT_EQ(platform::timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
  EXPECT_GE(caps.wPeriodMin, 1u);
  EXPECT_GE(caps.wPeriodMax, 1000u);
  for (UINT interval : {1u, 4u}) {
    TickLog log;
    ASSERT_EQ(platform::timeBeginPeriod(caps.wPeriodMin), TIMERR_NOERROR);
    const UINT id = platform::timeSetEvent(interval, caps.wPeriodMin, CountTick, reinterpret_cast<DWORD_PTR>(&log),
                                           TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    Sleep(400);
    EXPECT_EQ(platform::timeKillEvent(id), TIMERR_NOERROR);
    EXPECT_EQ(platform::timeEndPeriod(caps.wPeriodMin), TIMERR_NOERROR);
    const int expected = static_cast<int>(400 / interval);
    EXPECT_GT(log.ticks, expected * 6 / 10) << interval << " ms";
    EXPECT_LT(log.ticks, expected * 13 / 10 + 2) << interval << " ms";
    EXPECT_NE(log.thread, GetCurrentThreadId());
  }
}

TEST(Win32Timer, KillWaitsForARunningCallbackAndNoneFollows) {
  TickLog log;
  log.sleepMs = 60;
  const UINT id = platform::timeSetEvent(1, 1, CountTick, reinterpret_cast<DWORD_PTR>(&log), TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  while (!log.inCallback) Sleep(0);
  EXPECT_EQ(platform::timeKillEvent(id), TIMERR_NOERROR);
  EXPECT_FALSE(log.inCallback) << "timeKillEvent returned while the callback ran";
  const int ticksAtKill = log.ticks;
  Sleep(150);
  EXPECT_EQ(log.ticks, ticksAtKill) << "a callback ran after timeKillEvent";
}
