// lookup.cpp - "pmr lookup": looks words up in a transducer, one
// pmrLookupByteString call per word, and prints the results in the format of
// flookup and hfst-optimized-lookup (word TAB result lines, an empty line
// after each word, "+?" for a word without results).
#include <unistd.h>

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

constexpr const char kLookupHelp[] =
    "usage: pmr lookup FILE [WORD...] [--function N] [--inverse] [--flush]\n"
    "\n"
    "Looks each WORD up in the transducer FILE; without WORD arguments reads\n"
    "one word per line from standard input (a CR before the line end is\n"
    "dropped). For each word prints one line 'WORD<TAB>RESULT' per result and\n"
    "then an empty line; a word without results gives 'WORD<TAB>+?'.\n"
    "Words and results are UTF-8 and are converted to and from Windows-1252;\n"
    "a word with a character outside Windows-1252 or outside the alphabet of\n"
    "the file has no results.\n"
    "\n"
    "options:\n"
    "  --function N  lookup function: 2 analyses (default), 3 base forms,\n"
    "                5 first base form, 7 shortest base form, 8 generation,\n"
    "                9 inverse base forms, 11 tokenizing\n"
    "  --inverse     generation: the same as --function 8\n"
    "  --flush       write the results of each word at once (for pipes);\n"
    "                otherwise output goes out in large blocks, except when\n"
    "                standard input is a terminal\n"
    "  --            ends the options: words after it may start with '-'\n"
    "\n"
    "A word whose lookup fails is reported on standard error as\n"
    "'pmr: FILE: WORD: message', answered with '+?' on standard output, and\n"
    "the command goes on; the exit status is then 1.\n";

constexpr size_t kFirstResultBufferSize = 64 * 1024;
constexpr size_t kLargestResultBufferSize = 16 * 1024 * 1024;
constexpr size_t kReadChunk = 256 * 1024;

bool is_lookup_function(uint64_t function) {
  switch (function) {
    case 2: case 3: case 5: case 7: case 8: case 9: case 11:
      return true;
    default:
      return false;
  }
}

// Everything one run of lookups uses; the buffers grow only when a word or
// its results need more room than any word before.
class Lookup {
 public:
  Lookup(const char* path, const pmr_fsm* transducer, int32_t function, bool flush_each)
      : path_(path), transducer_(transducer), function_(function), flush_each_(flush_each),
        results_(kFirstResultBufferSize), out_(stdout) {}

  // Looks one UTF-8 word of the given length up and prints its block.
  void word(const char* text, size_t length);
  void flush_each_word() { flush_each_ = true; }
  bool failed() const { return failed_; }
  bool output_ok() { out_.flush(); return out_.ok(); }

 private:
  int32_t look_up(const char* word);
  void print_results(const char* text, size_t length, int32_t count);
  void print_no_result(const char* text, size_t length);

  const char* path_;
  const pmr_fsm* transducer_;
  int32_t function_;
  bool flush_each_;
  bool failed_ = false;
  std::vector<char> word_;
  std::vector<char> results_;
  BlockWriter out_;
};

int32_t Lookup::look_up(const char* word) {
  for (;;) {
    int32_t count = pmrLookupByteString(word, results_.data(), static_cast<int32_t>(results_.size()),
                                        function_, transducer_);
    if (count != PMR_OUTPUT_TOO_LONG || results_.size() >= kLargestResultBufferSize) return count;
    results_.resize(results_.size() * 2);
  }
}

void Lookup::word(const char* text, size_t length) {
  if (word_.size() < length + 1) word_.resize(length + 1);
  int32_t count = 0;
  if (utf8_to_cp1252(text, length, word_.data()) >= 0) count = look_up(word_.data());
  // Tokenizing (function 11) reports a character outside the alphabet as an
  // error; the other functions answer such a word with no results, and so
  // does this command for every function.
  if (count == PMR_CHAR_NOT_IN_ALPHABET) count = 0;
  if (count < 0) {
    failed_ = true;
    std::fprintf(stderr, "pmr: %s: %.*s: %s\n", path_, static_cast<int>(length), text,
                 library_message(count).c_str());
    count = 0;
  }
  if (count == 0) {
    print_no_result(text, length);
  } else {
    print_results(text, length, count);
  }
  out_.put('\n');
  if (flush_each_) {
    out_.flush();
  } else {
    out_.end_record();
  }
}

