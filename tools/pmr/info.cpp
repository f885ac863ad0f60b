// info.cpp - "pmr info": prints what a transducer file says about itself
// (version, language, character set, copyright, creation date) and which
// operations it offers, as far as the library's public interface tells.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

#include "charset.h"
#include "cli.h"
#include "commands.h"
#include "pmr.h"

namespace pmrcli {
namespace {

constexpr const char kInfoHelp[] =
    "usage: pmr info FILE\n"
    "\n"
    "Shows the metadata of the transducer FILE, one 'name: value' line each,\n"
    "always in this order:\n"
    "  file:          the path as given\n"
    "  size:          the file size in bytes\n"
    "  version:       the version text of the file\n"
    "  language:      the language number\n"
    "  character set: the encoding number (0 is shown as 0 (Windows-1252))\n"
    "  copyright:     the copyright text (line breaks become spaces)\n"
    "  created:       the creation date number, followed by the date it\n"
    "                 stands for when read as seconds since 1970 (UTC)\n"
    "  capabilities:  the capability bits in hexadecimal and their names:\n"
    "                 lookup, generate, base-forms, inverse-base-forms,\n"
    "                 tokenize, tag, expand, group\n"
    "  functions:     the function numbers that the file serves, each with\n"
    "                 what it is for: 1 expansion, 12 lookup, 27 base forms,\n"
    "                 28 tokenizing, 60 and 61 tagger, 62 grouping\n"
    "\n"
    "Which network serves which function is not visible through the library;\n"
    "function 23 (generation) answers through 12 when it is absent, and\n"
    "function 63 (second grouping pass) is only used by the grouper.\n";

struct CapabilityName {
  uint32_t bit;
  const char* name;
};

constexpr CapabilityName kCapabilityNames[] = {
    {1, "lookup"}, {8, "generate"}, {2, "base-forms"}, {64, "inverse-base-forms"},
    {4, "tokenize"}, {16, "tag"}, {128, "expand"}, {256, "group"},
};

struct ServedFunction {
  uint32_t capability;
  const char* numbers;
  const char* purpose;
};

constexpr ServedFunction kServedFunctions[] = {
    {PMR_CAN_EXPAND, "1", "expansion"},
    {PMR_CAN_LOOKUP, "12", "lookup"},
    {PMR_CAN_BASE_FORMS, "27", "base forms"},
    {PMR_CAN_TOKENIZE, "28", "tokenizing"},
    {PMR_CAN_TAG, "60 61", "tagger"},
    {PMR_CAN_GROUP, "62", "grouping"},
};

std::string capability_names(uint32_t capabilities) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(capabilities));
  std::string text = hex;
  uint32_t named = 0;
  for (const CapabilityName& entry : kCapabilityNames) {
    named |= entry.bit;
    if ((capabilities & entry.bit) != 0) text += std::string(" ") + entry.name;
  }
  if ((capabilities & ~named) != 0) {
    std::snprintf(hex, sizeof hex, " 0x%x", static_cast<unsigned>(capabilities & ~named));
    text += hex;
  }
  return text;
}

std::string served_functions(uint32_t capabilities) {
  std::string text;
  for (const ServedFunction& entry : kServedFunctions) {
    if ((capabilities & entry.capability) == 0) continue;
    if (!text.empty()) text += ", ";
    text += std::string(entry.numbers) + " (" + entry.purpose + ")";
  }
  return text.empty() ? "none" : text;
}

std::string creation_date_text(uint32_t date) {
  std::string text = std::to_string(date);
  if (date == 0) return text;
  std::time_t seconds = static_cast<std::time_t>(date);
  std::tm utc{};
  if (gmtime_r(&seconds, &utc) == nullptr) return text;
  char stamp[64];
  if (std::strftime(stamp, sizeof stamp, " (%Y-%m-%d %H:%M:%S UTC)", &utc) == 0) return text;
  return text + stamp;
}

std::string character_set_text(int32_t encoding) {
  std::string text = std::to_string(encoding);
  if (encoding == 0) text += " (Windows-1252)";
  return text;
}

int print_info(const char* path, const pmr_fsm* transducer) {
  char version[128];
  int32_t code = pmr_fsm_version(version, sizeof version, transducer);
  if (code < 0) return failure(std::string(path) + ": " + library_message(code));
  char copyright[300];
  code = pmr_fsm_copyright(copyright, sizeof copyright, transducer);
  if (code < 0) return failure(std::string(path) + ": " + library_message(code));
  int32_t language = pmr_fsm_language(transducer);
  int32_t encoding = pmr_fsm_char_encoding(transducer);
  uint32_t capabilities = pmr_fsm_capabilities(transducer);
  std::error_code size_error;
  uintmax_t size = std::filesystem::file_size(path, size_error);

  std::printf("file: %s\n", path);
  if (size_error) {
    std::printf("size: unknown\n");
  } else {
    std::printf("size: %ju bytes\n", size);
  }
  std::printf("version: %s\n", cp1252_to_utf8(std::string(version)).c_str());
  std::printf("language: %d\n", static_cast<int>(language));
  std::printf("character set: %s\n", character_set_text(encoding).c_str());
  std::printf("copyright: %s\n", cp1252_to_utf8(std::string(copyright)).c_str());
  std::printf("created: %s\n", creation_date_text(pmr_fsm_creation_date(transducer)).c_str());
  std::printf("capabilities: %s\n", capability_names(capabilities).c_str());
  std::printf("functions: %s\n", served_functions(capabilities).c_str());
  return kExitOk;
}

}  // namespace

int run_info(int argc, char** argv) {
  ArgCursor args("info", argc, argv);
  const char* path = nullptr;
  while (args.next()) {
    if (args.is_flag("--help") || args.is_flag("-h")) {
      std::fputs(kInfoHelp, stdout);
      return kExitOk;
    } else if (args.is_option()) {
      return usage_error("info", "unknown option '" + std::string(args.current()) + "'");
    } else if (path == nullptr) {
      path = args.current().data();
    } else {
      return usage_error("info", "only one transducer file is shown at a time");
    }
  }
  if (path == nullptr) return usage_error("info", "no transducer file given");
  pmr_fsm* transducer = open_transducer(path);
  if (transducer == nullptr) return kExitFailure;
  int status = print_info(path, transducer);
  pmr_free_fsm(transducer);
  return status;
}

}  // namespace pmrcli
