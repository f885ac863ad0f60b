// The transduction engine and the lookup API, end to end through the public
// C interface, on hand-assembled network blocks written by write_fst_file:
// label classes, references, arc skipping, indexed arc blocks with their
// shadowing sibling, flag arcs, replacement markers, the backtracking stack
// and its growth, action codes, token breaking, offset decoding, and
// damaged or looping networks that must end without harm.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fsttest.h"
#include "netcompile.h"

namespace {

using pmrtest::LoadedFsm;
using pmrtools::FileModel;
using pmrtools::symbol_value;

// The layout of the engine tests: label base 0x20, so that two codes lie
// below the lowest input label (0x28) of the networks.
constexpr uint8_t kIns = 0x20;    // insertion label in a state list, silent label elsewhere
constexpr uint8_t kFm = 0x24;     // flag marker label
constexpr uint8_t kSep = 0x28;    // tag separator (the lowest input label)
constexpr uint8_t kEos = 0x2C;
constexpr uint8_t kTb = 0x30;     // token boundary, prints as '|'
constexpr uint8_t kNoun = 0xE0;
constexpr uint8_t kVerb = 0xE4;
constexpr uint8_t kMark = 0xF4;   // replacement marker
constexpr uint8_t kBlock = 0xF8;  // block label
constexpr uint8_t kPage = 0xFC;   // page byte
constexpr uint8_t kMore = 2;      // label byte: a sibling follows
constexpr uint8_t kFinal = 1;     // label byte: the state reached is final
constexpr uint8_t kDirect = 0x18;
constexpr uint8_t kNear = 0x01;
constexpr uint8_t kFar = 0x10;

constexpr uint8_t letter(char c) { return uint8_t(0x34 + 4 * (c - 'a')); }

// Flag arc byte for register r and value v.
constexpr uint8_t flag(int r, int v) { return uint8_t(0x20 + 16 * r + 4 * v); }

// A network block under assembly.
struct Net {
  std::vector<uint8_t> b;
  uint32_t at() const { return uint32_t(b.size()); }
  Net& lab(uint8_t code, uint8_t bits = 0) {
    b.push_back(uint8_t(code | bits));
    return *this;
  }
  Net& end() {
    b.push_back(0);
    return *this;
  }
  Net& raw(std::initializer_list<uint8_t> bytes) {
    b.insert(b.end(), bytes);
    return *this;
  }
  Net& direct(uint32_t pos) {
    b.push_back(uint8_t(kDirect + (pos >> 16)));
    b.push_back(uint8_t(pos >> 8));
    b.push_back(uint8_t(pos));
    return *this;
  }
  uint32_t direct_hole() {
    const uint32_t p = at();
    direct(0);
    return p;
  }
  void patch(uint32_t where, uint32_t pos) {
    b[where] = uint8_t(kDirect + (pos >> 16));
    b[where + 1] = uint8_t(pos >> 8);
    b[where + 2] = uint8_t(pos);
  }
  // EOS on the surface side only, then a final state: the tail of a word.
  Net& tail() { return lab(kEos).lab(kMark).lab(kIns, kFinal).end(); }
  // An analysis symbol written by an insertion arc.
  Net& insert(uint8_t code, uint8_t bits = 0) { return lab(kIns).lab(code, bits); }
};

struct Options {
  uint8_t lowest = kSep;
  uint16_t initial_flags = 0;
  bool bound_byte = true;
  bool offset_table = false;
  bool long_direct = false;
  uint8_t table_width = 3;
  bool page_after = false;
  std::vector<uint32_t> near_table;
  std::vector<uint32_t> far_table;
  std::vector<int> functions = {12, 27, 28};
};

FileModel engine_model(const Net& net, const Options& o = Options()) {
  FileModel model;
  model.layout.label_base = 0x20;
  model.layout.near_base = kNear;
  model.layout.far_base = kFar;
  model.layout.direct_base = kDirect;
  model.layout.page_byte = kPage;
  model.layout.block_label = kBlock;
  model.layout.replacement_marker = kMark;
  model.layout.bound_byte = o.bound_byte;
  model.layout.offset_table = o.offset_table;
  model.layout.long_direct = o.long_direct;
  model.layout.table_width = o.table_width;
  model.layout.page_after = o.page_after;
  model.symbol_chars.assign(64, '?');
  model.symbol_names.assign(64, "");
  for (int i = 0; i < 26; ++i) model.symbol_chars[5 + i] = uint16_t('a' + i);
  model.symbol_chars[4] = '|';
  model.symbol_chars[61] = '{';  // code 0x34 with one page byte
  model.symbol_chars[60] = '~';  // the token boundary's code byte with one page byte
  model.symbol_names[48] = "Noun";
  model.symbol_names[49] = "Verb";
  model.tags = {{"Noun", symbol_value(kNoun, 0)}, {"Verb", symbol_value(kVerb, 0)}};
  model.diacritics = {{"*TAGSEP*", symbol_value(kSep, 0)},
                      {"EOS", symbol_value(kEos, 0)},
                      {"TB", symbol_value(kTb, 0)}};
  model.lowest_char = 'a';
  model.highest_char = '{';
  model.code_table.assign(27, 0);
  for (int i = 0; i < 26; ++i) model.code_table[i] = letter(char('a' + i));
  model.code_table[26] = 0x35;
  model.near_table = o.near_table;
  model.far_table = o.far_table;
  model.network_block = net.b;
  pmrtools::NetworkDesc desc;
  desc.start = 0;
  desc.lowest_input_label = o.lowest;
  desc.flag_marker = kFm;
  desc.initial_flags = o.initial_flags;
  model.networks.push_back(desc);
  model.functions.assign(29, 255);
  for (int f : o.functions) model.functions[size_t(f)] = 0;
  return model;
}

// Lookup results as strings, read one after another.
struct Results {
  int32_t code = 0;
  std::vector<std::string> words;
};

Results lookup(const pmr_fsm* fsm, const std::string& word, int32_t function, int32_t size = 512) {
  std::vector<char> out(size_t(size) + 1, '\x7f');
  Results r;
  r.code = pmr_lookup_with_transduction(word.data(), int32_t(word.size()), out.data(), size,
                                        function, fsm, nullptr, 0);
  size_t at = 0;
  for (int32_t i = 0; i < r.code; ++i) {
    r.words.emplace_back(out.data() + at);
    at += r.words.back().size() + 1;
  }
  return r;
}

std::vector<std::string> words(std::initializer_list<const char*> list) {
  return std::vector<std::string>(list.begin(), list.end());
}

class Engine : public ::testing::Test {
 protected:
  void load(const Net& net, const Options& o = Options()) {
    fsm_.reset(new LoadedFsm(engine_model(net, o)));
    ASSERT_TRUE(fsm_->ok()) << fsm_->code();
  }
  const pmr_fsm* fsm() const { return fsm_->get(); }
  std::vector<std::string> analyse(const std::string& word, int32_t function = 2) {
    Results r = lookup(fsm(), word, function);
    EXPECT_GE(r.code, 0) << word;
    return r.words;
  }
  std::unique_ptr<LoadedFsm> fsm_;
};

// ---- label classes ---------------------------------------------------------

TEST_F(Engine, IdentityPathsConsumeTheEndOfStringSymbol) {
  Net n;
  n.lab(0x20).lab(letter('a')).lab(letter('b')).tail();
  load(n);
  EXPECT_EQ(analyse("ab"), words({"ab"}));
  EXPECT_TRUE(analyse("a").empty());
  EXPECT_TRUE(analyse("abc").empty());
  // A character outside the alphabet: no results, except for the tokenizing function.
  EXPECT_EQ(lookup(fsm(), "aB", 2).code, 0);
  EXPECT_EQ(lookup(fsm(), "aB", 11).code, PMR_CHAR_NOT_IN_ALPHABET);
}

TEST_F(Engine, EndOfStringKeptOnTheAnalysisSideEndsTheDecodedString) {
  Net n;
  n.lab(0x20).lab(letter('a')).lab(kEos, kFinal).end();
  load(n);
  char out[16];
  std::memset(out, 'x', sizeof out);
  ASSERT_EQ(pmrLookupByteString("a", out, sizeof out, 2, fsm()), 1);
  // The end-of-string symbol decodes to a NUL of its own.
  EXPECT_EQ(std::string(out, 3), std::string("a\0\0", 3));
}

TEST_F(Engine, ReplacementAndInsertedTagsBothWays) {
  // a:b, then the tag run [Noun] inserted, then EOS:0.
  Net n;
  n.lab(0x20).lab(letter('a')).lab(kMark).lab(letter('b'));
  n.insert(kSep).insert(kNoun).tail();
  load(n);
  EXPECT_EQ(analyse("a"), words({"b[Noun]"}));
  EXPECT_TRUE(analyse("b").empty());
  // Generation reads the analysis side: function 8 falls back to network 12.
  EXPECT_EQ(analyse("b[Noun]", 8), words({"a"}));
  EXPECT_TRUE(analyse("b[Verb]", 8).empty());
  EXPECT_TRUE(analyse("b", 8).empty());
  EXPECT_EQ(lookup(fsm(), "b[Noun", 8).code, PMR_INCOMPLETE_TAG);
}

TEST_F(Engine, MarkerWithSiblingsGivesTheUnreplacedReadingFirst) {
  Net n;
  n.lab(0x20).lab(letter('a')).lab(kMark, kMore).lab(letter('b')).tail();
  n.tail();  // the marker's sibling: a stays a
  load(n);
  EXPECT_EQ(analyse("a"), words({"a", "b"}));
  // Inverse: b is generated from a (identity) and from b (replacement).
  EXPECT_EQ(analyse("a", 9), words({"a"}));
  EXPECT_EQ(analyse("b", 9), words({"a"}));
}

TEST_F(Engine, DeletedSurfaceSymbolsInBothDirections) {
  // "ab" -> "a": b:0 is b followed by a marker whose list is one silent label.
  Net n;
  n.lab(0x20).lab(letter('a')).lab(letter('b')).lab(kMark).lab(kIns).tail();
  load(n);
  EXPECT_EQ(analyse("ab"), words({"a"}));
  EXPECT_EQ(analyse("a", 9), words({"ab"}));
  EXPECT_TRUE(analyse("ab", 9).empty());
}

TEST_F(Engine, InverseMarkerSiblingsResumeWithTheInputConsumed) {
  // a -> a:0 (marker to a silent label) or a:a (the marker's sibling).
  Net n;
  n.lab(0x20).lab(letter('a')).lab(kMark, kMore).lab(kIns).tail();
  n.tail();
  load(n);
  EXPECT_EQ(analyse("a"), words({"a", ""}));
  EXPECT_EQ(analyse("a", 9), words({"a"}));
  EXPECT_EQ(analyse("", 9), words({"a"}));
}

TEST_F(Engine, InsertionAlternativesAndDuplicatesDropped) {
  // Empty word: three insertion alternatives, two of them spelling "c".
  Net n;
  n.lab(0x20);
  n.lab(kIns, kMore).lab(letter('c')).tail();
  n.lab(kIns, kMore).lab(letter('d')).tail();
  n.lab(kIns).lab(letter('c')).tail();
  load(n);
  EXPECT_EQ(analyse(""), words({"c", "d"}));
  EXPECT_EQ(analyse("", 5), words({"c"}));    // first result
  EXPECT_EQ(analyse("", 11), words({"c"}));
}

TEST_F(Engine, AnalysisSideAlternativesAndSilentSiblings) {
  // One insertion label whose list holds c, a silent label, and d.
  Net n;
  n.lab(0x20).lab(kIns);
  n.lab(kIns, kMore).tail();
  n.lab(letter('c'), kMore).tail();
  n.lab(letter('d')).tail();
  load(n);
  EXPECT_EQ(analyse(""), words({"", "c", "d"}));
}

TEST_F(Engine, ShortestResultKeepsTheEarlierOfEqualLength) {
  Net n;
  n.lab(0x20);
  n.lab(kIns, kMore).lab(letter('b')).lab(kIns).lab(letter('c')).tail();
  n.lab(kIns, kMore).lab(letter('d')).tail();
  n.lab(kIns).lab(letter('e')).tail();
  load(n);
  EXPECT_EQ(analyse("", 7), words({"d"}));
  EXPECT_EQ(analyse("", 3), words({"bc", "d", "e"}));
}

TEST_F(Engine, StartStateFinalAcceptsTheEmptyInputInPrefixMode) {
  Net n;
  n.lab(0x20, kFinal).lab(letter('a'), kFinal).end();
  load(n);
  char buffer[64];
  uint32_t offsets[4];
  // The coded input is empty: the first token end is found before any arc.
  EXPECT_EQ(pmrBreakByteStringToken("", buffer, sizeof buffer, offsets, 4, 0, fsm()), 0);
  EXPECT_EQ(offsets[0], 0u);
}

// ---- references and arc skipping ---------------------------------------------

TEST_F(Engine, NearFarAndDirectReferencesShareTails) {
  // Start list: a -> near 0, b -> far 1, c -> direct, d|more; rest of the list through a far reference.
  Net n;
  n.lab(0x20);
  n.lab(letter('a'), kMore).raw({kNear + 0});
  n.lab(letter('b'), kMore).raw({kFar, 1});
  n.lab(letter('c'), kMore);
  const uint32_t to_tail = n.direct_hole();
  n.raw({kFar, 0});  // the list goes on at far entry 0
  const uint32_t tail = n.at();
  n.tail();
  const uint32_t rest = n.at();
  n.lab(letter('d')).lab(kIns).lab(letter('x')).raw({kNear + 0});
  n.patch(to_tail, tail);
  Options o;
  o.near_table = {tail};
  o.far_table = {rest, tail};
  load(n, o);
  EXPECT_EQ(analyse("a"), words({"a"}));
  EXPECT_EQ(analyse("b"), words({"b"}));
  EXPECT_EQ(analyse("c"), words({"c"}));
  EXPECT_EQ(analyse("d"), words({"dx"}));
  // The same with 2-byte table entries.
  o.table_width = 2;
  load(n, o);
  EXPECT_EQ(analyse("d"), words({"dx"}));
  EXPECT_EQ(analyse("b"), words({"b"}));
}

TEST_F(Engine, SkippingInPlaceSubtrees) {
  Net n;
  n.lab(0x20);
  n.lab(letter('a'), kMore);                  // a's target in place:
  n.lab(letter('c'), kMore).tail();           //   c
  n.lab(letter('d')).end();                   //   d (dead end)
  n.lab(letter('b')).tail();                  // b
  load(n);
  EXPECT_EQ(analyse("b"), words({"b"}));
  EXPECT_EQ(analyse("ac"), words({"ac"}));
  EXPECT_TRUE(analyse("ad").empty());
}

TEST_F(Engine, LongDirectPointersAreSkippedByTheirTrailingBytes) {
  for (int form = 0; form < 3; ++form) {
    Net n;
    n.lab(0x20);
    n.lab(letter('a'), kMore);
    const uint32_t ref = n.direct_hole();
    if (form == 0) n.raw({7});             // 4 bytes: byte 3 non-zero
    if (form == 1) n.raw({0, 7, 0});       // 6 bytes: byte 4 non-zero
    if (form == 2) n.raw({0, 0, 0, 0, 0}); // 8 bytes
    n.lab(letter('b')).tail();
    const uint32_t tail = n.at();
    n.tail();
    n.patch(ref, tail);
    Options o;
    o.long_direct = true;
    load(n, o);
    EXPECT_EQ(analyse("b"), words({"b"})) << form;
    EXPECT_EQ(analyse("a"), words({"a"})) << form;
  }
}

// ---- indexed arc blocks ---------------------------------------------------------

// A start state that is a block of slots a, (hole), c, all leading to one tail;
// with `explicit_b`, an explicit arc b before the block arc.
Net block_net(bool offset_table, bool explicit_b, bool bound = true) {
  Net n;
  n.lab(0x20);
  uint32_t tail_ref_b = 0;
  if (explicit_b) {
    n.lab(letter('b'), kMore);
    tail_ref_b = n.direct_hole();
  }
  n.lab(kBlock);
  const uint32_t to_base = n.direct_hole();
  std::vector<uint32_t> refs;
  uint32_t base;
  if (offset_table) {
    n.raw({4, 0, 8});  // offsets of slots 2 (c) and 1 (absent), then the bound byte
    base = n.at();
    n.lab(letter('a'), kMore);
    refs.push_back(n.direct_hole());
    n.lab(letter('c'));
    refs.push_back(n.direct_hole());
  } else {
    if (bound) n.raw({8});  // bound byte
    base = n.at();
    n.lab(letter('a'), kMore);
    refs.push_back(n.direct_hole());
    n.lab(kBlock, kMore).raw({0, 0, 0});  // hole
    n.lab(letter('c'));
    refs.push_back(n.direct_hole());
  }
  const uint32_t tail = n.at();
  n.tail();
  n.patch(to_base, base);
  for (uint32_t r : refs) n.patch(r, tail);
  if (explicit_b) {
    const uint32_t tail_b = n.at();
    n.lab(kIns).lab(letter('x')).tail();
    n.patch(tail_ref_b, tail_b);
  }
  return n;
}

TEST_F(Engine, BlockLookupWithBoundByte) {
  load(block_net(false, false));
  EXPECT_EQ(analyse("a"), words({"a"}));
  EXPECT_EQ(analyse("c"), words({"c"}));
  EXPECT_TRUE(analyse("b").empty());  // a hole
  EXPECT_TRUE(analyse("d").empty());  // beyond the bound
  EXPECT_TRUE(analyse("").empty());   // EOS is below the first slot's code
  // Enumerated by the inverse traversal, holes skipped.
  EXPECT_EQ(analyse("c", 9), words({"c"}));
  EXPECT_EQ(analyse("a", 9), words({"a"}));
  EXPECT_TRUE(analyse("b", 9).empty());
}

TEST_F(Engine, BlockLookupWithoutBoundByte) {
  Options o;
  o.bound_byte = false;
  load(block_net(false, false, false), o);
  EXPECT_EQ(analyse("a"), words({"a"}));
  EXPECT_EQ(analyse("c"), words({"c"}));
  EXPECT_TRUE(analyse("d").empty());  // slot 3 would be the tail's EOS label: no match
}

TEST_F(Engine, BlockLookupWithOffsetTable) {
  Options o;
  o.offset_table = true;
  load(block_net(true, false), o);
  EXPECT_EQ(analyse("a"), words({"a"}));
  EXPECT_EQ(analyse("c"), words({"c"}));
  EXPECT_TRUE(analyse("b").empty());  // offset 0: absent
  EXPECT_TRUE(analyse("d").empty());
}

TEST_F(Engine, ExplicitArcsBeforeABlockArc) {
  load(block_net(false, true));
  EXPECT_EQ(analyse("b"), words({"bx"}));  // the explicit arc
  EXPECT_EQ(analyse("c"), words({"c"}));   // the block, scan ended at the list end
  EXPECT_EQ(analyse("a"), words({"a"}));
}

TEST_F(Engine, ExplicitArcAfterTheBlockArcStopsTheScan) {
  // Start list: block arc (slots a..c), then explicit arc e: an input below e
  // that no explicit arc carries is looked up in the block.
  Net n;
  n.lab(0x20).lab(kBlock, kMore);
  const uint32_t to_base = n.direct_hole();
  n.lab(letter('e'));
  const uint32_t e_ref = n.direct_hole();
  n.raw({8});
  const uint32_t base = n.at();
  std::vector<uint32_t> refs;
  for (char ch : {'a', 'b', 'c'}) {
    n.lab(letter(ch), ch == 'c' ? 0 : kMore);
    refs.push_back(n.direct_hole());
  }
  const uint32_t tail = n.at();
  n.tail();
  n.patch(to_base, base);
  n.patch(e_ref, tail);
  for (uint32_t r : refs) n.patch(r, tail);
  load(n);
  EXPECT_EQ(analyse("b"), words({"b"}));
  EXPECT_EQ(analyse("e"), words({"e"}));
  EXPECT_TRUE(analyse("d").empty());
}

TEST_F(Engine, ShadowingSiblingReplacesTheSlotOfItsCode) {
  // An insertion whose analysis list is a block of a, b, c followed by the
  // explicit arc b: slot b is taken through the sibling (its own target is not).
  Net n;
  n.lab(0x20).lab(kIns).lab(kBlock, kMore);
  const uint32_t to_base = n.direct_hole();
  n.lab(letter('b'));
  n.insert(letter('x')).tail();  // the sibling's target: "bx"
  n.raw({8});
  const uint32_t base = n.at();
  std::vector<uint32_t> refs;
  for (char ch : {'a', 'b', 'c'}) {
    n.lab(letter(ch), ch == 'c' ? 0 : kMore);
    refs.push_back(n.direct_hole());
  }
  const uint32_t tail = n.at();
  n.tail();
  n.patch(to_base, base);
  for (uint32_t r : refs) n.patch(r, tail);
  load(n);
  EXPECT_EQ(analyse(""), words({"a", "bx", "c"}));
}

// ---- flag arcs ---------------------------------------------------------------

// FM -> {first flags} -> a -> FM -> {second flag} -> tail.
Net flag_net(std::initializer_list<uint8_t> first, uint8_t second) {
  Net n;
  n.lab(0x20).lab(kFm);
  size_t i = 0;
  std::vector<uint32_t> refs;
  for (uint8_t f : first) {
    const bool more = ++i < first.size();
    n.lab(f, more ? kMore : 0);
    refs.push_back(n.direct_hole());
  }
  const uint32_t rest = n.at();
  n.lab(letter('a')).lab(kFm).lab(second).tail();
  for (uint32_t r : refs) n.patch(r, rest);
  return n;
}

TEST_F(Engine, FlagSetThenDifferentValueRefused) {
  load(flag_net({flag(0, 2)}, flag(0, 3)));
  EXPECT_TRUE(analyse("a").empty());
  load(flag_net({flag(0, 2)}, flag(0, 2)));
  EXPECT_EQ(analyse("a"), words({"a"}));
  load(flag_net({flag(0, 2)}, flag(1, 3)));  // another register
  EXPECT_EQ(analyse("a"), words({"a"}));
  load(flag_net({flag(0, 2)}, flag(0, 0)));  // value 0 clears and is taken
  EXPECT_EQ(analyse("a"), words({"a"}));
}

TEST_F(Engine, FlagChoicePointSeesTheWordOfItsChoice) {
  // First alternative sets register 0 to 2 (refused later), the second sets 3.
  load(flag_net({flag(0, 2), flag(0, 3)}, flag(0, 3)));
  EXPECT_EQ(analyse("a"), words({"a"}));
  EXPECT_EQ(analyse("a", 9), words({"a"}));
}

TEST_F(Engine, RefusedFlagPassesToTheNextFlagArc) {
  Options o;
  o.initial_flags = 3;  // register 0 holds 3
  load(flag_net({flag(0, 2), flag(0, 3)}, flag(0, 3)), o);
  EXPECT_EQ(analyse("a"), words({"a"}));
  load(flag_net({flag(0, 2)}, flag(0, 3)), o);
  EXPECT_TRUE(analyse("a").empty());
}

TEST_F(Engine, ClearedFlagAllowsANewValue) {
  // FM -> {set 2} -> FM -> {clear} -> a -> FM -> {require 3}.
  Net n;
  n.lab(0x20).lab(kFm).lab(flag(0, 2)).lab(kFm).lab(flag(0, 0));
  n.lab(letter('a')).lab(kFm).lab(flag(0, 3)).tail();
  load(n);
  EXPECT_EQ(analyse("a"), words({"a"}));
}

// ---- stack, work area and growth -------------------------------------------------

// A chain of `depth` states, each leaving one choice point (an insertion with
// a sibling), then EOS:0 or a final token boundary.
Net chain_net(int depth) {
  Net n;
  n.lab(0x20);
  for (int i = 0; i < depth; ++i) {
    n.lab(kIns, kMore).lab(kIns);  // the path goes on in place after the silent label
    // ... the sibling follows the whole rest of the chain: patched below
  }
  n.lab(kEos, kMore).lab(kMark).lab(kIns, kFinal).end();
  n.lab(kTb, kFinal).end();
  // Give each first insertion's sibling: a dead insertion at the very end.
  // The sibling of state i's first arc stands right after its subtree, i.e.
  // after the rest of the chain; append one dead sibling per state, innermost first.
  for (int i = 0; i < depth; ++i) n.lab(kIns).lab(kIns).end();
  return n;
}

TEST_F(Engine, StackOfNEntriesHoldsNMinusOneChoicePoints) {
  char buffer[256];
  uint32_t offsets[4];
  const char coded[] = {char(kTb), 0};
  load(chain_net(99));
  EXPECT_EQ(pmrBreakByteStringToken(coded, buffer, sizeof buffer, offsets, 4, 0, fsm()), 1);
  EXPECT_EQ(offsets[0], 1u);
  EXPECT_STREQ(buffer, "|");
  load(chain_net(100));
  EXPECT_EQ(pmrBreakByteStringToken(coded, buffer, sizeof buffer, offsets, 4, 0, fsm()),
            PMR_STACK_OVERFLOW);
  // The lookup grows its stack instead.
  load(chain_net(1000));
  EXPECT_EQ(analyse("", 11), words({""}));
  EXPECT_EQ(analyse(""), words({""}));
}

TEST_F(Engine, CodedOutputOfSizeSHoldsSMinusOneCodes) {
  // The token boundary path writes k letters, then the boundary.
  const int k = 10;
  Net n;
  n.lab(0x20);
  for (int i = 0; i < k; ++i) n.insert(letter('a'));
  n.lab(kTb, kFinal).end();
  load(n);
  const char coded[] = {char(kTb), 0};
  uint32_t offsets[2];
  std::vector<char> buffer(64);
  // Coded half of S = k + 2 bytes: k + 1 codes fit.
  EXPECT_EQ(pmrBreakByteStringToken(coded, buffer.data(), 2 * (k + 2), offsets, 2, 0, fsm()), 1);
  EXPECT_STREQ(buffer.data(), "aaaaaaaaaa|");
  EXPECT_EQ(pmrBreakByteStringToken(coded, buffer.data(), 2 * (k + 1), offsets, 2, 0, fsm()),
            PMR_INTERNAL_BUFFER_TOO_SMALL);
}

TEST_F(Engine, LongOutputsAndLongWordsGrowTheWorkArea) {
  // a* -> a*, so that words of any length are accepted.
  Net n;
  n.lab(0x20).lab(kEos, kMore).lab(kMark).lab(kIns, kFinal).end();
  n.lab(letter('a')).direct(1);
  load(n);
  for (size_t length : {0u, 1u, 127u, 128u, 129u, 300u, 5000u}) {
    const std::string word(length, 'a');
    Results r = lookup(fsm(), word, 2, 6000);
    ASSERT_EQ(r.code, 1) << length;
    EXPECT_EQ(r.words[0], word);
  }
  // An explicit length shorter than the string.
  char out[64];
  EXPECT_EQ(pmr_lookup_with_transduction("aaaab", 4, out, sizeof out, 2, fsm(), nullptr, 0), 1);
  EXPECT_STREQ(out, "aaaa");
  EXPECT_EQ(pmr_lookup_with_transduction("b", 0, out, sizeof out, 2, fsm(), nullptr, 0), 1);
  EXPECT_STREQ(out, "");
}

TEST_F(Engine, OutputBufferTooSmall) {
  Net n;
  n.lab(0x20).lab(letter('a')).lab(kMark, kMore).lab(letter('b')).tail();
  n.tail();
  load(n);
  EXPECT_EQ(lookup(fsm(), "a", 2, 1).code, PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(lookup(fsm(), "a", 2, 2).code, PMR_OUTPUT_TOO_LONG);  // the first fits, the second not
  EXPECT_EQ(lookup(fsm(), "a", 2, 3).code, PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(lookup(fsm(), "a", 2, 4).code, 2);
  EXPECT_EQ(lookup(fsm(), "a", 2, 5).code, 2);
  EXPECT_EQ(lookup(fsm(), "a", 2, 0).code, PMR_OUTPUT_TOO_LONG);
}

// ---- the lookup API ------------------------------------------------------------------

TEST_F(Engine, ArgumentChecks) {
  Net n;
  n.lab(0x20).lab(letter('a')).tail();
  load(n);
  char out[16];
  EXPECT_EQ(pmr_lookup_with_transduction(nullptr, 1, out, 16, 2, fsm(), nullptr, 0), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_lookup_with_transduction("a", 1, nullptr, 16, 2, fsm(), nullptr, 0), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_lookup_with_transduction("a", 1, out, 16, 2, nullptr, nullptr, 0), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_lookup_with_transduction("a", -1, out, 16, 2, fsm(), nullptr, 0), PMR_INVALID_NUMBER);
  EXPECT_EQ(pmr_lookup_with_transduction("a", 1, out, -1, 2, fsm(), nullptr, 0), PMR_INVALID_NUMBER);
  const pmr_fsm* broken = static_cast<const pmr_fsm*>(pmr_error_object(PMR_FILE_OPEN_ERROR));
  EXPECT_EQ(pmr_lookup_with_transduction("a", 1, out, 16, 2, broken, nullptr, 0), PMR_FILE_OPEN_ERROR);
  EXPECT_EQ(pmrLookupByteString("a", out, 16, 2, broken), PMR_FILE_OPEN_ERROR);
  EXPECT_EQ(pmrLookupByteString("a", out, 16, 2, fsm()), 1);
}

TEST_F(Engine, FunctionsAndTheirNetworks) {
  Net n;
  n.lab(0x20).lab(letter('a')).tail();
  Options o;
  o.functions = {12};
  load(n, o);
  for (int32_t f : {0, 1, 4, 6, 10, 12, 27, -3})
    EXPECT_EQ(lookup(fsm(), "a", f).code, PMR_INVALID_FUNCTION) << f;
  for (int32_t f : {3, 5, 7, 9, 11}) EXPECT_EQ(lookup(fsm(), "a", f).code, PMR_INVALID_FUNCTION) << f;
  EXPECT_EQ(lookup(fsm(), "a", 2).code, 1);
  EXPECT_EQ(lookup(fsm(), "a", 8).code, 1);  // network 12 serves generation too
  // A character outside the alphabet is found before the function table is read.
  EXPECT_EQ(lookup(fsm(), "A", 5).code, 0);
  o.functions = {27};
  load(n, o);
  EXPECT_EQ(lookup(fsm(), "a", 8).code, PMR_INVALID_FUNCTION);
  EXPECT_EQ(lookup(fsm(), "a", 2).code, PMR_INVALID_FUNCTION);
  EXPECT_EQ(lookup(fsm(), "a", 9).code, 1);
  EXPECT_EQ(lookup(fsm(), "a", 7).code, 1);
}

TEST_F(Engine, ClientDictionaryComesFirstForFunctionsTwoAndThree) {
  Net n;
  n.lab(0x20).lab(letter('a')).tail();
  load(n);
  pmr_client_dict* dict = pmr_make_client_dict(0, 0);
  ASSERT_EQ(pmr_object_error_code(dict), 0);
  ASSERT_GE(pmr_add_entry("a", "b[Noun]", 0, dict), 0);
  char from_dict[64];
  char out[64];
  const int32_t expected2 = pmr_client_dict_lookup("a", nullptr, from_dict, 64, 6, 0, dict);
  ASSERT_GT(expected2, 0);
  EXPECT_EQ(pmr_lookup_with_transduction("a", 1, out, 64, 2, fsm(), dict, 0), expected2);
  EXPECT_STREQ(out, from_dict);
  const int32_t expected3 = pmr_client_dict_lookup("a", nullptr, from_dict, 64, 2, 0, dict);
  EXPECT_EQ(pmr_lookup_with_transduction("ab", 1, out, 64, 3, fsm(), dict, 0), expected3);
  EXPECT_STREQ(out, from_dict);
  // Unknown to the dictionary: the transducer answers. Functions 5 and 9 never ask it.
  EXPECT_EQ(pmr_lookup_with_transduction("a", 0, out, 64, 2, fsm(), dict, 0), 0);
  EXPECT_EQ(pmr_lookup_with_transduction("a", 1, out, 64, 5, fsm(), dict, 0), 1);
  EXPECT_STREQ(out, "a");
  pmr_free_client_dict(dict);
}

// ---- token breaking -----------------------------------------------------------------

TEST_F(Engine, TokenEndsGiveBackSymbolsAfterTheBoundary) {
  // a | b | (all final after each boundary), plus c after the second boundary.
  Net n;
  n.lab(0x20).lab(letter('a')).lab(kTb, kFinal).lab(letter('b')).lab(kTb, kFinal);
  n.lab(letter('c'), kFinal).end();
  load(n);
  const uint8_t input[] = {letter('a'), kTb, letter('b'), kTb, letter('c'), 0};
  const char* coded = reinterpret_cast<const char*>(input);
  char buffer[128];
  uint32_t offsets[4] = {99, 99, 99, 99};
  EXPECT_EQ(pmrBreakByteStringToken(coded, buffer, sizeof buffer, offsets, 4, 1, fsm()), 3);
  EXPECT_EQ(offsets[0], 2u);
  EXPECT_EQ(offsets[1], 4u);
  EXPECT_EQ(offsets[2], 4u);  // c is given back: the token ends after the boundary
  EXPECT_STREQ(buffer, "a|");
  EXPECT_STREQ(buffer + 3, "a|b|");
  EXPECT_STREQ(buffer + 8, "a|b|c");
  EXPECT_EQ(pmrBreakByteStringToken(coded, buffer, sizeof buffer, offsets, 4, 0, fsm()), 1);
  EXPECT_EQ(offsets[0], 2u);
  EXPECT_EQ(pmrBreakByteStringToken(coded, buffer, sizeof buffer, offsets, 2, 1, fsm()),
            PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(pmrBreakByteStringToken(coded, buffer, sizeof buffer, offsets, 4, 2, fsm()),
            PMR_INVALID_FUNCTION);
  const uint8_t other[] = {letter('b'), 0};
  EXPECT_EQ(pmrBreakByteStringToken(reinterpret_cast<const char*>(other), buffer, sizeof buffer,
                                    offsets, 4, 0, fsm()),
            PMR_UNRECOGNIZED_TOKEN);
  EXPECT_EQ(pmrBreakByteStringToken(nullptr, buffer, sizeof buffer, offsets, 4, 0, fsm()),
            PMR_NULL_POINTER);
}

TEST_F(Engine, ABoundaryCodeByteWithPageBytesIsNoBoundary) {
  char buffer[64];
  uint32_t offsets[2];
  for (bool page_after : {false, true}) {
    Options o;
    o.page_after = page_after;
    // The symbol '~' is the boundary's code byte with one page byte.
    Net n;
    n.lab(0x20).lab(letter('a'));
    if (page_after) n.lab(kTb).lab(kPage, kFinal).end();
    else n.lab(kPage).lab(kTb, kFinal).end();
    load(n, o);
    std::vector<uint8_t> coded = {letter('a'), page_after ? kTb : kPage, page_after ? kPage : kTb, 0};
    const char* input = reinterpret_cast<const char*>(coded.data());
    EXPECT_EQ(pmrBreakByteStringToken(input, buffer, sizeof buffer, offsets, 2, 0, fsm()), 0)
        << page_after;
    EXPECT_EQ(offsets[0], 0u);
    // The same path read as a plain boundary when the page byte is not there.
    Net m;
    m.lab(0x20).lab(letter('a')).lab(kTb, kFinal).end();
    load(m, o);
    const uint8_t plain[] = {letter('a'), kTb, 0};
    EXPECT_EQ(pmrBreakByteStringToken(reinterpret_cast<const char*>(plain), buffer, sizeof buffer,
                                      offsets, 2, 0, fsm()),
              1);
    EXPECT_EQ(offsets[0], 2u);
    EXPECT_STREQ(buffer, "a|");
  }
}

TEST_F(Engine, PrefixModeReportsInputEndingInsideALongerToken) {
  // "a" is a token (no boundary symbol); "ab|" is one too.
  Net n;
  n.lab(0x20).lab(letter('a'), kFinal).lab(letter('b')).lab(kTb, kFinal).end();
  load(n);
  const uint8_t input[] = {letter('a'), 0};
  const char* coded = reinterpret_cast<const char*>(input);
  char buffer[64];
  uint32_t offsets[4];
  // First token end only: the path without a boundary symbol gives 0, and
  // its token end gives back everything written.
  EXPECT_EQ(pmrBreakByteStringToken(coded, buffer, sizeof buffer, offsets, 4, 0, fsm()), 0);
  EXPECT_EQ(offsets[0], 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(pmrBreakByteStringToken(coded, buffer, sizeof buffer, offsets, 4, 1, fsm()),
            PMR_INCOMPLETE_INPUT);
  Options o;
  o.functions = {12};
  load(n, o);
  EXPECT_EQ(pmrBreakByteStringToken(coded, buffer, sizeof buffer, offsets, 4, 0, fsm()),
            PMR_INVALID_FUNCTION);
}

TEST_F(Engine, DecodeOffsetsCountsPagedSymbolsOnce) {
  Net n;
  n.lab(0x20).end();
  load(n);
  char coded[16];
  ASSERT_EQ(pmrEncodeByteString("a{b", coded, sizeof coded, 3, fsm()), 4);  // a, page, a, b
  const uint32_t offsets[] = {1, 3, 4, 2, 40};
  uint32_t symbols[5] = {9, 9, 9, 9, 9};
  pmrDecodeOffsets(offsets, 5, symbols, coded, fsm());
  EXPECT_EQ(symbols[0], 1u);
  EXPECT_EQ(symbols[1], 2u);
  EXPECT_EQ(symbols[2], 3u);
  EXPECT_EQ(symbols[3], 3u);  // below the previous offset: the walk stays
  EXPECT_EQ(symbols[4], 3u);  // past the end: the walk stops at the NUL
  symbols[0] = 9;
  pmrDecodeOffsets(offsets, 0, symbols, coded, fsm());
  EXPECT_EQ(symbols[0], 9u);
}

TEST_F(Engine, PagedInputSymbols) {
  // "{" is code a with one page byte: page byte then a, matched as two labels.
  Net n;
  n.lab(0x20).lab(letter('a'), kMore).tail();
  n.lab(kPage).lab(letter('a')).tail();
  load(n);
  EXPECT_EQ(analyse("{"), words({"{"}));
  EXPECT_EQ(analyse("a"), words({"a"}));
  EXPECT_EQ(analyse("{", 9), words({"{"}));
}

// ---- bounded work on hostile networks ----------------------------------------------

TEST_F(Engine, SilentLoopsEnd) {
  // Insertion -> silent -> back to the start state, for ever.
  Net n;
  n.lab(0x20).lab(kIns).lab(kIns).direct(1);
  load(n);
  EXPECT_EQ(lookup(fsm(), "a", 2).code, 0);
  EXPECT_EQ(lookup(fsm(), "a", 9).code, 0);
  // A flag loop.
  Net f;
  f.lab(0x20).lab(kFm).lab(flag(0, 0)).direct(1);
  load(f);
  EXPECT_EQ(lookup(fsm(), "a", 2).code, 0);
  EXPECT_EQ(lookup(fsm(), "a", 9).code, 0);
  // A list whose tail refers back to its own first arc.
  Net s;
  s.lab(0x20).lab(kIns, kMore).lab(kIns).end().direct(1);
  load(s);
  EXPECT_EQ(lookup(fsm(), "a", 2).code, 0);
}

TEST_F(Engine, WritingLoopsStopAtTheWorkCeiling) {
  // Forward: an insertion of a, back to the start; inverse: a:0, back to the start.
  Net n;
  n.lab(0x20).lab(kIns).lab(letter('a')).direct(1);
  load(n);
  EXPECT_EQ(lookup(fsm(), "a", 2).code, PMR_INTERNAL_BUFFER_TOO_SMALL);
  Net m;
  m.lab(0x20).lab(letter('a')).lab(kMark).lab(kIns).direct(1);
  load(m);
  EXPECT_EQ(lookup(fsm(), "", 9).code, PMR_INTERNAL_BUFFER_TOO_SMALL);
}

TEST_F(Engine, ExponentialAmbiguityRunsOutOfSteps) {
  // 60 states of two silent alternatives each, none accepting.
  Net n;
  n.lab(0x20);
  std::vector<uint32_t> refs;
  for (int i = 0; i < 60; ++i) {
    const uint32_t state = n.at();
    for (uint32_t r : refs) n.patch(r, state);
    refs.clear();
    n.lab(kIns, kMore).lab(kIns);
    refs.push_back(n.direct_hole());
    n.lab(kIns).lab(kIns);
    refs.push_back(n.direct_hole());
  }
  const uint32_t last = n.at();
  n.end();
  for (uint32_t r : refs) n.patch(r, last);
  load(n);
  EXPECT_EQ(lookup(fsm(), "a", 2).code, PMR_STACK_OVERFLOW);
}

TEST_F(Engine, DamagedReferencesReadAsEndBytes) {
  Options o;
  o.near_table = {9999, 1};  // beyond the block; to a pointer byte
  Net n;
  n.lab(0x20).raw({kNear + 1});  // start list: a reference to a reference
  load(n, o);
  EXPECT_EQ(lookup(fsm(), "a", 2).code, 0);
  Net m;
  m.lab(0x20).lab(letter('a'), kMore).raw({kNear + 0}).raw({kNear + 5});  // entry beyond the table
  load(m, o);
  EXPECT_EQ(lookup(fsm(), "b", 2).code, 0);
  EXPECT_EQ(lookup(fsm(), "a", 9).code, 0);
  Net d;
  d.lab(0x20).lab(letter('a')).raw({kDirect + 7, 0xFF, 0xFF});
  load(d, o);
  EXPECT_EQ(lookup(fsm(), "a", 2).code, 0);
  // A block whose base lies at the end of the block.
  Net b;
  b.lab(0x20).lab(kBlock).raw({kDirect, 0, 5}).raw({8});
  load(b, o);
  EXPECT_EQ(lookup(fsm(), "a", 2).code, 0);
  EXPECT_EQ(lookup(fsm(), "a", 9).code, 0);
}

TEST_F(Engine, RandomNetworksNeitherCrashNorHang) {
  std::mt19937 random(12345);
  const char* inputs[] = {"", "a", "ab", "cab", "{a"};
  for (int round = 0; round < 200; ++round) {
    Net n;
    const size_t size = 2 + random() % 60;
    n.lab(uint8_t(0x20 | (random() & 3)));
    while (n.at() < size) n.b.push_back(uint8_t(random()));
    Options o;
    o.near_table = {uint32_t(random() % 70), uint32_t(random() % 70)};
    o.far_table = {uint32_t(random() % 70)};
    o.offset_table = (round & 1) != 0;
    o.long_direct = (round & 2) != 0;
    load(n, o);
    for (const char* word : inputs) {
      for (int32_t f : {2, 5, 7, 9}) {
        const int32_t code = lookup(fsm(), word, f, 256).code;
        EXPECT_TRUE(code >= 0 || code == PMR_OUTPUT_TOO_LONG || code == PMR_STACK_OVERFLOW ||
                    code == PMR_INTERNAL_BUFFER_TOO_SMALL)
            << code;
      }
    }
    char buffer[64];
    uint32_t offsets[4];
    const uint8_t coded[] = {letter('a'), kTb, 0};
    pmrBreakByteStringToken(reinterpret_cast<const char*>(coded), buffer, sizeof buffer, offsets, 4,
                            1, fsm());
  }
}


// ---- compiled lexicons ------------------------------------------------------------

// A lexicon compiled to serve the lookup functions 12 and 27, in the
// default layout and with small pages after the code bytes (so that tags
// and letters carry page bytes).
class Compiled : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    const std::string text =
        "cats\tcat[n][pl]\n"
        "cat\tcat[n][sg]\n"
        "dogs\tdog[vblex][pres][p3][sg]\n"
        "dogs\tdog[n][pl]\n"
        "ab\tba\n"
        "went\tgo[vblex][past]\n"
        "x\ta[verylongtag]\n"
        "x\tabcd\n" +
        std::string(150, 'z') + "\tlong[n]\n";
    pmrtest::TempFile source(std::vector<uint8_t>(text.begin(), text.end()));
    pmrtools::CompileOptions options;
    options.format = pmrtools::SourceFormat::Lexicon;
    options.functions = {12, 27};
    if (GetParam()) {
      options.layout.page_after = true;
      options.layout.page_size = 9;
    }
    pmrtools::FileModel model;
    pmrtools::CompileStats stats;
    std::string error;
    ASSERT_TRUE(pmrtools::compile_sources({source.path()}, options, &model, &stats, &error)) << error;
    fsm_.reset(new LoadedFsm(model));
    ASSERT_TRUE(fsm_->ok()) << fsm_->code();
  }
  std::vector<std::string> get(const std::string& word, int32_t function) {
    Results r = lookup(fsm_->get(), word, function, 4096);
    EXPECT_GE(r.code, 0) << word;
    std::sort(r.words.begin(), r.words.end());
    return r.words;
  }
  std::unique_ptr<LoadedFsm> fsm_;
};

TEST_P(Compiled, EveryLookupFunction) {
  EXPECT_EQ(get("cats", 2), words({"cat[n][pl]"}));
  EXPECT_EQ(get("dogs", 2), words({"dog[n][pl]", "dog[vblex][pres][p3][sg]"}));
  EXPECT_EQ(get("dogs", 3), words({"dog[n][pl]", "dog[vblex][pres][p3][sg]"}));
  EXPECT_EQ(get("dogs", 7), words({"dog[n][pl]"}));
  EXPECT_EQ(get("dogs", 5).size(), 1u);
  EXPECT_EQ(get("go[vblex][past]", 8), words({"went"}));
  EXPECT_EQ(get("ba", 9), words({"ab"}));
  EXPECT_TRUE(get("go[vblex][past]", 9).empty());  // function 9 reads no tags
  EXPECT_TRUE(get("do", 2).empty());
  EXPECT_EQ(get(std::string(150, 'z'), 2), words({"long[n]"}));
  EXPECT_EQ(get("long[n]", 8), std::vector<std::string>{std::string(150, 'z')});
  EXPECT_EQ(lookup(fsm_->get(), "cats", 11).code, PMR_INVALID_FUNCTION);
  // The shortest result counts a tag by the length of its name.
  EXPECT_EQ(get("x", 7), words({"abcd"}));
  EXPECT_EQ(get("x", 2), words({"a[verylongtag]", "abcd"}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, Compiled, ::testing::Bool());

// Damaged copies of a compiled network: a few bytes of the network block
// changed at random. Every lookup must end with a count or an error code.
TEST(CompiledDamaged, MutatedNetworksNeitherCrashNorHang) {
  std::string text;
  const char* entries[] = {"cats\tcat[n][pl]", "cat\tcat[n][sg]", "dogs\tdog[n][pl]",
                           "dogs\tdog[vblex][pres][p3][sg]", "went\tgo[vblex][past]",
                           "abcdefghijklmnop\tx[y]", "ab\tba", "\tempty[n]"};
  for (const char* e : entries) text += std::string(e) + "\n";
  pmrtest::TempFile source(std::vector<uint8_t>(text.begin(), text.end()));
  pmrtools::CompileOptions options;
  options.format = pmrtools::SourceFormat::Lexicon;
  options.functions = {12, 27, 28};
  options.block_threshold = 3;
  pmrtools::FileModel model;
  pmrtools::CompileStats stats;
  std::string error;
  ASSERT_TRUE(pmrtools::compile_sources({source.path()}, options, &model, &stats, &error)) << error;
  const std::vector<uint8_t> original = model.network_block;
  std::mt19937 random(777);
  const char* words_in[] = {"cats", "dogs", "went", "abcdefghijklmnop", "ab", "", "x"};
  const char* analyses[] = {"cat[n][pl]", "dog[vblex][pres][p3][sg]", "ba", "x[y]"};
  for (int round = 0; round < 400; ++round) {
    model.network_block = original;
    const int changes = 1 + int(random() % 4);
    for (int i = 0; i < changes; ++i)
      model.network_block[random() % original.size()] = uint8_t(random());
    LoadedFsm fsm(model);
    ASSERT_TRUE(fsm.ok());
    for (const char* word : words_in)
      for (int32_t f : {2, 3, 5, 7, 9, 11}) {
        const int32_t code = lookup(fsm.get(), word, f, 512).code;
        EXPECT_TRUE(code >= 0 || code == PMR_OUTPUT_TOO_LONG || code == PMR_STACK_OVERFLOW ||
                    code == PMR_INTERNAL_BUFFER_TOO_SMALL || code == PMR_INVALID_FUNCTION)
            << code;
      }
    for (const char* analysis : analyses) lookup(fsm.get(), analysis, 8, 512);
  }
}

}  // namespace
