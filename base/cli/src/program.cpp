#include "tools/cli/program.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <string>

#include "tools/base/file_io.h"

namespace tools::cli {

void print_error(std::string_view program, std::string_view message) {
  std::cerr << program << ": " << message << '\n';
}

namespace {

// The names of `app`'s subcommands, "a, b, c".
std::string command_list(CLI::App& app) {
  std::string list;
  for (const CLI::App* cmd : app.get_subcommands([](CLI::App*) { return true; })) {
    if (!list.empty()) list += ", ";
    list += cmd->get_name();
  }
  return list;
}

bool names_command(CLI::App& app, std::string_view word) {
  for (const CLI::App* cmd : app.get_subcommands([](CLI::App*) { return true; }))
    if (cmd->check_name(std::string(word))) return true;
  return false;
}

}  // namespace

std::optional<int> parse_command_line(CLI::App& app, std::string_view program, int argc, char** argv) {
  // Only the main app's own flags (--help, --version) can come before the
  // command, so the first word without a dash is the command (in a tool
  // that has commands; a tool without them takes its words as they come).
  const bool has_commands = !app.get_subcommands([](CLI::App*) { return true; }).empty();
  for (int i = 1; has_commands && i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.size() > 1 && arg[0] == '-') continue;
    if (names_command(app, arg)) break;
    print_error(program, "unknown command \"" + std::string(arg) + "\" (commands: " + command_list(app) + ")");
    std::cerr << "Run with --help for more information.\n";
    return kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  return std::nullopt;
}

int run_main(std::string_view program, int argc, char** argv, const std::function<int()>& body) {
  ignore_file_size_signal();
  int status = kExitIo;
  try {
    status = body();
  } catch (const std::bad_alloc&) {
    std::string words;
    for (int i = 1; i < argc && words.size() < 200; ++i) words += (i > 1 ? " " : "") + std::string(argv[i]);
    print_error(program, "out of memory while running \"" + words + "\"; nothing more was written");
    return kExitIo;
  }
  // std::cout shares the stdio buffer, so either flush may be the one that
  // meets the error; errno then says why.
  errno = 0;
  std::cout.flush();
  const bool flushed = std::fflush(stdout) == 0;
  const int err = errno;
  if (flushed && !std::ferror(stdout) && std::cout.good()) return status;
  std::string message = "cannot write to standard output";
  if (err != 0) message += std::string(": ") + std::strerror(err);
  print_error(program, message);
  // A usage error or a stop says more than the cut output; anything else
  // that was printed is incomplete, which is an output failure.
  return status == kExitUsage || status == kExitStopped ? status : kExitIo;
}

}  // namespace tools::cli
