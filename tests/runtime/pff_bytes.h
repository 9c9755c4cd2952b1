#pragma once
// Archives made byte by byte for the tests, including ones the packer would
// never write: any names (unsorted, hostile), any offsets and sizes.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvo/runtime/file_access.h"

namespace orvo::test {

struct RawEntry {
  std::string name;
  uint32_t offset = 0;
  uint32_t size = 0;
};

// The header, then `data`, then the directory of `entries` as given.
inline std::string pff_bytes(const std::vector<RawEntry>& entries, std::string_view data) {
  std::string out = "PFF1";
  const auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
  };
  u32(1);
  u32(static_cast<uint32_t>(entries.size()));
  u32(static_cast<uint32_t>(kPffHeaderBytes + data.size()));
  out += data;
  for (const RawEntry& e : entries) {
    for (const uint32_t v : {0u, e.offset, e.size, 0u}) u32(v);
    std::string name = e.name;
    name.resize(kPffNameBytes, '\0');
    out += name;
  }
  return out;
}

// An archive holding each name's data one after the other (names sorted by
// the caller).
inline std::string pff_bytes(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<RawEntry> entries;
  std::string data;
  for (const auto& [name, bytes] : files) {
    entries.push_back(
        {name, static_cast<uint32_t>(kPffHeaderBytes + data.size()), static_cast<uint32_t>(bytes.size())});
    data += bytes;
  }
  return pff_bytes(entries, data);
}

}  // namespace orvo::test
