// The settings file: a plain ini text file read and written by our own code.
// One object serves one reader or writer and is freed right after, so
// nothing is cached between uses. Sections and keys match without regard to
// letter case; every other line, comment and key of the file is kept as it
// was. Each write replaces the whole file atomically (temporary file beside
// it, flushed, renamed over it), so the file on disk is always either the old
// or the new one.
//
// How the text is read:
// - Lines end with "\r\n" or "\n" (a lone "\r" is an ordinary character);
//   lines that this object adds end with "\r\n", lines it keeps keep their
//   own ending. A UTF-8 byte-order mark before the first line is skipped
//   when reading and kept when writing.
// - A line whose first non-blank character is "[" opens a section; its name
//   is the text up to the last "]" of the line (to the end of the line when
//   there is none), so a name holding "]" still reads back as written.
// - A line whose first non-blank character is ";" is a comment. Any other
//   line holding "=" is a key: the name is the text before the first "=",
//   the value the text after it. A line without "=" is no key and is ignored.
// - Blanks (space, tab, vertical tab, form feed, carriage return) around
//   section names, key names and values are not part of them, as with the
//   Windows profile functions; the names given to the readers and writers
//   are trimmed the same way, and a value written with outer blanks reads
//   back without them.
// - Lines before the first section belong to no section and are never read.
// - Of two sections with the same name, and of two keys with the same name
//   in that section, the first one is read and written; later ones are kept
//   as they are.
// - Letter case is folded for ASCII letters only; the locale-aware
//   comparison of the Windows profile functions is approximated by ASCII
//   case folding plus byte equality for all other bytes.
//
// How the text is written:
// - A new key goes at the end of its section, before the blank lines that
//   close it; a new section goes at the end of the file. A key that exists
//   keeps its line: only the text after "=" and the blanks that follow it
//   is replaced.
// - Line breaks inside a section name, key name or value are written as
//   blanks, so no value can add lines, keys or sections to the file.
// - Key names are expected to hold no "=" and not to begin with "[" or ";"
//   (the program's keys are fixed names).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/Exceptions.h"

// A write that could not reach the disk; names the file.
class EIniFileException : public Exception {
 public:
  explicit EIniFileException(const std::string& fileName)
      : Exception("Unable to write to " + fileName), FileName(fileName) {}
  std::string FileName;
};

class TIniFile {
 public:
  explicit TIniFile(std::string fileName);  // reads the file once; a missing file is empty
  // Its lines point into its own text.
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  const std::string& FileName() const { return FFileName; }

  // The text after "=" (at most 2047 characters), or Default when the key is absent.
  std::string ReadString(const std::string& Section, const std::string& Ident,
                         const std::string& Default) const;
  // A value of at least three characters starting "0x"/"0X", or starting "$",
  // is hexadecimal; otherwise it must be a decimal integer. Absent or not an
  // integer: Default.
  std::int32_t ReadInteger(const std::string& Section, const std::string& Ident,
                           std::int32_t Default) const;
  bool SectionExists(const std::string& Section) const;
  // The text that ReadString gives back for a value written as Value: on
  // one line, without outer blanks, at most MaxValueLength characters.
  static std::string AsReadBack(const std::string& Value);
  // Number of keys that the section holds (bounds counts read from the file).
  std::size_t KeyCount(const std::string& Section) const;

  // Creates the file, the section or the key where needed and replaces the
  // key's old value; the file is rewritten at once. Throws EIniFileException
  // when the file cannot be written, leaving it as it was before this key.
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  void WriteInteger(const std::string& Section, const std::string& Ident, std::int32_t Value);

  static constexpr std::size_t MaxValueLength = 2047;

 private:
  enum class LineEnd : std::uint8_t { None, Lf, CrLf };
  struct Line {
    // Without its line end; into FText for the lines read, into FMadeLines
    // for those a write made, so reading a file costs no allocation per line.
    std::string_view Text;
    LineEnd End = LineEnd::CrLf;
  };
  // The lines of a section lie together in FLines, the header first (the
  // lines before any header have none).
  struct SectionLines {
    std::size_t First = 0;  // position of its first line in FLines
    std::size_t Count = 0;  // number of its lines
    std::size_t KeyLines = 0;
    // Folded key name -> its first line, counted from First; built on the
    // first lookup in this section, so a file of many sections costs one pass.
    mutable std::unordered_map<std::string, std::size_t> Keys;
    mutable bool KeysIndexed = false;
  };
  static constexpr std::size_t NotFound = static_cast<std::size_t>(-1);

  void Parse();
  std::string_view Made(std::string text);  // a line of a write's own, kept for the object's life
  std::size_t FindSection(const std::string& Section) const;
  std::size_t FindKey(const SectionLines& section, const std::string& Ident) const;
  Line* LastLineOfFile();
  void ShiftSectionsAfter(std::size_t s, std::ptrdiff_t lines);  // moves the later sections' First
  std::string Render() const;
  void Flush();  // writes Render() to the file; throws EIniFileException when that fails

  std::string FFileName;
  std::string FText;                   // the file as read
  std::deque<std::string> FMadeLines;  // lines made by writes; a deque keeps them in place
  std::vector<Line> FLines;            // every line of the file, in order
  std::vector<SectionLines> FSections;  // [0]: the lines before the first section header
  std::unordered_map<std::string, std::size_t> FSectionIndex;  // folded name -> first section
};

// Parses an integer by the rules of ReadInteger; false when it is not one.
// The text is taken as it is (ReadInteger has already trimmed the value).
bool ParseIniInteger(const std::string& text, std::int32_t& value);
