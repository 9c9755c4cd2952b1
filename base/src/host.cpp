#include "tools/base/host.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

namespace tools {

LocalTime local_time_now() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (localtime_r(&now, &tm) == nullptr) return {};
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

namespace {

std::string look_up_user() {
  char buf[256] = {};
  if (::getlogin_r(buf, sizeof buf) == 0 && buf[0] != '\0') return buf;
  // Sessions without a login record (services, containers, CI) still have
  // an account; $USER is the last resort because any parent can set it.
  if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) return pw->pw_name;
  if (const char* user = std::getenv("USER"); user != nullptr) return user;
  return {};
}

}  // namespace

const std::string& logged_on_user() {
  static const std::string name = look_up_user();
  return name;
}

}  // namespace tools
