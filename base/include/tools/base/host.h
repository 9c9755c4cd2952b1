#pragma once
// What the tools ask of the machine they run on: the logged-on user and the
// local time. Both programs stamp files with them (the model metafile's
// header, the report, the terrain file's user name, the system log banner).

#include <string>

namespace tools {

// A moment of local time (month 1 to 12, day 1 to 31, full year).
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The current local time; all zero when the C library cannot tell it.
LocalTime local_time_now();

// The name of the logged-on user: the login name of the session, else the
// account of the effective user id, else $USER; "" when none is known. Looked
// up once per process (the first call) and kept; safe to call from any
// thread.
const std::string& logged_on_user();

}  // namespace tools
