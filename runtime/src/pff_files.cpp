// Making PFF archives from files and unpacking them into a folder. Both copy
// the data in pieces through an AtomicWriter, so neither holds a whole file
// in memory and neither leaves a half-written file under its final name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#include "orvo/runtime/file_access.h"
#include "tools/base/atomic_write.h"
#include "tools/base/text.h"

namespace orvo {

namespace {

constexpr char kMagic[4] = {'P', 'F', 'F', '1'};
constexpr uint32_t kVersion = 1;
constexpr uint64_t kMaxArchiveBytes = 0xFFFFFFFFull;  // offsets and sizes are 32-bit

void put_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}

std::string quoted(std::string_view name) {
  return "\"" + std::string(name) + "\"";
}

tools::Error bad_argument(const std::string& message, const std::string& path) {
  return tools::Error{1, message, tools::FileLocation{path}, tools::ErrorKind::kBadArgument};
}

// Closes a descriptor at the end of its scope.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// The size of the regular file `file`, or why it cannot be packed.
tools::Result<uint64_t> regular_size(const std::string& file, int fd) {
  struct stat st {};
  if ((fd >= 0 ? ::fstat(fd, &st) : ::stat(file.c_str(), &st)) != 0) return tools::open_error(file, errno);
  if (S_ISDIR(st.st_mode)) return tools::open_error(file, EISDIR);
  if (!S_ISREG(st.st_mode)) {
    return tools::Error{1, file + ": cannot open: not a regular file", tools::FileLocation{file},
                        tools::ErrorKind::kCannotOpen};
  }
  return static_cast<uint64_t>(st.st_size);
}

tools::Error changed_size(const std::string& file, uint64_t before, const std::string& now) {
  return tools::Error{1,
                      file + ": the file changed size while it was packed (" + std::to_string(before) + " bytes, now " +
                          now + "); the archive was not written",
                      tools::FileLocation{file}, tools::ErrorKind::kCannotRead};
}

// Copies exactly `size` bytes of `file` to `out` in pieces of `buffer`'s
// size; a file that is shorter or longer than `size` by now is an error.
tools::Status copy_file(const std::string& file, uint64_t size, std::string& buffer, tools::AtomicWriter& out) {
  Fd in{::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (in.fd < 0) return tools::open_error(file, errno);
  tools::Result<uint64_t> now = regular_size(file, in.fd);
  if (!now) return now.error();
  if (*now != size) return changed_size(file, size, std::to_string(*now) + " bytes");
  for (uint64_t done = 0; done <= size;) {
    // Once `size` bytes are in, one more byte is asked for to tell a file
    // that grew.
    const std::size_t want =
        done == size ? 1 : static_cast<std::size_t>(std::min<uint64_t>(buffer.size(), size - done));
    const ssize_t got = ::read(in.fd, buffer.data(), want);
    if (got < 0) {
      if (errno == EINTR) continue;
      return tools::read_error(file, errno);
    }
    if (done == size) {
      if (got > 0) return changed_size(file, size, "more");
      break;
    }
    if (got == 0) return changed_size(file, size, std::to_string(done) + " bytes");
    if (tools::Status s = out.write(std::string_view(buffer.data(), static_cast<std::size_t>(got))); !s) return s;
    done += static_cast<uint64_t>(got);
  }
  return {};
}

// Where an entry goes inside the folder: its name with '\' read as '/', cut
// into components.
std::vector<std::string> components_of(std::string_view name) {
  std::vector<std::string> parts(1);
  for (const char c : name) {
    if (c == '/' || c == '\\') {
      parts.emplace_back();
    } else {
      parts.back().push_back(c);
    }
  }
  return parts;
}

std::string joined(const std::vector<std::string>& parts, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += (i > 0 ? "/" : "") + parts[i];
  return out;
}

// Why the file system stops an entry of these components from being written
// inside `folder`, or "": a folder on its way that is a link or no folder,
// or something at its own name that is neither a regular file nor a link.
std::string obstacle(const std::string& folder, const std::vector<std::string>& parts) {
  struct stat st {};
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::string path = folder + "/" + joined(parts, i);
    if (::lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) return {};  // made on the way, and so is what lies below it
      return path + ": " + std::strerror(errno);
    }
    if (S_ISLNK(st.st_mode)) return path + " is a symbolic link, which is never followed";
    if (!S_ISDIR(st.st_mode)) return path + " is in the way: it is not a folder";
  }
  const std::string path = folder + "/" + joined(parts, parts.size());
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? std::string() : path + ": " + std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return path + " is a folder";
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return path + " is a device, FIFO or socket";
  return {};
}

