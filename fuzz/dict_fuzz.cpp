// dict_fuzz.cpp - fuzz target for client dictionary files: the input is
// loaded as a dictionary file into a fresh dictionary, then words taken from
// the input (and a few fixed ones) are looked up in every mode and with
// output buffers of several sizes. Besides memory errors it checks that the
// modes agree with one another and that the room rule holds.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "pmr.h"

namespace {

using fuzzinput::check;

// Up to `limit` first fields of the input's lines: what a dictionary built
// from it is likely to hold.
std::vector<std::string> words_of(const uint8_t* data, size_t size, size_t limit) {
  std::vector<std::string> words{"", "a", "[N]"};
  size_t start = 0;
  while (start < size && words.size() < limit) {
    size_t end = start;
    while (end < size && data[end] != '\n') ++end;
    size_t cut = start;
    while (cut < end && data[cut] != '\t' && data[cut] != '\r' && data[cut] != 0) ++cut;
    if (cut > start) words.emplace_back(reinterpret_cast<const char*>(data + start), cut - start);
    start = end + 1;
  }
  return words;
}

// The strings of a lookup that succeeded; checks that `count` of them lie in
// the first `size` bytes.
std::vector<std::string> strings_in(const char* out, int32_t size, int32_t count) {
  std::vector<std::string> strings;
  const char* p = out;
  const char* end = out + size;
  for (int32_t i = 0; i < count; ++i) {
    const void* nul = std::memchr(p, 0, static_cast<size_t>(end - p));
    check(nul != nullptr, "result without NUL inside the buffer");
    strings.emplace_back(p);
    p = static_cast<const char*>(nul) + 1;
  }
  return strings;
}

// Looks `word` up with `mode` into a buffer big enough for every result.
std::vector<std::string> lookup_all(const char* word, int32_t mode, int32_t expected,
                                    const pmr_client_dict* dict) {
  for (int32_t size = 256;; size *= 4) {
    std::vector<char> out(static_cast<size_t>(size));
    int32_t n = pmr_client_dict_lookup(word, "", out.data(), size, mode, 0, dict);
    if (n == PMR_OUTPUT_TOO_LONG && size < (1 << 26)) continue;
    check(n == expected, "copying lookup disagrees with the count");
    return strings_in(out.data(), size, n);
  }
}

// With small buffers a copying lookup either gives every result or -12; the
// buffer is allocated with exactly `size` bytes so that an overrun shows.
void check_small_buffers(const char* word, int32_t expected, const pmr_client_dict* dict) {
  for (int32_t size : {0, 1, 2, 5, 17}) {
    std::unique_ptr<char[]> out(new char[size > 0 ? size : 1]);
    for (int32_t mode : {2, 4, 6}) {
      int32_t n = pmr_client_dict_lookup(word, "", out.get(), size, mode, 0, dict);
      check(n == expected || n == PMR_OUTPUT_TOO_LONG, "small buffer: unexpected result");
      if (n > 0) strings_in(out.get(), size, n);
      if (n == PMR_OUTPUT_TOO_LONG) check(expected > 0, "-12 without any match");
    }
  }
}

void check_word(const std::string& word, const pmr_client_dict* dict) {
  const char* w = word.c_str();
  int32_t total = pmr_client_dict_lookup(w, nullptr, nullptr, 0, 0, 0, dict);
  check(total >= 0, "counting lookup failed");
  std::vector<std::string> bases = lookup_all(w, PMR_DICT_COPY_BASE, total, dict);
  std::vector<std::string> tags = lookup_all(w, PMR_DICT_COPY_TAGS, total, dict);
  std::vector<std::string> whole = lookup_all(w, PMR_DICT_COPY_BASE | PMR_DICT_COPY_TAGS, total, dict);
  for (size_t i = 0; i < whole.size(); ++i) {
    check(whole[i] == bases[i] + tags[i], "analysis is not base form + tag string");
    check(bases[i].find('[') == std::string::npos, "base form holds a bracket");
    check(tags[i].empty() || tags[i][0] == '[', "tag string does not start with a bracket");
    int32_t matching = pmr_client_dict_lookup(w, tags[i].c_str(), nullptr, 0, PMR_DICT_MATCH_TAGS, 0, dict);
    check(matching >= 1 && matching <= total, "tag match count out of range");
  }
  check_small_buffers(w, total, dict);
  // Modes with bits beyond the three defined ones behave like the three.
  check(pmr_client_dict_lookup(w, nullptr, nullptr, 0, 8, 0, dict) == total, "extra mode bit changed the count");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzzinput::write_temp_file(data, size);
  pmr_client_dict* dict = pmr_make_client_dict(0, 0);
  if (pmr_object_error_code(dict) != 0) return 0;
  int32_t loaded = pmr_load_entries(path, 0, dict);
  check(loaded >= 0 || loaded == PMR_ENTRY_BEFORE_TAG || loaded == PMR_MEMORY_ERROR,
        "unexpected load result");
  check(loaded <= static_cast<int64_t>(size), "more entries than input bytes");
  for (const std::string& word : words_of(data, size, 24)) check_word(word, dict);
  // A second load of the same file into the same dictionary doubles every count.
  if (loaded > 0) {
    std::vector<std::string> words = words_of(data, size, 6);
    std::vector<int32_t> before;
    for (const auto& w : words) before.push_back(pmr_client_dict_lookup(w.c_str(), nullptr, nullptr, 0, 0, 0, dict));
    check(pmr_load_entries(path, 0, dict) == loaded, "second load added another number of entries");
    for (size_t i = 0; i < words.size(); ++i) {
      check(pmr_client_dict_lookup(words[i].c_str(), nullptr, nullptr, 0, 0, 0, dict) == 2 * before[i],
            "second load did not double the count");
    }
  }
  pmr_free_client_dict(dict);
  return 0;
}
