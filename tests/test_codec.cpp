// Byte-string encoding through pmrEncodeByteString: code tables of 8 and 16
// bits, pages before and after the code byte, bracketed tags, the end
// symbols of the three modes and the room checks on the caller's buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fsttest.h"
#include "netcompile.h"

namespace {

using pmrtest::LoadedFsm;
using pmrtest::small_model;
using pmrtools::FileModel;
using pmrtools::symbol_value;
using namespace pmrtest::small;

using Bytes = std::vector<uint8_t>;

// The result of one encoding and, on success, the coded bytes. Bytes past
// the given size are watched for writes.
struct Encoded {
  int32_t result;
  Bytes bytes;
};

Encoded encode(const pmr_fsm* fsm, const std::string& input, int32_t mode, int32_t size = 128) {
  std::vector<char> out(size_t(size) + 8, '\x7f');
  Encoded e{pmrEncodeByteString(input.c_str(), out.data(), size, mode, fsm), {}};
  for (size_t i = size_t(size); i < out.size(); ++i) EXPECT_EQ(out[i], '\x7f') << "overrun";
  if (e.result >= 0) {
    EXPECT_EQ(out[size_t(e.result)], 0);
    e.bytes.assign(out.begin(), out.begin() + e.result);
  }
  return e;
}

TEST(Encode, PlainLettersWithEndOfString) {
  LoadedFsm t(small_model());
  ASSERT_TRUE(t.ok());
  Encoded e = encode(t.get(), "abe", 0);
  EXPECT_EQ(e.result, 4);
  EXPECT_EQ(e.bytes, (Bytes{kA, kA + 4, kA + 16, kEos}));
  EXPECT_EQ(encode(t.get(), "abe", 3).bytes, (Bytes{kA, kA + 4, kA + 16}));
  EXPECT_EQ(encode(t.get(), "", 0).bytes, (Bytes{kEos}));
}

TEST(Encode, PagesBeforeOrAfterTheCodeByte) {
  LoadedFsm before(small_model());
  // z has the 8-bit entry 0x41: code byte 0x40 and one page byte.
  EXPECT_EQ(encode(before.get(), "az", 3).bytes, (Bytes{kA, kPage, 0x40}));
  FileModel model = small_model();
  model.layout.page_after = true;
  LoadedFsm after(model);
  EXPECT_EQ(encode(after.get(), "za", 3).bytes, (Bytes{0x40, kPage, kA}));
  // The entry 0x49 gives code byte 0x48 and one page byte.
  model = small_model();
  model.code_table[2] = 0x49;
  LoadedFsm c(model);
  EXPECT_EQ(encode(c.get(), "c", 3).bytes, (Bytes{kPage, 0x48}));
}

TEST(Encode, SixteenBitCodeTable) {
  FileModel model = small_model();
  model.layout.code16 = true;
  for (int i = 0; i < 5; ++i) model.code_table[size_t(i)] = uint16_t((kA + 4 * i) << 8);
  model.code_table[25] = 0x4003;                 // z: code 0x40, three pages
  model.code_table[24] = 0x4C01;                 // y: code 0x4C, one page
  model.code_table[23] = 0x4100;                 // x: code 0x40, 256 pages (10-bit count)
  LoadedFsm t(model);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(encode(t.get(), "bz", 0).bytes, (Bytes{kA + 4, kPage, kPage, kPage, 0x40, kEos}));
  EXPECT_EQ(encode(t.get(), "y", 3).bytes, (Bytes{kPage, 0x4C}));
  Bytes x(256, kPage);
  x.push_back(0x40);
  EXPECT_EQ(encode(t.get(), "x", 3, 400).bytes, x);
  EXPECT_EQ(encode(t.get(), "x", 3, 259).result, PMR_OUTPUT_TOO_LONG);
  model.layout.page_after = true;
  LoadedFsm after(model);
  EXPECT_EQ(encode(after.get(), "z", 3).bytes, (Bytes{0x40, kPage, kPage, kPage}));
}

TEST(Encode, CharactersOutsideTheAlphabet) {
  LoadedFsm t(small_model());
  EXPECT_EQ(encode(t.get(), "af", 0).result, PMR_CHAR_NOT_IN_ALPHABET);  // entry 0
  EXPECT_EQ(encode(t.get(), "A", 0).result, PMR_CHAR_NOT_IN_ALPHABET);   // below lowest
  EXPECT_EQ(encode(t.get(), "{", 0).result, PMR_CHAR_NOT_IN_ALPHABET);   // above highest
  EXPECT_EQ(encode(t.get(), "\xe9", 0).result, PMR_CHAR_NOT_IN_ALPHABET);
  // Just above the highest mapped character, with code table bytes to spare.
  FileModel model = small_model();
  model.highest_char = 'c';
  LoadedFsm narrow(model);
  ASSERT_TRUE(narrow.ok());
  EXPECT_EQ(encode(narrow.get(), "c", 3).result, 1);
  EXPECT_EQ(encode(narrow.get(), "d", 3).result, PMR_CHAR_NOT_IN_ALPHABET);
  // A code table shorter than the range it claims.
  model = small_model();
  model.code_table.resize(3);
  LoadedFsm shortened(model);
  ASSERT_TRUE(shortened.ok());
  EXPECT_EQ(encode(shortened.get(), "d", 3).result, PMR_CHAR_NOT_IN_ALPHABET);
}

TEST(Encode, BracketedTags) {
  LoadedFsm t(small_model());
  EXPECT_EQ(encode(t.get(), "ab[Noun]c", 1).bytes,
            (Bytes{kA, kA + 4, kTagSep, kNoun, kTagSep, kA + 8}));
  // A run of tags at the end stays open; [Sg] carries a page byte.
  EXPECT_EQ(encode(t.get(), "a[Noun][Sg]", 1).bytes,
            (Bytes{kA, kTagSep, kNoun, kPage, 0x44}));
  EXPECT_EQ(encode(t.get(), "[Pl]", 1).bytes, (Bytes{kTagSep, kPl}));
  // Tags are not recognised outside mode 1: "[" is a character.
  EXPECT_EQ(encode(t.get(), "ab[Noun]c", 0).result, PMR_CHAR_NOT_IN_ALPHABET);
  EXPECT_EQ(encode(t.get(), "a[Xyz]", 1).result, PMR_CHAR_NOT_IN_ALPHABET);
  EXPECT_EQ(encode(t.get(), "a[]", 1).result, PMR_CHAR_NOT_IN_ALPHABET);
  EXPECT_EQ(encode(t.get(), "a[Noun", 1).result, PMR_INCOMPLETE_TAG);
  EXPECT_EQ(encode(t.get(), "[", 1).result, PMR_INCOMPLETE_TAG);
}

TEST(Encode, BracketedCharacterWhenTheAlphabetHasIt) {
  FileModel model = small_model();
  model.lowest_char = '[';
  model.code_table.insert(model.code_table.begin(), 6, 0);  // '[' .. '`'
  model.code_table[0] = 0x70;
  model.symbol_chars[12] = '[';
  LoadedFsm t(model);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(encode(t.get(), "a[", 3).bytes, (Bytes{kA, 0x70}));
  EXPECT_EQ(encode(t.get(), "a[Pl]", 1).bytes, (Bytes{kA, kTagSep, kPl}));
}

TEST(Encode, TagNameLimit) {
  FileModel model = small_model();
  const std::string name61(61, 'N');
  const std::string name62(62, 'N');
  model.tags.push_back({name61, symbol_value(0x70, 0)});
  model.tags.push_back({name62, symbol_value(0x74, 0)});
  LoadedFsm t(model);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(encode(t.get(), "[" + name61 + "]", 1).bytes, (Bytes{kTagSep, 0x70}));
  EXPECT_EQ(encode(t.get(), "[" + name62 + "]", 1).result, PMR_INCOMPLETE_TAG);
  EXPECT_EQ(encode(t.get(), "[" + name62, 1).result, PMR_INCOMPLETE_TAG);
}

TEST(Encode, EndOfFileSymbolInMode2) {
  FileModel model = small_model();
  model.diacritics.push_back({"EOF", symbol_value(0x70, 2)});
  LoadedFsm t(model);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(encode(t.get(), "a", 2).bytes, (Bytes{kA, kPage, kPage, 0x70}));
  // L = 1 and p = 2: L + p + 2 bytes are not enough, one more is.
  EXPECT_EQ(encode(t.get(), "a", 2, 5).result, PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(encode(t.get(), "a", 2, 6).result, 4);
  EXPECT_EQ(encode(t.get(), "a", 2, 1).result, PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(encode(t.get(), "f", 2).result, PMR_CHAR_NOT_IN_ALPHABET);
  model.layout.page_after = true;
  LoadedFsm after(model);
  EXPECT_EQ(encode(after.get(), "a", 2).bytes, (Bytes{kA, 0x70, kPage, kPage}));
  // Without an "EOF" member the default byte 1 is still written.
  LoadedFsm plain(small_model());
  EXPECT_EQ(encode(plain.get(), "a", 2).bytes, (Bytes{kA, 1}));
}

TEST(Encode, RoomChecksNeverOverrun) {
  LoadedFsm t(small_model());
  // Each symbol needs room for itself and three more bytes.
  EXPECT_EQ(encode(t.get(), "ab", 0, 4).result, PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(encode(t.get(), "ab", 0, 5).result, 3);
  for (int32_t size = 0; size < 20; ++size) {
    for (const char* input : {"", "a", "abz", "a[Noun][Sg]b", "zzzz"}) {
      for (int32_t mode = 0; mode < 4; ++mode) {
        const Encoded e = encode(t.get(), input, mode, size);
        const bool tags_as_chars = mode != 1 && std::strchr(input, '[') != nullptr;
        if (e.result < 0) {
          EXPECT_TRUE(e.result == PMR_OUTPUT_TOO_LONG ||
                      (tags_as_chars && e.result == PMR_CHAR_NOT_IN_ALPHABET));
        }
      }
    }
  }
  // An empty input into tiny buffers.
  EXPECT_EQ(encode(t.get(), "", 0, 0).result, PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(encode(t.get(), "", 0, 1).result, PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(encode(t.get(), "", 0, 2).result, 1);
  EXPECT_EQ(encode(t.get(), "", 3, 1).result, 0);
  EXPECT_EQ(encode(t.get(), "", 3, 0).result, PMR_OUTPUT_TOO_LONG);
}

TEST(Encode, ArgumentChecks) {
  LoadedFsm t(small_model());
  char out[16];
  EXPECT_EQ(pmrEncodeByteString(nullptr, out, 16, 0, t.get()), PMR_NULL_POINTER);
  EXPECT_EQ(pmrEncodeByteString("a", nullptr, 16, 0, t.get()), PMR_NULL_POINTER);
  EXPECT_EQ(pmrEncodeByteString("a", out, 16, 0, nullptr), PMR_NULL_POINTER);
  EXPECT_EQ(pmrEncodeByteString("a", out, 16, 0, static_cast<pmr_fsm*>(pmr_error_object(-2))),
            -2);
  EXPECT_EQ(pmrEncodeByteString("a", out, -1, 0, t.get()), PMR_INVALID_NUMBER);
}

// Decoding, end to end: a compiled lexicon looked up with function 2, so
// that the network's coded output goes through the decoder.
std::string analyse(const std::string& lexicon, const std::string& word, uint8_t page_size,
                    bool page_after, const std::string& dropped_tag = "") {
  pmrtest::TempFile source(std::vector<uint8_t>(lexicon.begin(), lexicon.end()));
  pmrtools::CompileOptions options;
  options.layout.page_size = page_size;
  options.layout.page_after = page_after;
  options.layout.code16 = page_size != 0;  // small pages need more than 3 page bytes
  FileModel model;
  pmrtools::CompileStats stats;
  std::string error;
  if (!pmrtools::compile_sources({source.path()}, options, &model, &stats, &error)) return error;
  for (size_t i = 0; i < model.tags.size(); ++i)
    if (model.tags[i].first == dropped_tag) model.tags.erase(model.tags.begin() + long(i));
  LoadedFsm t(model);
  if (!t.ok()) return "load error";
  char out[256];
  const int32_t n = pmrLookupByteString(word.c_str(), out, sizeof out, 2, t.get());
  if (n != 1) return "results " + std::to_string(n);
  return out;
}

TEST(Decode, TagsAndPagesThroughLookup) {
  const std::string lexicon = "cats\tcat[n][pl]\nxyz\t[pre]xyzw[adj]\n";
  for (bool page_after : {false, true}) {
    for (uint8_t page_size : {uint8_t(0), uint8_t(7)}) {
      EXPECT_EQ(analyse(lexicon, "cats", page_size, page_after), "cat[n][pl]");
      EXPECT_EQ(analyse(lexicon, "xyz", page_size, page_after), "[pre]xyzw[adj]");
      // A tag symbol that the tag table does not know prints as "???".
      EXPECT_EQ(analyse(lexicon, "cats", page_size, page_after, "pl"), "cat[n][???]");
    }
  }
}

}  // namespace
