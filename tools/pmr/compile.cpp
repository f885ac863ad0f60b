// compile.cpp - "pmr compile": compiles AT&T text or a lexicon into a
// transducer file with the network compiler and the file writer, and
// reports the size of the result.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "charset.h"
#include "cli.h"
#include "commands.h"
#include "fstmodel.h"
#include "netcompile.h"

namespace pmrcli {
namespace {

constexpr const char kCompileHelp[] =
    "usage: pmr compile INPUT... -o OUTPUT [options]\n"
    "\n"
    "Compiles the INPUT files (their union) into the transducer file OUTPUT.\n"
    "An input is AT&T text (as foma, HFST and lt-print write it) or a lexicon\n"
    "of 'surface<TAB>analysis' lines, in UTF-8; tags are written in brackets\n"
    "([N], [Pl]). Characters must exist in Windows-1252.\n"
    "A summary line goes to standard error.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE     the transducer file to write\n"
    "  --format att|lexicon  the input format (default: recognised per file)\n"
    "  --skip-unmappable     drop paths with characters outside Windows-1252\n"
    "                        instead of failing (the summary tells how many)\n"
    "  --function N          serve function number N (repeatable; default: the\n"
    "                        lookup functions)\n"
    "  --expansion           add an expansion network (function 1)\n"
    "  --copyright TEXT      copyright text (at most 255 Windows-1252 bytes)\n"
    "  --version-text V      version text of the file (default 1.0)\n"
    "  --language N          language number (default 0)\n"
    "  --creation-date N     creation date number (default: the current time in\n"
    "                        seconds since 1970, or SOURCE_DATE_EPOCH when set)\n"
    "\n"
    "layout options (the byte code of the networks):\n"
    "  --label-base N        lowest label byte, a multiple of 4\n"
    "  --page-size N         symbol indices per page\n"
    "  --page-after          page bytes follow the code byte\n"
    "  --no-bound-byte       indexed arc blocks without a bound byte\n"
    "  --offset-table        indexed arc blocks with a slot offset table\n"
    "  --no-blocks           no indexed arc blocks\n"
    "  --block-threshold N   arcs from which a state becomes an indexed block\n"
    "  --table-width 2|3     width of near and far table entries\n"
    "  --long-direct         direct references carry trailing bytes\n"
    "  --code16              16-bit code table entries\n";

uint32_t default_creation_date() {
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr) {
    uint64_t value = 0;
    if (parse_number(epoch, 0xFFFFFFFFu, &value)) return static_cast<uint32_t>(value);
  }
  std::time_t now = std::time(nullptr);
  return now > 0 ? static_cast<uint32_t>(now) : 0;
}

struct CompileRequest {
  std::vector<std::string> inputs;
  std::string output;
  pmrtools::CompileOptions options;
  bool creation_date_given = false;
  uint32_t creation_date = 0;
};

// Handles one option of the layout group; false when the argument is not
// one of them.
bool layout_option(ArgCursor& args, pmrtools::CompileOptions* options, bool* failed) {
  pmrtools::Layout& layout = options->layout;
  uint64_t value = 0;
  if (args.is_number_option("--label-base", 0xFC, &value, failed)) {
    if (!*failed && value % 4 != 0) {
      usage_error("compile", "--label-base needs a multiple of 4");
      *failed = true;
    }
    layout.label_base = static_cast<uint8_t>(value);
  } else if (args.is_number_option("--page-size", 0xFF, &value, failed)) {
    layout.page_size = static_cast<uint8_t>(value);
  } else if (args.is_flag("--page-after")) {
    layout.page_after = true;
  } else if (args.is_flag("--no-bound-byte")) {
    layout.bound_byte = false;
  } else if (args.is_flag("--offset-table")) {
    layout.offset_table = true;
  } else if (args.is_flag("--no-blocks")) {
    options->indexed_blocks = false;
  } else if (args.is_number_option("--block-threshold", 0x7FFFFFFF, &value, failed)) {
    options->block_threshold = static_cast<int>(value);
  } else if (args.is_number_option("--table-width", 3, &value, failed)) {
    if (!*failed && value != 2 && value != 3) {
      usage_error("compile", "--table-width is 2 or 3");
      *failed = true;
    }
    layout.table_width = static_cast<uint8_t>(value);
  } else if (args.is_flag("--long-direct")) {
    layout.long_direct = true;
  } else if (args.is_flag("--code16")) {
    layout.code16 = true;
  } else {
    return false;
  }
  return true;
}

// Parses the arguments into *request. Returns the exit status of a usage
// error, else kExitOk; *done is set when the help was shown instead.
int parse_compile_arguments(int argc, char** argv, CompileRequest* request, bool* done) {
  ArgCursor args("compile", argc, argv);
  pmrtools::CompileOptions& options = request->options;
  std::string_view text;
  uint64_t value = 0;
  bool failed = false;
  while (args.next()) {
    if (args.is_flag("--help") || args.is_flag("-h")) {
      std::fputs(kCompileHelp, stdout);
      *done = true;
      return kExitOk;
    } else if (args.is_option_with_value("-o", &text, &failed) ||
               args.is_option_with_value("--output", &text, &failed)) {
      request->output = text;
    } else if (args.is_option_with_value("--format", &text, &failed)) {
      if (failed) return kExitUsage;
      if (text == "att") {
        options.format = pmrtools::SourceFormat::Att;
      } else if (text == "lexicon") {
        options.format = pmrtools::SourceFormat::Lexicon;
      } else {
        return usage_error("compile", "--format is att or lexicon, not '" + std::string(text) + "'");
      }
    } else if (args.is_flag("--skip-unmappable")) {
      options.skip_unmappable = true;
    } else if (args.is_number_option("--function", 254, &value, &failed)) {
      if (!failed && value == 0) {
        return usage_error("compile", "function numbers start at 1");
      }
      options.functions.push_back(static_cast<int>(value));
    } else if (args.is_flag("--expansion")) {
      options.expansion = true;
    } else if (args.is_option_with_value("--copyright", &text, &failed)) {
      // The file holds Windows-1252 text; the argument is UTF-8.
      std::vector<char> converted(text.size() + 1);
      if (!failed && utf8_to_cp1252(text.data(), text.size(), converted.data()) < 0) {
        return usage_error("compile", "the --copyright text has characters outside Windows-1252");
      }
      options.copyright = converted.data();
    } else if (args.is_option_with_value("--version-text", &text, &failed)) {
      options.version = text;
    } else if (args.is_number_option("--language", 0xFF, &value, &failed)) {
      options.language = static_cast<uint8_t>(value);
    } else if (args.is_number_option("--creation-date", 0xFFFFFFFFu, &value, &failed)) {
      request->creation_date = static_cast<uint32_t>(value);
      request->creation_date_given = true;
    } else if (layout_option(args, &options, &failed)) {
    } else if (args.is_option()) {
      return usage_error("compile", "unknown option '" + std::string(args.current()) + "'");
    } else {
      request->inputs.emplace_back(args.current());
    }
    if (failed) return kExitUsage;
  }
  if (request->inputs.empty()) return usage_error("compile", "no input file given");
  if (request->output.empty()) return usage_error("compile", "no output file given (-o)");
  return kExitOk;
}

}  // namespace

