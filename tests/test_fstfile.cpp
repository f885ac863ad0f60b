// Transducer files: loading and its failures, damaged files, special
// symbols and tag tables, metadata queries and header objects, all on files
// written by write_fst_file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fstread.h"
#include "fsttest.h"

namespace {

using pmrtest::LoadedFsm;
using pmrtest::TempFile;
using pmrtest::file_bytes;
using pmrtest::small_model;
using pmrtools::FileModel;
using pmrtools::symbol_value;

uint16_t be16(const std::vector<uint8_t>& b, size_t at) { return pmr::get_be16(&b[at]); }
void put16(std::vector<uint8_t>* b, size_t at, uint16_t v) { pmr::put_be16(&(*b)[at], v); }

std::vector<uint8_t> small_file() { return file_bytes(small_model()); }

// Encodes in mode 0; a loaded transducer must always answer something sane.
void exercise(const pmr_fsm* fsm) {
  char out[64];
  pmrEncodeByteString("abz", out, sizeof out, 0, fsm);
  pmrEncodeByteString("a[Noun]b[Sg]", out, sizeof out, 1, fsm);
  pmrEncodeByteString("e", out, sizeof out, 2, fsm);
  pmr_fsm_copyright(out, sizeof out, fsm);
  pmr_fsm_version(out, sizeof out, fsm);
  pmr_fsm_capabilities(fsm);
}

TEST(Load, SmallModelLoadsWithItsLayout) {
  LoadedFsm t(small_model());
  ASSERT_TRUE(t.ok());
  const pmr_fsm* fsm = t.get();
  EXPECT_EQ(fsm->label_base, 0x40);
  EXPECT_EQ(fsm->page_size, 48);
  EXPECT_EQ(fsm->page_byte, 0xFC);
  EXPECT_EQ(fsm->symbol_count, 50u);
  EXPECT_EQ(fsm->network_count, 1u);
  EXPECT_EQ(fsm->network_size, 2u);
  EXPECT_EQ(fsm->lowest_char, 'a');
  EXPECT_EQ(fsm->highest_char, 'z');
  EXPECT_EQ(pmr::load_u16(fsm->header + 0x12), fsm->text_bias + fsm->text_size);
  // The network block carries zero padding after its bytes.
  for (uint32_t i = 0; i < pmr::kNetworkPadding; ++i) EXPECT_EQ(fsm->network_block[2 + i], 0);
}

TEST(Load, TwoLoadsAreIndependent) {
  const std::vector<uint8_t> bytes = small_file();
  TempFile file(bytes);
  pmr_fsm* a = pmr_make_fsm(file.path());
  pmr_fsm* b = pmrOpenLexicalTransducer(file.path());
  ASSERT_EQ(pmr_object_error_code(a), 0);
  ASSERT_EQ(pmr_object_error_code(b), 0);
  EXPECT_NE(a, b);
  pmr_free_fsm(a);
  char out[16];
  EXPECT_EQ(pmrEncodeByteString("ab", out, sizeof out, 0, b), 3);
  pmrCloseLexicalTransducer(b);
}

TEST(Load, ArgumentAndOpenFailures) {
  EXPECT_EQ(pmr_object_error_code(pmr_make_fsm(nullptr)), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_object_error_code(pmr_make_fsm("/nonexistent/dir/file.fst")),
            PMR_FILE_OPEN_ERROR);
  pmr_free_fsm(nullptr);
  pmr_free_fsm(static_cast<pmr_fsm*>(pmr_error_object(-2)));
}

TEST(Load, ShortFilesAndWrongKind) {
  const std::vector<uint8_t> bytes = small_file();
  for (size_t n : {size_t(0), size_t(1), size_t(50), size_t(91)}) {
    LoadedFsm t(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)));
    EXPECT_EQ(t.code(), PMR_FILE_TYPE_ERROR) << n;
  }
  for (uint8_t kind : {0, 2}) {
    std::vector<uint8_t> b = bytes;
    b[4] = kind;
    EXPECT_EQ(LoadedFsm(b).code(), PMR_FILE_TYPE_ERROR);
  }
  std::vector<uint8_t> no_maps = bytes;
  no_maps[0x52] = 0;
  EXPECT_EQ(LoadedFsm(no_maps).code(), PMR_FILE_TYPE_ERROR);
}

