#include "Screenshot.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

std::uint32_t Crc32(const std::uint8_t* Data, std::size_t Length, std::uint32_t Crc = 0) {
  static std::uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    ready = true;
  }
  Crc = ~Crc;
  for (std::size_t i = 0; i < Length; ++i) Crc = table[(Crc ^ Data[i]) & 0xFF] ^ (Crc >> 8);
  return ~Crc;
}

void PutBigEndian(std::vector<std::uint8_t>& Out, std::uint32_t Value) {
  for (int shift = 24; shift >= 0; shift -= 8) Out.push_back(static_cast<std::uint8_t>(Value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& Out, const char* Type, const std::vector<std::uint8_t>& Data) {
  PutBigEndian(Out, static_cast<std::uint32_t>(Data.size()));
  std::vector<std::uint8_t> typed(Type, Type + 4);
  typed.insert(typed.end(), Data.begin(), Data.end());
  Out.insert(Out.end(), typed.begin(), typed.end());
  PutBigEndian(Out, Crc32(typed.data(), typed.size()));
}

// A PNG of RGB rows, its image data in stored (uncompressed) deflate blocks:
// large, but written without a compression library.
std::vector<std::uint8_t> EncodePng(int Width, int Height, const std::vector<std::uint8_t>& RgbRows) {
  std::vector<std::uint8_t> raw;
  const std::size_t stride = static_cast<std::size_t>(Width) * 3;
  for (int y = 0; y < Height; ++y) {
    raw.push_back(0);  // no filter
    raw.insert(raw.end(), RgbRows.begin() + static_cast<std::ptrdiff_t>(y * stride),
               RgbRows.begin() + static_cast<std::ptrdiff_t>((y + 1) * stride));
  }
  std::vector<std::uint8_t> zlib = {0x78, 0x01};
  for (std::size_t at = 0; at < raw.size() || at == 0;) {
    const std::size_t length = std::min<std::size_t>(65535, raw.size() - at);
    const bool last = at + length >= raw.size();
    zlib.push_back(last ? 1 : 0);
    zlib.push_back(static_cast<std::uint8_t>(length & 0xFF));
    zlib.push_back(static_cast<std::uint8_t>(length >> 8));
    zlib.push_back(static_cast<std::uint8_t>(~length & 0xFF));
    zlib.push_back(static_cast<std::uint8_t>((~length >> 8) & 0xFF));
    zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                raw.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
    if (last) break;
  }
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(zlib, (b << 16) | a);

  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  PutBigEndian(header, static_cast<std::uint32_t>(Width));
  PutBigEndian(header, static_cast<std::uint32_t>(Height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", {});
  return png;
}

}  // namespace

std::string ScreenshotFolder() {
  const char* folder = std::getenv("VELMORA_SCREENSHOTS");
  if (!folder || !*folder) return {};
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return folder;
}

bool SaveScreenshot(HWND Window, const std::string& Name, bool ClientOnly) {
  const std::string folder = ScreenshotFolder();
  if (folder.empty()) return false;
  RECT r{};
  if (ClientOnly) {
    GetClientRect(Window, &r);
    MapWindowPoints(Window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  } else {
    GetWindowRect(Window, &r);
  }
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;

  // What the screen shows, frame included; the window is in front.
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  const auto* bgra = static_cast<const std::uint8_t*>(bits);
  for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
    rgb[i * 3] = bgra[i * 4 + 2];
    rgb[i * 3 + 1] = bgra[i * 4 + 1];
    rgb[i * 3 + 2] = bgra[i * 4];
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  const std::vector<std::uint8_t> png = EncodePng(width, height, rgb);
  std::ofstream file(folder + "/" + Name + ".png", std::ios::binary);
  file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(file);
}
