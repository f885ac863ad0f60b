// fsm_fuzz.cpp - fuzz target for transducer files: the input is opened as a
// transducer; when it loads, the metadata queries, the header object, the
// byte-string encoder in every mode, the lookup functions, token breaking and
// offset decoding are run on words made from the transducer's own alphabet.
// Output buffers are allocated with their exact size so that any write past
// the size given to the library shows up under AddressSanitizer.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "pmr.h"

namespace {

using fuzzinput::check;

// A heap buffer of exactly `size` bytes (at least one, so that it exists).
struct ExactBuffer {
  explicit ExactBuffer(int32_t size) : bytes(new char[size > 0 ? size : 1]), size(size) {}
  std::unique_ptr<char[]> bytes;
  int32_t size;
  char* data() { return bytes.get(); }
};

// Checks that a successful call left `count` NUL-terminated strings inside
// the buffer.
void check_strings(const char* out, int32_t size, int32_t count) {
  const char* p = out;
  const char* end = out + size;
  for (int32_t i = 0; i < count; ++i) {
    const void* nul = std::memchr(p, 0, static_cast<size_t>(end - p));
    check(nul != nullptr, "result without NUL inside the buffer");
    p = static_cast<const char*>(nul) + 1;
  }
}

void query_metadata(const pmr_fsm* fsm) {
  for (int32_t size : {0, 1, 2, 8, 300}) {
    ExactBuffer buffer(size);
    int32_t r = pmr_fsm_copyright(buffer.data(), size, fsm);
    if (r >= 0) check_strings(buffer.data(), size, 1);
    r = pmr_fsm_version(buffer.data(), size, fsm);
    if (r >= 0) check_strings(buffer.data(), size, 1);
  }
  (void)pmr_fsm_creation_date(fsm);
  (void)pmr_fsm_language(fsm);
  (void)pmr_fsm_char_encoding(fsm);
  (void)pmr_fsm_capabilities(fsm);
}

void check_header(const char* path) {
  pmr_header* a = pmr_make_header(path);
  pmr_header* b = pmr_make_header(path);
  if (pmr_object_error_code(a) == 0 && pmr_object_error_code(b) == 0) {
    (void)pmr_compare_header(a, b);
  }
  pmr_free_header(a);
  pmr_free_header(b);
}

// The bytes that encode on their own: the transducer's single-byte alphabet.
std::string alphabet_of(const pmr_fsm* fsm) {
  std::string letters;
  char in[2] = {0, 0};
  char out[16];
  for (int c = 1; c < 256; ++c) {
    in[0] = static_cast<char>(c);
    if (pmrEncodeByteString(in, out, sizeof out, 3, fsm) > 0) letters.push_back(in[0]);
  }
  return letters;
}

// A handful of words: fixed ones, and words of the alphabet chosen by the
// last bytes of the input (so that the fuzzer can steer them).
std::vector<std::string> words_for(const std::string& letters, const uint8_t* data, size_t size) {
  std::vector<std::string> words{"", "a", "cat", "[N]", "a[", "x[Noun][Pl]"};
  if (letters.empty()) return words;
  size_t pick = size;
  auto next_letter = [&]() {
    uint8_t b = pick > 0 ? data[--pick] : 0;
    return letters[b % letters.size()];
  };
  for (size_t i = 0; i < letters.size() && i < 4; ++i) words.emplace_back(1, letters[i]);
  for (int length : {2, 3, 5, 8}) {
    std::string w;
    for (int i = 0; i < length; ++i) w.push_back(next_letter());
    words.push_back(w);
  }
  words.push_back(words.back() + "[" + letters.substr(0, 3) + "]");
  std::string long_word;  // longer than the lookup's frame memory serves
  for (int i = 0; i < 140; ++i) long_word.push_back(letters[i % letters.size()]);
  words.push_back(long_word);
  return words;
}

void check_encoding(const std::string& word, const pmr_fsm* fsm) {
  for (int32_t mode : {0, 1, 2, 3}) {
    for (int32_t size : {1, 4, 600}) {
      ExactBuffer out(size);
      int32_t n = pmrEncodeByteString(word.c_str(), out.data(), size, mode, fsm);
      if (n >= 0) {
        check(n < size, "coded length does not leave room for the NUL");
        check(out.data()[n] == 0, "coded string is not NUL-terminated");
      }
    }
  }
}

// A lookup that has grown its working memory to the ceiling and still fails
// (-13, -26) meets a network with endless paths; such a lookup is bounded but
// slow, so the remaining lookups of the input are skipped.
bool at_ceiling(int32_t result) {
  return result == PMR_STACK_OVERFLOW || result == PMR_INTERNAL_BUFFER_TOO_SMALL;
}

// Returns false when a lookup reached the ceiling.
bool check_lookups(const std::string& word, const pmr_fsm* fsm, const pmr_client_dict* dict) {
  for (int32_t function : {2, 3, 4, 5, 7, 8, 9, 11}) {
    for (int32_t size : {7, 1024}) {
      ExactBuffer out(size);
      int32_t n = pmrLookupByteString(word.c_str(), out.data(), size, function, fsm);
      if (at_ceiling(n)) return false;
      if (n > 0) check_strings(out.data(), size, n);
    }
  }
  for (int32_t function : {2, 3}) {
    ExactBuffer out(64);
    int32_t n = pmr_lookup_with_transduction(word.data(), static_cast<int32_t>(word.size()), out.data(),
                                             out.size, function, fsm, dict, 0);
    if (at_ceiling(n)) return false;
    if (n > 0) check_strings(out.data(), out.size, n);
  }
  return true;
}

void check_token_breaking(const std::string& word, const pmr_fsm* fsm) {
  char coded[600];
  int32_t n = pmrEncodeByteString(word.c_str(), coded, sizeof coded, 2, fsm);
  if (n <= 0) return;
  for (int32_t all : {0, 1}) {
    ExactBuffer buffer(96);
    uint32_t offsets[4];
    int32_t ends = pmrBreakByteStringToken(coded, buffer.data(), 96, offsets, 4, all, fsm);
    if (ends <= 0) continue;
    check(ends <= 4, "more token ends than offset slots");
    uint32_t symbols[4];
    for (int32_t i = 0; i < ends; ++i) check(offsets[i] <= static_cast<uint32_t>(n), "token end beyond the input");
    pmrDecodeOffsets(offsets, static_cast<uint32_t>(ends), symbols, coded, fsm);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzzinput::write_temp_file(data, size);
  check_header(path);
  pmr_fsm* fsm = pmr_make_fsm(path);
  int32_t code = pmr_object_error_code(fsm);
  if (code != 0) {
    check(code < 0, "constructor returned an error object of a positive code");
    pmr_free_fsm(fsm);
    return 0;
  }
  query_metadata(fsm);
  pmr_client_dict* dict = pmr_make_client_dict(0, 0);
  if (pmr_object_error_code(dict) == 0) pmr_add_entry("cat", "cat[N]", 0, dict);
  std::string letters = alphabet_of(fsm);
  bool lookups = true;
  for (const std::string& word : words_for(letters, data, size)) {
    check_encoding(word, fsm);
    check_token_breaking(word, fsm);
    if (lookups) lookups = check_lookups(word, fsm, dict);
  }
  pmr_free_client_dict(dict);
  pmr_free_fsm(fsm);
  return 0;
}
