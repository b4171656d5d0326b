// Whole-file reading and atomic replacement for the settings file.
#include <algorithm>
#include <cstdint>

#include "platform/Platform.h"
#include "platform/win32/FileHandle.h"

namespace platform {
namespace {

// Single calls move at most this much, well inside a DWORD.
constexpr DWORD ChunkBytes = 1u << 20;

bool WriteAll(HANDLE File, const std::string& Text) {
  std::size_t written = 0;
  while (written < Text.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(Text.size() - written, ChunkBytes));
    DWORD done = 0;
    if (!::WriteFile(File, Text.data() + written, chunk, &done, nullptr) || done == 0) return false;
    written += done;
  }
  return true;
}

// A name beside the target that no other process uses at the same time.
std::string TemporaryPathFor(const std::string& Path) {
  return Path + ".~" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(::GetCurrentThreadId()) + ".tmp";
}

}  // namespace

bool ReadFileText(const std::string& Path, std::string& Text) {
  win32::FileHandle file(::CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) return false;
  std::string contents;
  try {
    contents.resize(static_cast<std::size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::size_t read = 0;
  while (read < contents.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size() - read, ChunkBytes));
    DWORD done = 0;
    if (!::ReadFile(file.Get(), contents.data() + read, chunk, &done, nullptr)) return false;
    if (done == 0) break;  // the file shrank while it was read
    read += done;
  }
  contents.resize(read);
  Text.swap(contents);
  return true;
}

bool ReplaceFileText(const std::string& Path, const std::string& Text) {
  // A read-only file is not to be written. Windows refuses to rename over
  // one, but Wine does not, so the rule is checked here for both.
  const DWORD attributes = ::GetFileAttributesA(Path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return false;
  const std::string temporary = TemporaryPathFor(Path);
  bool written;
  {
    win32::FileHandle file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    // The data must be on the disk before the rename makes it the file.
    written = WriteAll(file.Get(), Text) && ::FlushFileBuffers(file.Get());
    written = file.Close() && written;
  }
  if (written &&
      ::MoveFileExA(temporary.c_str(), Path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  ::DeleteFileA(temporary.c_str());  // best effort; the target is untouched either way
  return false;
}

bool FileExists(const std::string& Path) {
  // Asking for the attributes needs no access to the file itself, so a file
  // that another program holds open without sharing still counts.
  const DWORD attributes = ::GetFileAttributesA(Path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace platform
