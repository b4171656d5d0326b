// Where the settings file lives: the per-user local application-data folder
// and the program file's own path.
#include <shlobj.h>

#include <vector>

#include "platform/Platform.h"

namespace platform {

std::string LocalAppDataFolder() {
  constexpr int LocalAppDataFolderCode = 28;  // CSIDL_LOCAL_APPDATA
  char path[MAX_PATH + 1] = {};
  // No access token (the current user), flag 0 (the folder's current path).
  if (FAILED(::SHGetFolderPathA(nullptr, LocalAppDataFolderCode, nullptr, 0, path))) return {};
  std::string folder(path);  // cut at the first NUL
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

std::string ProgramFilePath() {
  // A path longer than MAX_PATH comes back cut to the buffer, with the
  // buffer's size as the result: grow the buffer until the path fits.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    if (buffer.size() >= 32768) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
