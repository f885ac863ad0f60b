// dict.cpp - client dictionaries: a chained hash table of (word, analysis)
// entries that a client fills entry by entry or from a text file, and the
// lookup that reports the analyses of a word (newest first) as counts, base
// forms, tag strings or whole analyses.
//
// An entry is one heap block: the link to the next entry of its bucket, a
// pointer to the analysis, then the word and the analysis, each with its NUL.
// The analysis divides at its first '[' into the base form and the tag string.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "dict.h"
#include "pmr.h"

namespace {

struct Entry {
  Entry* next;
  const char* analysis;  // points behind the word, inside the same block
  const char* word() const { return reinterpret_cast<const char*>(this + 1); }
};

constexpr size_t kLineBufferSize = 1024;  // a read takes at most 1023 bytes

}  // namespace

struct pmr_client_dict {
  Entry** buckets;
  int32_t bucket_count;
  int32_t entry_count;
};

namespace {

// Returns the error code of an error object passed where a dictionary is
// expected, 0 for a real dictionary.
int32_t dict_error_code(const pmr_client_dict* dict) {
  int32_t code = pmr_object_error_code(dict);
  return code < 0 ? code : 0;
}

Entry* make_entry(const char* word, const char* analysis) {
  size_t word_size = std::strlen(word) + 1;
  size_t analysis_size = std::strlen(analysis) + 1;
  void* block = std::malloc(sizeof(Entry) + word_size + analysis_size);
  if (block == nullptr) return nullptr;
  Entry* entry = new (block) Entry{nullptr, nullptr};
  char* text = reinterpret_cast<char*>(entry + 1);
  std::memcpy(text, word, word_size);
  std::memcpy(text + word_size, analysis, analysis_size);
  entry->analysis = text + word_size;
  return entry;
}

size_t base_form_length(const char* analysis) { return std::strcspn(analysis, "["); }

const char* tag_string(const char* analysis) { return analysis + base_form_length(analysis); }

bool entry_matches(const Entry* entry, const char* word, const char* tags, bool match_tags) {
  if (std::strcmp(entry->word(), word) != 0) return false;
  return !match_tags || std::strcmp(tag_string(entry->analysis), tags) == 0;
}

// The text that a lookup writes for one entry under the copy bits of `mode`.
void select_text(const char* analysis, int32_t mode, const char** text, size_t* length) {
  bool base = (mode & PMR_DICT_COPY_BASE) != 0;
  bool tags = (mode & PMR_DICT_COPY_TAGS) != 0;
  if (base && tags) {
    *text = analysis;
    *length = std::strlen(analysis);
  } else if (base) {
    *text = analysis;
    *length = base_form_length(analysis);
  } else {
    *text = tag_string(analysis);
    *length = std::strlen(*text);
  }
}

// ---- file loading ----------------------------------------------------------

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Reads the next piece of a line: at most size - 1 bytes, up to and including
// a line feed. NUL bytes are read like any other byte. Returns the number of
// bytes read, 0 at the end of the file; buffer[count] is set to NUL.
size_t read_piece(std::FILE* file, char* buffer, size_t size) {
  size_t count = 0;
  while (count + 1 < size) {
    int c = std::getc(file);
    if (c == EOF) break;
    buffer[count++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[count] = '\0';
  return count;
}

bool ends_line(char c) { return c == '\n' || c == '\r' || c == '\0'; }

struct Line {
  const char* first;   // the whole line, or the first field of a two-field line
  const char* second;  // the field after the last tab, or null for one field
  size_t length;       // length of a one-field line
};

// Cuts the piece at its first LF, CR or NUL and splits it at its tabs.
Line split_line(char* buffer, size_t count) {
  size_t length = 0;
  while (length < count && !ends_line(buffer[length])) ++length;
  buffer[length] = '\0';
  Line line{buffer, nullptr, length};
  char* last_tab = nullptr;
  for (size_t i = 0; i < length; ++i) {
    if (buffer[i] == '\t') {
      buffer[i] = '\0';
      last_tab = buffer + i;
    }
  }
  if (last_tab != nullptr) line.second = last_tab + 1;
  return line;
}

bool is_skipped(const Line& line) {
  unsigned char first = static_cast<unsigned char>(line.first[0]);
  return first == ';' || first <= 0x20;
}

bool is_tag_specification(const Line& line) {
  return line.second == nullptr && line.first[0] == '[' && line.first[line.length - 1] == ']';
}

// Adds the entries of an open file; returns the number added or an error.
int32_t load_lines(std::FILE* file, char* buffer, char* tag_spec, int32_t reserved,
                   pmr_client_dict* dict) {
  bool have_tag_spec = false;
  int32_t added = 0;
  for (;;) {
    size_t count = read_piece(file, buffer, kLineBufferSize);
    if (count == 0) break;
    Line line = split_line(buffer, count);
    if (is_skipped(line)) continue;
    if (is_tag_specification(line)) {
      std::memcpy(tag_spec, line.first, line.length + 1);
      have_tag_spec = true;
      continue;
    }
    int32_t code;
    if (line.second != nullptr) {
      code = pmr_add_entry(line.first, line.second, reserved, dict);
      have_tag_spec = false;  // a later single-field entry needs a new tag line
    } else if (have_tag_spec) {
      code = pmr_add_entry(line.first, tag_spec, reserved, dict);
    } else {
      code = PMR_ENTRY_BEFORE_TAG;
    }
    if (code < 0) return code;
    if (added < INT32_MAX) ++added;
  }
  // A read that fails part-way must not pass for the end of the file.
  if (std::ferror(file)) return PMR_IO_ERROR;
  return added;
}

}  // namespace

extern "C" {

PMR_API pmr_client_dict* pmr_make_client_dict(int32_t, int32_t) {
  auto* dict = new (std::nothrow) pmr_client_dict{nullptr, pmr::kClientDictBuckets, 0};
  if (dict == nullptr) return static_cast<pmr_client_dict*>(pmr_error_object(PMR_MEMORY_ERROR));
  dict->buckets = new (std::nothrow) Entry*[pmr::kClientDictBuckets]();
  if (dict->buckets == nullptr) {
    delete dict;
    return static_cast<pmr_client_dict*>(pmr_error_object(PMR_MEMORY_ERROR));
  }
  return dict;
}

PMR_API void pmr_free_client_dict(pmr_client_dict* dict) {
  if (dict == nullptr || dict_error_code(dict) != 0) return;
  for (int32_t i = 0; i < dict->bucket_count; ++i) {
    Entry* entry = dict->buckets[i];
    while (entry != nullptr) {
      Entry* next = entry->next;
      std::free(entry);
      entry = next;
    }
  }
  delete[] dict->buckets;
  delete dict;
}

PMR_API int32_t pmr_add_entry(const char* word, const char* analysis, int32_t,
                              pmr_client_dict* dict) {
  if (word == nullptr || analysis == nullptr || dict == nullptr) return PMR_NULL_POINTER;
  if (int32_t code = dict_error_code(dict)) return code;
  Entry* entry = make_entry(word, analysis);
  if (entry == nullptr) return PMR_MEMORY_ERROR;
  uint32_t bucket = pmr::client_dict_bucket(word, dict->bucket_count);
  entry->next = dict->buckets[bucket];
  dict->buckets[bucket] = entry;
  if (dict->entry_count < INT32_MAX) ++dict->entry_count;
  return 0;
}

PMR_API int32_t pmr_load_entries(const char* path, int32_t reserved, pmr_client_dict* dict) {
  if (path == nullptr || dict == nullptr) return PMR_NULL_POINTER;
  if (int32_t code = dict_error_code(dict)) return code;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kLineBufferSize]);
  if (!buffer) return PMR_MEMORY_ERROR;
  FileHandle file(std::fopen(path, "rb"));
  if (!file) return PMR_FILE_OPEN_ERROR;
  std::unique_ptr<char[]> tag_spec(new (std::nothrow) char[kLineBufferSize]);
  if (!tag_spec) return PMR_MEMORY_ERROR;
  return load_lines(file.get(), buffer.get(), tag_spec.get(), reserved, dict);
}

PMR_API int32_t pmr_client_dict_lookup(const char* word, const char* tags, char* out,
                                       int32_t out_size, int32_t mode, int32_t,
                                       const pmr_client_dict* dict) {
  const int32_t copy_bits = PMR_DICT_COPY_BASE | PMR_DICT_COPY_TAGS;
  if (word == nullptr || dict == nullptr) return PMR_NULL_POINTER;
  if ((mode & PMR_DICT_MATCH_TAGS) != 0 && tags == nullptr) return PMR_NULL_POINTER;
  if ((mode & copy_bits) != 0 && out == nullptr) return PMR_NULL_POINTER;
  if (int32_t code = dict_error_code(dict)) return code;
  if (out_size < 0 || mode < 0) return PMR_INVALID_NUMBER;

  bool match_tags = (mode & PMR_DICT_MATCH_TAGS) != 0;
  bool copy = (mode & copy_bits) != 0;
  size_t position = 0;
  int32_t count = 0;
  uint32_t bucket = pmr::client_dict_bucket(word, dict->bucket_count);
  for (const Entry* entry = dict->buckets[bucket]; entry != nullptr; entry = entry->next) {
    if (!entry_matches(entry, word, tags, match_tags)) continue;
    if (copy) {
      const char* text = nullptr;
      size_t length = 0;
      select_text(entry->analysis, mode, &text, &length);
      size_t room = static_cast<size_t>(out_size) - position;
      if (length + 1 > room) {
        std::memcpy(out + position, text, length < room ? length : room);
        return PMR_OUTPUT_TOO_LONG;
      }
      std::memcpy(out + position, text, length);
      out[position + length] = '\0';
      position += length + 1;
    }
    if (count < INT32_MAX) ++count;
  }
  return count;
}

}  // extern "C"