int run_compile(int argc, char** argv) {
  CompileRequest request;
  bool done = false;
  int status = parse_compile_arguments(argc, argv, &request, &done);
  if (status != kExitOk || done) return status;

  pmrtools::FileModel model;
  pmrtools::CompileStats stats;
  std::string error;
  if (!pmrtools::compile_sources(request.inputs, request.options, &model, &stats, &error)) {
    return failure(error);
  }
  model.creation_date = request.creation_date_given ? request.creation_date
                                                    : default_creation_date();
  if (!pmrtools::save_fst_file(model, request.output, &error)) {
    // The writer's message may name the file already.
    bool names_file = error.find(request.output) != std::string::npos;
    return failure(names_file ? error : request.output + ": " + error);
  }
  std::error_code size_error;
  uintmax_t bytes = std::filesystem::file_size(request.output, size_error);
  std::string summary = request.output + ": " + std::to_string(stats.states) + " states, " +
                        std::to_string(stats.arcs) + " arcs, " +
                        (size_error ? std::string("?") : std::to_string(bytes)) + " bytes";
  if (request.options.skip_unmappable) {
    summary += ", dropped " + std::to_string(stats.dropped_paths) + " paths";
  }
  std::fprintf(stderr, "pmr: %s\n", summary.c_str());
  return kExitOk;
}

}  // namespace pmrcli
