// A settings file that cannot be written, a disk that fills in the middle of
// a save, and a program killed at every write of a session: the program
// keeps routing, the file that could not be written is recorded once for the
// user to be told, and the file on disk is always a whole file, the old one
// or one of the versions the session wrote, never half of one.
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "settings/IniFile.h"
#include "settings/SettingsStore.h"
#include "settings/WriteFailures.h"
#include "tests/native/EngineFixture.h"
#include "tests/native/RawFile.h"
#include "tests/native/ReliabilityReport.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

bool CanCreateFileIn(const std::string& Folder) {
  const std::string probe = Folder + "/probe.tmp";
  std::ofstream file(probe, std::ios::binary);
  const bool created = file.is_open();
  file.close();
  std::error_code error;
  fs::remove(probe, error);
  return created;
}

// A folder in which no file can be created or renamed, also for a test run
// by the superuser (who writes through permissions): without write
// permission and, where the file system allows, immutable. Undone on
// destruction.
class TReadOnlyFolder {
 public:
  explicit TReadOnlyFolder(std::string Folder) : FFolder(std::move(Folder)) {
#if !defined(_WIN32)
    chmod(FFolder.c_str(), 0555);
    if (CanCreateFileIn(FFolder)) FImmutable = SetImmutable(true);
#endif
    FReadOnly = !CanCreateFileIn(FFolder);
  }
  ~TReadOnlyFolder() {
#if !defined(_WIN32)
    if (FImmutable) SetImmutable(false);
    chmod(FFolder.c_str(), 0755);
#endif
  }
  bool ReadOnly() const { return FReadOnly; }

 private:
#if !defined(_WIN32)
  bool SetImmutable(bool On) {
    const int fd = open(FFolder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
      flags = On ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return ok;
  }
#endif
  std::string FFolder;
  bool FImmutable = false;
  bool FReadOnly = false;
};

class SettingsWriteFaults : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    TakeWriteFailures();
    // Unique across the processes that CTest runs side by side, whose
    // counters and (under a sanitizer) heap addresses are alike.
    static const unsigned processTag = std::random_device{}();
    folder = (fs::temp_directory_path() / ("velmora-writefaults-" + std::to_string(processTag) + "-" +
                                           std::to_string(Counter()++)))
                 .string();
    fs::remove_all(folder);
    fs::create_directories(folder);
    sim::SetLocalAppDataFolder(folder);
  }
  void TearDown() override {
    sim::ClearFailures();
    sim::SetFileStepHook(nullptr);
    EngineFixture::TearDown();
    std::error_code error;
    fs::remove_all(folder, error);
  }
  static int& Counter() {
    static int counter = 0;
    return counter;
  }
  std::string IniPath() const { return folder + platform::PathDelimiter + "Velmora.ini"; }

  // A session as a user has one: a delay, a new preset with its own map, a
  // switch back, a remap, and the exit.
  static constexpr std::size_t SessionWrites = 5;  // two preset switches, three writers at exit
  void Session() {
    BootAndStart();
    engine->SetDelay(1, 250);
    engine->Presets().AddPreset("Stage");
    MapAll(2);
    engine->Presets().SetItemIndex(0);
    engine->SetChannelDevice(3, 1);
    Play(0x90);
    Shutdown();
  }
  // The file after a first session on an empty folder: the "old" file.
  std::string WriteOldFile() {
    BootAndStart();
    engine->SetDelay(0, 10);
    Shutdown();
    return ReadRaw(IniPath());
  }

  std::string folder;
};