// Makes the folders on the way to an entry, each checked again just before
// the entry is written: a link planted on the way since the check is
// refused too.
tools::Status make_folders(const std::string& folder, const std::vector<std::string>& parts) {
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::string path = folder + "/" + joined(parts, i);
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return tools::write_error(path, errno);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return tools::write_error(path, errno);
    if (!S_ISDIR(st.st_mode)) {
      return tools::Error{1, path + ": cannot write: not a folder (a symbolic link is never followed)",
                          tools::FileLocation{path}, tools::ErrorKind::kCannotWrite};
    }
  }
  return {};
}

}  // namespace

std::string pff_extract_name_problem(std::string_view name) {
  if (name.empty()) return "the name is empty";
  const bool drive =
      name.size() >= 2 && name[1] == ':' && tools::ascii_upper(name[0]) >= 'A' && tools::ascii_upper(name[0]) <= 'Z';
  if (name[0] == '/' || name[0] == '\\' || drive) return "the name is an absolute path";
  const std::vector<std::string> parts = components_of(name);
  if (std::find(parts.begin(), parts.end(), "..") != parts.end()) return "the name leads outside the folder";
  if (std::find(parts.begin(), parts.end(), ".") != parts.end()) return "the name has a \".\" component";
  if (std::find(parts.begin(), parts.end(), "") != parts.end()) return "the name has an empty component";
  return {};
}

tools::Status pff_pack(const std::string& path, const std::vector<std::string>& files, std::size_t chunk,
                       const std::function<void(const PffEntry&)>& stored) {
  struct Item {
    std::string file;
    PffEntry entry;
  };
  // Everything that can be known beforehand is checked before the archive
  // is begun: the names, the files and the archive's size.
  std::vector<Item> items;
  items.reserve(files.size());
  for (const std::string& file : files) {
    tools::Result<uint64_t> size = regular_size(file, -1);
    if (!size) return size.error();
    const std::size_t slash = file.find_last_of('/');
    std::string name = tools::ascii_upper(slash == std::string::npos ? file : file.substr(slash + 1));
    if (const std::string problem = pff_name_problem(name); !problem.empty())
      return bad_argument(file + ": cannot be stored as " + quoted(name) + ": " + problem, file);
    if (*size > kMaxArchiveBytes) {
      return tools::Error{1, path + ": the archive would exceed 4 GiB (" + file + ")", tools::FileLocation{path},
                          tools::ErrorKind::kTooLarge};
    }
    items.push_back({file, PffEntry{std::move(name), 0, static_cast<uint32_t>(*size)}});
  }
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.entry.name < b.entry.name; });
  for (std::size_t i = 1; i < items.size(); ++i)
    if (items[i].entry.name == items[i - 1].entry.name)
      return bad_argument(path + ": two files are named " + items[i].entry.name, path);
  uint64_t end = kPffHeaderBytes;
  for (Item& it : items) {
    it.entry.offset = static_cast<uint32_t>(std::min(end, kMaxArchiveBytes));
    end += it.entry.size;
  }
  if (end + items.size() * kPffEntryBytes > kMaxArchiveBytes) {
    return tools::Error{1, path + ": the archive would exceed 4 GiB", tools::FileLocation{path},
                        tools::ErrorKind::kTooLarge};
  }

  tools::Result<tools::AtomicWriter> out = tools::AtomicWriter::create(path);
  if (!out) return out.error();
  std::string header(kMagic, 4);
  put_u32(header, kVersion);
  put_u32(header, static_cast<uint32_t>(items.size()));
  put_u32(header, static_cast<uint32_t>(end));  // the directory follows the data
  if (tools::Status s = out->write(header); !s) return s;
  std::string buffer(std::max<std::size_t>(chunk, 1), '\0');
  for (const Item& it : items) {
    if (tools::Status s = copy_file(it.file, it.entry.size, buffer, *out); !s) return s;
    if (stored) stored(it.entry);
  }
  std::string directory;
  directory.reserve(items.size() * kPffEntryBytes);
  for (const Item& it : items) {
    put_u32(directory, 0);
    put_u32(directory, it.entry.offset);
    put_u32(directory, it.entry.size);
    put_u32(directory, 0);
    std::string name = it.entry.name;
    name.resize(kPffNameBytes, '\0');
    directory += name;
  }
  if (tools::Status s = out->write(directory); !s) return s;
  return out->commit();
}

