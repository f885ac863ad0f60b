// fstread.cpp - the library frame (error objects, messages, version, set-up)
// and everything about transducer files: loading and validating a file into
// a pmr_fsm, the alphabet and its special symbols, the two tag hash tables,
// the encoders and the decoder of coded strings, the metadata queries and
// header objects.
//
// The text block stays in file byte order; its 16-bit structures are read
// with get_be16. The loader checks every offset, length and count that it
// follows, so that the accessors used at run time only need cheap index
// checks. A file that fails a check is reported as PMR_FILE_TYPE_ERROR.
#include "fstread.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "version.h"

// A header object: the 92 file header bytes, numbers in host order.
struct pmr_header {
  uint8_t bytes[pmr::kHeaderSize];
};

namespace pmr {
namespace {

// ---------------------------------------------------------------------------
// Error objects and messages

constexpr int kErrorBlockSize = 61;
// Only the addresses of this block matter; it is never read or written.
const uint8_t kErrorBlock[kErrorBlockSize] = {};

bool in_error_block(const void* object, int32_t* code) {
  const uintptr_t first = reinterpret_cast<uintptr_t>(kErrorBlock);
  const uintptr_t address = reinterpret_cast<uintptr_t>(object);
  if (address < first || address >= first + kErrorBlockSize) return false;
  *code = -static_cast<int32_t>(address - first);
  return true;
}

struct MessageRow {
  int32_t code;
  const char* text;
};

const MessageRow kMessages[] = {
    {-1, "The file cannot be opened, either because it cannot be found or because it is "
         "protected or locked."},
    {-2, "The file is of the wrong type, or is damaged."},
    {-3, "Insufficient memory is available to complete the function."},
    {-4, "The library requires functionality not present in this operating system or in this "
         "version of the operating system."},
    {-5, "An invalid FSM object was passed to this function."},
    {-6, "An invalid client dictionary object was passed to this function."},
    {-8, "An invalid number was passed to this function."},
    {-10, "A character in the input word is not part of the alphabet for this lexical "
          "transducer."},
    {-11, "The specified function is invalid or is not supported by the FSM."},
    {-12, "The output of the function is too long to fit in the provided buffer."},
    {-13, "The backtracking stack overflowed, because there are too many pending ambiguities "
          "in the input during lookup."},
    {-14, "The input word contains an incomplete tag specifier."},
    {-15, "The input contains an unrecognizable token."},
    {-16, "The input to the tokenizer is incomplete, and needs to be extended before "
          "tokenization can succeed from this point."},
    {-17, "The class guesser has failed to recognize a token in the input.  This most often "
          "results from illegal characters in the input."},
    {-18, "An unrecognized class is returned by the class lexicon or class guesser.  This "
          "error message points to a defect in the class lexicon or class guesser."},
    {-19, "The input sentence contains too many tokens to fit in the given tagger buffer."},
    {-20, "The token buffer in the given tagger buffer is not large enough to contain the "
          "tokens in the input sentence."},
    {-21, "The client output buffer is too small to contain the output."},
    {-22, "The lookup buffer's coded input buffer is too small to contain the encoded "
          "representation of the input string."},
    {-23, "The lookup buffer's coded output buffer is too small to contain one of the "
          "results."},
    {-24, "The client output buffer is full of results, and there are additional results "
          "awaiting the continuation of the operation."},
    {-25, "The given CLG and HMM objects do not match in language and version number."},
    {-26, "An internal buffer is too small to hold the required data."},
    {-27, "The specified file loaded as client dictionary data contains an single-field entry "
          "before the first tag specification."},
    {-28, "Instead of a valid object, a null pointer was passed to this function."},
    {-29, "Input/output error."},
    {-44, "PMR_SOURCE_ERROR"},
    {-45, "Summarizer unknown error"},
    {-46, "PMR_LOADING_ERROR"},
    {-47, "PMR_STEM_ERROR"},
    {-48, "Summarizer initialization failed"},
    {-49, "PMR_TOKENIZER_INIT_ERROR"},
    {-50, "PMR_TOKENIZER_INIT_BUFFER_OVERFLOW"},
};

const char* message_text(int32_t code) {
  if (code >= 0) return "No error occurred.";
  for (const MessageRow& row : kMessages)
    if (row.code == code) return row.text;
  return "Unknown error code.";
}

// Copies a text of `length` bytes into a buffer of `size` bytes. A text
// that would fill the buffer exactly with its NUL is not accepted: it is
// cut by one more byte and reported as too long.
int32_t bounded_copy(const char* text, size_t length, char* buffer, int32_t size) {
  if (size <= 0) return PMR_OUTPUT_TOO_LONG;
  const size_t room = static_cast<size_t>(size);
  if (length + 2 <= room) {
    std::memcpy(buffer, text, length);
    buffer[length] = 0;
    return PMR_NO_ERROR;
  }
  const size_t kept = (length == room - 1) ? (room >= 2 ? room - 2 : 0) : room - 1;
  std::memcpy(buffer, text, kept);
  buffer[kept] = 0;
  return PMR_OUTPUT_TOO_LONG;
}

// Argument check shared by the operations that take a transducer: 0 when
// it is a real object, else -28 or the error object's code.
int32_t transducer_code(const pmr_fsm* fsm) {
  if (fsm == nullptr) return PMR_NULL_POINTER;
  return pmr_object_error_code(fsm);
}

// ---------------------------------------------------------------------------
// Header fields

constexpr uint8_t kHeader16[] = {0x00, 0x0c, 0x0e, 0x10, 0x12, 0x14, 0x1c, 0x1e,
                                 0x20, 0x28, 0x2a, 0x2c, 0x30, 0x38, 0x3c, 0x3e,
                                 0x48, 0x4a, 0x4c, 0x4e, 0x50, 0x54, 0x58, 0x5a};
constexpr uint8_t kHeader32[] = {0x08, 0x24, 0x40, 0x44};

void convert_header(const uint8_t* file_bytes, uint8_t* host) {
  std::memcpy(host, file_bytes, kHeaderSize);
  for (uint8_t at : kHeader16) store_u16(host + at, get_be16(file_bytes + at));
  for (uint8_t at : kHeader32) store_u32(host + at, get_be32(file_bytes + at));
}

uint16_t header16(const pmr_fsm* fsm, int at) { return load_u16(fsm->header + at); }
uint32_t header32(const pmr_fsm* fsm, int at) { return load_u32(fsm->header + at); }

// ---------------------------------------------------------------------------
// Reading the file

constexpr size_t kReadPiece = 32768;

bool read_in_pieces(std::FILE* file, uint8_t* into, size_t length) {
  while (length > 0) {
    const size_t piece = length < kReadPiece ? length : kReadPiece;
    if (std::fread(into, 1, piece, file) != piece) return false;
    into += piece;
    length -= piece;
  }
  return true;
}

// Size of an open file, or -1.
long file_length(std::FILE* file) {
  const long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long length = std::ftell(file);
  if (std::fseek(file, here, SEEK_SET) != 0) return -1;
  return length;
}

// ---------------------------------------------------------------------------
// Text block structures

// A word list at text offset `offset`: its length word stands just before
// it. False when the length word or the words do not fit.
bool word_list_at(const pmr_fsm* fsm, uint32_t offset, const uint8_t** words, uint32_t* count) {
  if (offset < 2) return false;
  const uint8_t* length_word = text_at(fsm, offset - 2, 2);
  if (length_word == nullptr) return false;
  const uint32_t n = get_be16(length_word);
  const uint8_t* first = text_at(fsm, offset, 2 * n);
  if (first == nullptr) return false;
  *words = first;
  *count = n;
  return true;
}

// A pooled name by name reference: its character words and their number.
bool pool_name(const pmr_fsm* fsm, uint32_t reference, const uint8_t** chars, uint32_t* length) {
  if (fsm->name_pool == nullptr || reference >= fsm->name_pool_words) return false;
  const uint32_t n = get_be16(fsm->name_pool + 2 * reference);
  if (n > fsm->name_pool_words - reference - 1) return false;
  *chars = fsm->name_pool + 2 * (reference + 1);
  *length = n;
  return true;
}

// A byte string equals a pooled name when the lengths agree and every byte
// equals the character word (a word with a high byte never matches).
bool name_equals(const pmr_fsm* fsm, uint32_t reference, const char* text) {
  const uint8_t* chars;
  uint32_t n;
  if (!pool_name(fsm, reference, &chars, &n)) return false;
  if (std::strlen(text) != n) return false;
  for (uint32_t i = 0; i < n; ++i)
    if (get_be16(chars + 2 * i) != static_cast<uint8_t>(text[i])) return false;
  return true;
}

// One property record, with its lists located and checked.
struct Property {
  const uint8_t* record;        // the five words
  uint32_t name_reference;
  const uint8_t* per_symbol;   // word list of name references
  uint32_t per_symbol_count;
  const uint8_t* member_names;  // n name references
  const uint8_t* member_values; // n symbol values
  uint32_t members;
};

bool read_property(const pmr_fsm* fsm, uint32_t record_offset, Property* property) {
  const uint8_t* record = text_at(fsm, record_offset, 10);
  if (record == nullptr) return false;
  property->record = record;
  property->name_reference = get_be16(record);
  property->members = get_be16(record + 6);
  if (!word_list_at(fsm, get_be16(record + 2), &property->per_symbol,
                    &property->per_symbol_count))
    return false;
  const uint32_t list_bytes = 2 * property->members;
  property->member_names = text_at(fsm, get_be16(record + 4), list_bytes);
  property->member_values = text_at(fsm, get_be16(record + 8), list_bytes);
  if (property->members > 0 &&
      (property->member_names == nullptr || property->member_values == nullptr))
    return false;
  return true;
}

uint32_t member_name_reference(const Property& property, uint32_t i) {
  return get_be16(property.member_names + 2 * i);
}
uint16_t member_value(const Property& property, uint32_t i) {
  return get_be16(property.member_values + 2 * i);
}

// The property list as a word list of record offsets.
bool property_list(const pmr_fsm* fsm, const uint8_t** offsets, uint32_t* count) {
  return word_list_at(fsm, header16(fsm, 0x1e), offsets, count);
}

bool find_property(const pmr_fsm* fsm, const char* name, Property* found) {
  const uint8_t* offsets;
  uint32_t count;
  if (!property_list(fsm, &offsets, &count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    Property property;
    if (!read_property(fsm, get_be16(offsets + 2 * i), &property)) continue;
    if (name_equals(fsm, property.name_reference, name)) {
      *found = property;
      return true;
    }
  }
  return false;
}

// Every record of the property list, its lists and its member names must
// lie inside the text block and the name pool.
bool check_properties(const pmr_fsm* fsm) {
  const uint8_t* offsets;
  uint32_t count;
  if (!property_list(fsm, &offsets, &count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    Property property;
    if (!read_property(fsm, get_be16(offsets + 2 * i), &property)) return false;
    const uint8_t* chars;
    uint32_t n;
    if (!pool_name(fsm, property.name_reference, &chars, &n)) return false;
    for (uint32_t m = 0; m < property.members; ++m)
      if (!pool_name(fsm, member_name_reference(property, m), &chars, &n)) return false;
  }
  return true;
}

bool locate_name_pool(pmr_fsm* fsm) {
  const uint32_t offset = header16(fsm, 0x5a);
  const uint8_t* first = text_at(fsm, offset, 2);
  if (first == nullptr) return false;
  const uint32_t bytes = get_be16(first);
  if (text_at(fsm, offset, bytes) == nullptr) return false;
  fsm->name_pool = first;
  fsm->name_pool_words = bytes / 2;
  return true;
}

bool locate_symbol_chars(pmr_fsm* fsm) {
  return word_list_at(fsm, header16(fsm, 0x38), &fsm->symbol_chars, &fsm->symbol_count);
}

constexpr uint32_t kCharMapSize = 16;

bool locate_code_table(pmr_fsm* fsm) {
  const uint32_t maps = fsm->header[0x52];
  if (maps == 0) return false;
  const uint8_t* map = text_at(fsm, header16(fsm, 0x14), maps * kCharMapSize);
  if (map == nullptr) return false;
  const uint32_t entries = get_be16(map + 6);
  const uint32_t width = fsm->code16 ? 2 : 1;
  const uint8_t* table = text_at(fsm, get_be16(map + 8), entries * width);
  if (table == nullptr) return false;
  fsm->code_table = table;
  fsm->code_table_entries = entries;
  fsm->highest_char = map[1];
  fsm->lowest_char = map[5];
  return true;
}

// Near and far tables carry no length: each covers the whole entries that
// fit between its offset and the end of the text block (none when the
// offset lies outside the block).
void locate_position_table(const pmr_fsm* fsm, uint32_t offset, const uint8_t** table,
                           uint32_t* count) {
  *table = nullptr;
  *count = 0;
  const uint8_t* first = text_at(fsm, offset, 0);
  if (first == nullptr) return;
  const uint32_t width = fsm->table_width;
  *table = first;
  *count = (fsm->text_size - (offset - fsm->text_bias)) / width;
}

bool locate_function_table(pmr_fsm* fsm) {
  const uint32_t offset = header16(fsm, 0x3e);
  const uint8_t* table = text_at(fsm, offset, 1);
  if (table == nullptr || text_at(fsm, offset, 1u + table[0]) == nullptr) return false;
  fsm->function_table = table;
  return true;
}

// Every function that names a network must name one that exists.
bool check_function_table(const pmr_fsm* fsm) {
  const uint8_t* table = fsm->function_table;
  for (uint32_t f = 1; f <= table[0]; ++f)
    if (table[f] != kNoNetwork && table[f] >= fsm->network_count) return false;
  return true;
}

constexpr uint32_t kDescriptorSize = 36;

bool build_networks(pmr_fsm* fsm, int32_t* code) {
  const uint32_t count = fsm->header[0x2f];
  if (count == 0) return true;
  const uint8_t* directory = text_at(fsm, header16(fsm, 0x2a), 2 * count);
  if (directory == nullptr) {
    *code = PMR_FILE_TYPE_ERROR;
    return false;
  }
  fsm->networks = new (std::nothrow) Network[count];
  if (fsm->networks == nullptr) {
    *code = PMR_MEMORY_ERROR;
    return false;
  }
  fsm->network_count = count;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* descriptor = text_at(fsm, get_be16(directory + 2 * i), kDescriptorSize);
    if (descriptor == nullptr) {
      *code = PMR_FILE_TYPE_ERROR;
      return false;
    }
    Network& network = fsm->networks[i];
    network.start = get_be32(descriptor + 0x08);
    network.lowest_input_label = descriptor[0x15];
    network.flag_marker = descriptor[0x20];
    network.initial_flags = get_be16(descriptor + 0x22);
    if (network.start >= fsm->network_size) {
      *code = PMR_FILE_TYPE_ERROR;
      return false;
    }
  }
  return true;
}

// The copyright record: a length byte and that many bytes of text.
bool check_copyright(pmr_fsm* fsm) {
  const uint32_t offset = fsm->header[0x06];
  const uint8_t* record = text_at(fsm, offset, 1);
  if (record == nullptr || text_at(fsm, offset, 1u + record[0]) == nullptr) return false;
  fsm->copyright_at = offset - fsm->text_bias;
  return true;
}

void read_layout_bytes(pmr_fsm* fsm) {
  const uint8_t* h = fsm->header;
  fsm->page_byte = h[0x17];
  fsm->near_base = h[0x18];
  fsm->far_base = h[0x19];
  fsm->direct_base = h[0x1a];
  fsm->label_base = h[0x1b];
  fsm->long_direct = (h[0x22] & 1) != 0;
  fsm->code16 = (h[0x22] & 2) != 0;
  fsm->block_label = h[0x23];
  fsm->page_size = h[0x2e];
  fsm->page_after = (h[0x33] & 0x80) != 0;
  fsm->has_bound_byte = (h[0x33] & 0x40) != 0;
  fsm->has_offset_table = (h[0x33] & 0x20) != 0;
  fsm->table_width = h[0x3a] == 2 ? 2 : 3;
  fsm->replacement_marker = h[0x56];
}

// ---------------------------------------------------------------------------
// Special symbols

void read_special_symbols(pmr_fsm* fsm) {
  const uint16_t separator = special_symbol_value(fsm, "*TAGSEP*");
  fsm->tag_separator = separator != 0 ? uint8_t(separator >> 8) : 0;
  const uint16_t end = special_symbol_value(fsm, "EOS");
  fsm->end_of_string = end != 0 ? uint8_t(end >> 8) : 1;
  const uint16_t boundary = special_symbol_value(fsm, "TB");
  fsm->token_boundary = boundary != 0 ? uint8_t(boundary >> 8) : 1;
  if (fsm->end_of_string == 1) fsm->end_of_string = fsm->token_boundary;
  const uint16_t end_of_file = special_symbol_value(fsm, "EOF");
  fsm->end_of_file = end_of_file != 0 ? uint8_t(end_of_file >> 8) : 1;
  fsm->end_of_file_pages = end_of_file != 0 ? uint8_t(end_of_file) : 0;
}

// ---------------------------------------------------------------------------
// Tag hash tables

uint32_t home_slot_by_code(uint16_t key) {
  return ((uint32_t(key >> 6) & 0xFC) + key) % kTagsByCodeSlots;
}

uint32_t elf_hash(const char* name) {
  uint32_t h = 0;
  for (const char* p = name; *p != 0; ++p) {
    const int32_t c = static_cast<int8_t>(*p);
    h = (h << 4) + static_cast<uint32_t>(c);
    const uint32_t g = h & 0xF0000000u;
    if (g != 0) h = h ^ (g >> 24) ^ g;
  }
  return h;
}

uint32_t home_slot_by_name(const char* name) { return elf_hash(name) % kTagsByNameSlots; }

void insert_by_code(TagByCode* table, uint16_t key, char* name) {
  const uint32_t home = home_slot_by_code(key);
  uint32_t i = home;
  do {
    if (table[i].key == 0 || table[i].key == key) {
      table[i].key = key;
      table[i].name = name;
      return;
    }
    i = (i + 1) % kTagsByCodeSlots;
  } while (i != home);
}

void insert_by_name(TagByName* table, char* name, uint16_t value) {
  const uint32_t home = home_slot_by_name(name);
  uint32_t i = home;
  do {
    if (table[i].name == nullptr || std::strcmp(table[i].name, name) == 0) {
      table[i].name = name;
      table[i].value = value;
      return;
    }
    i = (i + 1) % kTagsByNameSlots;
  } while (i != home);
}

// Builds both tables from the members of "TAGMODE". All name copies live in
// one owned store, so that a replaced or dropped slot never loses a copy.
bool build_tag_tables(pmr_fsm* fsm, const Property& tagmode) {
  size_t store_size = 0;
  for (uint32_t m = 0; m < tagmode.members; ++m) {
    const uint8_t* chars;
    uint32_t n;
    if (pool_name(fsm, member_name_reference(tagmode, m), &chars, &n)) store_size += n + 1;
  }
  fsm->tags_by_code = new (std::nothrow) TagByCode[kTagsByCodeSlots]();
  fsm->tags_by_name = new (std::nothrow) TagByName[kTagsByNameSlots]();
  fsm->tag_name_store = new (std::nothrow) char[store_size + 1];
  if (fsm->tags_by_code == nullptr || fsm->tags_by_name == nullptr ||
      fsm->tag_name_store == nullptr)
    return false;
  char* next = fsm->tag_name_store;
  for (uint32_t m = 0; m < tagmode.members; ++m) {
    const uint8_t* chars;
    uint32_t n;
    if (!pool_name(fsm, member_name_reference(tagmode, m), &chars, &n)) continue;
    char* copy = next;
    for (uint32_t i = 0; i < n; ++i) copy[i] = static_cast<char>(chars[2 * i + 1]);
    copy[n] = 0;
    next += n + 1;
    const uint16_t value = member_value(tagmode, m);
    insert_by_code(fsm->tags_by_code, value, copy);
    insert_by_name(fsm->tags_by_name, copy, value);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Loading

void release(pmr_fsm* fsm) {
  delete[] fsm->tags_by_code;
  delete[] fsm->tags_by_name;
  delete[] fsm->tag_name_store;
  delete[] fsm->networks;
  delete[] fsm->network_block;
  delete[] fsm->text_block;
  delete fsm;
}

// Reads the header, the text block and the network block (load steps 3 to 7).
int32_t read_blocks(std::FILE* file, pmr_fsm* fsm) {
  uint8_t raw[kHeaderSize];
  if (std::fread(raw, 1, kHeaderSize, file) != size_t(kHeaderSize)) return PMR_FILE_TYPE_ERROR;
  convert_header(raw, fsm->header);
  if (fsm->header[0x04] != 1) return PMR_FILE_TYPE_ERROR;
  fsm->text_bias = fsm->header[0x03];
  const uint32_t text_end = header16(fsm, 0x12);
  if (text_end < fsm->text_bias) return PMR_FILE_TYPE_ERROR;
  const long length = file_length(file);
  if (length < 0) return PMR_MEMORY_ERROR;
  fsm->text_size = text_end - fsm->text_bias;
  if (uint64_t(kHeaderSize) + fsm->text_size > uint64_t(length)) return PMR_MEMORY_ERROR;
  fsm->text_block = new (std::nothrow) uint8_t[fsm->text_size + 1];
  if (fsm->text_block == nullptr) return PMR_MEMORY_ERROR;
  if (!read_in_pieces(file, fsm->text_block, fsm->text_size)) return PMR_MEMORY_ERROR;

  fsm->network_size = header32(fsm, 0x44);
  if (uint64_t(text_end) + fsm->network_size > uint64_t(length)) return PMR_MEMORY_ERROR;
  fsm->network_block = new (std::nothrow) uint8_t[size_t(fsm->network_size) + kNetworkPadding];
  if (fsm->network_block == nullptr) return PMR_MEMORY_ERROR;
  std::memset(fsm->network_block + fsm->network_size, 0, kNetworkPadding);
  if (std::fseek(file, long(text_end), SEEK_SET) != 0) return PMR_MEMORY_ERROR;
  if (!read_in_pieces(file, fsm->network_block, fsm->network_size)) return PMR_MEMORY_ERROR;
  return PMR_NO_ERROR;
}

// Locates and checks the text-block structures (load steps 8 to 11).
int32_t locate_structures(pmr_fsm* fsm) {
  read_layout_bytes(fsm);
  if (fsm->header[0x52] == 0) return PMR_FILE_TYPE_ERROR;
  if (!check_copyright(fsm) || !locate_name_pool(fsm) || !locate_symbol_chars(fsm) ||
      !check_properties(fsm) || !locate_code_table(fsm) || !locate_function_table(fsm))
    return PMR_FILE_TYPE_ERROR;
  locate_position_table(fsm, header16(fsm, 0x0c), &fsm->near_table, &fsm->near_count);
  locate_position_table(fsm, header16(fsm, 0x0e), &fsm->far_table, &fsm->far_count);
  int32_t code = PMR_NO_ERROR;
  if (!build_networks(fsm, &code)) return code;
  if (!check_function_table(fsm)) return PMR_FILE_TYPE_ERROR;
  return PMR_NO_ERROR;
}

// Special symbols and tag tables (load steps 13 and 14).
int32_t read_alphabet(pmr_fsm* fsm) {
  read_special_symbols(fsm);
  Property tagmode;
  if (!find_property(fsm, "TAGMODE", &tagmode)) return PMR_NO_ERROR;
  fsm->tagmode = tagmode.record;
  fsm->tag_name_list = tagmode.per_symbol;
  fsm->tag_name_count = tagmode.per_symbol_count;
  if (!build_tag_tables(fsm, tagmode)) return PMR_MEMORY_ERROR;
  return PMR_NO_ERROR;
}

int32_t load_transducer(std::FILE* file, pmr_fsm* fsm) {
  int32_t code = read_blocks(file, fsm);
  if (code == PMR_NO_ERROR) code = locate_structures(fsm);
  return code;
}

// Version line of the text area that follows the copyright record.
bool is_version_char(uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         c == '-' || c == '_' || c == '/' || c == '.';
}

// Bytes 128 and above count as control bytes (they are negative as signed).
bool is_line_byte(uint8_t c) { return static_cast<int8_t>(c) >= 32; }

void find_version_text(const pmr_fsm* fsm, const uint8_t** text, size_t* length) {
  const uint8_t* block = fsm->text_block;
  const uint32_t end = fsm->text_size;
  const uint32_t q = fsm->copyright_at + 1 + block[fsm->copyright_at];
  uint32_t i = q;
  while (i < end && i - q < 1000 && is_line_byte(block[i])) ++i;
  uint32_t start = q;
  if (end - i >= 4 && block[i] == '\r' && block[i + 1] == '\n' && block[i + 2] == '\r' &&
      block[i + 3] == '\n')
    start = i + 4;
  uint32_t stop = start;
  while (stop < end && is_line_byte(block[stop])) ++stop;
  const uint32_t n = stop - start;
  bool valid = n >= 1 && n <= 64;
  bool has_dot = false;
  for (uint32_t k = start; valid && k < stop; ++k) {
    valid = is_version_char(block[k]);
    has_dot = has_dot || block[k] == '.';
  }
  if (valid && has_dot) {
    *text = block + start;
    *length = n;
  } else {
    *text = reinterpret_cast<const uint8_t*>("1.0");
    *length = 3;
  }
}

// Copyright text without its line breaks: CR LF inside the text becomes one
// space, a CR before another byte a space, a CR or CR LF at the end nothing.
void copy_copyright(const uint8_t* text, uint32_t n, char* out) {
  uint32_t i = 0;
  while (i < n) {
    const uint8_t c = text[i];
    if (c != '\r') {
      *out++ = static_cast<char>(c);
      ++i;
    } else if (i + 1 >= n) {
      ++i;
    } else if (text[i + 1] == '\n') {
      if (i + 2 < n) *out++ = ' ';
      i += 2;
    } else {
      *out++ = ' ';
      *out++ = static_cast<char>(text[i + 1]);
      i += 2;
    }
  }
  *out = 0;
}

// ---------------------------------------------------------------------------
// Coded strings

void write_symbol(uint8_t* out, int32_t* length, uint8_t code, uint32_t pages, bool page_after,
                  uint8_t page_byte) {
  uint8_t* at = out + *length;
  // Most symbols have no page byte or a few: a short loop, not a call.
  if (page_after) {
    *at++ = code;
    for (uint32_t k = 0; k < pages; ++k) at[k] = page_byte;
  } else {
    for (uint32_t k = 0; k < pages; ++k) at[k] = page_byte;
    at[pages] = code;
  }
  *length += int32_t(pages) + 1;
}

// Code table entry of a byte, 0 when it is not in the alphabet.
uint16_t code_entry(const pmr_fsm* fsm, uint8_t c) {
  if (c < fsm->lowest_char || c > fsm->highest_char) return 0;
  const uint32_t index = uint32_t(c) - fsm->lowest_char;
  if (index >= fsm->code_table_entries) return 0;
  return fsm->code16 ? get_be16(fsm->code_table + 2 * index) : fsm->code_table[index];
}

constexpr int kTagNameLimit = 61;

// The name of a bracketed tag starting after "[" at `p`: its length, or -1
// when no "]" ends it within the limit.
int tag_name_span(const uint8_t* p) {
  for (int i = 0; i <= kTagNameLimit; ++i) {
    if (p[i] == 0) return -1;
    if (p[i] == ']') return i;
  }
  return -1;
}

int32_t finish_coded_string(uint8_t* output, int32_t length, int32_t output_size,
                            bool end_of_string, bool closing_separator, const pmr_fsm* fsm) {
  const bool write_end = end_of_string && fsm->end_of_string != 1;
  const int64_t needed = int64_t(length) + (write_end ? 1 : 0) + (closing_separator ? 1 : 0) + 1;
  if (needed > output_size) return PMR_OUTPUT_TOO_LONG;
  if (write_end) output[length++] = fsm->end_of_string;
  if (closing_separator) output[length++] = fsm->tag_separator;
  output[length] = 0;
  return length;
}

}  // namespace

// ---------------------------------------------------------------------------
// Services of fstread.h

bool is_real_object(const void* object) {
  int32_t code;
  return object != nullptr && !in_error_block(object, &code);
}

void* error_object_for(int32_t code) {
  if (code < -60) code = PMR_SUMMARIZER_UNKNOWN_ERROR;
  if (code > 0) code = 0;
  return const_cast<uint8_t*>(kErrorBlock) + (-code);
}

const uint8_t* text_at(const pmr_fsm* fsm, uint32_t offset, uint32_t length) {
  if (offset < fsm->text_bias) return nullptr;
  const uint32_t index = offset - fsm->text_bias;
  if (index > fsm->text_size || length > fsm->text_size - index) return nullptr;
  return fsm->text_block + index;
}

uint8_t network_for_function(const pmr_fsm* fsm, int f) {
  if (f <= 0 || fsm->function_table == nullptr || fsm->function_table[0] < f) return kNoNetwork;
  return fsm->function_table[f];
}

const Network* network_at(const pmr_fsm* fsm, uint32_t index) {
  return index < fsm->network_count ? &fsm->networks[index] : nullptr;
}

bool table_entry(const pmr_fsm* fsm, bool far, uint32_t index, uint32_t* position) {
  const uint8_t* table = far ? fsm->far_table : fsm->near_table;
  const uint32_t count = far ? fsm->far_count : fsm->near_count;
  if (table == nullptr || index >= count) return false;
  const uint8_t* entry = table + index * fsm->table_width;
  const uint32_t value = fsm->table_width == 2 ? get_be16(entry) : get_be24(entry);
  if (value >= fsm->network_size) return false;
  *position = value;
  return true;
}

uint8_t symbol_char(const pmr_fsm* fsm, uint32_t index) {
  if (index >= fsm->symbol_count) return '?';
  return fsm->symbol_chars[2 * index + 1];
}

uint32_t tag_name_length(const pmr_fsm* fsm, uint32_t index) {
  if (fsm->tag_name_list == nullptr || index >= fsm->tag_name_count) return 0;
  const uint8_t* chars;
  uint32_t n;
  if (!pool_name(fsm, get_be16(fsm->tag_name_list + 2 * index), &chars, &n)) return 0;
  return n;
}

uint16_t special_symbol_value(const pmr_fsm* fsm, const char* name) {
  Property diacritics;
  if (!find_property(fsm, "*DIACRITICS*", &diacritics)) return 0;
  for (uint32_t m = 0; m < diacritics.members; ++m)
    if (name_equals(fsm, member_name_reference(diacritics, m), name))
      return member_value(diacritics, m);
  return 0;
}

uint16_t tag_value_by_name(const pmr_fsm* fsm, const char* name) {
  if (fsm->tags_by_name == nullptr) return 0;
  const uint32_t home = home_slot_by_name(name);
  uint32_t i = home;
  do {
    const TagByName& slot = fsm->tags_by_name[i];
    if (slot.name == nullptr) return 0;
    if (std::strcmp(slot.name, name) == 0) return slot.value;
    i = (i + 1) % kTagsByNameSlots;
  } while (i != home);
  return 0;
}

const char* tag_name_by_value(const pmr_fsm* fsm, uint16_t value) {
  if (fsm->tags_by_code == nullptr || value == 0) return nullptr;
  const uint32_t home = home_slot_by_code(value);
  uint32_t i = home;
  do {
    const TagByCode& slot = fsm->tags_by_code[i];
    if (slot.key == value) return slot.name;
    if (slot.key == 0) return nullptr;
    i = (i + 1) % kTagsByCodeSlots;
  } while (i != home);
  return nullptr;
}

int32_t tag_count(const pmr_fsm* fsm) {
  Property tagmode;
  if (!find_property(fsm, "TAGMODE", &tagmode)) return 0;
  return int32_t(tagmode.members);
}

int32_t list_tags(const pmr_fsm* fsm, uint16_t* values, int32_t capacity, char* names,
                  int32_t names_size) {
  Property tagmode;
  if (!find_property(fsm, "TAGMODE", &tagmode)) return 0;
  int64_t used = 0;
  for (uint32_t m = 0; m < tagmode.members; ++m) {
    if (int64_t(m) >= capacity) return PMR_OUTPUT_TOO_LONG;
    const uint8_t* chars;
    uint32_t n;
    if (!pool_name(fsm, member_name_reference(tagmode, m), &chars, &n)) n = 0;
    if (int64_t(n) + 1 > int64_t(names_size) - used) return PMR_OUTPUT_TOO_LONG;
    char* copy = names + used;
    for (uint32_t i = 0; i < n; ++i) copy[i] = static_cast<char>(chars[2 * i + 1]);
    copy[n] = 0;
    used += n + 1;
    if (values != nullptr) values[m] = member_value(tagmode, m);
  }
  return int32_t(tagmode.members);
}

int32_t encode_byte_string(const uint8_t* input, int32_t limit, uint8_t* output,
                           int32_t output_size, bool tags, bool end_of_string,
                           bool closing_separator, const pmr_fsm* fsm) {
  int32_t length = 0;
  bool in_tag_run = false;
  int64_t consumed = 0;
  while (consumed < limit) {
    const uint8_t c = input[consumed];
    if (c == 0) break;
    uint16_t value;
    uint8_t code;
    uint32_t pages;
    if (c == '[' && tags) {
      if (!in_tag_run) {
        if (int64_t(length) + 4 >= output_size) return PMR_OUTPUT_TOO_LONG;
        output[length++] = fsm->tag_separator;
        in_tag_run = true;
      }
      const int span = tag_name_span(input + consumed + 1);
      if (span < 0) return PMR_INCOMPLETE_TAG;
      char name[kTagNameLimit + 1];
      std::memcpy(name, input + consumed + 1, size_t(span));
      name[span] = 0;
      consumed += span + 2;
      value = tag_value_by_name(fsm, name);
      code = uint8_t(value >> 8) & 0xFC;
      pages = value & 0x3FF;
    } else {
      if (in_tag_run) {
        if (int64_t(length) + 3 >= output_size) return PMR_OUTPUT_TOO_LONG;
        output[length++] = fsm->tag_separator;
        in_tag_run = false;
      }
      value = code_entry(fsm, c);
      ++consumed;
      if (fsm->code16) {
        code = uint8_t(value >> 8) & 0xFC;
        pages = value & 0x3FF;
      } else {
        code = uint8_t(value) & 0xFC;
        pages = value & 3;
      }
    }
    if (value == 0) return PMR_CHAR_NOT_IN_ALPHABET;
    if (int64_t(length) + pages + 3 >= output_size) return PMR_OUTPUT_TOO_LONG;
    write_symbol(output, &length, code, pages, fsm->page_after, fsm->page_byte);
  }
  return finish_coded_string(output, length, output_size, end_of_string, closing_separator, fsm);
}

int32_t encode_tag_list(const char* names, int32_t count, int32_t first, uint8_t* output,
                        int32_t output_size, uint8_t* skip_marks, uint8_t* underscore_marks,
                        const pmr_fsm* fsm) {
  int32_t length = 0;
  bool in_tag_run = false;
  const char* name = names;
  for (int32_t i = 0; i < count; ++i, name += std::strlen(name) + 1) {
    const bool underscore = name[0] == '_';
    const bool skip = name[0] == 0 || underscore;
    if (skip_marks != nullptr) skip_marks[first + i] = skip ? 1 : 0;
    if (underscore_marks != nullptr) underscore_marks[first + i] = underscore ? 1 : 0;
    if (skip) continue;
    if (!in_tag_run) {
      if (int64_t(length) + 3 >= output_size) return PMR_OUTPUT_TOO_LONG;
      output[length++] = fsm->tag_separator;
      in_tag_run = true;
    }
    const uint16_t value = tag_value_by_name(fsm, name);
    if (value == 0) return PMR_CHAR_NOT_IN_ALPHABET;
    const uint32_t pages = value & 0xFF;
    if (int64_t(length) + pages + 3 >= output_size) return PMR_OUTPUT_TOO_LONG;
    write_symbol(output, &length, uint8_t(value >> 8), pages, fsm->page_after, fsm->page_byte);
  }
  const bool write_end = fsm->end_of_string != 1;
  if (int64_t(length) + (write_end ? 2 : 1) > output_size) return PMR_OUTPUT_TOO_LONG;
  if (write_end) output[length++] = fsm->end_of_string;
  output[length] = 0;
  return length;
}

int32_t decode(const uint8_t* coded, uint8_t* output, int32_t output_size, bool stop_at_eos,
               const pmr_fsm* fsm) {
  if (output_size <= 0) return PMR_OUTPUT_TOO_LONG;
  const int64_t end = output_size;
  int64_t at = 0;
  uint32_t page_offset = 0;
  bool tag_mode = false;
  const uint8_t* next = coded;
  uint8_t current = 1;  // in the page-before layout only a placeholder
  if (fsm->page_after) {
    current = *next++;
    if (current == 0) {
      output[0] = 0;
      return 0;
    }
  }
  for (;;) {
    const uint8_t b = *next++;
    if (!fsm->page_after && b == 0) break;
    if (b != 0 && b == fsm->page_byte) {
      page_offset += fsm->page_size;
      continue;
    }
    const uint8_t s = fsm->page_after ? current : b;
    if (s == fsm->end_of_string && page_offset == 0) {
      if (stop_at_eos) break;
      output[at++] = 0;
      if (at == end) return PMR_OUTPUT_TOO_LONG;
    } else if (s == fsm->tag_separator && page_offset == 0) {
      tag_mode = !tag_mode;
    } else {
      if (tag_mode && fsm->tags_by_code != nullptr) {
        const uint32_t page = (page_offset == 0 || fsm->page_size == 0)
                                  ? 0
                                  : page_offset / fsm->page_size;
        const uint16_t key = uint16_t(((s & 0xFC) << 8) | page);
        const char* name = tag_name_by_value(fsm, key);
        if (name == nullptr) name = "???";
        const int64_t n = int64_t(std::strlen(name));
        if (at + 68 >= end || at + n + 2 >= end) return PMR_OUTPUT_TOO_LONG;
        output[at++] = '[';
        std::memcpy(output + at, name, size_t(n));
        at += n;
        output[at++] = ']';
      } else {
        const int32_t index = ((int32_t(s) - int32_t(fsm->label_base)) >> 2) + int32_t(page_offset);
        output[at++] = index < 0 ? '?' : symbol_char(fsm, uint32_t(index));
      }
      page_offset = 0;
      if (at >= end) return PMR_OUTPUT_TOO_LONG;
    }
    current = b;
    if (current == 0) break;
  }
  output[at] = 0;
  return int32_t(at);
}

}  // namespace pmr

using pmr::is_real_object;

// ---------------------------------------------------------------------------
// Exported: library frame

extern "C" {

int32_t pmr_init_library(void) { return PMR_NO_ERROR; }
void pmr_free_library(void) {}

int32_t pmr_library_version(char* buffer, int32_t size) {
  if (buffer == nullptr) return PMR_NULL_POINTER;
  if (size < 0) return PMR_INVALID_NUMBER;
  return pmr::bounded_copy(PMR_VERSION_TEXT, std::strlen(PMR_VERSION_TEXT), buffer, size);
}

void* pmr_error_object(int32_t code) {
  if (code >= 0) code = PMR_INVALID_NUMBER;
  return pmr::error_object_for(code);
}

int32_t pmr_object_error_code(const void* object) {
  if (object == nullptr) return PMR_NULL_POINTER;
  int32_t code = 0;
  if (pmr::in_error_block(object, &code)) return code;
  return PMR_NO_ERROR;
}

int32_t pmr_error_message(int32_t code, char* buffer, int32_t size) {
  if (buffer == nullptr) return PMR_NULL_POINTER;
  if (size < 0) return PMR_INVALID_NUMBER;
  const char* text = pmr::message_text(code);
  return pmr::bounded_copy(text, std::strlen(text), buffer, size);
}

int32_t pmrInitLexicalLibrary(void) { return pmr_init_library(); }
void pmrFreeLexicalLibrary(void) { pmr_free_library(); }
int32_t pmrLexicalLibraryVersion(char* buffer, int32_t size) {
  return pmr_library_version(buffer, size);
}
void* pmrErrorObject(int32_t code) { return pmr_error_object(code); }
int32_t pmrObjectErrorCode(const void* object) { return pmr_object_error_code(object); }
int32_t pmrLexicalTransducerErrorCode(const pmr_fsm* transducer) {
  return pmr_object_error_code(transducer);
}
int32_t pmrLexicalLibraryErrorMessage(int32_t code, char* buffer, int32_t size) {
  return pmr_error_message(code, buffer, size);
}

// ---------------------------------------------------------------------------
// Exported: transducers

pmr_fsm* pmr_make_fsm(const char* file_name) {
  if (file_name == nullptr) return static_cast<pmr_fsm*>(pmr::error_object_for(PMR_NULL_POINTER));
  std::FILE* file = std::fopen(file_name, "rb");
  if (file == nullptr) return static_cast<pmr_fsm*>(pmr::error_object_for(PMR_FILE_OPEN_ERROR));
  pmr_fsm* fsm = new (std::nothrow) pmr_fsm{};
  if (fsm == nullptr) {
    std::fclose(file);
    return static_cast<pmr_fsm*>(pmr::error_object_for(PMR_MEMORY_ERROR));
  }
  int32_t code = pmr::load_transducer(file, fsm);
  std::fclose(file);
  if (code == PMR_NO_ERROR) code = pmr::read_alphabet(fsm);
  if (code != PMR_NO_ERROR) {
    pmr::release(fsm);
    return static_cast<pmr_fsm*>(pmr::error_object_for(code));
  }
  return fsm;
}

void pmr_free_fsm(pmr_fsm* transducer) {
  if (!is_real_object(transducer)) return;
  pmr::release(transducer);
}

pmr_fsm* pmrOpenLexicalTransducer(const char* file_name) { return pmr_make_fsm(file_name); }
void pmrCloseLexicalTransducer(pmr_fsm* transducer) { pmr_free_fsm(transducer); }

int32_t pmrEncodeByteString(const char* input, char* output, int32_t output_size, int32_t mode,
                            const pmr_fsm* transducer) {
  if (input == nullptr || output == nullptr) return PMR_NULL_POINTER;
  const int32_t object_code = pmr::transducer_code(transducer);
  if (object_code != PMR_NO_ERROR) return object_code;
  if (output_size < 0) return PMR_INVALID_NUMBER;
  uint8_t* out = reinterpret_cast<uint8_t*>(output);
  const int32_t length =
      pmr::encode_byte_string(reinterpret_cast<const uint8_t*>(input), INT32_MAX, out,
                              output_size, mode == 1, mode == 0, false, transducer);
  if (mode != 2 || length < 0) return length;
  const uint32_t pages = transducer->end_of_file_pages;
  if (int64_t(pages) + length + 2 >= output_size) return PMR_OUTPUT_TOO_LONG;
  int32_t at = length;
  pmr::write_symbol(out, &at, transducer->end_of_file, pages, transducer->page_after,
                    transducer->page_byte);
  out[at] = 0;
  return at;
}

// ---------------------------------------------------------------------------
// Exported: metadata

int32_t pmr_fsm_copyright(char* buffer, int32_t size, const pmr_fsm* transducer) {
  if (buffer == nullptr || transducer == nullptr) return PMR_NULL_POINTER;
  const int32_t object_code = pmr_object_error_code(transducer);
  if (object_code != PMR_NO_ERROR) return object_code;
  if (size < 0) return PMR_INVALID_NUMBER;
  const uint8_t* record = transducer->text_block + transducer->copyright_at;
  const uint32_t n = record[0];
  if (n + 1 >= uint32_t(size)) return PMR_OUTPUT_TOO_LONG;
  pmr::copy_copyright(record + 1, n, buffer);
  return PMR_NO_ERROR;
}

int32_t pmr_fsm_version(char* buffer, int32_t size, const pmr_fsm* transducer) {
  if (buffer == nullptr || transducer == nullptr) return PMR_NULL_POINTER;
  const int32_t object_code = pmr_object_error_code(transducer);
  if (object_code != PMR_NO_ERROR) return object_code;
  if (size < 0) return PMR_INVALID_NUMBER;
  const uint8_t* text;
  size_t length;
  pmr::find_version_text(transducer, &text, &length);
  return pmr::bounded_copy(reinterpret_cast<const char*>(text), length, buffer, size);
}

uint32_t pmr_fsm_creation_date(const pmr_fsm* transducer) {
  if (!is_real_object(transducer)) return 0;
  return pmr::header32(transducer, 0x08);
}

int32_t pmr_fsm_language(const pmr_fsm* transducer) {
  const int32_t object_code = pmr::transducer_code(transducer);
  if (object_code != PMR_NO_ERROR) return object_code;
  return transducer->header[0x07];
}

int32_t pmr_fsm_char_encoding(const pmr_fsm* transducer) {
  const int32_t object_code = pmr::transducer_code(transducer);
  if (object_code != PMR_NO_ERROR) return object_code;
  return transducer->header[0x32];
}

uint32_t pmr_fsm_capabilities(const pmr_fsm* transducer) {
  if (!is_real_object(transducer)) return 0;
  const auto supported = [transducer](int f) {
    return pmr::network_for_function(transducer, f) != pmr::kNoNetwork;
  };
  uint32_t bits = 0;
  if (supported(12)) bits += 1 + 8;
  if (supported(27)) bits += 2 + 64;
  if (supported(28)) bits += 4;
  if (supported(60) && supported(61)) bits += 16;
  if (supported(1)) bits += 128;
  if (supported(62)) bits += 256;
  return bits;
}

int32_t pmrLexicalTransducerCopyrightMessage(char* buffer, int32_t size,
                                             const pmr_fsm* transducer) {
  return pmr_fsm_copyright(buffer, size, transducer);
}
int32_t pmrLexicalTransducerVersion(char* buffer, int32_t size, const pmr_fsm* transducer) {
  return pmr_fsm_version(buffer, size, transducer);
}
uint32_t pmrLexicalTransducerCreationDate(const pmr_fsm* transducer) {
  return pmr_fsm_creation_date(transducer);
}
int32_t pmrLexicalTransducerLanguage(const pmr_fsm* transducer) {
  return pmr_fsm_language(transducer);
}
int32_t pmrLexicalTransducerCharEncoding(const pmr_fsm* transducer) {
  return pmr_fsm_char_encoding(transducer);
}
uint32_t pmrLexicalTransducerCapabilities(const pmr_fsm* transducer) {
  return pmr_fsm_capabilities(transducer);
}

// ---------------------------------------------------------------------------
// Exported: header objects

pmr_header* pmr_make_header(const char* file_name) {
  if (file_name == nullptr)
    return static_cast<pmr_header*>(pmr::error_object_for(PMR_NULL_POINTER));
  std::FILE* file = std::fopen(file_name, "rb");
  if (file == nullptr)
    return static_cast<pmr_header*>(pmr::error_object_for(PMR_FILE_OPEN_ERROR));
  pmr_header* header = new (std::nothrow) pmr_header;
  if (header == nullptr) {
    std::fclose(file);
    return static_cast<pmr_header*>(pmr::error_object_for(PMR_MEMORY_ERROR));
  }
  uint8_t raw[pmr::kHeaderSize];
  const bool complete = std::fread(raw, 1, pmr::kHeaderSize, file) == size_t(pmr::kHeaderSize);
  std::fclose(file);
  if (!complete || raw[0x04] != 1) {
    delete header;
    return static_cast<pmr_header*>(pmr::error_object_for(PMR_FILE_TYPE_ERROR));
  }
  pmr::convert_header(raw, header->bytes);
  return header;
}

void pmr_free_header(pmr_header* header) {
  if (!is_real_object(header)) return;
  delete header;
}

int32_t pmr_compare_header(const pmr_header* a, const pmr_header* b) {
  if (a == nullptr || b == nullptr) return PMR_NULL_POINTER;
  const int32_t code_a = pmr_object_error_code(a);
  if (code_a != PMR_NO_ERROR) return code_a;
  const int32_t code_b = pmr_object_error_code(b);
  if (code_b != PMR_NO_ERROR) return code_b;
  return std::memcmp(a->bytes, b->bytes, pmr::kHeaderSize) == 0 ? 1 : 0;
}

pmr_header* pmrMakeHeader(const char* file_name) { return pmr_make_header(file_name); }
void pmrFreeHeader(pmr_header* header) { pmr_free_header(header); }
int32_t pmrCompareHeader(const pmr_header* a, const pmr_header* b) {
  return pmr_compare_header(a, b);
}

}  // extern "C"
