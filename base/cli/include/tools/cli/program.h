// What both command-line tools do the same way around their commands: the
// exit statuses, the "program: message" error line, parsing the command line
// (an unknown command is a usage error), and the end of the run (standard
// output must have taken everything written to it).
//
// All of it runs on the main thread, before and after the work.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <optional>
#include <string_view>

namespace tools::cli {

// Exit statuses shared by the tools.
inline constexpr int kExitOk = 0;
inline constexpr int kExitIo = 1;            // input unreadable or output unwritable
inline constexpr int kExitUsage = 2;         // a command line the tool cannot run
inline constexpr int kExitLoggedErrors = 3;  // the work completed; the log reports errors
inline constexpr int kExitStopped = 130;     // stopped by Ctrl+C

// Prints "program: message" and a line end on stderr.
void print_error(std::string_view program, std::string_view message);

// Parses argv into `app`, whose subcommands are all set up.
//   - In a tool with subcommands, the first word that is not an option must
//     name one, whatever follows it ("tool frobnicate --help" is a usage
//     error, not the help).
//   - --help and --version print and return kExitOk.
//   - CLI11's parse errors print its message and return kExitUsage (CLI11's
//     own codes are not ours).
// Returns nothing when the command line is good and the work should run.
std::optional<int> parse_command_line(CLI::App& app, std::string_view program, int argc, char** argv);

// Runs a tool's `main`: a write past the file-size limit (ulimit -f) fails
// with EFBIG and is reported instead of killing the tool halfway through
// replacing a file; then `body` runs; then standard output is flushed. When
// the flush fails (a full disk, /dev/full) the output was cut short: that is
// reported and the status becomes kExitIo (a usage error or a stop keeps
// its own).
// An allocation failure anywhere in `body` ends the command, not with an
// abort: "program: out of memory while running "command line"", kExitIo;
// the files being written are left as they were (their temporaries are
// removed as the stack unwinds).
int run_main(std::string_view program, int argc, char** argv, const std::function<int()>& body);

}  // namespace tools::cli
