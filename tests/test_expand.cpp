// test_expand.cpp - lookup buffers and partial-word expansion, end to end
// through the public C interface: the buffer block's layout, word lists
// compiled by our compiler as expansion acceptors (free prefix, piece,
// length bounds, depth-first order), the continuation protocol across calls
// with small output buffers, and hand-assembled networks for flag arcs,
// indexed arc blocks, duplicate paths, loops and the error codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fsttest.h"
#include "netcompile.h"
#include "pmr.h"

namespace {

using pmrtest::LoadedFsm;
using pmrtools::FileModel;

// ---- the lookup buffer block ------------------------------------------------

// The header fields in their documented order, as a client that reads the
// client word would see them.
struct HeaderView {
  uint8_t saved_state[28];
  uint8_t* stack_area;
  uint32_t stack_capacity;
  uint32_t stack_top;
  uint32_t result_count;
  uint32_t cursor;
  uint8_t* coded_input;
  uint32_t coded_input_size;
  uint8_t* coded_output;
  uint32_t coded_output_size;
  uint32_t client_word;
  uint16_t tag_open;
  uint16_t tag_close;
};

const HeaderView* view(const pmr_lookup_buffer* buffer) {
  return reinterpret_cast<const HeaderView*>(buffer);
}

class Buffer {
 public:
  Buffer(uint32_t input, uint32_t output, uint32_t stack, uint32_t word = 0)
      : buffer_(pmrMakeLookupBuffer(input, output, stack, 0, 0, word)) {}
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() { pmrFreeLookupBuffer(buffer_); }
  pmr_lookup_buffer* get() const { return buffer_; }