TEST(Load, TruncatedBlocksGiveMemoryError) {
  const std::vector<uint8_t> bytes = small_file();
  const size_t text_end = be16(bytes, 0x12);
  LoadedFsm text_cut(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100));
  EXPECT_EQ(text_cut.code(), PMR_MEMORY_ERROR);
  LoadedFsm network_cut(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(text_end) + 1));
  EXPECT_EQ(network_cut.code(), PMR_MEMORY_ERROR);
  // A network block length far beyond the file is not allocated.
  std::vector<uint8_t> huge = bytes;
  pmr::put_be32(&huge[0x44], 0xFFFFFFF0u);
  EXPECT_EQ(LoadedFsm(huge).code(), PMR_MEMORY_ERROR);
}

TEST(Load, TextEndBeforeHeaderEndIsDamaged) {
  std::vector<uint8_t> b = small_file();
  put16(&b, 0x12, 50);
  EXPECT_EQ(LoadedFsm(b).code(), PMR_FILE_TYPE_ERROR);
}

TEST(Load, OffsetsOutsideTheTextBlockAreDamaged) {
  const std::vector<uint8_t> bytes = small_file();
  // Name pool, property list, character maps, symbol chars, directory,
  // function table: pointed past the end and before the start.
  for (size_t field : {0x5a, 0x1e, 0x14, 0x38, 0x2a, 0x3e}) {
    for (uint16_t offset : {uint16_t(0xFFF0), uint16_t(10), uint16_t(be16(bytes, 0x12) + 1)}) {
      std::vector<uint8_t> b = bytes;
      put16(&b, field, offset);
      EXPECT_EQ(LoadedFsm(b).code(), PMR_FILE_TYPE_ERROR) << field << " " << offset;
    }
  }
  std::vector<uint8_t> copyright = bytes;
  copyright[6] = 10;
  EXPECT_EQ(LoadedFsm(copyright).code(), PMR_FILE_TYPE_ERROR);
}

TEST(Load, ListLengthsAndPositionsAreChecked) {
  const std::vector<uint8_t> bytes = small_file();
  // Symbol character table length word.
  std::vector<uint8_t> b = bytes;
  put16(&b, be16(bytes, 0x38) - 2, 0x7FFF);
  EXPECT_EQ(LoadedFsm(b).code(), PMR_FILE_TYPE_ERROR);
  // Name pool byte length.
  b = bytes;
  put16(&b, be16(bytes, 0x5a), 0xFFFE);
  EXPECT_EQ(LoadedFsm(b).code(), PMR_FILE_TYPE_ERROR);
  // Code table entry count of the first character map.
  b = bytes;
  put16(&b, be16(bytes, 0x14) + 6, 0xFFFF);
  EXPECT_EQ(LoadedFsm(b).code(), PMR_FILE_TYPE_ERROR);
  // Function table byte 0 beyond the block.
  b = bytes;
  b[be16(bytes, 0x3e)] = 255;
  EXPECT_EQ(LoadedFsm(b).code(), PMR_FILE_TYPE_ERROR);
  FileModel model = small_model();
  model.functions = {0, 0};
  std::vector<uint8_t> with_functions = file_bytes(model);
  // Function 1 naming network 7 of a transducer with one network.
  b = with_functions;
  b[be16(with_functions, 0x3e) + 1] = 7;
  EXPECT_EQ(LoadedFsm(b).code(), PMR_FILE_TYPE_ERROR);
  // A start position outside the network block.
  b = bytes;
  const size_t descriptor = be16(bytes, be16(bytes, 0x2a));
  pmr::put_be32(&b[descriptor + 8], 2);
  EXPECT_EQ(LoadedFsm(b).code(), PMR_FILE_TYPE_ERROR);
  // More networks than directory entries.
  b = bytes;
  b[0x2f] = 200;
  EXPECT_EQ(LoadedFsm(b).code(), PMR_FILE_TYPE_ERROR);
}

TEST(Load, DamagedFilesFailCleanlyOrLoad) {
  FileModel model = small_model();
  model.functions = {255, 0, 255};
  model.near_table = {0, 1};
  const std::vector<uint8_t> bytes = file_bytes(model);
  for (size_t n = 0; n < bytes.size(); ++n) {
    LoadedFsm t(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)));
    EXPECT_NE(t.code(), 0) << n;
  }
  int loaded = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (uint8_t change : {uint8_t(0xFF), uint8_t(0x80), uint8_t(0x01)}) {
      std::vector<uint8_t> b = bytes;
      b[i] ^= change;
      LoadedFsm t(b);
      const int32_t code = t.code();
      EXPECT_TRUE(code == 0 || code == PMR_FILE_TYPE_ERROR || code == PMR_MEMORY_ERROR) << i;
      if (code == 0) {
        ++loaded;
        exercise(t.get());
      }
    }
  }
  EXPECT_GT(loaded, 0);
}

