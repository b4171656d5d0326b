#include "platform/sim/SimFiles.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/Platform.h"

namespace sim {

namespace fs = std::filesystem;

Files::~Files() {
  std::lock_guard<std::mutex> lock(mutex_);
  RemoveFreshFolder();
}

void Files::TakeLatency() {
  double latency = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    latency = latencyMs_;
  }
  if (latency <= 0) return;
  ++inProgress_;
  // The operation ends once the simulated clock has gone on by the latency,
  // whoever moves it (a test, or the steady clock in real-time mode). A
  // thread that waits here for a clock that only it would move (a program
  // that reads or writes on the thread that drives the test) ends after a
  // long real-time bound instead of hanging the test run.
  constexpr auto StuckBound = std::chrono::seconds(2);
  const TDateTime start = clock_.Now();
  const auto giveUp = std::chrono::steady_clock::now() + StuckBound;
  while ((clock_.Now() - start) * MillisecondsPerDay < latency && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  --inProgress_;
}

void Files::SetLatency(double Milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  latencyMs_ = Milliseconds;
}

bool Files::Exists(const std::string& Path) {
  std::error_code error;
  return fs::is_regular_file(fs::path(Path), error);
}

bool Files::ReadText(const std::string& Path, std::string& Text) {
  TakeLatency();
  CallRecord record{};
  record.What = Call::ReadFile;
  record.Time = clock_.Now();
  record.Path = Path;
  bool ok = false;
  if (const auto failure = calls_.TakeFailure(Call::ReadFile, -1)) {
    record.Result = *failure;
  } else {
    std::error_code error;
    std::ifstream file;
    if (fs::is_regular_file(fs::path(Path), error)) file.open(Path, std::ios::binary);
    if (file.is_open()) {
      std::ostringstream content;
      content << file.rdbuf();
      // An empty file reads as empty text; operator<< marks that as failure.
      ok = !file.bad();
      if (ok) Text = std::move(content).str();
    }
    record.Result = ok ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }
  record.Arg = ok ? Text.size() : 0;
  calls_.Record(record);
  return ok;
}

bool Files::ReplaceText(const std::string& Path, const std::string& Text) {
  TakeLatency();
  CallRecord record{};
  record.What = Call::ReplaceFile;
  record.Time = clock_.Now();
  record.Path = Path;
  record.Arg = Text.size();
  bool ok = false;
  if (const auto failure = calls_.TakeFailure(Call::ReplaceFile, -1)) {
    record.Result = *failure;
  } else {
    FileStepHook hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      hook = stepHook_;
    }
    if (hook) hook(FileStep::BeforeTemporary, Path, Text);
    const std::string temporary = Path + ".tmp";
    {
      std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
      if (file.is_open()) {
        file.write(Text.data(), static_cast<std::streamsize>(Text.size()));
        file.flush();
        ok = file.good();
        file.close();
        ok = ok && !file.fail();
      }
    }
    std::error_code error;
    if (ok) {
      if (hook) hook(FileStep::TemporaryWritten, Path, Text);
      fs::rename(fs::path(temporary), fs::path(Path), error);
      ok = !error;
      if (ok && hook) hook(FileStep::Renamed, Path, Text);
    }
    if (!ok) fs::remove(fs::path(temporary), error);  // best effort: the target is untouched
    record.Result = ok ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }
  calls_.Record(record);
  return ok;
}

std::string Files::FreshFolder() {
  if (!freshFolder_.empty()) return freshFolder_;
  // Several test processes run at once: the name carries a random part and
  // the folder must not exist yet.
  std::random_device entropy;
  std::mt19937_64 numbers(entropy() ^ static_cast<std::uint64_t>(
                                          std::chrono::steady_clock::now().time_since_epoch().count()));
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << "velmora-sim-" << std::hex << numbers();
    const fs::path candidate = base / name.str();
    if (fs::create_directory(candidate, error) && !error) {
      freshFolder_ = candidate.string();
      return freshFolder_;
    }
  }
  return freshFolder_;  // no temporary folder can be made: the system reports none
}

void Files::RemoveFreshFolder() {
  if (freshFolder_.empty()) return;
  std::error_code error;
  fs::remove_all(fs::path(freshFolder_), error);  // best effort: a leftover folder harms no test
  freshFolder_.clear();
}

std::string Files::LocalAppDataFolder() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (appDataFolder_) return *appDataFolder_;
  return FreshFolder();
}

std::string Files::ProgramFilePath() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (programFile_) return *programFile_;
  std::string folder = appDataFolder_ && !appDataFolder_->empty() ? *appDataFolder_ : FreshFolder();
  return folder + platform::PathDelimiter + "Velmora.exe";
}

void Files::SetLocalAppDataFolder(std::string Folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  while (Folder.size() > 1 && (Folder.back() == '/' || Folder.back() == platform::PathDelimiter)) {
    Folder.pop_back();  // the system reports the folder without a trailing delimiter
  }
  appDataFolder_ = std::move(Folder);
}

void Files::SetProgramFilePath(std::string Path) {
  std::lock_guard<std::mutex> lock(mutex_);
  programFile_ = std::move(Path);
}

void Files::SetStepHook(FileStepHook Hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  stepHook_ = std::move(Hook);
}

void Files::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  RemoveFreshFolder();
  appDataFolder_.reset();
  programFile_.reset();
  stepHook_ = nullptr;
  latencyMs_ = 0;
}

}  // namespace sim
