#include "tools/base/state_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tools {

namespace {

bool absolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

std::string home_folder() {
  if (const char* home = std::getenv("HOME"); absolute(home)) return home;
  if (const passwd* account = getpwuid(geteuid()); account != nullptr && absolute(account->pw_dir))
    return account->pw_dir;
  return {};
}

}  // namespace

std::string state_folder_path(std::string_view program) {
  std::string base;
  // A relative XDG_STATE_HOME is to be ignored, as every XDG variable is.
  if (const char* state = std::getenv("XDG_STATE_HOME"); absolute(state) && state[1] != '\0') {
    base = state;
  } else {
    const std::string home = home_folder();
    if (home.empty()) return {};
    base = home + (home.ends_with('/') ? "" : "/") + ".local/state";
  }
  while (base.size() > 1 && base.ends_with('/')) base.pop_back();
  return base + "/Brellwick/" + std::string(program);
}

Result<std::string> make_state_folder(std::string_view program) {
  const std::string path = state_folder_path(program);
  if (path.empty()) {
    return Error{1, "no state folder: neither HOME nor the account names a home folder", {}, ErrorKind::kCannotWrite};
  }
  // Level by level from the root, so each missing one gets mode 0700.
  for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    const std::string level = at == std::string::npos ? path : path.substr(0, at);
    struct stat st {};
    if (::stat(level.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return Error{1, level + ": not a folder", {}, ErrorKind::kCannotWrite};
    } else if (errno != ENOENT || (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)) {
      return Error{1, level + ": cannot make the folder: " + std::strerror(errno), {}, ErrorKind::kCannotWrite};
    }
    if (at == std::string::npos) break;
  }
  return path;
}

}  // namespace tools
