// fstread.h - the loaded transducer object and the services that every other
// module of the library takes from it: header fields, text-block access with
// bounds checks, the function table, networks, special symbols, tag tables,
// and the encoders and decoder of coded strings.
//
// The text block is kept exactly as it is in the file (big-endian); every
// 16-bit structure in it is read through get_be16. Every offset, length and
// index that comes from the file is checked against the block it points into;
// the loader rejects a file whose structures do not fit (PMR_FILE_TYPE_ERROR).
#ifndef PMR_FSTREAD_H
#define PMR_FSTREAD_H

#include <cstdint>

#include "pmr.h"
#include "port.h"

namespace pmr {

constexpr int kHeaderSize = 92;
constexpr uint8_t kNoNetwork = 255;
// Zero bytes kept after the network block, so that the engine may read a few
// bytes past any position it has checked without leaving the allocation.
constexpr uint32_t kNetworkPadding = 16;

struct Network {
  uint32_t start;              // position of the entry label byte
  uint8_t lowest_input_label;  // label codes from here up are input symbols
  uint8_t flag_marker;         // label code of a flag-constraint arc
  uint16_t initial_flags;      // initial flag register word
};

struct TagByCode { uint16_t key; char* name; };   // 1024 slots, key 0 = empty
struct TagByName { uint16_t value; char* name; }; // 1009 slots, name null = empty

}  // namespace pmr

struct pmr_fsm {
  uint8_t header[pmr::kHeaderSize];  // 16/32-bit fields in host order (load_u16/load_u32)

  // Header bytes the engine and codecs use on every call.
  uint8_t page_byte;           // 0x17
  uint8_t near_base;           // 0x18
  uint8_t far_base;            // 0x19
  uint8_t direct_base;         // 0x1a
  uint8_t label_base;          // 0x1b
  uint8_t block_label;         // 0x23 (label code)
  uint8_t page_size;           // 0x2e
  uint8_t replacement_marker;  // 0x56 (label code)
  bool long_direct;            // 0x22 bit 0
  bool code16;                 // 0x22 bit 1
  bool page_after;             // 0x33 bit 7
  bool has_bound_byte;         // 0x33 bit 6
  bool has_offset_table;       // 0x33 bit 5
  uint8_t table_width;         // 2 or 3 (0x3a)

  uint8_t* text_block;         // owned; text offset o is text_block[o - text_bias]
  uint32_t text_size;
  uint16_t text_bias;

  uint8_t* network_block;      // owned; network_size bytes + kNetworkPadding zeros
  uint32_t network_size;

  pmr::Network* networks;      // owned array
  uint32_t network_count;

  const uint8_t* near_table;   // into text_block; near_count whole entries fit
  uint32_t near_count;
  const uint8_t* far_table;
  uint32_t far_count;

  const uint8_t* function_table;  // byte 0 = highest function; bytes 1..byte0 follow
  const uint8_t* symbol_chars;    // BE16 words, symbol_count of them
  uint32_t symbol_count;
  const uint8_t* tag_name_list;   // BE16 name references per symbol index (TAGMODE), or null
  uint32_t tag_name_count;
  const uint8_t* name_pool;       // first word of the name pool
  uint32_t name_pool_words;
  const uint8_t* tagmode;         // the TAGMODE property record (5 BE16 words), or null

  pmr::TagByCode* tags_by_code;   // 1024 slots, or null
  pmr::TagByName* tags_by_name;   // 1009 slots, or null
  char* tag_name_store;           // owned: every tag name copy, NUL-terminated, back to back

  uint32_t copyright_at;          // index of the copyright record's length byte in text_block

  uint8_t tag_separator;       // 0 when absent
  uint8_t end_of_string;       // 1 when absent
  uint8_t token_boundary;      // 1 when absent
  uint8_t end_of_file;         // 1 when absent
  uint8_t end_of_file_pages;

  const uint8_t* code_table;   // first character map's table (1 or 2 bytes an entry)
  uint32_t code_table_entries;
  uint8_t lowest_char;
  uint8_t highest_char;
};

namespace pmr {

constexpr int kTagsByCodeSlots = 1024;
constexpr int kTagsByNameSlots = 1009;

// True when `object` is a real transducer (not null, not an error object).
bool is_real_object(const void* object);
// The error object of a negative code (codes below -60 become -45).
void* error_object_for(int32_t code);

// Address of `length` bytes at text offset `offset`, or null when they do
// not lie wholly inside the text block.
const uint8_t* text_at(const pmr_fsm* fsm, uint32_t offset, uint32_t length);

// Network index serving function number f, or kNoNetwork.
uint8_t network_for_function(const pmr_fsm* fsm, int f);
// The network object of an index, or null when the index is out of range.
const Network* network_at(const pmr_fsm* fsm, uint32_t index);

// A near (far == false) or far table entry: false when the index lies
// outside the table or the stored position outside the network block.
bool table_entry(const pmr_fsm* fsm, bool far, uint32_t index, uint32_t* position);

// Low byte of the symbol character table word of a symbol index ('?' when
// the index is outside the table).
uint8_t symbol_char(const pmr_fsm* fsm, uint32_t index);
// Length of the printed name of a tag symbol index from the tag name list
// (0 when there is none).
uint32_t tag_name_length(const pmr_fsm* fsm, uint32_t index);

// Symbol value of a "*DIACRITICS*" member, or 0.
uint16_t special_symbol_value(const pmr_fsm* fsm, const char* name);
// Tag tables; 0 / null when absent.
uint16_t tag_value_by_name(const pmr_fsm* fsm, const char* name);
const char* tag_name_by_value(const pmr_fsm* fsm, uint16_t value);
int32_t tag_count(const pmr_fsm* fsm);
int32_t list_tags(const pmr_fsm* fsm, uint16_t* values, int32_t capacity, char* names,
                  int32_t names_size);

// Coded strings. Results: coded length without the NUL, or a negative code.
int32_t encode_byte_string(const uint8_t* input, int32_t limit, uint8_t* output,
                           int32_t output_size, bool tags, bool end_of_string,
                           bool closing_separator, const pmr_fsm* fsm);
int32_t encode_tag_list(const char* names, int32_t count, int32_t first, uint8_t* output,
                        int32_t output_size, uint8_t* skip_marks, uint8_t* underscore_marks,
                        const pmr_fsm* fsm);
// Decodes a NUL-terminated coded string; returns bytes written before the
// final NUL, or PMR_OUTPUT_TOO_LONG.
int32_t decode(const uint8_t* coded, uint8_t* output, int32_t output_size, bool stop_at_eos,
               const pmr_fsm* fsm);

}  // namespace pmr

#endif
