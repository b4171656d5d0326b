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

void Files::SetLatency(double milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  latencyMs_ = milliseconds;
}

bool Files::Exists(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(fs::path(path), error);
}

bool Files::ReadText(const std::string& path, std::string& text) {
  TakeLatency();
  CallRecord record{};
  record.What = Call::ReadFile;
  record.Time = clock_.Now();
  record.Path = path;
  bool ok = false;
  if (const auto failure = calls_.TakeFailure(Call::ReadFile, -1)) {
    record.Result = *failure;
  } else {
    std::error_code error;
    std::ifstream file;
    if (fs::is_regular_file(fs::path(path), error)) file.open(path, std::ios::binary);
    if (file.is_open()) {
      std::ostringstream content;
      content << file.rdbuf();
      // An empty file reads as empty text; operator<< marks that as failure.
      ok = !file.bad();
      if (ok) text = std::move(content).str();
    }
    record.Result = ok ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }
  record.Arg = ok ? text.size() : 0;
  calls_.Record(record);
  return ok;
}

bool Files::ReplaceText(const std::string& path, const std::string& text) {
  TakeLatency();
  CallRecord record{};
  record.What = Call::ReplaceFile;
  record.Time = clock_.Now();
  record.Path = path;
  record.Arg = text.size();
  bool ok = false;
  if (const auto failure = calls_.TakeFailure(Call::ReplaceFile, -1)) {
    record.Result = *failure;
  } else {
    FileStepHook hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      hook = stepHook_;
    }
    if (hook) hook(FileStep::BeforeTemporary, path, text);
    const std::string temporary = path + ".tmp";
    {
      std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
      if (file.is_open()) {
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.flush();
        ok = file.good();
        file.close();
        ok = ok && !file.fail();
      }
    }
    std::error_code error;
    if (ok) {
      if (hook) hook(FileStep::TemporaryWritten, path, text);
      fs::rename(fs::path(temporary), fs::path(path), error);
      ok = !error;
      if (ok && hook) hook(FileStep::Renamed, path, text);
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

void Files::SetLocalAppDataFolder(std::string folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == platform::PathDelimiter)) {
    folder.pop_back();  // the system reports the folder without a trailing delimiter
  }
  appDataFolder_ = std::move(folder);
}

void Files::SetProgramFilePath(std::string path) {
  std::lock_guard<std::mutex> lock(mutex_);
  programFile_ = std::move(path);
}

void Files::SetStepHook(FileStepHook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  stepHook_ = std::move(hook);
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