 private:
  pmr_lookup_buffer* buffer_;
};

ptrdiff_t offset(const void* from, const void* to) {
  return static_cast<const uint8_t*>(to) - static_cast<const uint8_t*>(from);
}

TEST(LookupBuffer, AreasFollowTheHeaderInRoundedSteps) {
  Buffer zero(0, 0, 0, 77);
  ASSERT_EQ(pmr_object_error_code(zero.get()), 0);
  const HeaderView* h = view(zero.get());
  EXPECT_EQ(offset(zero.get(), h->coded_input) % 8, 0);
  EXPECT_GT(offset(zero.get(), h->coded_input), ptrdiff_t(sizeof(HeaderView)) - 1);
  EXPECT_EQ(offset(h->coded_input, h->coded_output), 8);  // size 0 still takes 8 bytes
  EXPECT_EQ(offset(h->coded_output, h->stack_area), 8);
  EXPECT_EQ(h->coded_input_size, 0u);
  EXPECT_EQ(h->coded_output_size, 0u);
  EXPECT_EQ(h->stack_capacity, 0u);
  EXPECT_EQ(h->client_word, 77u);

  Buffer sized(8, 13, 3);
  const HeaderView* s = view(sized.get());
  EXPECT_EQ(offset(s->coded_input, s->coded_output), 16);  // a multiple of 8 gains a step
  EXPECT_EQ(offset(s->coded_output, s->stack_area), 16);
  EXPECT_EQ(s->coded_input_size, 8u);
  EXPECT_EQ(s->coded_output_size, 13u);
  EXPECT_EQ(s->stack_capacity, 3u);
}

TEST(LookupBuffer, EnclosureCharactersDefaultToSquareBrackets) {
  Buffer b(16, 16, 4);
  EXPECT_EQ(view(b.get())->tag_open, uint16_t('['));
  EXPECT_EQ(view(b.get())->tag_close, uint16_t(']'));
  pmrSetTagEnclosureChars(b.get(), 0x2039, uint16_t('>'));
  EXPECT_EQ(view(b.get())->tag_open, 0x2039);
  EXPECT_EQ(view(b.get())->tag_close, uint16_t('>'));
}

TEST(LookupBuffer, HugeSizesGiveTheMemoryErrorObject) {
  const uint32_t big = 0xFFFFFFFFu;
  for (pmr_lookup_buffer* b :
       {pmrMakeLookupBuffer(big, 0, 0, 0, 0, 0), pmrMakeLookupBuffer(0, big, 0, 0, 0, 0),
        pmrMakeLookupBuffer(0, 0, big, 0, 0, 0), pmrMakeLookupBuffer(big, big, big, 0, 0, 0),
        pmrMakeLookupBuffer(0, 0, 0x7FFFFFFFu / 28 + 1, 0, 0, 0)}) {
    EXPECT_EQ(pmr_object_error_code(b), PMR_MEMORY_ERROR);
    pmrFreeLookupBuffer(b);  // error objects are accepted and ignored
  }
  pmrFreeLookupBuffer(nullptr);
  EXPECT_EQ(pmrLookupBufferCursor(nullptr), 0u);
  EXPECT_EQ(pmrLookupBufferResultCount(nullptr), 0u);
}

// ---- expansion helpers --------------------------------------------------------

struct Bounds {
  uint32_t prefix = 0;
  uint32_t minimum = 0;
  uint32_t limit = 1000;
};

// The strings of one call's output, checked against the buffer's count and
// cursor.
std::vector<std::string> results_of(const std::vector<char>& out, const pmr_lookup_buffer* b) {
  std::vector<std::string> words;
  const uint32_t count = pmrLookupBufferResultCount(b);
  const uint32_t cursor = pmrLookupBufferCursor(b);
  size_t at = 0;
  for (uint32_t i = 0; i < count && at < out.size(); ++i) {
    words.emplace_back(out.data() + at);
    at += words.back().size() + 1;
  }
  EXPECT_EQ(at, cursor);
  return words;
}

// One call with a fresh buffer large enough for everything.
int32_t expand_once(const pmr_fsm* fsm, const char* piece, const Bounds& bounds,
                    std::vector<std::string>* words, uint32_t stack = 1000,
                    uint32_t coded_output = 256, uint32_t output_size = 1 << 20) {
  Buffer b(64, coded_output, stack);
  std::vector<char> out(output_size);
  const int32_t r = pmrExpandByteStringPartialWord(piece, out.data(), output_size, b.get(),
                                                   bounds.prefix, bounds.minimum, bounds.limit,
                                                   0, 0, fsm);
  if (words != nullptr) *words = r >= 0 ? results_of(out, b.get()) : std::vector<std::string>{};
  return r;
}

std::vector<std::string> expand_all(const pmr_fsm* fsm, const char* piece,
                                    const Bounds& bounds = {}) {
  std::vector<std::string> words;
  const int32_t r = expand_once(fsm, piece, bounds, &words);
  EXPECT_GE(r, 0);
  EXPECT_EQ(size_t(r), words.size());
  return words;
}

// The whole expansion in calls with output buffers of `size` bytes; every
// call but the last must end with -24. *calls counts the calls.
std::vector<std::string> expand_in_pieces(const pmr_fsm* fsm, const char* piece,
                                          const Bounds& bounds, uint32_t size, int* calls) {
  Buffer b(64, 256, 1000);
  std::vector<std::string> words;
  std::vector<char> out(size);
  *calls = 0;
  for (int32_t continuing = 0;; continuing = 1) {
    ++*calls;
    const int32_t r = pmrExpandByteStringPartialWord(piece, out.data(), size, b.get(),
                                                     bounds.prefix, bounds.minimum,
                                                     bounds.limit, continuing, 0, fsm);
    if (r != PMR_CLIENT_OUTPUT_FULL && r < 0) {
      ADD_FAILURE() << "call " << *calls << " returned " << r;
      return words;
    }
    const std::vector<std::string> part = results_of(out, b.get());
    EXPECT_GT(part.size(), 0u);
    words.insert(words.end(), part.begin(), part.end());
    if (r >= 0) {
      EXPECT_EQ(size_t(r), part.size());
      return words;
    }
  }
}

bool compile_words(const std::vector<std::string>& words, FileModel* model, bool blocks = true) {
  std::string text;
  for (const std::string& w : words) text += w + "\n";
  pmrtest::TempFile source(std::vector<uint8_t>(text.begin(), text.end()));
  pmrtools::CompileOptions options;
  options.format = pmrtools::SourceFormat::Lexicon;
  options.expansion = true;
  options.indexed_blocks = blocks;
  pmrtools::CompileStats stats;
  std::string error;
  const bool ok = pmrtools::compile_sources({source.path()}, options, model, &stats, &error);
  EXPECT_TRUE(ok) << error;
  return ok;
}

// The coded form of a word: the network's arcs in the order they are tried.
std::string coded_key(const pmr_fsm* fsm, const std::string& word) {
  char coded[256];
  const int32_t n = pmrEncodeByteString(word.c_str(), coded, sizeof coded, 3, fsm);
  EXPECT_GE(n, 0) << word;
  return std::string(coded, n < 0 ? 0 : size_t(n));
}

// The words in depth-first order: ascending codes, a word before its
// extensions.
std::vector<std::string> depth_first(const pmr_fsm* fsm, std::vector<std::string> words) {
  std::sort(words.begin(), words.end(), [&](const std::string& a, const std::string& b) {
    const std::string ka = coded_key(fsm, a);
    const std::string kb = coded_key(fsm, b);
    return std::lexicographical_compare(ka.begin(), ka.end(), kb.begin(), kb.end(),
                                        [](char x, char y) { return uint8_t(x) < uint8_t(y); });
  });
  return words;
}

template <typename Keep>
std::vector<std::string> filtered(const std::vector<std::string>& words, Keep keep) {
  std::vector<std::string> kept;
  for (const std::string& w : words)
    if (keep(w)) kept.push_back(w);
  return kept;
}

// ---- word lists compiled by the compiler -------------------------------------

// Listed out of order; "abcd" first so that the letters get their codes in
// alphabetical order.
const std::vector<std::string> kWords = {"abcd", "b",   "ab",  "abc", "abd", "ba",
                                         "c",    "a",   "bac", "cab", "dcab", "bb",
                                         "cabd", "d",   "abba", "dab"};

class CompiledList : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(compile_words(kWords, &model_));
    fsm_ = std::make_unique<LoadedFsm>(model_);
    ASSERT_TRUE(fsm_->ok()) << fsm_->code();
    sorted_ = depth_first(fsm(), kWords);
  }
  const pmr_fsm* fsm() const { return fsm_->get(); }
  FileModel model_;
  std::unique_ptr<LoadedFsm> fsm_;
  std::vector<std::string> sorted_;
};