TEST_F(SettingsWriteFaults, AFileThatCannotBeWrittenIsRecordedOnceAndStaysAsItWas) {
  enum class Cause { DiskRefuses, ReadOnlyFolder, MissingFolder };
  const struct {
    const char* Name;
    Cause What;
  } cases[] = {{"every write refused through the seam", Cause::DiskRefuses},
               {"read-only folder", Cause::ReadOnlyFolder},
               {"missing folder", Cause::MissingFolder}};
  std::size_t tried = 0, failuresTold = 0, changedOnDisk = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TearDown();
    SetUp();
    const std::string old = WriteOldFile();
    ASSERT_FALSE(old.empty());
    std::unique_ptr<TReadOnlyFolder> readOnly;
    std::string expectedFile = IniPath();
    if (c.What == Cause::DiskRefuses) sim::FailCall(sim::Call::ReplaceFile, MMSYSERR_ERROR, -1);
    if (c.What == Cause::ReadOnlyFolder) {
#if defined(_WIN32)
      continue;  // a folder's read-only flag does not stop Windows writing into it
#endif
      readOnly = std::make_unique<TReadOnlyFolder>(folder);
      if (!readOnly->ReadOnly()) {
#if defined(_WIN32)
        // Windows (and Wine) ignore the read-only attribute of a folder:
        // files can still be created in it, so this case cannot be made.
        continue;
#else
        ADD_FAILURE() << "no folder could be made read-only here";
        continue;
#endif
      }
    }
    if (c.What == Cause::MissingFolder) {
      sim::SetLocalAppDataFolder(folder + platform::PathDelimiter + "gone");
      expectedFile = folder + platform::PathDelimiter + "gone" + platform::PathDelimiter + "Velmora.ini";
    }
    TakeWriteFailures();
    ++tried;

    BootAndStart();
    if (c.What != Cause::MissingFolder) {
      EXPECT_EQ(engine->Delays(0), 10) << "the old file is read";
    }
    engine->SetDelay(1, 250);
    engine->Presets().AddPreset("Stage");  // storing default's map fails
    MapAll(2);
    engine->Presets().SetItemIndex(0);     // storing Stage's map fails
    Play(0x90);
    sim::RunFor(20);  // beyond the old file's delay of Synth A
    EXPECT_EQ(ShortsTo(0).size(), 1u) << "the program keeps routing";
    SettingsWritten();
    const auto whileRunning = TakeWriteFailures();
    EXPECT_EQ(whileRunning, std::vector<std::string>{expectedFile}) << "recorded once while running";
    Shutdown();
    const auto atExit = TakeWriteFailures();
    EXPECT_EQ(atExit, std::vector<std::string>{expectedFile}) << "and once for the exit";
    failuresTold += whileRunning.size() + atExit.size();
    readOnly.reset();
    if (c.What == Cause::MissingFolder) {
      EXPECT_FALSE(fs::exists(folder + platform::PathDelimiter + "gone")) << "no folder is created";
    }
    const bool unchanged = ReadRaw(IniPath()) == old;
    EXPECT_TRUE(unchanged) << "the file on disk is exactly the old one";
    changedOnDisk += unchanged ? 0 : 1;
    EXPECT_FALSE(fs::exists(IniPath() + ".tmp"));
    sim::ClearFailures();
  }
  TReliabilityFigures("settings-unwritable", "a session whose settings file cannot be written: writes refused through the seam, a read-only folder, a missing folder")
      .Add("cases", tried)
      .Add("files_told_to_the_user", failuresTold)
      .Add("files_changed_on_disk", changedOnDisk)
      .Print();
}

// The versions of the file a session writes, one per write, in order.
class TVersionRecorder {
 public:
  void Install() {
    sim::SetFileStepHook([this](sim::FileStep step, const std::string&, const std::string& text) {
      if (step == sim::FileStep::Renamed) Versions.push_back(text);
    });
  }
  std::vector<std::string> Versions;
};

TEST_F(SettingsWriteFaults, ADiskThatFillsAtAnyWriteLeavesAWholeFileAndIsToldOnce) {
  const std::string old = WriteOldFile();
  TVersionRecorder reference;
  reference.Install();
  Session();
  sim::SetFileStepHook(nullptr);
  const std::size_t writes = reference.Versions.size();
  ASSERT_EQ(writes, SessionWrites);
  std::size_t halfFiles = 0;
  for (std::size_t k = 0; k <= writes; ++k) {
    SCOPED_TRACE("disk full after write " + std::to_string(k));
    WriteRaw(IniPath(), old);
    TakeWriteFailures();
    std::size_t written = 0;
    sim::SetFileStepHook([&](sim::FileStep step, const std::string&, const std::string&) {
      if (step != sim::FileStep::Renamed) return;
      if (++written == k) sim::FailCall(sim::Call::ReplaceFile, MMSYSERR_NOMEM, -1);
    });
    if (k == 0) sim::FailCall(sim::Call::ReplaceFile, MMSYSERR_NOMEM, -1);
    Session();
    sim::SetFileStepHook(nullptr);
    sim::ClearFailures();
    const std::string onDisk = ReadRaw(IniPath());
    const bool whole = onDisk == (k == 0 ? old : reference.Versions[k - 1]);
    EXPECT_TRUE(whole) << "the file is whole";
    halfFiles += whole ? 0 : 1;
    const auto told = TakeWriteFailures();
    if (k < writes) {
      EXPECT_EQ(told, std::vector<std::string>{IniPath()});
    } else {
      EXPECT_TRUE(told.empty());
    }
  }
  TReliabilityFigures("settings-disk-full", "the disk fills after each write of a session in turn (preset switches and the exit)")
      .Add("writes_per_session", writes)
      .Add("faults_injected", writes + 1)
      .Add("half_files", halfFiles)
      .Print();
}

