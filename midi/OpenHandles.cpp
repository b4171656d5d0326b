#include "midi/OpenHandles.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {
std::mutex HandlesLock;
std::vector<const void*>& Handles() {  // guarded by HandlesLock
  static std::vector<const void*> handles;
  return handles;
}
}  // namespace

void NoteHandleOpened(const void* handle) {
  if (handle == nullptr) return;
  std::lock_guard<std::mutex> guard(HandlesLock);
  Handles().push_back(handle);
}

void NoteHandleReleased(const void* handle) {
  if (handle == nullptr) return;
  std::lock_guard<std::mutex> guard(HandlesLock);
  auto& handles = Handles();
  const auto found = std::find(handles.begin(), handles.end(), handle);
  if (found != handles.end()) handles.erase(found);
}

bool HandleHeldByAPort(const void* handle) {
  std::lock_guard<std::mutex> guard(HandlesLock);
  const auto& handles = Handles();
  return std::find(handles.begin(), handles.end(), handle) != handles.end();
}
