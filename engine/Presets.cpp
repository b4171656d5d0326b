#include "engine/Presets.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "midi/MidiIO.h"
#include "settings/IniDefs.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"
#include "settings/WriteFailures.h"

namespace {

const std::string PresetsSection = "Presets";
const std::string CountKey = "PresetsCount";
const std::string DefaultPreset = "default";

const std::string NameKeyPrefix = "PresetName";
std::string NameKey(std::size_t Index) { return NameKeyPrefix + std::to_string(Index); }

// Folds exactly as SameText compares (ASCII letters only), so that a set of
// folded names finds the same duplicates as IndexOf.
std::string Folded(const std::string& Name) {
  std::string folded = Name;
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

bool IsControl(char Character) {
  const auto byte = static_cast<unsigned char>(Character);
  return byte < 0x20 || byte == 0x7F;
}

}  // namespace

TPresets::TPresets() {
  FItems.push_back(DefaultPreset);
  LoadFromIni();
  FItemIndex = -1;
  OnIndexChange = nullptr;
  OnIndexChanging = nullptr;
}

TPresets::~TPresets() {
  // Nothing may escape a destructor; a names list that could not be stored
  // is recorded for the application to report.
  try {
    SaveToIni();
  } catch (const EIniFileException& error) {
    RecordWriteFailure(error.FileName);
  } catch (...) {
    RecordWriteFailure(IniFileName);
  }
}

// IndexOf compares like SameText: ASCII letters fold, other bytes must be
// equal; no locale's rules, so a name matches the same way on every machine.
std::int32_t TPresets::IndexOf(const std::string& Name) const {
  for (std::size_t i = 0; i < FItems.size(); ++i) {
    if (SameText(FItems[i], Name)) return static_cast<std::int32_t>(i);
  }
  return -1;
}

void TPresets::Changed() {
  if (OnChange) OnChange(*this);
}

void TPresets::IndexChanging() {
  if (OnIndexChanging) OnIndexChanging(*this);
}

void TPresets::IndexChanged() {
  if (OnIndexChange) OnIndexChange(*this);
}

void TPresets::Run(TOperation Operation) {
  if (OperationGate) {
    OperationGate(std::move(Operation));
  } else {
    Operation();
  }
}

void TPresets::SetItemIndex(std::int32_t Index) {
  Run([this, Index] { DoSetItemIndex(Index); });
}
void TPresets::AddPreset(const std::string& Name) {
  Run([this, Name] { DoAddPreset(Name); });
}
void TPresets::DeletePreset() {
  Run([this] { DoDeletePreset(); });
}
void TPresets::RenamePreset(const std::string& Name) {
  Run([this, Name] { DoRenamePreset(Name); });
}
void TPresets::MovePresetUp() {
  Run([this] { DoMovePresetUp(); });
}
void TPresets::MovePresetDown() {
  Run([this] { DoMovePresetDown(); });
}

void TPresets::DoSetItemIndex(std::int32_t Index) {
  IndexChanging();
  if (Index < 0) Index = 0;
  if (Index >= Count()) Index = Count() - 1;
  FItemIndex = Index;
  IndexChanged();
}

std::string TPresets::CurrentName() const {
  // Out of range also while a deletion parks the index past the end.
  if (FItemIndex < 0 || FItemIndex >= Count()) return std::string();
  return FItems[static_cast<std::size_t>(FItemIndex)];
}

std::string TPresets::NormalizeName(const std::string& Name) {
  // Beyond the "]", which would end the section name early: the settings
  // file trims blanks around values and names and keeps no line breaks, so
  // "Live " would come back as "Live" and share that preset's section.
  std::string name;
  name.reserve(Name.size());
  for (const char c : Name) {
    if (c != ']' && !IsControl(c)) name.push_back(c);
  }
  const std::size_t first = name.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  const std::size_t last = name.find_last_not_of(' ');
  return name.substr(first, last - first + 1);
}

void TPresets::DoAddPreset(const std::string& Name) {
  const std::string name = NormalizeName(Name);
  if (name.empty()) return;
  const std::int32_t existing = IndexOf(name);
  if (existing >= 0) {
    DoSetItemIndex(existing);
    return;
  }
  // The entry at the old index is unchanged when the changing notice comes,
  // so the outgoing preset's map is stored under its own name.
  FItems.push_back(name);
  Changed();
  DoSetItemIndex(IndexOf(name));
}

void TPresets::DoDeletePreset() {
  const std::int32_t index = FItemIndex;
  if (index <= 0 || index >= Count()) return;
  // The changing notice comes while the index names no preset, so the deleted
  // preset's live map is stored under no name, not under the one moving up.
  FItemIndex = Count();  // one past the last entry
  try {
    IndexChanging();
  } catch (...) {
    FItemIndex = index;  // nothing has changed yet
    throw;
  }
  FItems.erase(FItems.begin() + index);
  // The list and the index change together, so the change notice already
  // sees the preset that has become current.
  FItemIndex = std::min(index, Count() - 1);
  Changed();
  IndexChanged();
}

void TPresets::DoRenamePreset(const std::string& Name) {
  // The name is normalised as AddPreset does, and the tests apply to the
  // normalised name, so no "]" ever reaches a section name.
  const std::string name = NormalizeName(Name);
  if (FItemIndex < 1 || FItemIndex >= Count() || name.empty() || IndexOf(name) >= 0) return;
  FItems[static_cast<std::size_t>(FItemIndex)] = name;
  Changed();
  // Both index notices after the rename: the live map is stored under the
  // new name and loaded back, so the mapping in force stays.
  DoSetItemIndex(FItemIndex);
}

void TPresets::DoMovePresetUp() {
  const std::int32_t index = FItemIndex;
  if (index < 2 || index >= Count()) return;
  // The changing notice comes before the exchange, while ItemIndex still
  // names the moved preset: the live map is stored under its own name and
  // loaded back by the change notice, so no other preset's map is touched.
  IndexChanging();
  std::swap(FItems[static_cast<std::size_t>(index)], FItems[static_cast<std::size_t>(index - 1)]);
  FItemIndex = index - 1;
  Changed();
  IndexChanged();
}

void TPresets::DoMovePresetDown() {
  const std::int32_t index = FItemIndex;
  if (index <= 0 || index >= Count() - 1) return;
  IndexChanging();  // before the exchange, as for MovePresetUp
  std::swap(FItems[static_cast<std::size_t>(index)], FItems[static_cast<std::size_t>(index + 1)]);
  FItemIndex = index + 1;
  Changed();
  IndexChanged();
}

void TPresets::LoadFromIni() {
  TSettingsStore& ini = SettingsStore();
  // Only the names up to the stored count that are there: a gap keeps the
  // later names, and a corrupted count costs nothing.
  const std::int32_t stored = ini.ReadInteger(PresetsSection, CountKey, 0);

  // Names read from the file are normalised as AddPreset does, and the
  // tests for empty and already held names apply to the normalised name.
  std::unordered_set<std::string> held;
  for (const std::string& item : FItems) held.insert(Folded(item));
  bool added = false;
  for (const std::int32_t n : ini.NumberedKeys(PresetsSection, NameKeyPrefix, 1, stored)) {
    std::string name = NormalizeName(ini.ReadString(PresetsSection, NameKey(n), ""));
    if (name.empty() || !held.insert(Folded(name)).second) continue;
    FItems.push_back(std::move(name));
    added = true;
  }
  // One change notice for the whole load (the constructor has none assigned).
  if (added) Changed();
}

void TPresets::SaveToIni() {
  // Names that could not be read at start would be lost with a list that
  // holds only "default" and this run's names: the file is read again, and
  // while it still cannot be, the names are not written (the settings drop
  // writes to a section read while the file could not be).
  if (!SettingsStore().SectionRead(PresetsSection)) LoadFromIni();
  TSettingsWrites ini;
  ini.WriteInteger(PresetsSection, CountKey, Count() - 1);
  for (std::size_t n = 1; n < FItems.size(); ++n) {
    ini.WriteString(PresetsSection, NameKey(n), FItems[n]);
  }
  SettingsStore().SaveAndWait(ini);
}
