#include "settings/IniFile.h"

#include <cstddef>
#include <utility>

#include "platform/Platform.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// The bounds [begin, end) of text[begin, end) without its outer blanks.
void Trim(const std::string& text, std::size_t& begin, std::size_t& end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
}

std::string Trimmed(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  Trim(text, begin, end);
  return text.substr(begin, end - begin);
}

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Folded(const char* text, std::size_t length) {
  std::string result(text, length);
  for (char& c : result) c = FoldCase(c);
  return result;
}

// Line breaks inside a name or value would end the line early and let the
// rest of the text pose as further keys or sections.
std::string OnOneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

std::string CleanName(const std::string& name) { return Trimmed(OnOneLine(name)); }

constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t ByteOrderMarkLength = 3;

enum class LineKind { Other, Header, Comment, Key };

struct ParsedLine {
  LineKind Kind = LineKind::Other;
  std::size_t NameBegin = 0, NameEnd = 0;    // section or key name, trimmed
  std::size_t ValueBegin = 0, ValueEnd = 0;  // key value, trimmed
  std::size_t EqualsPos = 0;                 // position of the "=" of a key
};

ParsedLine ParseLine(const std::string& text, std::size_t start) {
  ParsedLine parsed;
  std::size_t first = start;
  while (first < text.size() && IsBlank(text[first])) ++first;
  if (first == text.size()) return parsed;
  if (text[first] == '[') {
    parsed.Kind = LineKind::Header;
    const std::size_t close = text.rfind(']');
    parsed.NameBegin = first + 1;
    parsed.NameEnd = (close == std::string::npos || close < first) ? text.size() : close;
    Trim(text, parsed.NameBegin, parsed.NameEnd);
    return parsed;
  }
  if (text[first] == ';') {
    parsed.Kind = LineKind::Comment;
    return parsed;
  }
  const std::size_t equals = text.find('=', first);
  if (equals == std::string::npos) return parsed;  // a key without "=" is ignored
  parsed.Kind = LineKind::Key;
  parsed.EqualsPos = equals;
  parsed.NameBegin = first;
  parsed.NameEnd = equals;
  Trim(text, parsed.NameBegin, parsed.NameEnd);
  parsed.ValueBegin = equals + 1;
  parsed.ValueEnd = text.size();
  Trim(text, parsed.ValueBegin, parsed.ValueEnd);
  return parsed;
}

bool IsBlankLine(const std::string& text) {
  for (char c : text) {
    if (!IsBlank(c)) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseIniInteger(const std::string& text, std::int32_t& value) {
  std::size_t pos = 0;
  bool hex = false;
  if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hex = true;
    pos = 2;
  } else if (!text.empty() && text[0] == '$') {
    hex = true;
    pos = 1;
  }
  if (hex) {
    // Up to eight significant digits, taken as the 32-bit pattern they
    // spell: "$FFFFFFFF" is -1, and the colour "$FF000008" reads back as the
    // -16777208 that is written for it. More digits do not fit.
    if (pos == text.size()) return false;
    std::uint32_t bits = 0;
    int significant = 0;
    for (; pos < text.size(); ++pos) {
      const int digit = HexDigit(text[pos]);
      if (digit < 0) return false;
      if (significant > 0 || digit != 0) ++significant;
      if (significant > 8) return false;
      bits = (bits << 4) | static_cast<std::uint32_t>(digit);
    }
    value = static_cast<std::int32_t>(bits);
    return true;
  }
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  if (pos == text.size()) return false;
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t magnitude = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) return false;  // 2147483648 and beyond do not fit
  }
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {
  std::string text;
  // A file that cannot be read is taken as empty, as a missing one is.
  if (!platform::ReadFileText(FFileName, text)) text.clear();
  Parse(text);
}

void TIniFile::Parse(const std::string& text) {
  FSections.clear();
  FSectionIndex.clear();
  FSections.emplace_back();  // the lines before the first section header
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t newline = text.find('\n', begin);
    Line line;
    if (newline == std::string::npos) {
      line.Text.assign(text, begin, std::string::npos);
      line.End = LineEnd::None;
      begin = text.size();
    } else {
      std::size_t end = newline;
      line.End = LineEnd::Lf;
      if (end > begin && text[end - 1] == '\r') {
        --end;
        line.End = LineEnd::CrLf;
      }
      line.Text.assign(text, begin, end - begin);
      begin = newline + 1;
    }
    const std::size_t start =
        (FSections.size() == 1 && FSections[0].Lines.empty() &&
         line.Text.compare(0, ByteOrderMarkLength, ByteOrderMark) == 0)
            ? ByteOrderMarkLength
            : 0;
    const ParsedLine parsed = ParseLine(line.Text, start);
    if (parsed.Kind == LineKind::Header) {
      const std::string key =
          Folded(line.Text.data() + parsed.NameBegin, parsed.NameEnd - parsed.NameBegin);
      FSectionIndex.try_emplace(key, FSections.size());  // the first section of a name wins
      FSections.emplace_back();
    } else if (parsed.Kind == LineKind::Key) {
      ++FSections.back().KeyLines;
    }
    FSections.back().Lines.push_back(std::move(line));
  }
}

std::size_t TIniFile::FindSection(const std::string& Section) const {
  const std::string name = CleanName(Section);
  const auto found = FSectionIndex.find(Folded(name.data(), name.size()));
  return found == FSectionIndex.end() ? NotFound : found->second;
}

