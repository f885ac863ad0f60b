// fstwrite.cpp - serialises a FileModel into the bytes of a transducer file:
// the 92-byte header, the text block (copyright record first, so that its
// one-byte offset reaches it, then the version area, the name pool, the
// symbol character table, the character map with its code table, the
// property list with "TAGMODE" and "*DIACRITICS*", the near and far tables,
// the function table and the network directory with its descriptors) and
// the network block. All numbers are written big-endian through port.h.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "fstmodel.h"
#include "port.h"

namespace pmrtools {
namespace {

constexpr uint32_t kHeaderSize = 92;
constexpr uint32_t kTextLimit = 65535;      // H18 is a 16-bit file offset
constexpr uint32_t kDescriptorSize = 36;
constexpr uint32_t kCharMapSize = 16;
constexpr char kVersionLine[] = "pmr lexical transducer";

// The text block under construction; offsets are file offsets (text offsets).
class TextBlock {
 public:
  uint32_t offset() const { return kHeaderSize + uint32_t(bytes_.size()); }
  void byte(uint8_t v) { bytes_.push_back(v); }
  void word(uint16_t v) {
    bytes_.push_back(uint8_t(v >> 8));
    bytes_.push_back(uint8_t(v));
  }
  void text(const std::string& s) { bytes_.insert(bytes_.end(), s.begin(), s.end()); }
  void zeros(uint32_t n) { bytes_.insert(bytes_.end(), n, 0); }
  void patch_word(uint32_t at, uint16_t v) { pmr::put_be16(&bytes_[at - kHeaderSize], v); }
  // A word list: the length word, then the words; returns the offset of the
  // first word, which is how the file refers to the list.
  uint32_t word_list(const std::vector<uint16_t>& words) {
    word(uint16_t(words.size()));
    const uint32_t first = offset();
    for (uint16_t w : words) word(w);
    return first;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// Names with their references (word index in the pool).
class NamePool {
 public:
  NamePool() { words_.push_back(0); }  // the pool's length word
  uint16_t reference(const std::string& name) {
    auto found = references_.find(name);
    if (found != references_.end()) return found->second;
    const uint16_t ref = uint16_t(words_.size());
    words_.push_back(uint16_t(name.size()));
    for (unsigned char c : name) words_.push_back(c);
    references_.emplace(name, ref);
    return ref;
  }
  size_t byte_size() const { return 2 * words_.size(); }
  void write(TextBlock* text) {
    words_[0] = uint16_t(byte_size());
    for (uint16_t w : words_) text->word(w);
  }

 private:
  std::vector<uint16_t> words_;
  std::map<std::string, uint16_t> references_;
};

struct PropertyData {
  std::string name;
  std::vector<uint16_t> per_symbol;  // name references
  std::vector<uint16_t> member_names;
  std::vector<uint16_t> member_values;
};

bool fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

bool check_model(const FileModel& model, std::string* error) {
  if (model.copyright.size() > 255) return fail(error, "copyright text longer than 255 bytes");
  if (model.networks.size() > 255) return fail(error, "more than 255 networks");
  if (model.functions.size() > 256) return fail(error, "function table beyond function 255");
  for (size_t f = 1; f < model.functions.size(); ++f)
    if (model.functions[f] != 255 && model.functions[f] >= model.networks.size())
      return fail(error, "function " + std::to_string(f) + " names a missing network");
  for (const NetworkDesc& network : model.networks)
    if (network.start >= model.network_block.size())
      return fail(error, "network start outside the network block");
  if (!model.layout.code16)
    for (uint16_t entry : model.code_table)
      if (entry > 255) return fail(error, "code table entry does not fit 8 bits");
  const uint32_t limit = model.layout.table_width == 2 ? 0xFFFFu : 0xFFFFFFu;
  for (uint32_t p : model.near_table)
    if (p > limit) return fail(error, "near table position does not fit the entry width");
  for (uint32_t p : model.far_table)
    if (p > limit) return fail(error, "far table position does not fit the entry width");
  for (const auto& list : {model.symbol_chars.size(), model.code_table.size(),
                           model.symbol_names.size(), model.tags.size(),
                           model.diacritics.size()})
    if (list > 0xFFFF) return fail(error, "a table has more than 65535 entries");
  return true;
}

std::vector<PropertyData> collect_properties(const FileModel& model, NamePool* pool) {
  std::vector<PropertyData> properties;
  if (model.write_tagmode) {
    PropertyData tagmode;
    tagmode.name = "TAGMODE";
    const size_t symbols = std::max(model.symbol_names.size(), model.symbol_chars.size());
    for (size_t i = 0; i < symbols; ++i)
      tagmode.per_symbol.push_back(
          pool->reference(i < model.symbol_names.size() ? model.symbol_names[i] : ""));
    for (const auto& [name, value] : model.tags) {
      tagmode.member_names.push_back(pool->reference(name));
      tagmode.member_values.push_back(value);
    }
    properties.push_back(tagmode);
  }
  if (!model.diacritics.empty()) {
    PropertyData diacritics;
    diacritics.name = "*DIACRITICS*";
    for (const auto& [name, value] : model.diacritics) {
      diacritics.member_names.push_back(pool->reference(name));
      diacritics.member_values.push_back(value);
    }
    properties.push_back(diacritics);
  }
  for (PropertyData& property : properties) pool->reference(property.name);
  return properties;
}

// Writes the property list and returns its offset (the first record offset).
uint32_t write_properties(const std::vector<PropertyData>& properties, NamePool* pool,
                          TextBlock* text) {
  text->word(uint16_t(properties.size()));
  const uint32_t list = text->offset();
  for (size_t i = 0; i < properties.size(); ++i) text->word(0);
  for (size_t i = 0; i < properties.size(); ++i) {
    const PropertyData& property = properties[i];
    const uint32_t record = text->offset();
    text->patch_word(list + 2 * uint32_t(i), uint16_t(record));
    text->zeros(10);
    const uint32_t per_symbol = text->word_list(property.per_symbol);
    const uint32_t names = text->offset();
    for (uint16_t w : property.member_names) text->word(w);
    const uint32_t values = text->offset();
    for (uint16_t w : property.member_values) text->word(w);
    text->patch_word(record, pool->reference(property.name));
    text->patch_word(record + 2, uint16_t(per_symbol));
    text->patch_word(record + 4, uint16_t(names));
    text->patch_word(record + 6, uint16_t(property.member_names.size()));
    text->patch_word(record + 8, uint16_t(values));
  }
  return list;
}

uint32_t write_char_map(const FileModel& model, TextBlock* text) {
  const uint32_t map = text->offset();
  text->zeros(kCharMapSize);
  const uint32_t table = text->offset();
  for (uint16_t entry : model.code_table) {
    if (model.layout.code16)
      text->word(entry);
    else
      text->byte(uint8_t(entry));
  }
  // The record's bytes are patched in place: highest, lowest, count, table.
  text->patch_word(map, uint16_t(model.highest_char));
  text->patch_word(map + 4, uint16_t(model.lowest_char));
  text->patch_word(map + 6, uint16_t(model.code_table.size()));
  text->patch_word(map + 8, uint16_t(table));
  return map;
}

uint32_t write_position_table(const std::vector<uint32_t>& table, uint8_t width,
                              TextBlock* text) {
  const uint32_t at = text->offset();
  for (uint32_t p : table) {
    if (width == 2) {
      text->word(uint16_t(p));
    } else {
      text->byte(uint8_t(p >> 16));
      text->word(uint16_t(p));
    }
  }
  return at;
}

uint32_t write_function_table(const FileModel& model, TextBlock* text) {
  const uint32_t at = text->offset();
  const size_t highest = model.functions.empty() ? 0 : model.functions.size() - 1;
  text->byte(uint8_t(highest));
  for (size_t f = 1; f <= highest; ++f) text->byte(model.functions[f]);
  return at;
}

uint32_t write_networks(const FileModel& model, TextBlock* text) {
  const uint32_t directory = text->offset();
  text->zeros(2 * uint32_t(model.networks.size()));
  for (size_t i = 0; i < model.networks.size(); ++i) {
    const NetworkDesc& network = model.networks[i];
    const uint32_t at = text->offset();
    text->patch_word(directory + 2 * uint32_t(i), uint16_t(at));
    uint8_t descriptor[kDescriptorSize] = {};
    pmr::put_be32(descriptor + 0x08, network.start);
    descriptor[0x15] = network.lowest_input_label;
    descriptor[0x20] = network.flag_marker;
    pmr::put_be16(descriptor + 0x22, network.initial_flags);
    for (uint8_t b : descriptor) text->byte(b);
  }
  return directory;
}

struct TextOffsets {
  uint32_t copyright, name_pool, symbol_chars, char_map, properties, near_table, far_table,
      functions, extra_1, extra_2, directory, end;
};

void write_header(const FileModel& model, const TextOffsets& at, uint8_t* h) {
  const Layout& layout = model.layout;
  h[0x03] = uint8_t(kHeaderSize);
  h[0x04] = 1;
  h[0x06] = uint8_t(at.copyright);
  h[0x07] = model.language;
  pmr::put_be32(h + 0x08, model.creation_date);
  pmr::put_be16(h + 0x0c, uint16_t(at.near_table));
  pmr::put_be16(h + 0x0e, uint16_t(at.far_table));
  pmr::put_be16(h + 0x12, uint16_t(at.end));
  pmr::put_be16(h + 0x14, uint16_t(at.char_map));
  h[0x17] = layout.page_byte;
  h[0x18] = layout.near_base;
  h[0x19] = layout.far_base;
  h[0x1a] = layout.direct_base;
  h[0x1b] = layout.label_base;
  pmr::put_be16(h + 0x1e, uint16_t(at.properties));
  h[0x22] = uint8_t((layout.long_direct ? 1 : 0) | (layout.code16 ? 2 : 0));
  h[0x23] = layout.block_label;
  pmr::put_be16(h + 0x2a, uint16_t(at.directory));
  h[0x2e] = effective_page_size(layout);
  h[0x2f] = uint8_t(model.networks.size());
  h[0x32] = model.char_encoding;
  h[0x33] = uint8_t((layout.page_after ? 0x80 : 0) | (layout.bound_byte ? 0x40 : 0) |
                    (layout.offset_table ? 0x20 : 0));
  pmr::put_be16(h + 0x38, uint16_t(at.symbol_chars));
  h[0x3a] = layout.table_width == 2 ? 2 : 3;
  pmr::put_be16(h + 0x3e, uint16_t(at.functions));
  pmr::put_be32(h + 0x44, uint32_t(model.network_block.size()));
  pmr::put_be16(h + 0x48, uint16_t(at.extra_1));
  pmr::put_be16(h + 0x4a, uint16_t(at.extra_2));
  h[0x52] = 1;
  h[0x56] = layout.replacement_marker;
  pmr::put_be16(h + 0x5a, uint16_t(at.name_pool));
}

}  // namespace

bool write_fst_file(const FileModel& model, std::vector<uint8_t>* out, std::string* error) {
  if (!check_model(model, error)) return false;
  TextBlock text;
  TextOffsets at{};
  at.copyright = text.offset();
  text.byte(uint8_t(model.copyright.size()));
  text.text(model.copyright);
  text.text(std::string(kVersionLine) + "\r\n\r\n" + model.version + "\r\n");

  NamePool pool;
  const std::vector<PropertyData> properties = collect_properties(model, &pool);
  if (pool.byte_size() > kTextLimit) return fail(error, "name pool larger than 64 KiB");
  at.name_pool = text.offset();
  pool.write(&text);
  at.symbol_chars = text.word_list(model.symbol_chars);
  at.char_map = write_char_map(model, &text);
  at.properties = write_properties(properties, &pool, &text);
  at.near_table = write_position_table(model.near_table, model.layout.table_width, &text);
  at.far_table = write_position_table(model.far_table, model.layout.table_width, &text);
  at.functions = write_function_table(model, &text);
  if (model.layout.long_direct) {
    at.extra_1 = text.offset();
    text.zeros(2);
    at.extra_2 = text.offset();
    text.zeros(2);
  }
  at.directory = write_networks(model, &text);
  at.end = text.offset();
  if (at.end > kTextLimit) return fail(error, "text block larger than 64 KiB");

  out->assign(kHeaderSize, 0);
  write_header(model, at, out->data());
  out->insert(out->end(), text.bytes().begin(), text.bytes().end());
  out->insert(out->end(), model.network_block.begin(), model.network_block.end());
  return true;
}

bool save_fst_file(const FileModel& model, const std::string& path, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!write_fst_file(model, &bytes, error)) return false;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return fail(error, "cannot create " + path);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) return fail(error, "cannot write " + path);
  return true;
}

}  // namespace pmrtools