TEST_F(CompiledList, EmptyPieceListsEveryWordDepthFirst) {
  EXPECT_EQ(expand_all(fsm(), ""), sorted_);
  EXPECT_EQ(sorted_.front(), "a");  // a word comes before its extensions
}

TEST_F(CompiledList, PieceListsTheWordsThatBeginWithIt) {
  auto begins = [](const std::string& p) {
    return [p](const std::string& w) { return w.compare(0, p.size(), p) == 0; };
  };
  EXPECT_EQ(expand_all(fsm(), "ab"), filtered(sorted_, begins("ab")));
  EXPECT_EQ(expand_all(fsm(), "ca"), filtered(sorted_, begins("ca")));
  EXPECT_EQ(expand_all(fsm(), "abcd"), std::vector<std::string>{"abcd"});
  EXPECT_TRUE(expand_all(fsm(), "dd").empty());
  EXPECT_TRUE(expand_all(fsm(), "abcda").empty());
}

TEST_F(CompiledList, FreePrefixPutsThePieceFurtherIn) {
  auto at = [](size_t k, const std::string& p) {
    return [k, p](const std::string& w) { return w.size() >= k && w.compare(k, p.size(), p) == 0; };
  };
  Bounds two;
  two.prefix = 2;
  const std::vector<std::string> got = expand_all(fsm(), "c", two);
  EXPECT_EQ(got, filtered(sorted_, at(2, "c")));
  EXPECT_EQ(got, (std::vector<std::string>{"abc", "abcd", "bac"}));
  // The piece must be matched whole, so "c" itself is not a result; an empty
  // piece is matched from the start, and the free prefix changes nothing.
  EXPECT_EQ(expand_all(fsm(), "", two), sorted_);
  Bounds one;
  one.prefix = 1;
  EXPECT_EQ(expand_all(fsm(), "ab", one), filtered(sorted_, at(1, "ab")));
}

TEST_F(CompiledList, LengthBoundsCountSymbols) {
  Bounds none;
  none.limit = 0;
  std::vector<std::string> words;
  EXPECT_EQ(expand_once(fsm(), "", none, &words), 0);
  for (uint32_t limit = 1; limit <= 6; ++limit) {
    Bounds b;
    b.limit = limit;
    EXPECT_EQ(expand_all(fsm(), "", b),
              filtered(sorted_, [&](const std::string& w) { return w.size() + 1 <= limit; }))
        << "limit " << limit;
  }
  for (uint32_t minimum = 0; minimum <= 5; ++minimum) {
    Bounds b;
    b.minimum = minimum;
    EXPECT_EQ(expand_all(fsm(), "a", b),
              filtered(sorted_, [&](const std::string& w) {
                return w[0] == 'a' && w.size() >= minimum;
              }))
        << "minimum " << minimum;
  }
  Bounds exact;
  exact.minimum = 3;
  exact.limit = 4;
  EXPECT_EQ(expand_all(fsm(), "", exact),
            filtered(sorted_, [](const std::string& w) { return w.size() == 3; }));
}