void Lookup::print_results(const char* text, size_t length, int32_t count) {
  const char* result = results_.data();
  const char* end = result + results_.size();
  for (int32_t k = 0; k < count && result < end; ++k) {
    const char* nul = static_cast<const char*>(std::memchr(result, '\0', end - result));
    size_t result_length = nul != nullptr ? nul - result : end - result;
    out_.put(text, length);
    out_.put('\t');
    out_.put_cp1252(result, result_length);
    out_.put('\n');
    result += result_length + 1;
  }
}

void Lookup::print_no_result(const char* text, size_t length) {
  out_.put(text, length);
  out_.put("\t+?\n", 4);
}

// Reads standard input in large chunks and hands each line (without its
// line end and a CR before it) to the lookup.
void look_up_lines(std::FILE* in, Lookup* lookup) {
  std::vector<char> buffer(kReadChunk);
  size_t start = 0;  // first byte of the pending line
  size_t end = 0;    // end of the bytes read
  size_t scan = 0;   // where the search for the line end goes on
  bool at_eof = false;
  for (;;) {
    const char* newline = static_cast<const char*>(
        std::memchr(buffer.data() + scan, '\n', end - scan));
    if (newline != nullptr) {
      size_t line_end = newline - buffer.data();
      size_t length = line_end - start;
      if (length > 0 && buffer[line_end - 1] == '\r') --length;
      lookup->word(buffer.data() + start, length);
      start = scan = line_end + 1;
      continue;
    }
    if (at_eof) break;
    if (start > 0) {
      std::memmove(buffer.data(), buffer.data() + start, end - start);
      end -= start;
      start = 0;
    }
    if (buffer.size() - end < kReadChunk / 2) buffer.resize(buffer.size() * 2);
    scan = end;
    size_t got = std::fread(buffer.data() + end, 1, buffer.size() - end, in);
    end += got;
    if (got == 0) at_eof = true;
  }
  if (end > start) {
    size_t length = end - start;
    if (buffer[end - 1] == '\r') --length;
    lookup->word(buffer.data() + start, length);
  }
}

}  // namespace

int run_lookup(int argc, char** argv) {
  ArgCursor args("lookup", argc, argv);
  const char* path = nullptr;
  std::vector<const char*> words;
  uint64_t function = PMR_LOOKUP_ANALYZE;
  bool function_given = false;
  bool inverse = false;
  bool flush_each = false;
  bool failed = false;
  while (args.next()) {
    if (args.is_flag("--help") || args.is_flag("-h")) {
      std::fputs(kLookupHelp, stdout);
      return kExitOk;
    } else if (args.is_flag("--inverse")) {
      inverse = true;
    } else if (args.is_flag("--flush")) {
      flush_each = true;
    } else if (args.is_number_option("--function", 0x7FFFFFFF, &function, &failed)) {
      if (failed) return kExitUsage;
      function_given = true;
    } else if (args.is_option()) {
      return usage_error("lookup", "unknown option '" + std::string(args.current()) + "'");
    } else if (path == nullptr) {
      path = args.current().data();
    } else {
      words.push_back(args.current().data());
    }
  }
  if (path == nullptr) return usage_error("lookup", "no transducer file given");
  if (inverse) {
    if (function_given && function != PMR_LOOKUP_GENERATE) {
      return usage_error("lookup", "--inverse and --function " + std::to_string(function) +
                                       " contradict each other");
    }
    function = PMR_LOOKUP_GENERATE;
  }
  if (!is_lookup_function(function)) {
    return usage_error("lookup", "there is no lookup function " + std::to_string(function));
  }

  pmr_fsm* transducer = open_transducer(path);
  if (transducer == nullptr) return kExitFailure;
  // One probe with the empty word tells whether the file serves the function
  // at all, so that a missing network is one error, not one per word.
  char probe[256];
  int32_t probed = pmrLookupByteString("", probe, sizeof probe, static_cast<int32_t>(function),
                                       transducer);
  if (probed == PMR_INVALID_FUNCTION) {
    pmr_free_fsm(transducer);
    return failure(std::string(path) + ": " + library_message(probed));
  }

  int status = kExitOk;
  {
    Lookup lookup(path, transducer, static_cast<int32_t>(function), flush_each);
    if (words.empty()) {
      if (isatty(fileno(stdin))) lookup.flush_each_word();
      look_up_lines(stdin, &lookup);
      if (std::ferror(stdin)) status = failure("cannot read standard input");
    } else {
      for (const char* word : words) lookup.word(word, std::strlen(word));
    }
    if (lookup.failed()) status = kExitFailure;
    if (!lookup.output_ok()) status = failure("cannot write the output");
  }
  pmr_free_fsm(transducer);
  return status;
}

}  // namespace pmrcli
