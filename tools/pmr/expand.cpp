// expand.cpp - "pmr expand": lists the words of a transducer's expansion
// network that hold a piece of word, through pmrExpandByteStringPartialWord
// and its continuation protocol: a call that fills the output buffer returns
// PMR_CLIENT_OUTPUT_FULL and is called again with continue set; a first
// result too long for the buffer (PMR_CLIENT_OUTPUT_TOO_SMALL) makes the
// buffer grow before going on.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "charset.h"
#include "cli.h"
#include "commands.h"
#include "output.h"
#include "pmr.h"

namespace pmrcli {
namespace {

constexpr const char kExpandHelp[] =
    "usage: pmr expand FILE PIECE [--prefix N] [--min N] [--max N]\n"
    "\n"
    "Lists, one per line, the words of the expansion network of FILE that\n"
    "have N free symbols (--prefix), then PIECE, then any ending the network\n"
    "allows. The piece and the words are UTF-8 (converted to and from\n"
    "Windows-1252). Words come in the network's depth-first order; a word\n"
    "spelled by two paths is listed twice. A piece with a character that the\n"
    "file does not know lists nothing.\n"
    "\n"
    "options:\n"
    "  --prefix N  number of free symbols before the piece (default 0)\n"
    "  --min N     list only words of at least N symbols (default 0)\n"
    "  --max N     list only words of at most N symbols (default 1000)\n"
    "  --          ends the options: a piece after it may start with '-'\n";

constexpr uint64_t kDefaultMaximumLength = 1000;
constexpr uint32_t kDefaultOutputSize = 4096;
constexpr uint32_t kLargestOutputSize = 16 * 1024 * 1024;
constexpr uint32_t kFirstCodedSize = 1024;
constexpr uint32_t kLargestCodedSize = 16 * 1024 * 1024;
constexpr uint32_t kFirstStackCapacity = 1000;

struct ExpandRequest {
  const char* path = nullptr;
  std::string piece;  // Windows-1252
  uint32_t prefix_length = 0;
  uint32_t minimum_length = 0;
  uint32_t length_limit = kDefaultMaximumLength + 1;
  uint32_t output_size = kDefaultOutputSize;
};

// Sizes of the lookup buffer; they double when the expansion needs more.
struct Workspace {
  uint32_t coded_input_size;
  uint32_t coded_output_size;
  uint32_t stack_capacity;

  bool can_grow() const {
    return coded_output_size < kLargestCodedSize || stack_capacity < PMR_LOOKUP_STACK_CEILING;
  }
  void grow() {
    if (coded_input_size < kLargestCodedSize) coded_input_size *= 2;
    if (coded_output_size < kLargestCodedSize) coded_output_size *= 2;
    if (stack_capacity < PMR_LOOKUP_STACK_CEILING) stack_capacity *= 2;
  }
};

// Prints the results that the expansion delivers; after a restart it skips
// the results that were printed before.
class ResultPrinter {
 public:
  ResultPrinter() : out_(stdout) {}

  void restart() { seen_ = 0; }
  void print(const std::vector<char>& output, uint32_t count) {
    const char* result = output.data();
    const char* end = result + output.size();
    for (uint32_t k = 0; k < count && result < end; ++k) {
      const char* nul = static_cast<const char*>(std::memchr(result, '\0', end - result));
      size_t length = nul != nullptr ? nul - result : end - result;
      if (seen_++ >= printed_) {
        out_.put_cp1252(result, length);
        out_.put('\n');
        out_.end_record();
        ++printed_;
      }
      result += length + 1;
    }
  }
  bool output_ok() { out_.flush(); return out_.ok(); }