TEST_F(CompiledList, FirstWordTooLargeSavesItForTheNextCall) {
  Buffer b(64, 256, 1000);
  std::vector<char> tiny(1);
  EXPECT_EQ(pmrExpandByteStringPartialWord("ab", tiny.data(), 1, b.get(), 0, 0, 100, 0, 0, fsm()),
            PMR_CLIENT_OUTPUT_TOO_SMALL);
  EXPECT_EQ(pmrLookupBufferResultCount(b.get()), 0u);
  // Still too small: the state stays, so a larger buffer can try again.
  EXPECT_EQ(pmrExpandByteStringPartialWord(nullptr, tiny.data(), 1, b.get(), 0, 0, 100, 1, 0,
                                           fsm()),
            PMR_CLIENT_OUTPUT_TOO_SMALL);
  // Room for the pending word only: it comes first, then the buffer is full.
  std::vector<char> three(3);
  EXPECT_EQ(pmrExpandByteStringPartialWord(nullptr, three.data(), 3, b.get(), 0, 0, 100, 1, 0,
                                           fsm()),
            PMR_CLIENT_OUTPUT_FULL);
  EXPECT_EQ(pmrLookupBufferResultCount(b.get()), 1u);
  EXPECT_EQ(pmrLookupBufferCursor(b.get()), 3u);
  EXPECT_STREQ(three.data(), "ab");
  std::vector<char> out(1000);
  const int32_t r = pmrExpandByteStringPartialWord(nullptr, out.data(), 1000, b.get(), 0, 0, 100,
                                                   1, 0, fsm());
  const std::vector<std::string> rest = results_of(out, b.get());
  EXPECT_EQ(r, int32_t(rest.size()));
  std::vector<std::string> expected =
      filtered(sorted_, [](const std::string& w) { return w.compare(0, 2, "ab") == 0; });
  ASSERT_EQ(expected.front(), "ab");
  expected.erase(expected.begin());
  EXPECT_EQ(rest, expected);
}

TEST_F(CompiledList, FullBufferReportsItsCountAndContinues) {
  Buffer b(64, 256, 1000);
  std::vector<char> out(8);
  // "a", "ab" and NULs take 5 bytes; the third word does not fit the 2 left.
  ASSERT_EQ(sorted_[0], "a");
  ASSERT_EQ(sorted_[1], "ab");
  EXPECT_EQ(pmrExpandByteStringPartialWord("", out.data(), 8, b.get(), 0, 0, 100, 0, 0, fsm()),
            PMR_CLIENT_OUTPUT_FULL);
  EXPECT_EQ(pmrLookupBufferResultCount(b.get()), 2u);
  EXPECT_EQ(pmrLookupBufferCursor(b.get()), 5u);
  EXPECT_EQ(results_of(out, b.get()), (std::vector<std::string>{"a", "ab"}));
}

TEST_F(CompiledList, ContinuedCallsDeliverEveryWordOnce) {
  for (uint32_t size = 6; size <= 40; ++size) {
    int calls = 0;
    EXPECT_EQ(expand_in_pieces(fsm(), "", Bounds{}, size, &calls), sorted_) << "size " << size;
    EXPECT_GT(calls, 1);
  }
  int calls = 0;
  Bounds b;
  b.prefix = 1;
  b.minimum = 2;
  EXPECT_EQ(expand_in_pieces(fsm(), "b", b, 7, &calls), expand_all(fsm(), "b", b));
}

