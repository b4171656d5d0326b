// A file's bytes as they are on disk, read and written past the settings
// code, so a test can set up and check what it reads and writes.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

inline std::string ReadRaw(const std::string& Path) {
  std::ifstream file(Path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

inline void WriteRaw(const std::string& Path, const std::string& Text) {
  std::ofstream file(Path, std::ios::binary | std::ios::trunc);
  file << Text;
}