TEST(SpecialSymbols, ReadFromDiacritics) {
  FileModel model = small_model();
  model.diacritics.push_back({"EOF", symbol_value(0x70, 2)});
  LoadedFsm t(model);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.get()->tag_separator, pmrtest::small::kTagSep);
  EXPECT_EQ(t.get()->end_of_string, pmrtest::small::kEos);
  EXPECT_EQ(t.get()->token_boundary, pmrtest::small::kTb);
  EXPECT_EQ(t.get()->end_of_file, 0x70);
  EXPECT_EQ(t.get()->end_of_file_pages, 2);
}

TEST(SpecialSymbols, TokenBoundaryStandsInForEndOfString) {
  FileModel model = small_model();
  model.diacritics = {{"*TAGSEP*", symbol_value(0x44, 0)}, {"TB", symbol_value(0x4C, 0)}};
  LoadedFsm t(model);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.get()->end_of_string, 0x4C);
  char out[16];
  ASSERT_EQ(pmrEncodeByteString("a", out, sizeof out, 0, t.get()), 2);
  EXPECT_EQ(uint8_t(out[1]), 0x4C);
}

TEST(SpecialSymbols, DefaultsWithoutDiacritics) {
  FileModel model = small_model();
  model.diacritics.clear();
  LoadedFsm t(model);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.get()->tag_separator, 0);
  EXPECT_EQ(t.get()->end_of_string, 1);
  EXPECT_EQ(t.get()->token_boundary, 1);
  EXPECT_EQ(t.get()->end_of_file, 1);
  EXPECT_EQ(t.get()->end_of_file_pages, 0);
  char out[16];
  EXPECT_EQ(pmrEncodeByteString("ab", out, sizeof out, 0, t.get()), 2);  // no end symbol
  // A member value of 0 counts as missing.
  model.diacritics = {{"EOS", 0}, {"TB", 0}};
  LoadedFsm zero(model);
  ASSERT_TRUE(zero.ok());
  EXPECT_EQ(zero.get()->end_of_string, 1);
}

TEST(TagTables, DuplicateNamesAndCase) {
  FileModel model = small_model();
  model.tags.push_back({"Noun", symbol_value(0x70, 0)});  // later value of a known name
  LoadedFsm t(model);
  ASSERT_TRUE(t.ok());
  char out[16];
  ASSERT_EQ(pmrEncodeByteString("[Noun]", out, sizeof out, 1, t.get()), 2);
  EXPECT_EQ(uint8_t(out[1]), 0x70);
  EXPECT_EQ(pmrEncodeByteString("[noun]", out, sizeof out, 1, t.get()), PMR_CHAR_NOT_IN_ALPHABET);
  EXPECT_EQ(pmrEncodeByteString("[NOUN]", out, sizeof out, 1, t.get()), PMR_CHAR_NOT_IN_ALPHABET);
  // Both values keep their name in the table by code.
  int found = 0;
  for (int i = 0; i < pmr::kTagsByCodeSlots; ++i) {
    const pmr::TagByCode& slot = t.get()->tags_by_code[i];
    if (slot.key == 0x6400 || slot.key == 0x7000) {
      EXPECT_STREQ(slot.name, "Noun");
      ++found;
    }
  }
  EXPECT_EQ(found, 2);
}

TEST(TagTables, AbsentWithoutTagmode) {
  FileModel model = small_model();
  model.write_tagmode = false;
  LoadedFsm t(model);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.get()->tags_by_code, nullptr);
  EXPECT_EQ(t.get()->tags_by_name, nullptr);
  EXPECT_EQ(t.get()->tag_name_list, nullptr);
  char out[16];
  EXPECT_EQ(pmrEncodeByteString("a[Noun]", out, sizeof out, 1, t.get()), PMR_CHAR_NOT_IN_ALPHABET);
}

