// test_dict.cpp - client dictionaries through the public API: entries added
// one by one and loaded from files, the lookup modes and the room rule of the
// output buffer, argument checks, and the bucket hash.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dict.h"
#include "pmr.h"

namespace {

namespace fs = std::filesystem;

class ClientDict : public ::testing::Test {
 protected:
  void SetUp() override {
    dict_ = pmr_make_client_dict(0, 0);
    ASSERT_EQ(pmr_object_error_code(dict_), 0);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("pmr_dict_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    pmr_free_client_dict(dict_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Writes `bytes` to a file of the temp dir and returns its path.
  std::string write_file(const std::string& bytes) {
    std::string path = (dir_ / ("d" + std::to_string(file_count_++) + ".txt")).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  int32_t load(const std::string& bytes) {
    return pmr_load_entries(write_file(bytes).c_str(), 0, dict_);
  }

  // The strings of a successful lookup, in buffer order.
  std::vector<std::string> lookup(const char* word, int32_t mode, const char* tags = "") {
    char out[4096];
    int32_t n = pmr_client_dict_lookup(word, tags, out, sizeof out, mode, 0, dict_);
    EXPECT_GE(n, 0) << word;
    std::vector<std::string> results;
    const char* p = out;
    for (int32_t i = 0; i < n; ++i, p += results.back().size() + 1) results.emplace_back(p);
    return results;
  }

  int32_t count(const char* word) {
    return pmr_client_dict_lookup(word, nullptr, nullptr, 0, 0, 0, dict_);
  }

  pmr_client_dict* dict_ = nullptr;
  fs::path dir_;
  int file_count_ = 0;
};

using Strings = std::vector<std::string>;

TEST(ClientDictHash, ElfHashAndBucket) {
  EXPECT_EQ(pmr::elf_hash("abc"), 26499u);
  EXPECT_EQ(pmr::client_dict_bucket("abc", pmr::kClientDictBuckets), 124u);
  EXPECT_EQ(pmr::client_dict_bucket("", pmr::kClientDictBuckets), 0u);
  // The high nibble is folded back in: the value stays below 2^28.
  EXPECT_LT(pmr::elf_hash("a rather long word with many letters"), 1u << 28);
  // Bytes above 0x7f count as 128..255, not as negative values.
  EXPECT_EQ(pmr::elf_hash("\xff"), 255u);
}

TEST_F(ClientDict, ModesSplitTheAnalysisAtTheFirstBracket) {
  ASSERT_EQ(pmr_add_entry("houses", "house[N][Pl]", 0, dict_), 0);
  EXPECT_EQ(count("houses"), 1);
  EXPECT_EQ(lookup("houses", PMR_DICT_COPY_BASE), Strings{"house"});
  EXPECT_EQ(lookup("houses", PMR_DICT_COPY_TAGS), Strings{"[N][Pl]"});
  EXPECT_EQ(lookup("houses", PMR_DICT_COPY_BASE | PMR_DICT_COPY_TAGS), Strings{"house[N][Pl]"});
  EXPECT_EQ(pmr_client_dict_lookup("houses", "[N][Pl]", nullptr, 0, 1, 0, dict_), 1);
  EXPECT_EQ(pmr_client_dict_lookup("houses", "[N]", nullptr, 0, 1, 0, dict_), 0);
  // Bits beyond the three modes are ignored.
  EXPECT_EQ(lookup("houses", 8 | PMR_DICT_COPY_BASE), Strings{"house"});
}

TEST_F(ClientDict, AnalysisWithoutBracketHasEmptyTagString) {
  ASSERT_EQ(pmr_add_entry("go", "went", 0, dict_), 0);
  char out[8] = {'x', 'x', 'x'};
  EXPECT_EQ(pmr_client_dict_lookup("go", nullptr, out, sizeof out, PMR_DICT_COPY_TAGS, 0, dict_), 1);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(out[1], 'x');
  EXPECT_EQ(pmr_client_dict_lookup("go", "", nullptr, 0, PMR_DICT_MATCH_TAGS, 0, dict_), 1);
  EXPECT_EQ(pmr_client_dict_lookup("go", "[V]", nullptr, 0, PMR_DICT_MATCH_TAGS, 0, dict_), 0);
  EXPECT_EQ(lookup("go", PMR_DICT_COPY_BASE), Strings{"went"});
}

TEST_F(ClientDict, SameWordComesBackNewestFirst) {
  ASSERT_EQ(pmr_add_entry("saw", "see[V][Past]", 0, dict_), 0);
  ASSERT_EQ(pmr_add_entry("saw", "saw[N]", 0, dict_), 0);
  ASSERT_EQ(pmr_add_entry("saw", "saw[N]", 0, dict_), 0);  // duplicates are kept
  EXPECT_EQ(lookup("saw", 6), (Strings{"saw[N]", "saw[N]", "see[V][Past]"}));
  EXPECT_EQ(lookup("saw", PMR_DICT_MATCH_TAGS | PMR_DICT_COPY_BASE, "[V][Past]"), Strings{"see"});
  EXPECT_EQ(count("sa"), 0);
  EXPECT_EQ(count("saws"), 0);
  EXPECT_EQ(lookup("never", 6).size(), 0u);
}

TEST_F(ClientDict, WordsSharingABucketStayApart) {
  // Collect words of the same bucket as "abc" and add them all.
  std::vector<std::string> words{"abc"};
  for (int i = 0; words.size() < 6; ++i) {
    std::string w = "w" + std::to_string(i);
    if (pmr::client_dict_bucket(w.c_str(), pmr::kClientDictBuckets) == 124) words.push_back(w);
  }
  for (const auto& w : words) ASSERT_EQ(pmr_add_entry(w.c_str(), (w + "[X]").c_str(), 0, dict_), 0);
  for (const auto& w : words) EXPECT_EQ(lookup(w.c_str(), 6), Strings{w + "[X]"});
}

TEST_F(ClientDict, MatchingIsExactAndCaseSensitive) {
  ASSERT_EQ(pmr_add_entry("Paris", "Paris[Prop]", 0, dict_), 0);
  ASSERT_EQ(pmr_add_entry("\xe9t\xe9", "\xe9t\xe9[N]", 0, dict_), 0);
  ASSERT_EQ(pmr_add_entry("", "[Empty]", 0, dict_), 0);
  EXPECT_EQ(count("paris"), 0);
  EXPECT_EQ(count("Paris"), 1);
  EXPECT_EQ(count("Paris "), 0);
  EXPECT_EQ(lookup("\xe9t\xe9", PMR_DICT_COPY_BASE), Strings{"\xe9t\xe9"});
  EXPECT_EQ(lookup("", PMR_DICT_COPY_TAGS), Strings{"[Empty]"});
}

TEST_F(ClientDict, ResultMustFitWithItsNul) {
  ASSERT_EQ(pmr_add_entry("ran", "run[V]", 0, dict_), 0);
  char out[16];
  std::memset(out, '#', sizeof out);
  // "run" needs four bytes: three are not enough, the bytes that fit stay.
  EXPECT_EQ(pmr_client_dict_lookup("ran", nullptr, out, 3, PMR_DICT_COPY_BASE, 0, dict_),
            PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(std::string(out, 4), "run#");
  EXPECT_EQ(pmr_client_dict_lookup("ran", nullptr, out, 4, PMR_DICT_COPY_BASE, 0, dict_), 1);
  EXPECT_STREQ(out, "run");
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(pmr_client_dict_lookup("ran", nullptr, out, 0, PMR_DICT_COPY_TAGS, 0, dict_),
            PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(out[0], '#');
  // No match needs no room.
  EXPECT_EQ(pmr_client_dict_lookup("walk", nullptr, out, 0, 6, 0, dict_), 0);
}

TEST_F(ClientDict, SecondResultThatDoesNotFitKeepsTheFirst) {
  ASSERT_EQ(pmr_add_entry("x", "old[A]", 0, dict_), 0);
  ASSERT_EQ(pmr_add_entry("x", "new[B]", 0, dict_), 0);
  char out[16];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(pmr_client_dict_lookup("x", nullptr, out, 10, 6, 0, dict_), PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(std::string(out, 11), std::string("new[B]\0old", 10) + "#");
  EXPECT_EQ(pmr_client_dict_lookup("x", nullptr, out, 14, 6, 0, dict_), 2);
}

TEST_F(ClientDict, ArgumentChecksInOrder) {
  char out[8];
  EXPECT_EQ(pmr_add_entry(nullptr, "a", 0, dict_), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_add_entry("a", nullptr, 0, dict_), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_add_entry("a", "a", 0, nullptr), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_load_entries(nullptr, 0, dict_), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_load_entries("x", 0, nullptr), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_client_dict_lookup(nullptr, "", out, 8, 0, 0, dict_), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_client_dict_lookup("a", "", out, 8, 0, 0, nullptr), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_client_dict_lookup("a", nullptr, out, 8, 1, 0, dict_), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_client_dict_lookup("a", "", nullptr, 8, 2, 0, dict_), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_client_dict_lookup("a", "", nullptr, 8, 4, 0, dict_), PMR_NULL_POINTER);
  // Null checks come before the number checks.
  EXPECT_EQ(pmr_client_dict_lookup("a", nullptr, nullptr, -1, -1, 0, dict_), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_client_dict_lookup("a", "", out, -1, 0, 0, dict_), PMR_INVALID_NUMBER);
  EXPECT_EQ(pmr_client_dict_lookup("a", "", out, 8, -8, 0, dict_), PMR_INVALID_NUMBER);
  EXPECT_EQ(pmr_client_dict_lookup("a", nullptr, nullptr, 0, 0, 0, dict_), 0);
}

TEST_F(ClientDict, ErrorObjectPassesItsCodeOn) {
  auto* bad = static_cast<pmr_client_dict*>(pmr_error_object(PMR_MEMORY_ERROR));
  char out[8];
  EXPECT_EQ(pmr_add_entry("a", "b", 0, bad), PMR_MEMORY_ERROR);
  EXPECT_EQ(pmr_load_entries(write_file("a\tb\n").c_str(), 0, bad), PMR_MEMORY_ERROR);
  EXPECT_EQ(pmr_client_dict_lookup("a", "", out, 8, 6, 0, bad), PMR_MEMORY_ERROR);
  pmr_free_client_dict(bad);
  pmr_free_client_dict(nullptr);
}

TEST_F(ClientDict, LoadsTheLineKindsOfAFile) {
  int32_t n = load(
      "; a comment\tline\n"
      "\n"
      " indented\tignored\n"
      "\tstarts with a tab\n"
      "\x01" "control\tbyte\n"
      "[N][Sg]\n"
      "cat\n"
      "dog\n"
      "dogs\tdog[N][Pl]\n"
      "[V]\n"
      "run\n"
      "[Adj]\n"
      "[Adv]\n"
      "fast\n");
  EXPECT_EQ(n, 5);
  EXPECT_EQ(lookup("cat", 6), Strings{"[N][Sg]"});
  EXPECT_EQ(lookup("dog", PMR_DICT_COPY_BASE), Strings{""});
  EXPECT_EQ(lookup("dogs", 6), Strings{"dog[N][Pl]"});
  EXPECT_EQ(lookup("run", 6), Strings{"[V]"});
  EXPECT_EQ(lookup("fast", 6), Strings{"[Adv]"});  // the newer tag line wins
  EXPECT_EQ(count("; a comment"), 0);
  EXPECT_EQ(count(" indented"), 0);
  EXPECT_EQ(count("[N][Sg]"), 0);
  EXPECT_EQ(pmr_load_entries(write_file("").c_str(), 0, dict_), 0);
}

TEST_F(ClientDict, NothingIsTrimmed) {
  EXPECT_EQ(load("[T]\nword \n[T] \n\xe0la\n"), 3);
  EXPECT_EQ(count("word "), 1);
  EXPECT_EQ(count("word"), 0);
  EXPECT_EQ(lookup("[T] ", 6), Strings{"[T]"});  // not a tag line: it ends in a space
  EXPECT_EQ(count("\xe0la"), 1);                 // high bytes are ordinary text
}

TEST_F(ClientDict, TextBetweenTabsIsDropped) {
  EXPECT_EQ(load("word\tlost\talso lost\tword[N]\nempty\t\n"), 2);
  EXPECT_EQ(lookup("word", 6), Strings{"word[N]"});
  EXPECT_EQ(lookup("empty", 6), Strings{""});
}

TEST_F(ClientDict, LineEndsAtCarriageReturnOrNul) {
  EXPECT_EQ(load("a\tb[X]\r\n[T]\r\nc\r\nd\re\n" + std::string("f\0g\tignored\n", 12)), 4);
  EXPECT_EQ(lookup("a", 6), Strings{"b[X]"});
  EXPECT_EQ(lookup("c", 6), Strings{"[T]"});
  EXPECT_EQ(count("d"), 1);
  EXPECT_EQ(count("e"), 0);
  EXPECT_EQ(lookup("f", 6), Strings{"[T]"});
}

TEST_F(ClientDict, SingleFieldEntryNeedsATagSpecification) {
  EXPECT_EQ(load("; comment\nlonely\n"), PMR_ENTRY_BEFORE_TAG);
  EXPECT_EQ(count("lonely"), 0);
  // After a two-field entry the tag line is gone; earlier entries stay.
  EXPECT_EQ(load("[N]\ntree\nleaves\tleaf[N][Pl]\nbranch\nroot\n"), PMR_ENTRY_BEFORE_TAG);
  EXPECT_EQ(count("tree"), 1);
  EXPECT_EQ(count("leaves"), 1);
  EXPECT_EQ(count("branch"), 0);
  EXPECT_EQ(count("root"), 0);
  // The tag line does not carry over from one load to the next.
  EXPECT_EQ(load("[V]\n"), 0);
  EXPECT_EQ(load("walk\n"), PMR_ENTRY_BEFORE_TAG);
}

TEST_F(ClientDict, LongLineIsReadInPiecesOf1023Bytes) {
  std::string a(1023, 'a'), b(1023, 'b');
  // 1023 + 1023 + 5 bytes of one line: three single-field entries.
  EXPECT_EQ(load("[L]\n" + a + b + "ccccc\n"), 3);
  EXPECT_EQ(count(a.c_str()), 1);
  EXPECT_EQ(count(b.c_str()), 1);
  EXPECT_EQ(count("ccccc"), 1);
  // A two-field line cut in the middle of its first field: the first piece is
  // a single-field entry, the second a two-field entry.
  std::string word(1020, 'w');
  EXPECT_EQ(load("[P]\n" + word + "xyz" + "tail\tan[A]\n"), 2);
  EXPECT_EQ(lookup((word + "xyz").c_str(), 6), Strings{"[P]"});
  EXPECT_EQ(lookup("tail", 6), Strings{"an[A]"});
  // Exactly 1023 bytes and a line feed: the line feed alone is an empty piece.
  std::string full(1023, 'f');
  EXPECT_EQ(load("[F]\n" + full + "\nnext\n"), 2);
  EXPECT_EQ(count(full.c_str()), 1);
}

TEST_F(ClientDict, FileErrors) {
  EXPECT_EQ(pmr_load_entries((dir_ / "missing.txt").c_str(), 0, dict_), PMR_FILE_OPEN_ERROR);
  EXPECT_LT(pmr_load_entries(dir_.c_str(), 0, dict_), 0);  // a directory is no dictionary file
}

TEST_F(ClientDict, FileWithoutFinalLineFeed) {
  EXPECT_EQ(load("a\tb[X]\n[T]\nlast"), 2);
  EXPECT_EQ(lookup("last", 6), Strings{"[T]"});
}

}  // namespace
