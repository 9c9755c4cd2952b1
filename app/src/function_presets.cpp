#include "orvo/app/function_presets.h"

#include <chrono>
#include <cmath>
#include <limits>

#include "orvo/document/settings.h"
#include "tools/base/file_io.h"
#include "tools/base/line_reader.h"
#include "tools/base/text.h"

namespace orvo {

namespace {

constexpr std::string_view kUsageNames[] = {"none", "alpha", "texture"};
// The longest line read at once; longer lines are read in pieces.
constexpr std::size_t kMaxPresetLine = 1023;

std::string cut(std::string_view text, std::size_t max) {
  return std::string(text.substr(0, max));
}

float read_float(std::string_view text) {
  const double v = tools::parse_real(text);
  if (std::fabs(v) > std::numeric_limits<float>::max()) return 0.0f;
  return static_cast<float>(v);
}

// An unsigned decimal as strtoul reads it into 32 bits: blanks skipped,
// digits up to the first other character, too large a value clamped.
uint32_t read_u32(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  uint64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + static_cast<uint64_t>(text[i] - '0');
    if (v > std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
  }
  return static_cast<uint32_t>(v);
}

// The value of a key line: a value written in quotes ends at the next
// quote, so a quote inside a comment cuts the comment there (the file has
// no escape for it); any other value is the second token.
std::string_view text_value(const tools::LineReader& lines) {
  std::string_view line = lines.line();
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != ',' && line[i] != '"') ++i;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == ',')) ++i;
  if (i >= line.size() || line[i] != '"') return lines[1];
  const std::size_t close = line.find('"', i + 1);
  return line.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1);
}

std::string real6(float v) {
  return tools::fixed_number(static_cast<double>(v), 0, 6);
}

}  // namespace

std::string_view preset_usage_name(int usage) {
  return usage >= 0 && usage < 3 ? kUsageNames[usage] : kUsageNames[0];
}

bool FunctionPresetList::add(const FunctionPreset& p) {
  if (full()) return false;
  presets_.push_back(p);
  return true;
}

void FunctionPresetList::remove(std::size_t index) {
  if (index < presets_.size()) presets_.erase(presets_.begin() + static_cast<std::ptrdiff_t>(index));
}

void parse_presets(std::string_view text, FunctionPresetList& list) {
  list.clear();
  enum class State { kOutside, kInfo, kPreset } state = State::kOutside;
  // One record reads every block: starting a block resets the generator
  // fields and takes the name; creator, comment, usage and first use carry
  // over from the block before unless the block sets them.
  FunctionPreset record;
  long version = 0;
  std::string file_creator;
  tools::LineReader lines(text, kMaxPresetLine);
  while (lines.next()) {
    const std::string_view key = lines[0];
    const std::string_view value = lines[1];
    switch (state) {
      case State::kOutside:
        if (tools::iequals(key, "info")) {
          state = State::kInfo;
        } else if (tools::iequals(key, "func")) {
          record.style = 0;
          record.rate = record.start = record.end = record.phase = 0.0f;
          record.ctrlreg.clear();
          record.name = cut(text_value(lines), FunctionPreset::kMaxName);
          state = State::kPreset;
        }
        break;
      case State::kInfo:
        if (tools::iequals(key, "version")) version = tools::parse_int(value);
        else if (tools::iequals(key, "creator")) file_creator = std::string(value);
        else if (tools::iequals(key, "end")) state = State::kOutside;
        break;
      case State::kPreset:
        if (tools::iequals(key, "end")) {
          list.add(record);
          state = State::kOutside;
        } else if (tools::iequals(key, "comment")) {
          record.comment = cut(text_value(lines), FunctionPreset::kMaxComment);
        } else if (tools::iequals(key, "creator")) {
          record.creator = cut(text_value(lines), FunctionPreset::kMaxCreator);
        } else if (tools::iequals(key, "ctrlreg")) {
          record.ctrlreg = cut(text_value(lines), FunctionPreset::kMaxCtrlReg);
        } else if (tools::iequals(key, "firstused")) {
          record.first_used = (uint64_t{read_u32(value)} << 32) | read_u32(lines[2]);
        } else if (tools::iequals(key, "style")) {
          record.style = tools::parse_int(value);
        } else if (tools::iequals(key, "fstart")) {
          record.start = read_float(value);
        } else if (tools::iequals(key, "fend")) {
          record.end = read_float(value);
        } else if (tools::iequals(key, "rate")) {
          record.rate = read_float(value);
        } else if (tools::iequals(key, "phase")) {
          record.phase = read_float(value);
        } else if (tools::iequals(key, "usage")) {
          for (int u = 0; u < 3; ++u)
            if (tools::iequals(value, kUsageNames[u])) record.usage = u;
        }
        break;
    }
  }
  (void)version;
}

std::string write_presets(const FunctionPresetList& list, std::string_view file_name, std::string_view user) {
  std::string out;
  auto line = [&out](std::string_view text) {
    out += text;
    out += "\r\n";
  };
  const std::string_view bare = tools::file_part(file_name);
  line("; " + std::string(bare));
  line("; Definition file generated by ORVO");
  line("; Do not edit this file manually!");
  line(";");
  line("");
  line("info");
  line("  version   1");
  line("  creator   " + std::string(user));
  line("end");
  line("");
  for (const FunctionPreset& p : list.presets()) {
    line("func \"" + p.name + "\"");
    line("  comment     \"" + p.comment + "\"");
    line("  creator     " + p.creator);
    line("  firstused   " + std::to_string(static_cast<uint32_t>(p.first_used >> 32)) + " " +
         std::to_string(static_cast<uint32_t>(p.first_used & 0xFFFFFFFFu)));
    line("  style       " + std::to_string(p.style));
    line("  fstart      " + real6(p.start));
    line("  fend        " + real6(p.end));
    line("  rate        " + real6(p.rate));
    line("  phase       " + real6(p.phase));
    line("  ctrlreg     \"" + p.ctrlreg + "\"");
    line("  usage       " + std::string(preset_usage_name(p.usage)));
    line("end");
    line("");
  }
  return out;
}

bool load_presets(const std::string& path, FunctionPresetList& list, std::string* problem) {
  list.clear();
  const OwnFile file = read_own_file(path, kMaxPresetFileBytes);
  if (problem != nullptr) *problem = file.problem;
  if (!file.text) return false;
  parse_presets(*file.text, list);
  return true;
}

tools::Status save_presets(const std::string& path, const FunctionPresetList& list, std::string_view user) {
  return tools::write_file_atomic(path, write_presets(list, path, user));
}

uint64_t file_time_now() {
  // 1601-01-01 to 1970-01-01 in 100 ns units.
  constexpr uint64_t kEpochOffset = 116444736000000000ull;
  const auto since_1970 =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch());
  const int64_t ticks = since_1970.count() / 100;
  return ticks < 0 ? 0 : kEpochOffset + static_cast<uint64_t>(ticks);
}

}  // namespace orvo