TEST_F(CompiledList, ErrorsAndArguments) {
  Buffer b(64, 256, 1000);
  std::vector<char> out(100);
  char* o = out.data();
  EXPECT_EQ(pmrExpandByteStringPartialWord("a", nullptr, 100, b.get(), 0, 0, 9, 0, 0, fsm()),
            PMR_NULL_POINTER);
  EXPECT_EQ(pmrExpandByteStringPartialWord("a", o, 100, nullptr, 0, 0, 9, 0, 0, fsm()),
            PMR_NULL_POINTER);
  EXPECT_EQ(pmrExpandByteStringPartialWord(nullptr, o, 100, b.get(), 0, 0, 9, 0, 0, fsm()),
            PMR_NULL_POINTER);
  EXPECT_EQ(pmrExpandByteStringPartialWord("a", o, 100, b.get(), 0, 0, 9, 0, 0, nullptr),
            PMR_NULL_POINTER);
  EXPECT_EQ(pmrExpandByteStringPartialWord("a", o, 100, b.get(), 0, 0, 9, 0, 0,
                                           static_cast<pmr_fsm*>(pmr_error_object(-2))),
            -2);
  EXPECT_EQ(pmrExpandByteStringPartialWord("a", o, 100,
                                           static_cast<pmr_lookup_buffer*>(pmr_error_object(-3)),
                                           0, 0, 9, 0, 0, fsm()),
            -3);
  EXPECT_EQ(pmrExpandByteStringPartialWord("a!", o, 100, b.get(), 0, 0, 9, 0, 0, fsm()),
            PMR_CHAR_NOT_IN_ALPHABET);

  Buffer small_input(2, 256, 1000);
  EXPECT_EQ(pmrExpandByteStringPartialWord("abc", o, 100, small_input.get(), 0, 0, 9, 0, 0,
                                           fsm()),
            PMR_CODED_INPUT_TOO_SMALL);
  // A coded output of 3 bytes holds paths of at most 2 codes.
  Buffer small_output(64, 3, 1000);
  EXPECT_EQ(pmrExpandByteStringPartialWord("ab", o, 100, small_output.get(), 0, 0, 9, 0, 0,
                                           fsm()),
            PMR_CODED_OUTPUT_TOO_SMALL);
  Buffer no_stack(64, 256, 1);
  EXPECT_EQ(pmrExpandByteStringPartialWord("", o, 100, no_stack.get(), 0, 0, 9, 0, 0, fsm()),
            PMR_STACK_OVERFLOW);
  // Without choices (the piece decides every arc) one entry is enough.
  EXPECT_EQ(pmrExpandByteStringPartialWord("cabd", o, 100, no_stack.get(), 0, 0, 9, 0, 0,
                                           fsm()),
            1);
  EXPECT_STREQ(o, "cabd");
}

TEST_F(CompiledList, ContinuingWithoutSavedStateIsRefused) {
  std::vector<char> out(100);
  Buffer fresh(64, 256, 1000);
  EXPECT_EQ(pmrExpandByteStringPartialWord(nullptr, out.data(), 100, fresh.get(), 0, 0, 9, 1, 0,
                                           fsm()),
            PMR_INVALID_NUMBER);
  // A finished expansion leaves nothing to continue.
  EXPECT_EQ(pmrExpandByteStringPartialWord("d", out.data(), 100, fresh.get(), 0, 0, 9, 0, 0,
                                           fsm()),
            3);
  EXPECT_EQ(pmrExpandByteStringPartialWord(nullptr, out.data(), 100, fresh.get(), 0, 0, 9, 1, 0,
                                           fsm()),
            PMR_INVALID_NUMBER);
  // Nor does a new expansion that stopped on an error.
  EXPECT_EQ(pmrExpandByteStringPartialWord("", out.data(), 5, fresh.get(), 0, 0, 9, 0, 0, fsm()),
            PMR_CLIENT_OUTPUT_FULL);
  EXPECT_EQ(pmrExpandByteStringPartialWord("!", out.data(), 5, fresh.get(), 0, 0, 9, 0, 0,
                                           fsm()),
            PMR_CHAR_NOT_IN_ALPHABET);
  EXPECT_EQ(pmrExpandByteStringPartialWord(nullptr, out.data(), 100, fresh.get(), 0, 0, 9, 1, 0,
                                           fsm()),
            PMR_INVALID_NUMBER);
}

TEST_F(CompiledList, TransducerWithoutExpansionNetwork) {
  FileModel model = model_;
  model.functions.assign(2, 255);
  LoadedFsm plain(model);
  ASSERT_TRUE(plain.ok());
  std::vector<std::string> words;
  EXPECT_EQ(expand_once(plain.get(), "a", Bounds{}, &words), PMR_INVALID_FUNCTION);
}

