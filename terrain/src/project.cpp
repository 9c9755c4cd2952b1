#include "loamer/project.h"

#include <algorithm>
#include <utility>

#include "tools/base/file_io.h"
#include "tools/base/line_reader.h"
#include "tools/base/text.h"

namespace loamer {

namespace {

// The terrain generator reads lines of up to 700 characters at once.
constexpr std::size_t kMaxLine = 700;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// The longest byte-order mark the start of the text is checked for.
constexpr std::size_t kLongestBom = 4;

TerrainProject empty_project() {
  TerrainProject p;
  p.terrain_name.clear();
  p.creator.clear();
  p.path.clear();
  p.depth_map.clear();
  p.output.clear();
  p.complete = false;
  return p;
}

bool lock_key(std::string_view key, Quadrant& q) {
  static constexpr std::pair<std::string_view, Quadrant> kKeys[] = {
      {"lock_topleft", Quadrant::kTopLeft},
      {"lock_topright", Quadrant::kTopRight},
      {"lock_bottomleft", Quadrant::kBottomLeft},
      {"lock_bottomright", Quadrant::kBottomRight},
  };
  for (const auto& [name, quadrant] : kKeys) {
    if (tools::iequals(key, name)) {
      q = quadrant;
      return true;
    }
  }
  return false;
}

}  // namespace

bool has_all_fields(const TerrainProject& p) {
  return missing_keys(p).empty();
}

std::vector<std::string_view> missing_keys(const TerrainProject& p) {
  const std::pair<std::string_view, const std::string*> fields[] = {
      {"terrainname", &p.terrain_name}, {"creator", &p.creator}, {"path", &p.path},
      {"depthmap", &p.depth_map},       {"output", &p.output},
  };
  std::vector<std::string_view> missing;
  for (const auto& [key, value] : fields)
    if (value->empty()) missing.push_back(key);
  return missing;
}

tools::Status check_complete(const TerrainProject& project, const std::string& display_name) {
  const std::vector<std::string_view> missing = missing_keys(project);
  if (missing.empty()) return {};
  std::string keys;
  for (std::string_view key : missing) keys.append(keys.empty() ? "" : ", ").append(key);
  return tools::Error{1, display_name + ": the project is incomplete (missing: " + keys + ")",
                      tools::FileLocation{display_name}, tools::ErrorKind::kBadData};
}

Quadrant quadrant_of(int x, int z) {
  return static_cast<Quadrant>((x >= 512 ? 1 : 0) | (z >= 512 ? 2 : 0));
}

std::string with_cpt_extension(std::string_view joined) {
  const std::size_t slash = joined.find_last_of("/\\");
  const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = joined.find('.', name_start);
  std::string out(dot != std::string_view::npos && dot > name_start ? joined.substr(0, dot) : joined);
  out += ".cpt";
  return out;
}

ProjectReader::ProjectReader(std::string display_name, const QuadrantLocks& locks)
    : name_(std::move(display_name)), project_(empty_project()), locks_(locks) {}

tools::Status ProjectReader::check_bytes(std::string_view bytes) {
  const std::size_t nul = bytes.find('\0');
  if (nul == std::string_view::npos) {
    newlines_ += static_cast<long>(std::count(bytes.begin(), bytes.end(), '\n'));
    return {};
  }
  const long line = newlines_ + 1 + static_cast<long>(std::count(bytes.begin(), bytes.begin() + nul, '\n'));
  return tools::parse_error(name_, line, "the file holds NUL bytes (binary or UTF-16 data), not text");
}

tools::Status ProjectReader::check_start() {
  started_ = true;
  // Byte-order marks of UTF-16 and UTF-32 are refused with the encoding
  // named, before the NUL bytes of such text are found.
  if (tools::Status s = tools::check_text_encoding(std::string_view(pending_).substr(0, kLongestBom), name_); !s) {
    return s;
  }
  if (std::string_view(pending_).substr(0, kUtf8Bom.size()) == kUtf8Bom) pending_.erase(0, kUtf8Bom.size());
  return check_bytes(pending_);
}

tools::Status ProjectReader::feed(std::string_view bytes) {
  if (!status_) return status_;
  if (started_) {
    if (tools::Status s = check_bytes(bytes); !s) return status_ = std::move(s);
    pending_.append(bytes);
  } else {
    pending_.append(bytes);
    if (pending_.size() < kLongestBom) return {};
    if (tools::Status s = check_start(); !s) return status_ = std::move(s);
  }

  // Read everything up to the last line feed. The rest of a line longer than
  // a line read is read in whole line-length pieces, as it would be in one
  // pass over the text, so that a line without end cannot pile up.
  std::size_t cut = pending_.rfind('\n');
  cut = cut == std::string::npos ? 0 : cut + 1;
  const std::size_t tail = pending_.size() - cut;
  cut += tail - tail % kMaxLine;
  if (cut > 0) {
    read_lines(std::string_view(pending_).substr(0, cut));
    pending_.erase(0, cut);
  }
  return {};
}

tools::Status ProjectReader::finish() {
  if (!status_) return status_;
  if (!started_) {
    if (tools::Status s = check_start(); !s) return status_ = std::move(s);
  }
  read_lines(pending_);
  pending_.clear();
  project_.complete = has_all_fields(project_);
  return {};
}

void ProjectReader::read_lines(std::string_view whole_lines) {
  tools::LineReader reader(whole_lines, kMaxLine);
  while (reader.next()) {
    // Every key takes at least one value; a key alone on its line is ignored.
    if (reader.size() < 2) continue;
    const std::string_view key = reader[0];
    const std::string_view value = reader[1];
    Quadrant q{};
    if (tools::iequals(key, "terrainname")) {
      project_.terrain_name = value;
    } else if (tools::iequals(key, "creator")) {
      project_.creator = value;
    } else if (tools::iequals(key, "path")) {
      project_.path = value;
    } else if (tools::iequals(key, "depthmap")) {
      project_.depth_map = project_.path + std::string(value);
    } else if (tools::iequals(key, "output")) {
      project_.output = with_cpt_extension(project_.path + std::string(value));
    } else if (lock_key(key, q)) {
      if (reader.size() < 3) continue;
      locks_[q] = QuadrantLock{tools::parse_int(reader[1]), tools::parse_int(reader[2])};
    }
  }
}

tools::Result<TerrainProject> parse_project_text(std::string_view text, const std::string& display_name,
                                                 QuadrantLocks& locks) {
  ProjectReader reader(display_name, locks);
  if (tools::Status s = reader.feed(text); !s) return s.error();
  if (tools::Status s = reader.finish(); !s) return s.error();
  locks = reader.locks();
  return reader.project();
}

tools::Status read_project(const std::string& path, TerrainProject& project, QuadrantLocks& locks) {
  project = empty_project();
  // Only a regular file of a bounded size is read: a FIFO would block the
  // Open command and a link to a device would never end.
  tools::Result<tools::FileText> file = tools::FileText::open(path, kMaxProjectFileBytes);
  if (!file) return file.error();
  ProjectReader reader(path, locks);
  if (tools::Status s = reader.feed(file->view()); !s) return s;
  if (tools::Status s = reader.finish(); !s) return s;
  project = reader.project();
  locks = reader.locks();
  return {};
}

}  // namespace loamer
