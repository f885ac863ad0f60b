// fstread_internals.cpp - white-box tests of the reader's internal services
// that no exported function reaches directly: the decoder's room rules, the
// tag list encoder and its marks, the tag listing, the bounded accessors of
// symbol characters, tag names and near/far tables, and the encoder's input
// limit and closing separator. The library hides these symbols, so this
// program links the static archive of the library objects.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fstread.h"
#include "fsttest.h"

namespace {

using namespace pmrtest::small;
using pmrtest::LoadedFsm;
using pmrtest::small_model;
using Bytes = std::vector<uint8_t>;

// Decodes `coded` into a buffer of `size` bytes (watching the bytes after
// it) and returns the text written, inner NULs included.
std::string decode(const pmr_fsm* fsm, Bytes coded, int32_t size, bool stop_at_eos,
                   int32_t* result) {
  coded.push_back(0);
  std::vector<uint8_t> out(size_t(size) + 8, 0x7f);
  *result = pmr::decode(coded.data(), out.data(), size, stop_at_eos, fsm);
  for (size_t i = size_t(size); i < out.size(); ++i) EXPECT_EQ(out[i], 0x7f) << "overrun";
  if (*result < 0) return "";
  EXPECT_EQ(out[size_t(*result)], 0);
  return std::string(reinterpret_cast<char*>(out.data()), size_t(*result));
}

TEST(DecodeRules, EndOfStringPagesAndTags) {
  LoadedFsm t(small_model());
  ASSERT_TRUE(t.ok());
  int32_t r;
  EXPECT_EQ(decode(t.get(), {kA, kPage, 0x40, kEos}, 100, true, &r), "az");
  EXPECT_EQ(r, 2);
  EXPECT_EQ(decode(t.get(), {kA, kPage, 0x40, kEos}, 100, false, &r), std::string("az\0", 3));
  // Two results in one coded string give two NUL-separated strings.
  EXPECT_EQ(decode(t.get(), {kA, kEos, kA + 4, kEos}, 100, false, &r), std::string("a\0b\0", 4));
  EXPECT_EQ(r, 4);
  EXPECT_EQ(decode(t.get(), {kA, kTagSep, kNoun, kPage, 0x44, kTagSep, kA + 4}, 100, true, &r),
            "a[Noun][Sg]b");
  EXPECT_EQ(decode(t.get(), {kTagSep, 0x70}, 100, true, &r), "[???]");
  EXPECT_EQ(decode(t.get(), {0x3C}, 5, true, &r), "?");  // below the label base
  EXPECT_EQ(decode(t.get(), {}, 1, true, &r), "");

  pmrtools::FileModel model = small_model();
  model.layout.page_after = true;
  LoadedFsm after(model);
  EXPECT_EQ(decode(after.get(), {kA, 0x40, kPage, kTagSep, 0x44, kPage, kTagSep, kA}, 100, true,
                   &r),
            "az[Sg]a");
  EXPECT_EQ(decode(after.get(), {}, 1, true, &r), "");

  model = small_model();
  model.write_tagmode = false;
  LoadedFsm no_tags(model);
  EXPECT_EQ(decode(no_tags.get(), {kA, kTagSep, kNoun, kTagSep}, 100, true, &r), "a?");
}

TEST(DecodeRules, RoomChecks) {
  LoadedFsm t(small_model());
  int32_t r;
  // A tag needs 69 bytes of room however short its name.
  EXPECT_EQ(decode(t.get(), {kTagSep, 0x70}, 69, true, &r), "[???]");
  decode(t.get(), {kTagSep, kPl}, 68, true, &r);
  EXPECT_EQ(r, PMR_OUTPUT_TOO_LONG);
  decode(t.get(), {kA}, 1, true, &r);
  EXPECT_EQ(r, PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(decode(t.get(), {kA}, 2, true, &r), "a");
  decode(t.get(), {kA}, 0, true, &r);
  EXPECT_EQ(r, PMR_OUTPUT_TOO_LONG);
  decode(t.get(), {kA, kEos}, 2, false, &r);
  EXPECT_EQ(r, PMR_OUTPUT_TOO_LONG);
  // A tag name longer than the 69-byte rule allows for.
  pmrtools::FileModel model = small_model();
  model.tags.push_back({std::string(200, 'L'), pmrtools::symbol_value(0x70, 0)});
  LoadedFsm long_name(model);
  decode(long_name.get(), {kTagSep, 0x70}, 150, true, &r);
  EXPECT_EQ(r, PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(decode(long_name.get(), {kTagSep, 0x70}, 203, true, &r).size(), 202u);
}

TEST(DecodeRules, RandomCodedStringsStayInTheBuffer) {
  pmrtools::FileModel model = small_model();
  LoadedFsm before(model);
  model.layout.page_after = true;
  LoadedFsm after(model);
  std::mt19937 rng(1);
  int32_t r;
  for (int k = 0; k < 20000; ++k) {
    Bytes coded(rng() % 12);
    for (uint8_t& b : coded) b = uint8_t(rng() | 1);
    for (const pmr_fsm* fsm : {before.get(), after.get()})
      decode(fsm, coded, int32_t(rng() % 80), (rng() & 1) != 0, &r);
  }
}

TEST(TagList, EncodesNamesAndSetsMarks) {
  LoadedFsm t(small_model());
  const char names[] = "Noun\0_x\0\0Pl\0Sg";
  uint8_t skip[8], underscore[8], out[32];
  std::memset(skip, 9, sizeof skip);
  std::memset(underscore, 9, sizeof underscore);
  EXPECT_EQ(pmr::encode_tag_list(names, 5, 1, out, 32, skip, underscore, t.get()), 6);
  EXPECT_EQ(Bytes(out, out + 7), (Bytes{kTagSep, kNoun, kPl, kPage, 0x44, kEos, 0}));
  EXPECT_EQ(Bytes(skip, skip + 7), (Bytes{9, 0, 1, 1, 0, 0, 9}));
  EXPECT_EQ(Bytes(underscore, underscore + 7), (Bytes{9, 0, 1, 0, 0, 0, 9}));
  EXPECT_EQ(pmr::encode_tag_list("Bad", 1, 0, out, 32, skip, underscore, t.get()),
            PMR_CHAR_NOT_IN_ALPHABET);
  for (int32_t size = 0; size < 8; ++size)
    EXPECT_EQ(pmr::encode_tag_list(names, 5, 0, out, size, skip, underscore, t.get()),
              PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(pmr::encode_tag_list("", 1, 0, out, 2, skip, underscore, t.get()), 1);
  EXPECT_EQ(pmr::encode_tag_list("", 1, 0, out, 1, skip, underscore, t.get()),
            PMR_OUTPUT_TOO_LONG);
}

TEST(TagList, ListingAndCount) {
  LoadedFsm t(small_model());
  EXPECT_EQ(pmr::tag_count(t.get()), 4);
  uint16_t values[4];
  char small_buffer[11];
  // "Noun" and "Verb" fit, "Pl" does not.
  EXPECT_EQ(pmr::list_tags(t.get(), values, 4, small_buffer, 11), PMR_OUTPUT_TOO_LONG);
  EXPECT_STREQ(small_buffer, "Noun");
  EXPECT_STREQ(small_buffer + 5, "Verb");
  char names[100];
  EXPECT_EQ(pmr::list_tags(t.get(), values, 4, names, 100), 4);
  EXPECT_EQ(values[3], 0x4401);
  EXPECT_EQ(pmr::list_tags(t.get(), values, 3, names, 100), PMR_OUTPUT_TOO_LONG);
  pmrtools::FileModel model = small_model();
  model.write_tagmode = false;
  LoadedFsm no_tags(model);
  EXPECT_EQ(pmr::tag_count(no_tags.get()), 0);
  EXPECT_EQ(pmr::list_tags(no_tags.get(), values, 4, names, 100), 0);
}

TEST(Services, BoundedAccessors) {
  LoadedFsm t(small_model());
  const pmr_fsm* fsm = t.get();
  EXPECT_EQ(pmr::tag_name_length(fsm, 9), 4u);
  EXPECT_EQ(pmr::tag_name_length(fsm, 4), 0u);
  EXPECT_EQ(pmr::tag_name_length(fsm, 5000), 0u);
  EXPECT_EQ(pmr::symbol_char(fsm, 48), 'z');
  EXPECT_EQ(pmr::symbol_char(fsm, 50), '?');
  EXPECT_STREQ(pmr::tag_name_by_value(fsm, 0x4401), "Sg");
  EXPECT_EQ(pmr::tag_name_by_value(fsm, 0), nullptr);
  EXPECT_EQ(pmr::tag_name_by_value(fsm, 0x4400), nullptr);
  EXPECT_EQ(pmr::tag_value_by_name(fsm, "Pl"), 0x6C00);
  EXPECT_EQ(pmr::tag_value_by_name(fsm, ""), 0);
  EXPECT_EQ(pmr::special_symbol_value(fsm, "TB"), 0x4C00);
  EXPECT_EQ(pmr::special_symbol_value(fsm, "EOF"), 0);
  EXPECT_EQ(pmr::network_for_function(fsm, 0), pmr::kNoNetwork);
  EXPECT_EQ(pmr::network_for_function(fsm, 12), pmr::kNoNetwork);
  ASSERT_NE(pmr::network_at(fsm, 0), nullptr);
  EXPECT_EQ(pmr::network_at(fsm, 1), nullptr);
  EXPECT_TRUE(pmr::is_real_object(fsm));
  EXPECT_FALSE(pmr::is_real_object(nullptr));
  EXPECT_FALSE(pmr::is_real_object(pmr_error_object(-2)));

  pmrtools::FileModel model = small_model();
  model.near_table = {1, 5};
  model.far_table = {0};
  model.layout.table_width = 2;
  model.functions = {0, 255, 0};
  LoadedFsm tables(model);
  ASSERT_TRUE(tables.ok());
  uint32_t position = 99;
  EXPECT_TRUE(pmr::table_entry(tables.get(), false, 0, &position));
  EXPECT_EQ(position, 1u);
  EXPECT_FALSE(pmr::table_entry(tables.get(), false, 1, &position));  // beyond the network
  EXPECT_TRUE(pmr::table_entry(tables.get(), true, 0, &position));
  EXPECT_EQ(position, 0u);
  EXPECT_FALSE(pmr::table_entry(tables.get(), true, 100000, &position));
  EXPECT_EQ(pmr::network_for_function(tables.get(), 1), pmr::kNoNetwork);
  EXPECT_EQ(pmr::network_for_function(tables.get(), 2), 0);
  EXPECT_EQ(pmr::network_for_function(tables.get(), 3), pmr::kNoNetwork);
}

TEST(EncodeRules, InputLimitAndClosingSeparator) {
  LoadedFsm t(small_model());
  const auto* abc = reinterpret_cast<const uint8_t*>("abc");
  const auto* tagged = reinterpret_cast<const uint8_t*>("a[Noun]b");
  uint8_t out[32];
  EXPECT_EQ(pmr::encode_byte_string(abc, 2, out, 32, false, true, false, t.get()), 3);
  EXPECT_EQ(Bytes(out, out + 3), (Bytes{kA, kA + 4, kEos}));
  // A tag crossing the limit is consumed whole; the run is then closed.
  EXPECT_EQ(pmr::encode_byte_string(tagged, 2, out, 32, true, false, true, t.get()), 4);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{kA, kTagSep, kNoun, kTagSep}));
  EXPECT_EQ(pmr::encode_byte_string(abc, 0, out, 32, false, true, false, t.get()), 1);
  EXPECT_EQ(pmr::encode_byte_string(abc, -5, out, 32, false, false, false, t.get()), 0);
  EXPECT_EQ(pmr::encode_byte_string(abc, 0, out, 2, false, true, true, t.get()),
            PMR_OUTPUT_TOO_LONG);
}

}  // namespace
