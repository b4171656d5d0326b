#include "settings/IniFile.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "platform/Platform.h"

namespace {

bool IsBlank(char Character) {
  return Character == ' ' || Character == '\t' || Character == '\v' || Character == '\f' || Character == '\r';
}

// The bounds [begin, end) of text[begin, end) without its outer blanks.
void Trim(std::string_view Text, std::size_t& Begin, std::size_t& End) {
  while (Begin < End && IsBlank(Text[Begin])) ++Begin;
  while (End > Begin && IsBlank(Text[End - 1])) --End;
}

std::string Trimmed(const std::string& Text) {
  std::size_t begin = 0, end = Text.size();
  Trim(Text, begin, end);
  return Text.substr(begin, end - begin);
}

char FoldCase(char Character) {
  return (Character >= 'A' && Character <= 'Z') ? static_cast<char>(Character - 'A' + 'a') : Character;
}

std::string Folded(const char* Text, std::size_t Length) {
  std::string result(Text, Length);
  for (char& c : result) c = FoldCase(c);
  return result;
}

// Line breaks inside a name or value would end the line early and let the
// rest of the text pose as further keys or sections.
std::string OnOneLine(std::string Text) {
  for (char& c : Text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return Text;
}

std::string CleanName(const std::string& Name) { return Trimmed(OnOneLine(Name)); }

constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t ByteOrderMarkLength = 3;

enum class LineKind { Other, Header, Comment, Key };

struct ParsedLine {
  LineKind Kind = LineKind::Other;
  std::size_t NameBegin = 0, NameEnd = 0;    // section or key name, trimmed
  std::size_t ValueBegin = 0, ValueEnd = 0;  // key value, trimmed
  std::size_t EqualsPos = 0;                 // position of the "=" of a key
};

ParsedLine ParseLine(std::string_view Text, std::size_t Start) {
  ParsedLine parsed;
  std::size_t first = Start;
  while (first < Text.size() && IsBlank(Text[first])) ++first;
  if (first == Text.size()) return parsed;
  if (Text[first] == '[') {
    parsed.Kind = LineKind::Header;
    const std::size_t close = Text.rfind(']');
    parsed.NameBegin = first + 1;
    parsed.NameEnd = (close == std::string_view::npos || close < first) ? Text.size() : close;
    Trim(Text, parsed.NameBegin, parsed.NameEnd);
    return parsed;
  }
  if (Text[first] == ';') {
    parsed.Kind = LineKind::Comment;
    return parsed;
  }
  const std::size_t equals = Text.find('=', first);
  if (equals == std::string_view::npos) return parsed;  // a key without "=" is ignored
  parsed.Kind = LineKind::Key;
  parsed.EqualsPos = equals;
  parsed.NameBegin = first;
  parsed.NameEnd = equals;
  Trim(Text, parsed.NameBegin, parsed.NameEnd);
  parsed.ValueBegin = equals + 1;
  parsed.ValueEnd = Text.size();
  Trim(Text, parsed.ValueBegin, parsed.ValueEnd);
  return parsed;
}

bool IsBlankLine(std::string_view Text) {
  for (char c : Text) {
    if (!IsBlank(c)) return false;
  }
  return true;
}

std::size_t Occurrences(std::string_view Text, char Character) {
  std::size_t count = 0;
  const char* at = Text.data();
  const char* const end = at + Text.size();
  while ((at = static_cast<const char*>(std::memchr(at, Character, static_cast<std::size_t>(end - at)))) != nullptr) {
    ++count;
    ++at;
  }
  return count;
}

int HexDigit(char Character) {
  if (Character >= '0' && Character <= '9') return Character - '0';
  if (Character >= 'a' && Character <= 'f') return Character - 'a' + 10;
  if (Character >= 'A' && Character <= 'F') return Character - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseIniInteger(const std::string& Text, std::int32_t& Value) {
  std::size_t pos = 0;
  bool hex = false;
  if (Text.size() >= 3 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    hex = true;
    pos = 2;
  } else if (!Text.empty() && Text[0] == '$') {
    hex = true;
    pos = 1;
  }
  if (hex) {
    // Up to eight significant digits, taken as the 32-bit pattern they
    // spell: "$FFFFFFFF" is -1, and the colour "$FF000008" reads back as the
    // -16777208 that is written for it. More digits do not fit.
    if (pos == Text.size()) return false;
    std::uint32_t bits = 0;
    int significant = 0;
    for (; pos < Text.size(); ++pos) {
      const int digit = HexDigit(Text[pos]);
      if (digit < 0) return false;
      if (significant > 0 || digit != 0) ++significant;
      if (significant > 8) return false;
      bits = (bits << 4) | static_cast<std::uint32_t>(digit);
    }
    Value = static_cast<std::int32_t>(bits);
    return true;
  }
  bool negative = false;
  if (pos < Text.size() && (Text[pos] == '-' || Text[pos] == '+')) {
    negative = Text[pos] == '-';
    ++pos;
  }
  if (pos == Text.size()) return false;
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t magnitude = 0;
  for (; pos < Text.size(); ++pos) {
    const char c = Text[pos];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) return false;  // 2147483648 and beyond do not fit
  }
  Value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

TIniFile::TIniFile(std::string FileName) : FFileName(std::move(FileName)) {
  if (!platform::ReadFileText(FFileName, FText)) {
    FText.clear();
    // Only a file that is not there means the defaults.
    FReadFailed = platform::FileExists(FFileName);
  }
  Parse();
}

std::string_view TIniFile::Made(std::string Text) {
  FMadeLines.push_back(std::move(Text));
  return FMadeLines.back();
}

void TIniFile::Parse() {
  const std::string_view text = FText;
  FLines.clear();
  FSections.clear();
  FSectionIndex.clear();
  // Room for every line and section at once: a large file is then read
  // without growing its tables again and again.
  FLines.reserve(Occurrences(text, '\n') + 1);
  const std::size_t headers = Occurrences(text, '[') + 1;
  FSections.reserve(headers);
  FSectionIndex.reserve(headers);
  FSections.emplace_back();  // the lines before the first section header
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t newline = text.find('\n', begin);
    Line line;
    if (newline == std::string_view::npos) {
      line.Text = text.substr(begin);
      line.End = LineEnd::None;
      begin = text.size();
    } else {
      std::size_t end = newline;
      line.End = LineEnd::Lf;
      if (end > begin && text[end - 1] == '\r') {
        --end;
        line.End = LineEnd::CrLf;
      }
      line.Text = text.substr(begin, end - begin);
      begin = newline + 1;
    }
    const std::size_t start =
        (FLines.empty() && line.Text.compare(0, ByteOrderMarkLength, ByteOrderMark) == 0)
            ? ByteOrderMarkLength
            : 0;
    const ParsedLine parsed = ParseLine(line.Text, start);
    if (parsed.Kind == LineKind::Header) {
      FSectionIndex.try_emplace(
          Folded(line.Text.data() + parsed.NameBegin, parsed.NameEnd - parsed.NameBegin),
          FSections.size());  // the first section of a name wins
      FSections.emplace_back();
      FSections.back().First = FLines.size();
    }
    FLines.push_back(line);
    ++FSections.back().Count;
  }
}

std::size_t TIniFile::FindSection(const std::string& Section) const {
  const std::string name = CleanName(Section);
  const auto found = FSectionIndex.find(Folded(name.data(), name.size()));
  return found == FSectionIndex.end() ? NotFound : found->second;
}

const std::unordered_map<std::string, std::size_t>& TIniFile::KeyIndex(const SectionLines& Section) const {
  if (!Section.KeysIndexed) {
    for (std::size_t i = 1; i < Section.Count; ++i) {
      const std::string_view text = FLines[Section.First + i].Text;
      const ParsedLine parsed = ParseLine(text, 0);
      if (parsed.Kind != LineKind::Key) continue;
      Section.Keys.try_emplace(Folded(text.data() + parsed.NameBegin,
                                      parsed.NameEnd - parsed.NameBegin),
                               i);  // the first key of a name wins
    }
    Section.KeysIndexed = true;
  }
  return Section.Keys;
}

std::size_t TIniFile::FindKey(const SectionLines& Section, const std::string& Ident) const {
  const auto& keys = KeyIndex(Section);
  const std::string name = CleanName(Ident);
  const auto found = keys.find(Folded(name.data(), name.size()));
  return found == keys.end() ? NotFound : found->second;
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  const std::size_t s = FindSection(Section);
  if (s == NotFound) return Default;
  const std::size_t k = FindKey(FSections[s], Ident);
  if (k == NotFound) return Default;
  const std::string_view text = FLines[FSections[s].First + k].Text;
  const ParsedLine parsed = ParseLine(text, 0);
  const std::size_t length = parsed.ValueEnd - parsed.ValueBegin;
  return std::string(text.substr(parsed.ValueBegin, length < MaxValueLength ? length : MaxValueLength));
}

std::int32_t TIniFile::ReadInteger(const std::string& Section, const std::string& Ident,
                                   std::int32_t Default) const {
  std::int32_t value = 0;
  return ParseIniInteger(ReadString(Section, Ident, ""), value) ? value : Default;
}

std::string TIniFile::AsReadBack(const std::string& Value) {
  const std::string value = Trimmed(OnOneLine(Value));
  return value.substr(0, MaxValueLength);
}

std::vector<std::int32_t> TIniFile::NumberedKeys(const std::string& Section, const std::string& Prefix,
                                                std::int32_t First, std::int32_t Last) const {
  std::vector<std::int32_t> numbers;
  const std::size_t s = FindSection(Section);
  if (s == NotFound || First > Last) return numbers;
  const std::string cleanPrefix = CleanName(Prefix);
  const std::string prefix = Folded(cleanPrefix.data(), cleanPrefix.size());
  for (const auto& key : KeyIndex(FSections[s])) {
    const std::string& name = key.first;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    // "Device03" is not the key "Device3" that a reader asks for.
    if (digits.size() > 1 && digits[0] == '0') continue;
    if (digits.find_first_not_of("0123456789") != std::string::npos) continue;
    std::int32_t n = 0;
    if (!ParseIniInteger(digits, n) || n < First || n > Last) continue;
    numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

std::string TIniFile::Render() const {
  std::size_t size = 0;
  for (const Line& line : FLines) size += line.Text.size() + 2;
  std::string text;
  text.reserve(size);
  for (const Line& line : FLines) {
    text += line.Text;
    if (line.End == LineEnd::CrLf) text += "\r\n";
    else if (line.End == LineEnd::Lf) text += '\n';
  }
  return text;
}

void TIniFile::UpdateFile() {
  if (!FWritten) return;
  if (FReadFailed) throw EIniFileException(FFileName, EIniFileException::TFault::Read);
  if (!platform::ReplaceFileText(FFileName, Render())) throw EIniFileException(FFileName);
  FWritten = false;
}

void TIniFile::ShiftSectionsAfter(std::size_t Section, std::ptrdiff_t Lines) {
  for (std::size_t t = Section + 1; t < FSections.size(); ++t)
    FSections[t].First = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(FSections[t].First) + Lines);
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident,
                           const std::string& Value) {
  const std::string sectionName = CleanName(Section);
  const std::string keyName = CleanName(Ident);
  // Written as it reads back: the reader drops outer blanks, and blanks
  // written in front of a value would join the blanks kept after the "=" of
  // an existing key, one more at every save.
  const std::string value = Trimmed(OnOneLine(Value));
  FWritten = true;

  const std::size_t s = FindSection(sectionName);
  if (s != NotFound) {
    SectionLines& section = FSections[s];
    const std::size_t k = FindKey(section, keyName);
    if (k != NotFound) {
      Line& line = FLines[section.First + k];
      const ParsedLine parsed = ParseLine(line.Text, 0);
      // The key keeps its own spelling and the blanks around its "=".
      std::size_t valueStart = parsed.EqualsPos + 1;
      while (valueStart < line.Text.size() && IsBlank(line.Text[valueStart])) ++valueStart;
      line.Text = Made(std::string(line.Text.substr(0, valueStart)) + value);
      return;
    }
    // A new key closes the section's keys, before the blank lines that
    // separate it from the next section. No key line lies at or after that
    // position, so the key index stays valid.
    std::size_t at = section.Count;
    while (at > 1 && IsBlankLine(FLines[section.First + at - 1].Text)) --at;
    const std::size_t before = section.First + at - 1;
    if (FLines[before].End == LineEnd::None) FLines[before].End = LineEnd::CrLf;
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(before + 1),
                  Line{Made(keyName + "=" + value), LineEnd::CrLf});
    ++section.Count;
    ShiftSectionsAfter(s, 1);
    section.Keys.emplace(Folded(keyName.data(), keyName.size()), at);
    return;
  }

  // The line that ends the file gets a line end before the new section.
  if (!FLines.empty() && FLines.back().End == LineEnd::None) FLines.back().End = LineEnd::CrLf;
  SectionLines added;
  added.First = FLines.size();
  added.Count = 2;
  FLines.push_back(Line{Made("[" + sectionName + "]"), LineEnd::CrLf});
  FLines.push_back(Line{Made(keyName + "=" + value), LineEnd::CrLf});
  FSections.push_back(std::move(added));
  FSectionIndex.emplace(Folded(sectionName.data(), sectionName.size()), FSections.size() - 1);
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident,
                            std::int32_t Value) {
  WriteString(Section, Ident, std::to_string(Value));
}