 private:
  uint64_t seen_ = 0;
  uint64_t printed_ = 0;
  BlockWriter out_;
};

bool needs_larger_workspace(int32_t code) {
  return code == PMR_STACK_OVERFLOW || code == PMR_CODED_INPUT_TOO_SMALL ||
         code == PMR_CODED_OUTPUT_TOO_SMALL;
}

// Runs one expansion from its start in a fresh lookup buffer. Returns 0 when
// it has finished, else the error code that ended it.
int32_t expand_once(const ExpandRequest& request, const Workspace& workspace,
                    const pmr_fsm* transducer, std::vector<char>* output,
                    ResultPrinter* printer) {
  pmr_lookup_buffer* lookup_buffer =
      pmrMakeLookupBuffer(workspace.coded_input_size, workspace.coded_output_size,
                          workspace.stack_capacity, 0, 0, 0);
  int32_t code = pmr_object_error_code(lookup_buffer);
  if (code != 0) return code;
  printer->restart();
  int32_t continuing = 0;
  for (;;) {
    code = pmrExpandByteStringPartialWord(
        request.piece.c_str(), output->data(), static_cast<uint32_t>(output->size()),
        lookup_buffer, request.prefix_length, request.minimum_length, request.length_limit,
        continuing, 0, transducer);
    if (code >= 0) {
      printer->print(*output, static_cast<uint32_t>(code));
      code = 0;
      break;
    }
    if (code == PMR_CLIENT_OUTPUT_FULL) {
      printer->print(*output, pmrLookupBufferResultCount(lookup_buffer));
    } else if (code == PMR_CLIENT_OUTPUT_TOO_SMALL && output->size() < kLargestOutputSize) {
      output->resize(output->size() * 2);
    } else {
      break;
    }
    continuing = 1;
  }
  pmrFreeLookupBuffer(lookup_buffer);
  return code;
}

int expand(const ExpandRequest& request, const pmr_fsm* transducer) {
  Workspace workspace{kFirstCodedSize, kFirstCodedSize, kFirstStackCapacity};
  while (workspace.coded_input_size < 4 * request.piece.size() + 8) workspace.coded_input_size *= 2;
  std::vector<char> output(request.output_size);
  ResultPrinter printer;
  int32_t code = expand_once(request, workspace, transducer, &output, &printer);
  // A piece with a character outside the alphabet is in no word.
  if (code == PMR_CHAR_NOT_IN_ALPHABET) code = 0;
  // A stack or coded area too small ends the expansion without a state to go
  // on from: start again with a larger lookup buffer and skip what was
  // printed (the order of the results is fixed).
  while (needs_larger_workspace(code) && workspace.can_grow()) {
    workspace.grow();
    code = expand_once(request, workspace, transducer, &output, &printer);
  }
  int status = kExitOk;
  if (code != 0) status = failure(std::string(request.path) + ": " + library_message(code));
  if (!printer.output_ok()) status = failure("cannot write the output");
  return status;
}

}  // namespace

int run_expand(int argc, char** argv) {
  ArgCursor args("expand", argc, argv);
  ExpandRequest request;
  const char* piece = nullptr;
  uint64_t value = 0;
  bool failed = false;
  while (args.next()) {
    if (args.is_flag("--help") || args.is_flag("-h")) {
      std::fputs(kExpandHelp, stdout);
      return kExitOk;
    } else if (args.is_number_option("--prefix", 0xFFFFFFFFu, &value, &failed)) {
      request.prefix_length = static_cast<uint32_t>(value);
    } else if (args.is_number_option("--min", 0xFFFFFFFFu, &value, &failed)) {
      request.minimum_length = static_cast<uint32_t>(value);
    } else if (args.is_number_option("--max", 0xFFFFFFFEu, &value, &failed)) {
      request.length_limit = static_cast<uint32_t>(value) + 1;
    } else if (args.is_number_option("--buffer-size", kLargestOutputSize, &value, &failed)) {
      // Hidden: the size of the output buffer, to exercise the continuation.
      request.output_size = value > 0 ? static_cast<uint32_t>(value) : 1;
    } else if (args.is_option()) {
      return usage_error("expand", "unknown option '" + std::string(args.current()) + "'");
    } else if (request.path == nullptr) {
      request.path = args.current().data();
    } else if (piece == nullptr) {
      piece = args.current().data();
    } else {
      return usage_error("expand", "one piece of word at a time");
    }
    if (failed) return kExitUsage;
  }
  if (request.path == nullptr) return usage_error("expand", "no transducer file given");
  if (piece == nullptr) return usage_error("expand", "no piece of word given");
  std::vector<char> converted(std::strlen(piece) + 1);
  bool representable = utf8_to_cp1252(piece, converted.size() - 1, converted.data()) >= 0;
  request.piece = converted.data();

  pmr_fsm* transducer = open_transducer(request.path);
  if (transducer == nullptr) return kExitFailure;
  // A piece that Windows-1252 cannot hold is in no word either.
  int status = representable ? expand(request, transducer) : kExitOk;
  pmr_free_fsm(transducer);
  return status;
}

}  // namespace pmrcli
