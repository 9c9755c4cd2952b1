#include "orvo/document/settings.h"

#include <charconv>
#include <cstddef>
#include <filesystem>
#include <utility>

namespace orvo {
namespace {

// One integer setting: the line's start as the file has it (the key padded
// to line the values up), and where the value lives.
struct IntKey {
  std::string_view lead;
  int RenderSettings::*field;
};

// In the order the file is written.
constexpr IntKey kIntKeys[] = {
    {"HARDWARE_DEVICE   ", &RenderSettings::hardware_device},
    {"BACKGROUND_RED   ", &RenderSettings::background_red},
    {"BACKGROUND_GREEN ", &RenderSettings::background_green},
    {"BACKGROUND_BLUE  ", &RenderSettings::background_blue},
    {"SKY_RED       ", &RenderSettings::sky_red},
    {"SKY_GREEN     ", &RenderSettings::sky_green},
    {"SKY_BLUE      ", &RenderSettings::sky_blue},
    {"GROUND_RED    ", &RenderSettings::ground_red},
    {"GROUND_GREEN  ", &RenderSettings::ground_green},
    {"GROUND_BLUE   ", &RenderSettings::ground_blue},
    {"D1_ENABLE  ", &RenderSettings::d1_enable},
    {"D1_RED     ", &RenderSettings::d1_red},
    {"D1_GREEN   ", &RenderSettings::d1_green},
    {"D1_BLUE    ", &RenderSettings::d1_blue},
    {"D2_ENABLE  ", &RenderSettings::d2_enable},
    {"D2_RED     ", &RenderSettings::d2_red},
    {"D2_GREEN   ", &RenderSettings::d2_green},
    {"D2_BLUE    ", &RenderSettings::d2_blue},
    {"FOG_ENABLE  ", &RenderSettings::fog_enable},
};

// Read only: one value for the upper and the lower ambient light.
struct AmbientKey {
  std::string_view key;
  int RenderSettings::*sky;
  int RenderSettings::*ground;
};
constexpr AmbientKey kAmbientKeys[] = {
    {"AMBIENT_RED", &RenderSettings::sky_red, &RenderSettings::ground_red},
    {"AMBIENT_GREEN", &RenderSettings::sky_green, &RenderSettings::ground_green},
    {"AMBIENT_BLUE", &RenderSettings::sky_blue, &RenderSettings::ground_blue},
};

std::string_view key_of(std::string_view lead) {
  return lead.substr(0, lead.find(' '));
}

void append_int(std::string& out, int value) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

void read_prevfile(const LineReader& line, RecentFiles& recent) {
  if (line.size() < 4) return;
  const int index = parse_int(line[1]);
  if (index < 0 || index >= static_cast<int>(recent.size())) return;
  // The path is written behind a "*": its first character is not part of it.
  const std::string_view path = line[2].substr(line[2].empty() ? 0 : 1);
  if (path.size() > kMaxRecentPath) return;
  recent[static_cast<std::size_t>(index)] = RecentFile{parse_int(line[3]), std::string(path)};
}

}  // namespace

void read_config(std::string_view text, RenderSettings& render, RecentFiles& recent) {
  LineReader line(text, kMaxLine);
  while (line.next()) {
    const std::string_view key = line[0];
    if (iequals(key, "PREVFILE")) {
      read_prevfile(line, recent);
      continue;
    }
    const int value = parse_int(line[1]);  // a missing value reads as 0
    bool known = false;
    for (const IntKey& k : kIntKeys) {
      if (iequals(key, key_of(k.lead))) {
        render.*k.field = value;
        known = true;
        break;
      }
    }
    if (known) continue;
    for (const AmbientKey& k : kAmbientKeys) {
      if (iequals(key, k.key)) {
        render.*k.sky = value;
        render.*k.ground = value;
        break;
      }
    }
  }
}

Status read_config_file(const std::string& path, RenderSettings& render, RecentFiles& recent) {
  Result<std::string> text = read_file(path, kMaxConfigFileBytes);
  if (!text) return text.error();
  read_config(*text, render, recent);
  return Status::success();
}

std::string write_config(const RenderSettings& render, const RecentFiles& recent) {
  std::string out;
  out.reserve(600 + recent.size() * kMaxRecentPath);
  for (const IntKey& k : kIntKeys) {
    out += k.lead;
    append_int(out, render.*k.field);
    out += '\n';
  }
  for (std::size_t i = 0; i < recent.size(); ++i) {
    out += "PREVFILE  ";
    append_int(out, static_cast<int>(i));
    out += " \"*";
    out += recent[i].path;
    out += "\" ";
    append_int(out, recent[i].kind);
    out += '\n';
  }
  return out;
}

Status write_config_file(const std::string& path, const RenderSettings& render, const RecentFiles& recent) {
  return write_file_atomic(path, write_config(render, recent));
}

std::string texture_folder_for_lookup(std::string_view folder) {
  std::string out(folder);
  if (!out.empty() && out.back() != '/' && out.back() != '\\') out += '/';
  return out;
}

OwnFile read_own_file(const std::string& path, std::size_t max_bytes) {
  OwnFile out;
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return out;
  Result<std::string> text = read_file(path, max_bytes);
  if (!text) {
    out.problem = text.error().message;
  } else if (text->find('\0') != std::string::npos) {
    out.problem = path + ": the file holds a NUL byte, so it is no text this tool wrote (UTF-16 or binary?)";
  } else {
    out.text = std::move(*text);
  }
  return out;
}

std::string set_aside_own_file(const std::string& path, const std::string& problem, bool& write_back) {
  const std::string name = std::filesystem::path(path).filename().string();
  std::string told = name + " cannot be read\n" + problem + "\n";
  for (int i = 1; i <= 9; ++i) {
    const std::string aside = path + ".bad" + (i == 1 ? std::string() : std::to_string(i));
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(aside, ec))) continue;
    std::filesystem::rename(path, aside, ec);
    if (ec) break;
    write_back = true;
    return told + "It was moved aside to " + aside + "; the tool starts without it and writes a new " + name +
           " when it closes.";
  }
  write_back = false;
  return told + "It is kept as it is and will not be written this run, so changes to it are not saved.";
}

std::string full_path(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  std::string out = (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
  // "folder/.." normalises to "folder/"; a file path never ends in a separator.
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

bool add_recent(RecentFiles& recent, int kind, std::string path) {
  path = full_path(path);
  if (path.size() > kMaxRecentPath) return false;
  // The entry that makes room: the same file when listed, else the oldest.
  std::size_t k = recent.size() - 1;
  for (std::size_t i = 0; i < recent.size(); ++i) {
    if (iequals(recent[i].path, path)) {
      k = i;
      break;
    }
  }
  for (; k > 0; --k) recent[k] = std::move(recent[k - 1]);
  recent[0] = RecentFile{kind, std::move(path)};
  return true;
}

std::string recent_menu_text(const RecentFile& entry, int index) {
  std::string out = "&";
  append_int(out, index + 1);
  out += "  ";
  out += entry.path;
  if (entry.kind == kRecentLevelSet) out += "  (all)";
  return out;
}

}  // namespace orvo
