// A fresh machine per test: simulated MIDI devices, an empty settings
// folder, and the real program body with its five windows, started up to
// its first idle moment as the message loop would.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/VelmoraProgram.h"
#include "engine/VelmoraEngine.h"
#include "platform/sim/SimDriver.h"
#include "ui/EditPresetsDlg.h"
#include "ui/OptionDlg.h"
#include "ui/RenPresetDlg.h"
#include "ui/VelmoraFrm.h"
#include "ui/VersionDlg.h"

class VelmoraWindows : public ::testing::Test {
 protected:
  // Output devices with distinct first letters, so that typing a letter in
  // a device list picks exactly one entry.
  static constexpr const char* OutputNames[] = {"Alpha Synth", "Bass Station", "Cello Module",
                                                "Drum Machine"};

  void SetUp() override;
  void TearDown() override;

  // Builds the program and runs it to the end of its first idle moment.
  void StartProgram();
  // Destroys the windows, then the engine, the catalogue and the paths, as
  // at the end of the program; the settings file is then complete.
  void EndProgram();

  // The display name of output device i ("Alpha Synth (1.0)").
  static std::string OutputName(int Device);
  std::string SettingsFile() const { return FSettingsFile; }
  static void SettingsWritten();  // waits until every save asked so far is on the disk
  std::string ReadSetting(const std::string& Section, const std::string& Key) const;
  bool SectionExists(const std::string& Section) const;  // its header line is in the file
  std::string SettingsText() const;

  // Notes played on the simulated keyboard (input device 0), and the time
  // passing for the timer to send them.
  void PlayNote(int Channel, int Note);
  void LetTimePass(double Milliseconds);

  std::unique_ptr<TVelmoraProgram> Program;
  std::vector<std::string> Errors;  // what reached the application's error report

 private:
  std::string FSettingsFile;
};
