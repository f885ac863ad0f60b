// fstmodel.h - the in-memory model of a transducer file that the tools
// write: layout choices, alphabet, tags, special symbols, character map,
// near/far tables, network block and directory, function table and texts.
// write_fst_file() turns a model into the bytes of a transducer file; the
// network compiler (netcompile.h) fills a model from AT&T text or a lexicon.
#ifndef PMR_TOOLS_FSTMODEL_H
#define PMR_TOOLS_FSTMODEL_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pmrtools {

// Byte-code layout of the network block and of coded strings.
struct Layout {
  uint8_t label_base = 0x40;        // lowest label byte; multiple of 4
  uint8_t near_base = 0x01;         // pointer byte ranges: near < far < direct < label base
  uint8_t far_base = 0x10;
  uint8_t direct_base = 0x18;
  uint8_t page_size = 0;            // symbol indices per page (0: (256 - label_base) / 4)
  uint8_t page_byte = 0;            // label code of the page byte
  uint8_t block_label = 0;          // label code of an indexed-arc-block arc
  uint8_t replacement_marker = 0;   // label code of the replacement marker
  bool page_after = false;          // page bytes follow the code byte
  bool bound_byte = true;           // indexed blocks carry a bound byte
  bool offset_table = false;        // indexed blocks carry a slot offset table
  uint8_t table_width = 3;          // near/far entry width: 2 or 3
  bool long_direct = false;         // direct references carry trailing bytes
  bool code16 = false;              // 16-bit code table entries
};

// Page size that a layout stands for: 0 means (256 - label base) / 4.
inline uint8_t effective_page_size(const Layout& layout) {
  return layout.page_size != 0 ? layout.page_size : uint8_t((256 - layout.label_base) / 4);
}

// Symbol value of a code byte and a page count, as the tables store it.
inline uint16_t symbol_value(uint8_t code_byte, uint8_t pages) {
  return uint16_t((code_byte << 8) | pages);
}

struct NetworkDesc {
  uint32_t start = 0;               // position of the entry label byte
  uint8_t lowest_input_label = 0;
  uint8_t flag_marker = 0;
  uint16_t initial_flags = 0;
};

struct FileModel {
  Layout layout;
  // Per symbol index: the character it prints as (low byte used).
  std::vector<uint16_t> symbol_chars;
  // Per symbol index: printed name (tags), empty for plain characters. Becomes
  // the per-symbol list of "TAGMODE".
  std::vector<std::string> symbol_names;
  // "TAGMODE" members: tag name without brackets, symbol value (code byte << 8 | pages).
  std::vector<std::pair<std::string, uint16_t>> tags;
  bool write_tagmode = true;
  // "*DIACRITICS*" members, e.g. {"*TAGSEP*", value}, {"EOS", value}.
  std::vector<std::pair<std::string, uint16_t>> diacritics;
  // First character map: entries for characters lowest..highest.
  uint8_t lowest_char = 0;
  uint8_t highest_char = 0;
  std::vector<uint16_t> code_table;  // code byte | page count (8-bit) or code<<8 | pages (16-bit)
  // Near and far tables (positions in the network block).
  std::vector<uint32_t> near_table;
  std::vector<uint32_t> far_table;
  std::vector<uint8_t> network_block;
  std::vector<NetworkDesc> networks;
  // Function table: index f (1..size-1) = network index or 255.
  std::vector<uint8_t> functions;
  std::string copyright;            // may contain CR LF
  std::string version = "1.0";
  uint8_t language = 0;
  uint8_t char_encoding = 0;        // 0: Windows-1252
  uint32_t creation_date = 0;
};

// Serialises a model into a transducer file image. Fails (returns false and
// sets *error) when a structure does not fit the format (e.g. a text block
// over 64 KiB, a copyright text over 255 bytes).
bool write_fst_file(const FileModel& model, std::vector<uint8_t>* out, std::string* error);
bool save_fst_file(const FileModel& model, const std::string& path, std::string* error);

}  // namespace pmrtools

#endif
