// A Win32 file handle that is closed when it goes out of scope.
#pragma once

#include "platform/MmSystem.h"

namespace platform::win32 {

class FileHandle {
 public:
  explicit FileHandle(HANDLE Handle) : handle_(Handle) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Get() const { return handle_; }
  // Closes now; false when the system reports that the close failed (for a
  // written file, that the data may not have reached the disk).
  bool Close() {
    if (!Valid()) return true;
    const bool closed = ::CloseHandle(handle_) != FALSE;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

}  // namespace platform::win32