std::size_t TIniFile::FindKey(const SectionLines& section, const std::string& Ident) const {
  if (!section.KeysIndexed) {
    for (std::size_t i = 1; i < section.Lines.size(); ++i) {
      const std::string& text = section.Lines[i].Text;
      const ParsedLine parsed = ParseLine(text, 0);
      if (parsed.Kind != LineKind::Key) continue;
      section.Keys.try_emplace(Folded(text.data() + parsed.NameBegin,
                                      parsed.NameEnd - parsed.NameBegin),
                               i);  // the first key of a name wins
    }
    section.KeysIndexed = true;
  }
  const std::string name = CleanName(Ident);
  const auto found = section.Keys.find(Folded(name.data(), name.size()));
  return found == section.Keys.end() ? NotFound : found->second;
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  const std::size_t s = FindSection(Section);
  if (s == NotFound) return Default;
  const std::size_t k = FindKey(FSections[s], Ident);
  if (k == NotFound) return Default;
  const std::string& text = FSections[s].Lines[k].Text;
  const ParsedLine parsed = ParseLine(text, 0);
  const std::size_t length = parsed.ValueEnd - parsed.ValueBegin;
  return text.substr(parsed.ValueBegin, length < MaxValueLength ? length : MaxValueLength);
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

bool TIniFile::SectionExists(const std::string& Section) const {
  return FindSection(Section) != NotFound;
}

std::size_t TIniFile::KeyCount(const std::string& Section) const {
  const std::size_t s = FindSection(Section);
  return s == NotFound ? 0 : FSections[s].KeyLines;
}

TIniFile::Line* TIniFile::LastLineOfFile() {
  for (std::size_t s = FSections.size(); s-- > 0;) {
    if (!FSections[s].Lines.empty()) return &FSections[s].Lines.back();
  }
  return nullptr;
}

std::string TIniFile::Render() const {
  std::size_t size = 0;
  for (const SectionLines& section : FSections) {
    for (const Line& line : section.Lines) size += line.Text.size() + 2;
  }
  std::string text;
  text.reserve(size);
  for (const SectionLines& section : FSections) {
    for (const Line& line : section.Lines) {
      text += line.Text;
      if (line.End == LineEnd::CrLf) text += "\r\n";
      else if (line.End == LineEnd::Lf) text += '\n';
    }
  }
  return text;
}

void TIniFile::Flush() {
  if (!platform::ReplaceFileText(FFileName, Render())) throw EIniFileException(FFileName);
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident,
                           const std::string& Value) {
  const std::string sectionName = CleanName(Section);
  const std::string keyName = CleanName(Ident);
  // Written as it reads back: the reader drops outer blanks, and blanks
  // written in front of a value would join the blanks kept after the "=" of
  // an existing key, one more at every save.
  const std::string value = Trimmed(OnOneLine(Value));

  // Each branch changes the lines, writes the file and, when the write
  // fails, puts the lines back as they were before rethrowing: the object
  // then still matches the file on disk.
  const std::size_t s = FindSection(sectionName);
  if (s != NotFound) {
    SectionLines& section = FSections[s];
    const std::size_t k = FindKey(section, keyName);
    if (k != NotFound) {
      Line& line = section.Lines[k];
      const ParsedLine parsed = ParseLine(line.Text, 0);
      // The key keeps its own spelling and the blanks around its "=".
      std::size_t valueStart = parsed.EqualsPos + 1;
      while (valueStart < line.Text.size() && IsBlank(line.Text[valueStart])) ++valueStart;
      std::string old = line.Text;
      line.Text.replace(valueStart, std::string::npos, value);
      try {
        Flush();
      } catch (...) {
        line.Text = std::move(old);
        throw;
      }
      return;
    }
    // A new key closes the section's keys, before the blank lines that
    // separate it from the next section. No key line lies at or after that
    // position, so the key index stays valid.
    std::size_t at = section.Lines.size();
    while (at > 1 && IsBlankLine(section.Lines[at - 1].Text)) --at;
    Line* before = &section.Lines[at - 1];
    const LineEnd beforeEnd = before->End;
    if (before->End == LineEnd::None) before->End = LineEnd::CrLf;
    section.Lines.insert(section.Lines.begin() + static_cast<std::ptrdiff_t>(at),
                         Line{keyName + "=" + value, LineEnd::CrLf});
    ++section.KeyLines;
    const std::string folded = Folded(keyName.data(), keyName.size());
    section.Keys.emplace(folded, at);
    try {
      Flush();
    } catch (...) {
      section.Keys.erase(folded);
      --section.KeyLines;
      section.Lines.erase(section.Lines.begin() + static_cast<std::ptrdiff_t>(at));
      section.Lines[at - 1].End = beforeEnd;
      throw;
    }
    return;
  }

  // The line that ends the file gets a line end before the new section.
  Line* last = LastLineOfFile();
  const LineEnd lastEnd = last ? last->End : LineEnd::CrLf;
  if (last && last->End == LineEnd::None) last->End = LineEnd::CrLf;
  last = nullptr;  // the push below may move the lines
  SectionLines added;
  added.Lines.push_back(Line{"[" + sectionName + "]", LineEnd::CrLf});
  added.Lines.push_back(Line{keyName + "=" + value, LineEnd::CrLf});
  added.KeyLines = 1;
  const std::string folded = Folded(sectionName.data(), sectionName.size());
  FSections.push_back(std::move(added));
  FSectionIndex.emplace(folded, FSections.size() - 1);
  try {
    Flush();
  } catch (...) {
    FSectionIndex.erase(folded);
    FSections.pop_back();
    if (Line* restored = LastLineOfFile()) restored->End = lastEnd;
    throw;
  }
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident,
                            std::int32_t Value) {
  WriteString(Section, Ident, std::to_string(Value));
}
