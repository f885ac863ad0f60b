// cli.cpp - argument walking, number parsing and error reporting shared by
// the pmr subcommands.
#include "cli.h"

#include <charconv>
#include <cstdio>

namespace pmrcli {

bool ArgCursor::next() {
  if (index_ >= argc_) return false;
  current_ = argv_[index_++];
  if (!options_ended_ && current_ == "--") {
    options_ended_ = true;
    return next();
  }
  return true;
}

bool ArgCursor::is_option() const {
  return !options_ended_ && current_.size() > 1 && current_[0] == '-';
}

bool ArgCursor::is_flag(std::string_view name) const { return is_option() && current_ == name; }

bool ArgCursor::is_option_with_value(std::string_view name, std::string_view* value,
                                     bool* failed) {
  if (!is_option() || current_.substr(0, name.size()) != name) return false;
  std::string_view rest = current_.substr(name.size());
  if (!rest.empty()) {
    if (rest[0] != '=') return false;
    *value = rest.substr(1);
    return true;
  }
  if (index_ >= argc_) {
    usage_error(command_, "option " + std::string(name) + " needs a value");
    *failed = true;
    return true;
  }
  *value = argv_[index_++];
  return true;
}

bool ArgCursor::is_number_option(std::string_view name, uint64_t max, uint64_t* value,
                                 bool* failed) {
  std::string_view text;
  if (!is_option_with_value(name, &text, failed)) return false;
  if (*failed) return true;
  if (!parse_number(text, max, value)) {
    usage_error(command_, "option " + std::string(name) + " needs a number from 0 to " +
                              std::to_string(max) + ", not '" + std::string(text) + "'");
    *failed = true;
  }
  return true;
}

bool parse_number(std::string_view text, uint64_t max, uint64_t* value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  uint64_t parsed = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed, base);
  if (error != std::errc() || end != text.data() + text.size() || parsed > max) return false;
  *value = parsed;
  return true;
}

int usage_error(const char* command, const std::string& message) {
  std::string hint = command != nullptr ? std::string("pmr ") + command + " --help" : "pmr --help";
  std::fprintf(stderr, "pmr: %s (try '%s')\n", message.c_str(), hint.c_str());
  return kExitUsage;
}

int failure(const std::string& message) {
  std::fprintf(stderr, "pmr: %s\n", message.c_str());
  return kExitFailure;
}

std::string library_message(int32_t code) {
  char text[512];
  if (pmr_error_message(code, text, sizeof text) < 0 && text[0] == '\0') {
    return "error " + std::to_string(code);
  }
  return text;
}

pmr_fsm* open_transducer(const char* path) {
  pmr_fsm* transducer = pmr_make_fsm(path);
  int32_t code = pmr_object_error_code(transducer);
  if (code != 0) {
    failure(std::string(path) + ": " + library_message(code));
    return nullptr;
  }
  return transducer;
}

}  // namespace pmrcli