// Thousands of words, with indexed arc blocks where states have many arcs.
TEST(ExpandLarge, GeneratedListDeliveredOnceAcrossManyCalls) {
  std::set<std::string> unique;
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  while (unique.size() < 4000) {
    std::string w;
    const uint32_t n = 1 + next() % 8;
    for (uint32_t i = 0; i < n; ++i) w += char('a' + next() % 26);
    unique.insert(w);
  }
  const std::vector<std::string> words(unique.begin(), unique.end());
  std::vector<size_t> network_sizes;
  for (bool blocks : {true, false}) {
    FileModel model;
    ASSERT_TRUE(compile_words(words, &model, blocks));
    network_sizes.push_back(model.network_block.size());
    LoadedFsm fsm(model);
    ASSERT_TRUE(fsm.ok());
    const std::vector<std::string> sorted = depth_first(fsm.get(), words);
    EXPECT_EQ(expand_all(fsm.get(), ""), sorted);
    int calls = 0;
    EXPECT_EQ(expand_in_pieces(fsm.get(), "", Bounds{}, 64, &calls), sorted);
    EXPECT_GT(calls, 100);
    Bounds b;
    b.prefix = 1;
    b.limit = 7;
    EXPECT_EQ(expand_in_pieces(fsm.get(), "q", b, 20, &calls),
              filtered(sorted, [](const std::string& w) {
                return w.size() >= 2 && w[1] == 'q' && w.size() < 7;
              }));
  }
  EXPECT_NE(network_sizes[0], network_sizes[1]);  // the first layout has indexed blocks
}

// ---- hand-assembled networks ---------------------------------------------------

// Alphabet: label base 0x40; silent label 0x40, tag separator 0x44, end of
// string 0x48, flag marker 0x4C, lowest input label and block label 0x50;
// letters a..z from 0x54 (symbol indices 5..30); '#' is code 0x54 with one
// page byte (index 53); page byte 0xFC.
constexpr uint8_t kSilent = 0x40;
constexpr uint8_t kFlagMarker = 0x4C;
constexpr uint8_t kBlock = 0x50;
constexpr uint8_t kPage = 0xFC;
constexpr uint8_t kMore = 2;
constexpr uint8_t kFinal = 1;
constexpr uint8_t kNear = 0x01;
constexpr uint8_t kDirect = 0x18;

constexpr uint8_t letter(char c) { return uint8_t(0x54 + 4 * (c - 'a')); }
constexpr uint8_t flag(int r, int v) { return uint8_t(0x40 + 16 * r + 4 * v); }

FileModel hand_model(std::vector<uint8_t> network, std::vector<uint32_t> near_table = {}) {
  FileModel model;
  model.layout.page_byte = kPage;
  model.layout.block_label = kBlock;
  model.layout.replacement_marker = 0xF4;
  model.symbol_chars.assign(54, '?');
  model.symbol_names.assign(54, "");
  for (int i = 0; i < 26; ++i) model.symbol_chars[5 + i] = uint16_t('a' + i);
  model.symbol_chars[53] = '#';
  model.diacritics = {{"*TAGSEP*", pmrtools::symbol_value(0x44, 0)},
                      {"EOS", pmrtools::symbol_value(0x48, 0)}};
  model.lowest_char = '#';
  model.highest_char = 'z';
  model.code_table.assign('z' - '#' + 1, 0);
  for (char c = 'a'; c <= 'z'; ++c) model.code_table[size_t(c - '#')] = letter(c);
  model.code_table[0] = uint16_t(letter('a') | 1);  // '#': one page byte
  model.network_block = std::move(network);
  model.near_table = std::move(near_table);
  pmrtools::NetworkDesc net;
  net.start = 0;
  net.lowest_input_label = kBlock;
  net.flag_marker = kFlagMarker;
  model.networks.push_back(net);
  model.functions = {255, 0};
  return model;
}

TEST(ExpandHand, IdenticalPathsDeliverTheWordTwice) {
  // Two arcs 'a' to final states, then 'a' 'b'.
  LoadedFsm fsm(hand_model({0x40, uint8_t(letter('a') | kMore | kFinal), 0x00,
                            uint8_t(letter('a') | kFinal), uint8_t(letter('b') | kFinal), 0x00}));
  ASSERT_TRUE(fsm.ok());
  EXPECT_EQ(expand_all(fsm.get(), ""), (std::vector<std::string>{"a", "a", "ab"}));
  // Matching the piece takes the first arc with its code only.
  EXPECT_EQ(expand_all(fsm.get(), "a"), (std::vector<std::string>{"a"}));
}

