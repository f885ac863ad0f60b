// main.cpp - the pmr command: picks the subcommand and prints the general
// help and the version.
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

#include "cli.h"
#include "commands.h"
#include "pmr.h"

namespace {

constexpr const char kHelp[] =
    "usage: pmr COMMAND [ARGUMENTS]\n"
    "\n"
    "Compiles and applies lexical transducers.\n"
    "\n"
    "commands:\n"
    "  compile  compile AT&T text or a lexicon into a transducer file\n"
    "  info     show what a transducer file holds and offers\n"
    "  lookup   look words up (analysis, generation and the other lookup functions)\n"
    "  expand   list the words of the expansion network that hold a piece of word\n"
    "\n"
    "options:\n"
    "  --help     show this help; 'pmr COMMAND --help' shows a command's help\n"
    "  --version  show the library version\n"
    "\n"
    "Text on the terminal is UTF-8; transducer files hold Windows-1252.\n"
    "Exit status: 0 success, 1 failure (one 'pmr: ...' line per problem on\n"
    "standard error), 2 wrong usage.\n";

int print_version() {
  char version[64];
  if (pmr_library_version(version, sizeof version) < 0) {
    return pmrcli::failure("cannot read the library version");
  }
  std::printf("pmr %s\n", version);
  return pmrcli::kExitOk;
}

int dispatch(int argc, char** argv) {
  if (argc < 2) return pmrcli::usage_error(nullptr, "no command given");
  std::string_view command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kHelp, stdout);
    return pmrcli::kExitOk;
  }
  if (command == "--version") return print_version();
  if (command == "compile") return pmrcli::run_compile(argc - 2, argv + 2);
  if (command == "info") return pmrcli::run_info(argc - 2, argv + 2);
  if (command == "lookup") return pmrcli::run_lookup(argc - 2, argv + 2);
  if (command == "expand") return pmrcli::run_expand(argc - 2, argv + 2);
  return pmrcli::usage_error(nullptr, "unknown command '" + std::string(command) + "'");
}

}  // namespace

int main(int argc, char** argv) {
  int status;
  try {
    status = dispatch(argc, argv);
  } catch (const std::bad_alloc&) {
    status = pmrcli::failure(pmrcli::library_message(PMR_MEMORY_ERROR));
  }
  if (std::fflush(stdout) != 0 && status == pmrcli::kExitOk) {
    status = pmrcli::failure("cannot write the output");
  }
  return status;
}
