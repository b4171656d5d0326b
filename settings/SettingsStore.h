// The program's settings file as it keeps it in memory, and the thread that
// writes it. Readers read the copy, so a preset switch never waits for the
// disk; a save changes the copy at once (a later read sees it) and hands a
// finished list of its writes to the writer thread, which applies them to
// the file as it finds it on disk and replaces the file once per save, in
// the order the saves were asked for.
//
// A file that exists but cannot be read (another program holds it) is not an
// empty file: a save that cannot read it is not written but carried by the
// next one, which then writes both with one replacement (so is a save the
// disk refused: the copy already holds it, and the file is to catch up);
// while a caller waits (the exit), the read is tried again for up to
// ExitReadRetry.
// Sections read while the file could not be read hold the readers'
// defaults, and writes to them are dropped until a reader has read them
// from the file.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "settings/IniFile.h"

// What one save stores, in the order written.
class TSettingsWrites {
 public:
  struct TEntry {
    std::string Section, Ident, Value;
  };
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
    FEntries.push_back({Section, Ident, Value});
  }
  void WriteInteger(const std::string& Section, const std::string& Ident, std::int32_t Value) {
    WriteString(Section, Ident, std::to_string(Value));
  }
  void Append(const TSettingsWrites& Later) {
    FEntries.insert(FEntries.end(), Later.FEntries.begin(), Later.FEntries.end());
  }
  void ApplyTo(TIniFile& Ini) const {
    for (const TEntry& entry : FEntries) Ini.WriteString(entry.Section, entry.Ident, entry.Value);
  }
  const std::vector<TEntry>& Entries() const { return FEntries; }
  bool Empty() const { return FEntries.empty(); }

 private:
  std::vector<TEntry> FEntries;
};

class TSettingsStore {
 public:
  // How long a save that a caller waits for tries again to read a file that
  // another program holds, and how long it pauses between tries.
  static constexpr std::chrono::milliseconds ExitReadRetry{2000};
  static constexpr std::chrono::milliseconds ReadRetryPause{50};

  explicit TSettingsStore(std::string FileName);
  ~TSettingsStore();  // writes what is still pending (as Flush does), then the writer ends
  TSettingsStore(const TSettingsStore&) = delete;
  TSettingsStore& operator=(const TSettingsStore&) = delete;

  const std::string& FileName() const { return FFileName; }

  // Main thread. Read from the copy; while the file could not be read yet,
  // each read tries the file again first.
  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default);
  std::int32_t ReadInteger(const std::string& Section, const std::string& Ident, std::int32_t Default);
  std::vector<std::int32_t> NumberedKeys(const std::string& Section, const std::string& Prefix,
                                         std::int32_t First, std::int32_t Last);
  // False when the section's last read found the file unreadable.
  bool SectionRead(const std::string& Section) const;

  // Main thread. Before AllowSaves (the program has not started) every save
  // is dropped: nothing is written at all.
  void AllowSaves() { FSavesAllowed = true; }
  // Queues a save; false when it was dropped (before AllowSaves, or every
  // write it holds goes to a section read while the file was unreadable).
  bool Save(const TSettingsWrites& Writes);
  // Queues a save and returns once it is on the disk; throws
  // EIniFileException when it could not be written (its writes stay pending
  // for the next save).
  void SaveAndWait(const TSettingsWrites& Writes);
  // Returns once every save asked for so far is written or given up.
  void Flush();

 private:
  using TFault = std::optional<EIniFileException::TFault>;  // none: the save is on the disk
  // The result as plain data: each thread makes its own exception object,
  // so none is shared between them.
  struct TOutcome {
    bool Done = false;  // guarded by FLock
    TFault Fault;       // guarded by FLock
  };
  struct TJob {
    TSettingsWrites Writes;
    std::shared_ptr<TOutcome> Outcome;  // set for a save a caller waits for
  };

  void LoadCopy();  // main thread
  void MarkRead(const std::string& Section);
  TSettingsWrites Readable(const TSettingsWrites& Writes) const;
  // The writes of a save as the copy takes them (main thread): none before
  // AllowSaves, none for a section read while the file could not be.
  TSettingsWrites Accept(const TSettingsWrites& Writes);
  void Queue(TJob Job);
  void WaitUntil(std::unique_lock<std::mutex>& Lock, const std::function<bool()>& Done);
  void WriterLoop();
  TFault WriteOut(const TSettingsWrites& Writes, bool Retry);

  const std::string FFileName;

  // The file as last read, with every save asked since: main thread only.
  std::unique_ptr<TIniFile> FCopy;
  // The saves asked while the file could not be read, applied again to the
  // copy once it can be. Main thread only.
  TSettingsWrites FSinceUnreadable;
  // Folded names of the sections last read while the file was unreadable.
  // Main thread only.
  std::unordered_set<std::string> FUnreadSections;
  bool FSavesAllowed = false;  // main thread only

  std::mutex FLock;
  std::condition_variable FWake;     // the writer: a job or the end
  std::condition_variable FChanged;  // the waiters: a job done
  std::deque<TJob> FQueue;           // guarded by FLock
  bool FBusy = false;                // guarded by FLock: the writer holds a job
  bool FStopping = false;            // guarded by FLock
  int FWaiters = 0;                  // guarded by FLock: callers waiting; reads are then retried
  // Saves that could not be written, carried by the next. Writer thread only
  // (and the destructor, after the writer has ended).
  TSettingsWrites FCarried;
  // When the tries to read a held file end: set by the first failed try a
  // caller waits for, cleared by a read that works, so the saves of one exit
  // share one ExitReadRetry. Writer thread only.
  std::optional<std::chrono::steady_clock::time_point> FReadGiveUp;
  std::thread FWriter;  // started with the first save; main thread only
};

// The program's store for IniFileName, between InitializeIniDefs and
// FinalizeIniDefs.
TSettingsStore& SettingsStore();
