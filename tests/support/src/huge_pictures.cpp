#include "tools/test/huge_pictures.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace tools::test {
namespace {

void put16(std::string& out, std::size_t at, unsigned v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, std::size_t at, uint32_t v) {
  put16(out, at, v & 0xFFFF);
  put16(out, at + 2, v >> 16);
}

}  // namespace

std::string long_run_tga(int width, int height) {
  std::string out(18, '\0');
  out[2] = 11;
  put16(out, 12, static_cast<unsigned>(width));
  put16(out, 14, static_cast<unsigned>(height));
  out[16] = 8;
  out[17] = 0x20;
  std::size_t left = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  out.reserve(out.size() + left / 64 + 2);
  while (left > 0) {
    const std::size_t n = std::min<std::size_t>(left, 128);
    out += static_cast<char>(0x80 | (n - 1));
    out += '\x80';
    left -= n;
  }
  return out;
}

std::string long_run_pcx(int width, int height) {
  std::string out(128, '\0');
  out[0] = 10;
  out[1] = 5;
  out[2] = 1;
  out[3] = 8;
  put16(out, 8, static_cast<unsigned>(width - 1));
  put16(out, 10, static_cast<unsigned>(height - 1));
  out[65] = 1;
  put16(out, 66, static_cast<unsigned>(width));
  std::size_t left = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  out.reserve(out.size() + left / 31 + 800);
  while (left > 0) {
    const std::size_t n = std::min<std::size_t>(left, 63);
    out += static_cast<char>(0xC0 | n);
    out += '\x07';
    left -= n;
  }
  out += '\x0C';
  for (int i = 0; i < 256; ++i) out.append(3, static_cast<char>(i));
  return out;
}

std::string dxt1_dds(int width, int height, int levels) {
  std::string out(128, '\0');
  out.replace(0, 4, "DDS ");
  put32(out, 4, 124);
  put32(out, 8, 0x2100F);
  put32(out, 12, static_cast<uint32_t>(height));
  put32(out, 16, static_cast<uint32_t>(width));
  put32(out, 28, static_cast<uint32_t>(levels));
  put32(out, 76, 32);
  put32(out, 80, 4);
  out.replace(84, 4, "DXT1");
  put32(out, 108, 0x401008);
  std::size_t data = 0;
  for (int i = 0, w = width, h = height; i < levels; ++i, w = std::max(w / 2, 1), h = std::max(h / 2, 1))
    data += static_cast<std::size_t>((w + 3) / 4) * static_cast<std::size_t>((h + 3) / 4) * 8;
  out.append(data, '\0');
  return out;
}

}  // namespace tools::test