tools::Status pff_extract(const PffArchive& archive, const std::string& folder,
                          const std::function<void(const std::string&)>& written, std::size_t chunk) {
  const std::vector<PffEntry>& entries = archive.entries();
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return tools::write_error(folder, errno);
  if (!S_ISDIR(st.st_mode)) return tools::write_error(folder, ENOTDIR);

  // Every entry is checked before any is written, so a refused archive
  // leaves the folder as it was.
  std::vector<std::vector<std::string>> paths(entries.size());
  std::map<std::string, std::size_t> files;  // an entry's path inside the folder, and its entry
  std::vector<bool> bad(entries.size());
  std::string refused;
  std::size_t refused_count = 0;
  const auto refuse = [&](std::size_t i, const std::string& why) {
    if (bad[i]) return;
    bad[i] = true;
    if (refused_count++ == 0) refused = "entry " + quoted(entries[i].name) + ": " + why;
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const PffEntry& e = entries[i];
    if (std::string problem = pff_extract_name_problem(e.name); !problem.empty()) {
      refuse(i, problem);
      continue;
    }
    paths[i] = components_of(e.name);
    const auto [at, fresh] = files.emplace(joined(paths[i], paths[i].size()), i);
    if (!fresh) {
      refuse(i, "it would be written over entry " + quoted(entries[at->second].name));
      continue;
    }
    if (std::string problem = obstacle(folder, paths[i]); !problem.empty()) refuse(i, problem);
  }
  // An entry's path must not be a folder on another's way ("SUB" and
  // "SUB/A.TGA").
  for (std::size_t i = 0; i < entries.size(); ++i) {
    for (std::size_t k = 1; k < paths[i].size(); ++k) {
      const auto clash = files.find(joined(paths[i], k));
      if (clash != files.end()) {
        refuse(i, "entry " + quoted(entries[clash->second].name) + " is a file where it needs a folder");
        break;
      }
    }
  }
  if (refused_count > 0) {
    const std::size_t others = refused_count - 1;
    const std::string more = others == 0   ? std::string()
                             : others == 1 ? std::string(" (and 1 other refused entry)")
                                           : " (and " + std::to_string(others) + " other refused entries)";
    return tools::Error{1, archive.path() + ": " + refused + more + "; nothing was extracted",
                        tools::FileLocation{archive.path()}, tools::ErrorKind::kBadData};
  }

  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (tools::Status s = make_folders(folder, paths[i]); !s) return s;
    const std::string out_path = folder + "/" + joined(paths[i], paths[i].size());
    // A link at the entry's name is replaced, never written through.
    tools::Result<tools::AtomicWriter> out =
        tools::AtomicWriter::create(out_path, tools::FileSync::kDurable, tools::LinkPolicy::kReplace);
    if (!out) return out.error();
    // Uncommitted on an error, the writer removes its temporary: no part of
    // the entry stays under its name.
    if (tools::Status s = archive.stream(
            static_cast<int>(i), [&](std::string_view piece) { return out->write(piece); }, chunk);
        !s) {
      return s;
    }
    if (tools::Status s = out->commit(); !s) return s;
    if (written) written(out_path);
  }
  return {};
}

}  // namespace orvo
