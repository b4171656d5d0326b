// The ordered list of preset names with the notion of the current preset.
// Entry 0 is always "default"; names are unique without regard to letter
// case. The maps themselves live in the settings file and are loaded and
// saved by the engine in answer to this list's events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TPresets {
 public:
  using TNotifyEvent = std::function<void(TPresets& Sender)>;
  using TOperation = std::function<void()>;
  // Runs a change of the list now, or later when another operation of the
  // engine is in progress; unassigned, changes run at once.
  using TOperationGate = std::function<void(TOperation Operation)>;

  TPresets();   // "default", then the names stored in the settings file; ItemIndex -1
  ~TPresets();  // stores the names (SaveToIni); a failed write is recorded, not raised
  TPresets(const TPresets&) = delete;
  TPresets& operator=(const TPresets&) = delete;

  // The string-list side.
  std::int32_t Count() const { return static_cast<std::int32_t>(FItems.size()); }
  const std::string& operator[](std::int32_t Index) const { return FItems.at(Index); }
  const std::vector<std::string>& Items() const { return FItems; }
  std::int32_t IndexOf(const std::string& Name) const;  // letter case ignored; -1 when absent

  std::int32_t ItemIndex() const { return FItemIndex; }
  void SetItemIndex(std::int32_t Index);
  std::string CurrentName() const;
  // Name without any "]" (it would close the section name "Preset_" + name
  // early), without control characters and without outer blanks (the
  // settings file cannot hold them in a name, so two names differing only
  // there would share one stored map).
  static std::string NormalizeName(const std::string& Name);

  void AddPreset(const std::string& Name);
  void DeletePreset();
  void RenamePreset(const std::string& Name);
  void MovePresetUp();
  void MovePresetDown();

  void LoadFromIni();
  // Returns once the names are on the disk; throws EIniFileException when
  // the file cannot be written or read.
  void SaveToIni();

  TNotifyEvent OnChange;         // after every change of the entries
  TNotifyEvent OnIndexChange;    // after ItemIndex has been set
  TNotifyEvent OnIndexChanging;  // before ItemIndex is set
  TOperationGate OperationGate;  // every change of the list and of ItemIndex passes here

 private:
  void Run(TOperation Operation);
  void DoSetItemIndex(std::int32_t Index);
  void DoAddPreset(const std::string& Name);
  void DoDeletePreset();
  void DoRenamePreset(const std::string& Name);
  void DoMovePresetUp();
  void DoMovePresetDown();
  void Changed();
  void IndexChanging();
  void IndexChanged();
  std::vector<std::string> FItems;
  std::int32_t FItemIndex = -1;
};
