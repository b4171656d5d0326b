#include "settings/SettingsStore.h"

#include <utility>

#include "settings/WriteFailures.h"

namespace {
std::string FoldedSection(const std::string& Section) {
  std::string folded = Section;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}
}  // namespace

TSettingsStore::TSettingsStore(std::string FileName) : FFileName(std::move(FileName)) {}

TSettingsStore::~TSettingsStore() {
  Flush();
  {
    const std::lock_guard<std::mutex> lock(FLock);
    FStopping = true;
  }
  FWake.notify_all();
  if (FWriter.joinable()) FWriter.join();
}

void TSettingsStore::LoadCopy() {
  if (FCopy && !FCopy->ReadFailed()) return;
  FCopy = std::make_unique<TIniFile>(FFileName);
  if (FCopy->ReadFailed()) {
    SetSettingsFault(EIniFileException(FFileName, EIniFileException::TFault::Read).what());
    return;
  }
  // The file on disk may not hold the saves asked meanwhile yet.
  FSinceUnreadable.ApplyTo(*FCopy);
  FSinceUnreadable = {};
}

void TSettingsStore::MarkRead(const std::string& Section) {
  if (FCopy->ReadFailed()) {
    FUnreadSections.insert(FoldedSection(Section));
  } else if (!FUnreadSections.empty()) {
    FUnreadSections.erase(FoldedSection(Section));
  }
}

std::string TSettingsStore::ReadString(const std::string& Section, const std::string& Ident,
                                       const std::string& Default) {
  LoadCopy();
  MarkRead(Section);
  return FCopy->ReadString(Section, Ident, Default);
}

std::int32_t TSettingsStore::ReadInteger(const std::string& Section, const std::string& Ident,
                                         std::int32_t Default) {
  LoadCopy();
  MarkRead(Section);
  return FCopy->ReadInteger(Section, Ident, Default);
}

std::vector<std::int32_t> TSettingsStore::NumberedKeys(const std::string& Section, const std::string& Prefix,
                                                      std::int32_t First, std::int32_t Last) {
  LoadCopy();
  MarkRead(Section);
  return FCopy->NumberedKeys(Section, Prefix, First, Last);
}

bool TSettingsStore::SectionRead(const std::string& Section) const {
  return FUnreadSections.count(FoldedSection(Section)) == 0;
}

TSettingsWrites TSettingsStore::Readable(const TSettingsWrites& Writes) const {
  if (FUnreadSections.empty()) return Writes;
  // Their values are the defaults the readers fell back on, not the user's:
  // written back, they would replace what the file holds.
  TSettingsWrites readable;
  for (const TSettingsWrites::TEntry& entry : Writes.Entries())
    if (SectionRead(entry.Section)) readable.WriteString(entry.Section, entry.Ident, entry.Value);
  return readable;
}

TSettingsWrites TSettingsStore::Accept(const TSettingsWrites& Writes) {
  if (!FSavesAllowed) return {};
  TSettingsWrites writes = Readable(Writes);
  if (writes.Empty()) return writes;
  if (!FCopy) LoadCopy();
  writes.ApplyTo(*FCopy);
  if (FCopy->ReadFailed()) FSinceUnreadable.Append(writes);
  return writes;
}

bool TSettingsStore::Save(const TSettingsWrites& Writes) {
  TSettingsWrites writes = Accept(Writes);
  if (writes.Empty()) return false;
  Queue(TJob{std::move(writes), nullptr});
  return true;
}

void TSettingsStore::SaveAndWait(const TSettingsWrites& Writes) {
  TSettingsWrites writes = Accept(Writes);
  if (writes.Empty()) {
    Flush();  // what was asked before is on the disk all the same
    return;
  }
  const auto outcome = std::make_shared<TOutcome>();
  Queue(TJob{std::move(writes), outcome});
  std::unique_lock<std::mutex> lock(FLock);
  WaitUntil(lock, [&] { return outcome->Done; });
  if (outcome->Fault) throw EIniFileException(FFileName, *outcome->Fault);
}

void TSettingsStore::Flush() {
  std::unique_lock<std::mutex> lock(FLock);
  WaitUntil(lock, [&] { return FQueue.empty() && !FBusy; });
}

void TSettingsStore::WaitUntil(std::unique_lock<std::mutex>& Lock, const std::function<bool()>& Done) {
  ++FWaiters;
  FChanged.wait(Lock, Done);
  --FWaiters;
}

void TSettingsStore::Queue(TJob Job) {
  {
    const std::lock_guard<std::mutex> lock(FLock);
    FQueue.push_back(std::move(Job));
  }
  // Started with the first save: a run that saves nothing has no thread.
  if (!FWriter.joinable()) FWriter = std::thread([this] { WriterLoop(); });
  FWake.notify_one();
}

void TSettingsStore::WriterLoop() {
  for (;;) {
    TJob job;
    bool retry = false;
    {
      std::unique_lock<std::mutex> lock(FLock);
      FWake.wait(lock, [&] { return FStopping || !FQueue.empty(); });
      if (FQueue.empty()) return;
      job = std::move(FQueue.front());
      FQueue.pop_front();
      FBusy = true;
      retry = job.Outcome != nullptr || FWaiters > 0;
    }
    // Carried saves first, so every key ends with its latest value.
    FCarried.Append(job.Writes);
    const TFault fault = WriteOut(FCarried, retry);
    std::string reason;
    if (fault) {
      reason = EIniFileException(FFileName, *fault).what();
      // A caller that waits is told itself.
      if (!job.Outcome) RecordWriteFailure(FFileName);
    } else {
      FCarried = {};
      // What could not be stored before has been now.
      ForgetWriteFailure(FFileName);
    }
    SetSettingsFault(reason);
    {
      const std::lock_guard<std::mutex> lock(FLock);
      if (job.Outcome) {
        job.Outcome->Done = true;
        job.Outcome->Fault = fault;
      }
      FBusy = false;
    }
    FChanged.notify_all();
  }
}

TSettingsStore::TFault TSettingsStore::WriteOut(const TSettingsWrites& Writes, bool Retry) {
  for (;;) {
    TIniFile ini(FFileName);
    const auto now = std::chrono::steady_clock::now();
    if (!ini.ReadFailed()) FReadGiveUp.reset();
    if (ini.ReadFailed() && Retry && !FReadGiveUp) FReadGiveUp = now + ExitReadRetry;
    if (!ini.ReadFailed() || !Retry || now >= *FReadGiveUp) {
      Writes.ApplyTo(ini);
      try {
        ini.UpdateFile();  // refuses a file it could not read
      } catch (const EIniFileException& error) {
        return error.Fault;
      }
      return std::nullopt;
    }
    std::this_thread::sleep_for(ReadRetryPause);
  }
}