TEST(ExpandHand, PageBytesDoNotCountAsSymbols) {
  // "#b": page byte, 'a' code (prints '#'), 'b'.
  LoadedFsm fsm(hand_model({0x40, kPage, letter('a'), uint8_t(letter('b') | kFinal), 0x00}));
  ASSERT_TRUE(fsm.ok());
  Bounds b;
  b.minimum = 2;
  b.limit = 3;
  EXPECT_EQ(expand_all(fsm.get(), "", b), std::vector<std::string>{"#b"});
  EXPECT_EQ(expand_all(fsm.get(), "#", b), std::vector<std::string>{"#b"});
  b.limit = 2;
  EXPECT_TRUE(expand_all(fsm.get(), "", b).empty());
  Bounds after;
  after.prefix = 1;
  EXPECT_EQ(expand_all(fsm.get(), "b", after), std::vector<std::string>{"#b"});
}

TEST(ExpandHand, SilentLabelsAndFlagArcs) {
  std::vector<uint8_t> net = {
      0x40,
      kFlagMarker,                        // 1
      uint8_t(flag(0, 2) | kMore),        // 2: set R0 = 2
      uint8_t(letter('a') | kFinal),      // 3
      kFlagMarker,                        // 4
      uint8_t(flag(0, 3) | kMore),        // 5: refused after R0 = 2
      uint8_t(letter('b') | kFinal), 0,   // 6, 7
      flag(0, 2),                         // 8: R0 = 2 again
      uint8_t(kSilent | kMore),           // 9: a silent label before 'd'
      uint8_t(letter('d') | kFinal), 0,   // 10, 11
      uint8_t(letter('e') | kFinal), 0,   // 12, 13
      flag(0, 3),                         // 14: from the initial word
      uint8_t(letter('c') | kFinal), 0,   // 15, 16
  };
  LoadedFsm fsm(hand_model(net));
  ASSERT_TRUE(fsm.ok());
  EXPECT_EQ(expand_all(fsm.get(), ""), (std::vector<std::string>{"a", "ad", "ae", "c"}));
  EXPECT_EQ(expand_all(fsm.get(), "ae"), (std::vector<std::string>{"ae"}));
  Bounds b;
  b.limit = 2;
  EXPECT_EQ(expand_all(fsm.get(), "", b), (std::vector<std::string>{"a", "c"}));
  int calls = 0;
  EXPECT_EQ(expand_in_pieces(fsm.get(), "", Bounds{}, 4, &calls),
            (std::vector<std::string>{"a", "ad", "ae", "c"}));
}

// A block arc with a shadowing sibling 'c'; slots a, (hole), c, d; d leads to
// a state with 'e'. With bound byte.
std::vector<uint8_t> block_network() {
  return {
      0x40,
      uint8_t(kBlock | kMore), kDirect, 0x00, 8,  // 1: block arc, target the base at 8
      uint8_t(letter('c') | kFinal), 0x00,        // 5: explicit 'c', final
      12,                                         // 7: bound byte (largest code difference)
      uint8_t(letter('a') | kMore | kFinal), 0, 0, 0,   // 8: slot a
      uint8_t(kBlock | kMore), 0, 0, 0,                 // 12: hole (b)
      uint8_t(letter('c') | kMore), 0, 0, 0,            // 16: slot c, shadowed
      uint8_t(letter('d') | kFinal), kDirect, 0x00, 24, // 20: slot d -> 24
      uint8_t(letter('e') | kFinal), 0x00,              // 24
  };
}

TEST(ExpandHand, IndexedBlocksEnumeratedAndLookedUp) {
  LoadedFsm fsm(hand_model(block_network()));
  ASSERT_TRUE(fsm.ok());
  const std::vector<std::string> all = {"a", "c", "d", "de"};
  EXPECT_EQ(expand_all(fsm.get(), ""), all);
  EXPECT_EQ(expand_all(fsm.get(), "d"), (std::vector<std::string>{"d", "de"}));
  EXPECT_EQ(expand_all(fsm.get(), "c"), std::vector<std::string>{"c"});
  EXPECT_TRUE(expand_all(fsm.get(), "b").empty());
  EXPECT_TRUE(expand_all(fsm.get(), "e").empty());
  Bounds b;
  b.prefix = 1;
  EXPECT_EQ(expand_all(fsm.get(), "e", b), std::vector<std::string>{"de"});
  // Continuing from words found inside the block enumeration.
  int calls = 0;
  EXPECT_EQ(expand_in_pieces(fsm.get(), "", Bounds{}, 3, &calls), all);
  EXPECT_EQ(calls, 4);
}