// Another program (a backup or sync tool, a virus scan, an editor) holds the
// settings file so that it cannot be read: during a preset switch, at start,
// at exit for a moment and at exit for good. The file afterwards is checked
// whole: nothing it held is lost, nothing the session stored is lost unless
// it could not be, and no default stands in for a value that could not be read.
TEST_F(SettingsWriteFaults, AFileThatCannotBeReadIsNeverTakenAsEmpty) {
  const std::string old =
      "[VelmoraEngine]\r\nMidiInDeviceName=Sequencer (2.3)\r\nTimerInterval=2\r\nPresetIndex=1\r\n"
      "[MidiOutDelays]\r\nMidiOutNumDevs=3\r\nDevice0=Synth A (1.5)\r\nDelay0=15\r\n"
      "Device1=Synth B (1.10)\r\nDelay1=0\r\nDevice2=Synth C (0.0)\r\nDelay2=300\r\n"
      "[Presets]\r\nPresetsCount=2\r\nPresetName1=Live\r\nPresetName2=Organ\r\n"
      "[Preset_Organ]\r\nDevice0=Synth B (1.10)\r\n"
      "[Velmora]\r\nLeft=40\r\nTop=50\r\n";
  const auto held = [](int reads) { sim::FailCall(sim::Call::ReadFile, MMSYSERR_ERROR, reads); };
  struct TKey {
    const char *Section, *Ident, *Value;
  };
  // What every row must find: the sections no writer of the session touches.
  const std::vector<TKey> kept = {{"Preset_Organ", "Device0", "Synth B (1.10)"},
                                  {"Velmora", "Left", "40"},
                                  {"Presets", "PresetName2", "Organ"},
                                  {"MidiOutDelays", "Delay2", "300"}};
  const struct {
    const char* Name;
    bool HeldAtStart;
    std::function<void()> Run;  // after the start, up to the exit
    std::vector<TKey> Stored;
    bool Told;  // the exit could not store everything, and says so
  } cases[] = {
      {"during a preset switch", false,
       [&] {
         engine->SetDelay(0, 20);
         engine->SetChannelDevice(0, 2);
         held(1);
         engine->Presets().SetItemIndex(0);  // storing Live's map cannot read the file
         ASSERT_TRUE(Eventually([] { return !SettingsFault().empty(); }));
         EXPECT_EQ(SettingsFault(), "Unable to read " + IniPath()) << "told while running";
         EXPECT_EQ(TakeWriteFailures(), std::vector<std::string>{IniPath()});
         EXPECT_EQ(ReadRaw(IniPath()), old) << "nothing is written over a file that could not be read";
         sim::ClearCalls();
         engine->Presets().SetItemIndex(1);  // the next save carries the skipped one
         SettingsWritten();
         EXPECT_EQ(sim::Calls(sim::Call::ReplaceFile).size(), 1u) << "one replacement for both";
         EXPECT_EQ(SettingsFault(), "") << "cleared by the save that worked";
         EXPECT_EQ(engine->ChannelDevices(0), 2) << "Live's map as it was left, not yet on the disk then";
       },
       {{"Preset_Live", "Device0", "Synth C (0.0)"}, {"Preset_default", "Device0", "Synth A (1.5)"},
        {"MidiOutDelays", "Delay0", "20"}, {"Presets", "PresetsCount", "2"}},
       false},
      {"at start", true,
       [&] {
         EXPECT_EQ(SettingsFault(), "Unable to read " + IniPath()) << "told while running";
         EXPECT_EQ(engine->Presets().Count(), 1) << "the start could not read the names";
         sim::ClearFailures();  // the other program lets go before the exit
       },
       {{"Presets", "PresetsCount", "2"}, {"PresetName1", "", ""}, {"MidiOutDelays", "Delay0", "15"},
        {"VelmoraEngine", "MidiInDeviceName", "Sequencer (2.3)"}, {"VelmoraEngine", "TimerInterval", "2"}},
       false},
      {"at exit, for a moment", false,
       [&] {
         engine->SetDelay(0, 20);
         engine->Presets().AddPreset("Stage");
         held(3);  // fewer tries than the exit makes in two seconds
       },
       {{"MidiOutDelays", "Delay0", "20"}, {"Presets", "PresetsCount", "3"}, {"Presets", "PresetName3", "Stage"},
        {"VelmoraEngine", "PresetIndex", "3"}},
       false},
      {"at exit, for good", false,
       [&] {
         engine->SetDelay(0, 20);
         held(-1);
       },
       {{"MidiOutDelays", "Delay0", "15"}, {"Presets", "PresetsCount", "2"}},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TearDown();
    SetUp();
    WriteRaw(IniPath(), old);
    if (c.HeldAtStart) held(-1);
    BootAndStart();
    c.Run();
    Shutdown();
    sim::ClearFailures();
    const auto told = TakeWriteFailures();
    EXPECT_EQ(told.empty(), !c.Told);
    EXPECT_EQ(SettingsFault().empty(), !c.Told) << "what the exit could not store is said";
    SetSettingsFault("");
    const TIniFile onDisk(IniPath());
    for (const auto& keys : {kept, c.Stored}) {
      for (const TKey& key : keys) {
        if (key.Ident[0] == '\0') continue;
        EXPECT_EQ(onDisk.ReadString(key.Section, key.Ident, "<absent>"), key.Value)
            << key.Section << " " << key.Ident;
      }
    }
    EXPECT_EQ(onDisk.ReadString("Presets", "PresetName1", ""), "Live");
  }
}

#if !defined(_WIN32)
// The program is killed inside every write of a session in turn, at each
// step of the atomic replacement, in a child process; the parent then finds
// the old file or exactly one of the versions the session wrote.
TEST_F(SettingsWriteFaults, AProgramKilledAtAnyStepOfAnyWriteLeavesTheOldOrTheNewFile) {
  const std::string old = WriteOldFile();
  TVersionRecorder reference;
  reference.Install();
  Session();
  sim::SetFileStepHook(nullptr);
  const std::vector<std::string>& versions = reference.Versions;
  ASSERT_EQ(versions.size(), SessionWrites);
  // No simulated thread may run at a fork: the sessions tick no timer, so
  // the machine has none.
  ASSERT_EQ(sim::RunningTimerEvents(), 0u);

  const sim::FileStep steps[] = {sim::FileStep::BeforeTemporary, sim::FileStep::TemporaryWritten,
                                 sim::FileStep::Renamed};
  std::size_t kills = 0, oldFiles = 0, newFiles = 0, halfFiles = 0;
  for (std::size_t k = 1; k <= versions.size(); ++k) {
    for (const sim::FileStep step : steps) {
      SCOPED_TRACE("killed in write " + std::to_string(k) + " at step " + std::to_string(int(step)));
      WriteRaw(IniPath(), old);
      std::error_code error;
      fs::remove(IniPath() + ".tmp", error);
      std::fflush(nullptr);
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        std::size_t write = 0;
        sim::SetFileStepHook([&](sim::FileStep at, const std::string&, const std::string&) {
          if (at == sim::FileStep::BeforeTemporary) ++write;
          if (write == k && at == step) _exit(0);
        });
        Session();
        _exit(3);  // the session ended without reaching the write
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
      ++kills;
      const std::string onDisk = ReadRaw(IniPath());
      const std::string& before = k == 1 ? old : versions[k - 2];
      const std::string& after = versions[k - 1];
      const bool renamed = step == sim::FileStep::Renamed;
      const bool expected = onDisk == (renamed ? after : before);
      EXPECT_TRUE(expected) << (renamed ? "the new file" : "the old file");
      if (!expected) {
        ++halfFiles;
      } else if (renamed) {
        ++newFiles;
      } else {
        ++oldFiles;
      }
    }
  }
  // The next start after a kill reads the file and writes over the leftover
  // temporary file.
  WriteRaw(IniPath(), versions[versions.size() / 2]);
  WriteRaw(IniPath() + ".tmp", "[half");
  Session();
  EXPECT_TRUE(ReadRaw(IniPath()) == versions.back());
  EXPECT_FALSE(fs::exists(IniPath() + ".tmp"));
  TReliabilityFigures("settings-killed-while-saving", "a child process killed at each of three steps of every write of a session (before the temporary file, after it, after the rename)")
      .Add("writes_per_session", versions.size())
      .Add("kills", kills)
      .Add("old_file_found", oldFiles)
      .Add("new_file_found", newFiles)
      .Add("other_files", halfFiles)
      .Print();
}
#endif

}  // namespace
