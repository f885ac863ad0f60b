// cli.h - what the subcommands of the pmr command share: the argument
// cursor, number parsing, error and usage reporting, the library's messages
// and opening a transducer.
#ifndef PMR_CLI_CLI_H
#define PMR_CLI_CLI_H

#include <cstdint>
#include <string>
#include <string_view>

#include "pmr.h"

namespace pmrcli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Walks the arguments of one subcommand. Options take their value either
// joined ("--max=10") or as the next argument ("--max 10"); "--" ends the
// options.
class ArgCursor {
 public:
  ArgCursor(const char* command, int argc, char** argv)
      : command_(command), argc_(argc), argv_(argv) {}

  // Moves to the next argument; false at the end.
  bool next();
  std::string_view current() const { return current_; }
  // True when the current argument is an option (and options have not been
  // ended by "--").
  bool is_option() const;
  // True when the current argument is the option `name` without a value.
  bool is_flag(std::string_view name) const;
  // True when the current argument is the option `name`; its value goes to
  // *value. A missing value is reported as a usage error (*failed set).
  bool is_option_with_value(std::string_view name, std::string_view* value, bool* failed);
  // Like is_option_with_value for a non-negative number no larger than max.
  bool is_number_option(std::string_view name, uint64_t max, uint64_t* value, bool* failed);

  const char* command() const { return command_; }

 private:
  const char* command_;
  int argc_;
  char** argv_;
  int index_ = 0;
  bool options_ended_ = false;
  std::string_view current_;
};

// Parses a decimal (or 0x-prefixed hexadecimal) number; false when the text
// is not a number or exceeds max.
bool parse_number(std::string_view text, uint64_t max, uint64_t* value);

// Prints "pmr: MESSAGE (try 'pmr COMMAND --help')" and returns kExitUsage.
int usage_error(const char* command, const std::string& message);
// Prints "pmr: MESSAGE" and returns kExitFailure.
int failure(const std::string& message);

// The library's message text for an error code.
std::string library_message(int32_t code);

// Opens a transducer file; on failure prints "pmr: FILE: message" and
// returns null.
pmr_fsm* open_transducer(const char* path);

}  // namespace pmrcli

#endif