TEST(ExpandHand, LoopsEndAtTheLengthLimit) {
  // 'a' back to its own state: a, aa, aaa, ...
  LoadedFsm fsm(hand_model({0x40, uint8_t(letter('a') | kFinal), kNear}, {1}));
  ASSERT_TRUE(fsm.ok());
  Bounds b;
  b.limit = 4;
  EXPECT_EQ(expand_all(fsm.get(), "", b), (std::vector<std::string>{"a", "aa", "aaa"}));
  b.prefix = 2;
  EXPECT_EQ(expand_all(fsm.get(), "a", b), std::vector<std::string>{"aaa"});
  // Without a useful limit the coded output ends the path.
  std::vector<std::string> words;
  EXPECT_EQ(expand_once(fsm.get(), "", Bounds{0, 0, 0xFFFFFFFFu}, &words, 1000, 16),
            PMR_CODED_OUTPUT_TOO_SMALL);
}

TEST(ExpandHand, SilentLoopsEnd) {
  // A silent label back to its own state, with 'a' beside it; and a flag
  // arc loop. Neither consumes nor writes, so only the idle bound ends them.
  LoadedFsm silent(hand_model({0x40, uint8_t(kSilent | kMore), kNear, uint8_t(letter('a') | kFinal), 0},
                              {1}));
  ASSERT_TRUE(silent.ok());
  std::vector<std::string> words;
  const int32_t r = expand_once(silent.get(), "", Bounds{}, &words);
  ASSERT_GT(r, 0);
  for (const std::string& w : words) EXPECT_EQ(w, "a");
  EXPECT_EQ(expand_once(silent.get(), "", Bounds{}, &words, 3), PMR_STACK_OVERFLOW);

  LoadedFsm flags(hand_model({0x40, kFlagMarker, flag(1, 1), kNear}, {1}));
  ASSERT_TRUE(flags.ok());
  EXPECT_EQ(expand_once(flags.get(), "", Bounds{}, &words), 0);
}

TEST(ExpandHand, CyclicArcListsEnd) {
  // A list whose tail refers back to its own first arc: the same arc is
  // tried again and again. Without results, the work bound ends the call.
  LoadedFsm barren(hand_model({0x40, uint8_t(letter('a') | kMore), 0x00, kNear}, {1}));
  ASSERT_TRUE(barren.ok());
  std::vector<std::string> words;
  EXPECT_EQ(expand_once(barren.get(), "", Bounds{}, &words), PMR_STACK_OVERFLOW);
  // With a final arc, every round is a result: the output buffer fills.
  LoadedFsm fertile(hand_model({0x40, uint8_t(letter('a') | kMore | kFinal), 0x00, kNear}, {1}));
  ASSERT_TRUE(fertile.ok());
  Buffer b(64, 256, 100);
  std::vector<char> out(101);
  for (int32_t continuing = 0; continuing < 2; ++continuing) {
    EXPECT_EQ(pmrExpandByteStringPartialWord("", out.data(), 101, b.get(), 0, 0, 9, continuing,
                                             0, fertile.get()),
              PMR_CLIENT_OUTPUT_FULL);
    EXPECT_EQ(pmrLookupBufferResultCount(b.get()), 50u);
  }
}

TEST(ExpandHand, RandomNetworksNeitherCrashNorHang) {
  std::mt19937 random(4242);
  const char* pieces[] = {"", "a", "ba"};
  for (int round = 0; round < 150; ++round) {
    std::vector<uint8_t> net = {uint8_t(0x40 | (random() & 1))};
    const size_t size = 2 + random() % 50;
    while (net.size() < size) net.push_back(uint8_t(random()));
    const std::vector<uint32_t> near_table = {uint32_t(random() % 60), uint32_t(random() % 60)};
    LoadedFsm fsm(hand_model(net, near_table));
    if (!fsm.ok()) continue;
    for (const char* piece : pieces) {
      Buffer b(16, 32, 64);
      std::vector<char> out(24);
      int32_t r = 0;
      for (int call = 0; call < 20; ++call) {
        r = pmrExpandByteStringPartialWord(piece, out.data(), uint32_t(out.size()), b.get(),
                                           uint32_t(round % 2), 0, 6, call > 0, 0, fsm.get());
        EXPECT_TRUE(r >= 0 || r == PMR_CLIENT_OUTPUT_FULL || r == PMR_CLIENT_OUTPUT_TOO_SMALL ||
                    r == PMR_STACK_OVERFLOW || r == PMR_CODED_OUTPUT_TOO_SMALL)
            << "round " << round << ": " << r;
        if (r != PMR_CLIENT_OUTPUT_FULL) break;
      }
    }
  }
}

}  // namespace