TEST(TagTables, ManyTagsAndHighBytes) {
  // More tags than fit one page, names with bytes above 127 (negative in
  // the name hash) and a symbol value reused by two names.
  FileModel model = small_model();
  for (int i = 0; i < 900; ++i)
    model.tags.push_back({"T" + std::to_string(i) + "\xe9",
                          symbol_value(uint8_t(0x40 + 4 * (i % 48)), uint8_t(1 + i / 48))});
  LoadedFsm t(model);
  ASSERT_TRUE(t.ok());
  char out[64];
  for (int i : {0, 47, 48, 500, 899}) {
    const std::string tag = "[T" + std::to_string(i) + "\xe9]";
    ASSERT_EQ(pmrEncodeByteString(tag.c_str(), out, sizeof out, 1, t.get()), 2 + 1 + i / 48)
        << i;
  }
}

std::string copyright_of(const std::string& text, int32_t size = 300) {
  FileModel model = small_model();
  model.copyright = text;
  LoadedFsm t(model);
  EXPECT_TRUE(t.ok());
  std::vector<char> out(size_t(size) + 1, 'x');
  const int32_t code = pmr_fsm_copyright(out.data(), size, t.get());
  return code == 0 ? std::string(out.data()) : "error " + std::to_string(code);
}

TEST(Metadata, CopyrightSizeAndLineBreaks) {
  EXPECT_EQ(copyright_of("0123456789", 12), "0123456789");
  EXPECT_EQ(copyright_of("0123456789", 11), "error -12");
  EXPECT_EQ(copyright_of("a\r\nb"), "a b");
  EXPECT_EQ(copyright_of("ab\r\n"), "ab");
  EXPECT_EQ(copyright_of("a\rb"), "a b");
  EXPECT_EQ(copyright_of("ab\r"), "ab");
  EXPECT_EQ(copyright_of("a\r\n\r\nb"), "a  b");
  EXPECT_EQ(copyright_of(""), "");
  EXPECT_EQ(copyright_of(std::string(255, 'c')), std::string(255, 'c'));

  FileModel model = small_model();
  model.copyright = "0123456789";
  LoadedFsm t(model);
  char buffer[12];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(pmr_fsm_copyright(buffer, 11, t.get()), PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(pmr_fsm_copyright(nullptr, 11, t.get()), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_fsm_copyright(buffer, 11, nullptr), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_fsm_copyright(buffer, 11, static_cast<pmr_fsm*>(pmr_error_object(-2))), -2);
  EXPECT_EQ(pmr_fsm_copyright(buffer, -1, t.get()), PMR_INVALID_NUMBER);
  EXPECT_EQ(pmrLexicalTransducerCopyrightMessage(buffer, 12, t.get()), 0);
}

TEST(Metadata, WriterRefusesLongCopyright) {
  FileModel model = small_model();
  model.copyright = std::string(256, 'c');
  std::string error;
  EXPECT_TRUE(file_bytes(model, &error).empty());
  EXPECT_FALSE(error.empty());
}

TEST(Writer, RefusesStructuresThatDoNotFit) {
  std::string error;
  FileModel model = small_model();
  model.symbol_chars.assign(40000, 'a');  // 80 000 bytes of text block
  EXPECT_TRUE(file_bytes(model, &error).empty());
  EXPECT_NE(error.find("64 KiB"), std::string::npos) << error;
  model = small_model();
  model.code_table[0] = 0x4000;  // 16-bit entry in an 8-bit table
  EXPECT_TRUE(file_bytes(model, &error).empty());
  model = small_model();
  model.functions = {0, 3};  // network 3 of one
  EXPECT_TRUE(file_bytes(model, &error).empty());
  model = small_model();
  model.networks[0].start = 2;
  EXPECT_TRUE(file_bytes(model, &error).empty());
  model = small_model();
  model.layout.table_width = 2;
  model.near_table = {0x10000};
  EXPECT_TRUE(file_bytes(model, &error).empty());
  EXPECT_FALSE(pmrtools::save_fst_file(small_model(), "/nonexistent/dir/x.fst", &error));
}

TEST(Writer, LayoutBytesAndDefaults) {
  FileModel model = small_model();
  model.layout.label_base = 0x20;
  model.layout.long_direct = true;
  model.layout.code16 = true;
  model.layout.page_after = true;
  model.layout.offset_table = true;
  model.layout.bound_byte = false;
  model.layout.table_width = 2;
  const std::vector<uint8_t> b = file_bytes(model);
  ASSERT_FALSE(b.empty());
  EXPECT_EQ(b[3], 92);
  EXPECT_EQ(b[4], 1);
  EXPECT_EQ(b[6], 92);
  EXPECT_EQ(b[0x1b], 0x20);
  EXPECT_EQ(b[0x2e], (256 - 0x20) / 4);
  EXPECT_EQ(b[0x22], 3);
  EXPECT_EQ(b[0x33], 0xA0);
  EXPECT_EQ(b[0x3a], 2);
  EXPECT_EQ(b[0x52], 1);
  EXPECT_NE(be16(b, 0x48), 0);
  EXPECT_EQ(pmr::get_be32(&b[0x44]), 2u);
  EXPECT_EQ(b.size(), be16(b, 0x12) + 2u);
  LoadedFsm t(b);
  ASSERT_TRUE(t.ok());
  EXPECT_TRUE(t.get()->long_direct && t.get()->code16 && t.get()->page_after);
  EXPECT_TRUE(t.get()->has_offset_table);
  EXPECT_FALSE(t.get()->has_bound_byte);
  EXPECT_EQ(t.get()->table_width, 2);
}

std::string version_of(const std::vector<uint8_t>& bytes) {
  LoadedFsm t(bytes);
  EXPECT_TRUE(t.ok());
  char out[100];
  const int32_t code = pmr_fsm_version(out, sizeof out, t.get());
  return code == 0 ? std::string(out) : "error " + std::to_string(code);
}

std::vector<uint8_t> file_with_version(const std::string& version) {
  FileModel model = small_model();
  model.version = version;
  return file_bytes(model);
}

TEST(Metadata, VersionLineRules) {
  EXPECT_EQ(version_of(file_with_version("2.5a")), "2.5a");
  EXPECT_EQ(version_of(file_with_version("12")), "1.0");
  EXPECT_EQ(version_of(file_with_version("1.2 beta")), "1.0");
  EXPECT_EQ(version_of(file_with_version("")), "1.0");
  const std::string longest = "1." + std::string(62, '9');
  EXPECT_EQ(version_of(file_with_version(longest)), longest);
  EXPECT_EQ(version_of(file_with_version(longest + "9")), "1.0");
  EXPECT_EQ(version_of(file_with_version("v-1_2/3.x")), "v-1_2/3.x");

  // Without the empty line the text is looked for right after the
  // copyright record, where the line of words (with spaces) stands.
  std::vector<uint8_t> b = file_with_version("2.5a");
  const std::string area = "\r\n\r\n2.5a";
  auto at = std::search(b.begin(), b.end(), area.begin(), area.end());
  ASSERT_NE(at, b.end());
  at[2] = 'x';
  at[3] = 'x';
  EXPECT_EQ(version_of(b), "1.0");
}

TEST(Metadata, VersionCopyAndChecks) {
  LoadedFsm t(file_with_version("2.5a"));
  ASSERT_TRUE(t.ok());
  char out[8];
  EXPECT_EQ(pmr_fsm_version(out, 6, t.get()), 0);
  EXPECT_STREQ(out, "2.5a");
  EXPECT_EQ(pmr_fsm_version(out, 5, t.get()), PMR_OUTPUT_TOO_LONG);
  EXPECT_STREQ(out, "2.5");
  EXPECT_EQ(pmr_fsm_version(out, 3, t.get()), PMR_OUTPUT_TOO_LONG);
  EXPECT_STREQ(out, "2.");
  out[0] = 'x';
  EXPECT_EQ(pmr_fsm_version(out, 0, t.get()), PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(pmr_fsm_version(nullptr, 6, t.get()), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_fsm_version(out, 6, nullptr), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_fsm_version(out, -2, t.get()), PMR_INVALID_NUMBER);
  EXPECT_EQ(pmrLexicalTransducerVersion(out, 6, t.get()), 0);
}

uint32_t capabilities_of(const std::vector<uint8_t>& functions) {
  FileModel model = small_model();
  model.functions = functions;
  LoadedFsm t(model);
  EXPECT_TRUE(t.ok());
  return pmr_fsm_capabilities(t.get());
}

TEST(Metadata, Capabilities) {
  std::vector<uint8_t> functions(29, 255);
  functions[12] = functions[27] = functions[28] = 0;
  EXPECT_EQ(capabilities_of(functions), 79u);
  functions.assign(64, 255);
  functions[1] = functions[12] = functions[27] = functions[28] = 0;
  functions[60] = functions[61] = functions[62] = 0;
  EXPECT_EQ(capabilities_of(functions), 1u + 8 + 2 + 64 + 4 + 16 + 128 + 256);
  functions[61] = 255;
  EXPECT_EQ(capabilities_of(functions), 1u + 8 + 2 + 64 + 4 + 128 + 256);
  EXPECT_EQ(capabilities_of({}), 0u);

  // Byte 0 bounds the table whatever bytes follow it.
  FileModel model = small_model();
  model.functions.assign(13, 0);
  std::vector<uint8_t> b = file_bytes(model);
  b[be16(b, 0x3e)] = 5;
  LoadedFsm t(b);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(pmr_fsm_capabilities(t.get()), 128u);
  EXPECT_EQ(pmr_fsm_capabilities(nullptr), 0u);
  EXPECT_EQ(pmrLexicalTransducerCapabilities(static_cast<pmr_fsm*>(pmr_error_object(-2))), 0u);
}

TEST(Metadata, HeaderNumbers) {
  FileModel model = small_model();
  model.creation_date = 0xDEADBEEF;
  model.language = 7;
  model.char_encoding = 3;
  LoadedFsm t(model);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(pmr_fsm_creation_date(t.get()), 0xDEADBEEFu);
  EXPECT_EQ(pmrLexicalTransducerCreationDate(t.get()), 0xDEADBEEFu);
  EXPECT_EQ(pmr_fsm_language(t.get()), 7);
  EXPECT_EQ(pmrLexicalTransducerLanguage(t.get()), 7);
  EXPECT_EQ(pmr_fsm_char_encoding(t.get()), 3);
  EXPECT_EQ(pmrLexicalTransducerCharEncoding(t.get()), 3);
  const pmr_fsm* failed = static_cast<pmr_fsm*>(pmr_error_object(-2));
  EXPECT_EQ(pmr_fsm_creation_date(nullptr), 0u);
  EXPECT_EQ(pmr_fsm_creation_date(failed), 0u);
  EXPECT_EQ(pmr_fsm_language(nullptr), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_fsm_language(failed), -2);
  EXPECT_EQ(pmr_fsm_char_encoding(nullptr), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_fsm_char_encoding(failed), -2);
}

TEST(HeaderObjects, CompareAndFailures) {
  FileModel model = small_model();
  model.creation_date = 1;
  TempFile first(file_bytes(model));
  model.creation_date = 2;
  TempFile second(file_bytes(model));
  pmr_header* a = pmr_make_header(first.path());
  pmr_header* a2 = pmrMakeHeader(first.path());
  pmr_header* b = pmr_make_header(second.path());
  ASSERT_EQ(pmr_object_error_code(a), 0);
  ASSERT_EQ(pmr_object_error_code(a2), 0);
  ASSERT_EQ(pmr_object_error_code(b), 0);
  EXPECT_EQ(pmr_compare_header(a, a2), 1);
  EXPECT_EQ(pmrCompareHeader(a, b), 0);
  EXPECT_EQ(pmr_compare_header(a, nullptr), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_compare_header(nullptr, b), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_compare_header(a, static_cast<pmr_header*>(pmr_error_object(-2))), -2);
  pmr_free_header(a);
  pmrFreeHeader(a2);
  pmr_free_header(b);
  pmr_free_header(nullptr);
  pmr_free_header(static_cast<pmr_header*>(pmr_error_object(-1)));

  std::vector<uint8_t> bytes = file_bytes(model);
  TempFile short_file(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 91));
  EXPECT_EQ(pmr_object_error_code(pmr_make_header(short_file.path())), PMR_FILE_TYPE_ERROR);
  bytes[4] = 2;
  TempFile wrong_kind(bytes);
  EXPECT_EQ(pmr_object_error_code(pmr_make_header(wrong_kind.path())), PMR_FILE_TYPE_ERROR);
  EXPECT_EQ(pmr_object_error_code(pmr_make_header("/nonexistent/x.fst")), PMR_FILE_OPEN_ERROR);
  EXPECT_EQ(pmr_object_error_code(pmr_make_header(nullptr)), PMR_NULL_POINTER);
}

TEST(HeaderObjects, HeaderOnlyFileIsEnough) {
  std::vector<uint8_t> bytes = file_bytes(small_model());
  bytes.resize(92);
  TempFile file(bytes);
  pmr_header* header = pmr_make_header(file.path());
  EXPECT_EQ(pmr_object_error_code(header), 0);
  pmr_free_header(header);
}

}  // namespace
