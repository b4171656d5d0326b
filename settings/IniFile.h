// The settings file: a plain ini text file read and written by our own code
// (its format: README.md, "Settings file format"). The program reads it
// through the copy that TSettingsStore keeps, and each save is one object,
// made by the store's writer thread from the file as it is on disk and freed
// right after. Sections and keys match without regard to letter case; every
// line the object is not asked to write is kept byte for byte.
//
// Writes are collected in the object and reach the disk together when the
// writer calls UpdateFile: the whole file is replaced at once, atomically
// (temporary file beside it, flushed, renamed over it), so the file on disk
// is always the one before that save or the one after it.
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

// A save that could not reach the disk, because the file could not be
// written or because its earlier content could not be read; names the file.
class EIniFileException : public Exception {
 public:
  enum class TFault : std::uint8_t { Write, Read };
  explicit EIniFileException(const std::string& FileName, TFault Fault = TFault::Write)
      : Exception((Fault == TFault::Read ? "Unable to read " : "Unable to write to ") + FileName),
        FileName(FileName),
        Fault(Fault) {}
  std::string FileName;
  TFault Fault;
};

class TIniFile {
 public:
  // Reads the file once. A missing file is empty; a file that exists but
  // cannot be read (another program holds it) reads as empty too, but is
  // marked, and UpdateFile will not write over it.
  explicit TIniFile(std::string FileName);
  // Writes not committed by UpdateFile are dropped, not written: a writer
  // that an error stopped half-way must leave the file as it was before its
  // save, and a destructor could not report a failed write anyway.
  ~TIniFile() = default;
  // Its lines point into its own text.
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  const std::string& FileName() const { return FFileName; }
  // The file exists but could not be read: what this object reads are defaults.
  bool ReadFailed() const { return FReadFailed; }

  // The text after "=" (at most 2047 characters), or Default when the key is absent.
  std::string ReadString(const std::string& Section, const std::string& Ident,
                         const std::string& Default) const;
  // A value of at least three characters starting "0x"/"0X", or starting "$",
  // is hexadecimal; otherwise it must be a decimal integer. Absent or not an
  // integer: Default.
  std::int32_t ReadInteger(const std::string& Section, const std::string& Ident,
                           std::int32_t Default) const;
  // The text that ReadString gives back for a value written as Value: on
  // one line, without outer blanks, at most MaxValueLength characters.
  static std::string AsReadBack(const std::string& Value);
  // The numbers n, First <= n <= Last, for which the section holds the key
  // Prefix + n (n in decimal without leading zeros), ascending. A stored
  // count read from the file then costs no more than the keys really there.
  std::vector<std::int32_t> NumberedKeys(const std::string& Section, const std::string& Prefix,
                                         std::int32_t First, std::int32_t Last) const;

  // Creates the section or the key where needed and replaces the key's old
  // value, in this object only; readers of this object see it at once.
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  void WriteInteger(const std::string& Section, const std::string& Ident, std::int32_t Value);
  // Replaces the file with every write made so far (nothing happens when
  // there was none). Throws EIniFileException naming the file when it cannot
  // be written, or when its earlier content could not be read (a file holding
  // only these writes would lose the rest); the file is then exactly as it
  // was, and the writes stay pending in the object.
  void UpdateFile();

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
    // Folded key name -> its first line, counted from First; built on the
    // first lookup in this section, so a file of many sections costs one pass.
    mutable std::unordered_map<std::string, std::size_t> Keys;
    mutable bool KeysIndexed = false;
  };
  static constexpr std::size_t NotFound = static_cast<std::size_t>(-1);

  void Parse();
  std::string_view Made(std::string Text);  // a line of a write's own, kept for the object's life
  std::size_t FindSection(const std::string& Section) const;
  const std::unordered_map<std::string, std::size_t>& KeyIndex(const SectionLines& Section) const;
  std::size_t FindKey(const SectionLines& Section, const std::string& Ident) const;
  void ShiftSectionsAfter(std::size_t Section, std::ptrdiff_t Lines);  // moves the later sections' First
  std::string Render() const;

  std::string FFileName;
  std::string FText;                   // the file as read
  std::deque<std::string> FMadeLines;  // lines made by writes; a deque keeps them in place
  std::vector<Line> FLines;            // every line of the file, in order
  std::vector<SectionLines> FSections;  // [0]: the lines before the first section header
  std::unordered_map<std::string, std::size_t> FSectionIndex;  // folded name -> first section
  bool FWritten = false;  // a write has changed the lines since the last UpdateFile
  bool FReadFailed = false;
};

// Parses an integer by the rules of ReadInteger; false when it is not one.
// The text is taken as it is (ReadInteger has already trimmed the value).
bool ParseIniInteger(const std::string& Text, std::int32_t& Value);
