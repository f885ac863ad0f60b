// test_compile.cpp - the transducer compiler: lexicons and AT&T text
// compiled, written, loaded and looked up in both directions under the
// layout choices; symbol and tag tables; flags; source errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fsttest.h"
#include "netcompile.h"
#include "pmr.h"

namespace {

using Results = std::multiset<std::string>;

// A source text in a temporary file.
class SourceFile {
 public:
  explicit SourceFile(const std::string& text)
      : file_(std::vector<uint8_t>(text.begin(), text.end())) {}
  std::string path() const { return file_.path(); }

 private:
  pmrtest::TempFile file_;
};

bool compile_text(const std::string& text, const pmrtools::CompileOptions& options,
                  pmrtools::FileModel* model, std::string* error,
                  pmrtools::CompileStats* stats = nullptr) {
  SourceFile source(text);
  pmrtools::CompileStats local;
  return pmrtools::compile_sources({source.path()}, options, model, stats ? stats : &local, error);
}

// All results of a lookup, as a multiset (so duplicates would show).
Results lookup(pmr_fsm* fsm, const std::string& word, int function) {
  static thread_local std::vector<char> out(1 << 16);
  const int32_t n = pmrLookupByteString(word.c_str(), out.data(), int32_t(out.size()), function, fsm);
  Results results;
  if (n < 0) {
    results.insert("error " + std::to_string(n));
    return results;
  }
  const char* p = out.data();
  for (int32_t i = 0; i < n; ++i) {
    results.insert(p);
    p += std::strlen(p) + 1;
  }
  return results;
}

// Latin-1 letters (the same bytes in Windows-1252) to UTF-8 for source text.
std::string to_utf8(const std::string& latin1) {
  std::string out;
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      out += char(c);
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Entries in the 8-bit character set; the source text is UTF-8.
struct Lexicon {
  std::map<std::string, Results> analyses;  // surface -> analyses
  std::map<std::string, Results> surfaces;  // analysis -> surfaces
  std::string text;
  void add(const std::string& surface, const std::string& analysis) {
    if (analyses[surface].count(analysis)) return;
    analyses[surface].insert(analysis);
    surfaces[analysis].insert(surface);
    text += to_utf8(surface) + "\t" + to_utf8(analysis) + "\n";
  }
};

// Compiles the lexicon and checks that every surface gives exactly its
// analyses (function 2) and every analysis exactly its surfaces (function 8).
void expect_round_trip(const Lexicon& lexicon, const pmrtools::CompileOptions& options) {
  pmrtools::FileModel model;
  std::string error;
  ASSERT_TRUE(compile_text(lexicon.text, options, &model, &error)) << error;
  pmrtest::LoadedFsm fsm(model);
  ASSERT_TRUE(fsm.ok()) << fsm.code();
  int failures = 0;
  for (const auto& [surface, analyses] : lexicon.analyses) {
    const Results got = lookup(fsm.get(), surface, 2);
    EXPECT_EQ(got, analyses) << "surface '" << surface << "'";
    if (got != analyses && ++failures > 5) return;
  }
  for (const auto& [analysis, surfaces] : lexicon.surfaces) {
    const Results got = lookup(fsm.get(), analysis, 8);
    EXPECT_EQ(got, surfaces) << "analysis '" << analysis << "'";
    if (got != surfaces && ++failures > 5) return;
  }
}

Lexicon small_lexicon() {
  Lexicon lex;
  lex.add("cats", "cat[n][pl]");
  lex.add("cat", "cat[n][sg]");
  lex.add("dogs", "dog[n][pl]");
  lex.add("dogs", "dog[vblex][pres][p3][sg]");
  lex.add("went", "go[vblex][past]");
  lex.add("go", "go[vblex][inf]");
  lex.add("cities", "city[n][pl]");
  lex.add("a", "");
  lex.add("unhappy", "[neg]happy[adj]");
  lex.add("ab", "ba");
  return lex;
}

TEST(CompileLexicon, SmallRoundTrip) { expect_round_trip(small_lexicon(), {}); }

// A generated lexicon: words from syllables with shared prefixes and
// suffixes, irregular lemmas, ambiguity, Latin-1 letters, 70 tag names (so
// that tags need page bytes), words whose analysis is empty, tags on the
// surface side and at the start of analyses.
Lexicon generated_lexicon(int entries) {
  static const char* kSyllables[] = {"ka", "to", "ri", "men", "sa", "lo", "\xE9", "pu",
                                     "dar", "\xF1o", "ve", "qu", "zi", "ba", "xo", "ly"};
  static const char* kEndings[] = {"", "s", "ed", "ing", "er", "est", "ies", "\xE9s"};
  Lexicon lex;
  uint64_t seed = 12345;
  auto next = [&](uint32_t bound) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t((seed >> 33) % bound);
  };
  for (int i = 0; i < entries; ++i) {
    std::string stem;
    const uint32_t syllables = 1 + next(4);
    for (uint32_t k = 0; k < syllables; ++k) stem += kSyllables[next(16)];
    const uint32_t ending = next(8);
    std::string surface = stem + kEndings[ending];
    std::string lemma = stem;
    switch (next(6)) {
      case 0: lemma = stem + "e"; break;            // surface drops a letter
      case 1:  // replacement at the end
        if (stem.size() > 2 && uint8_t(stem.back()) < 0x80) lemma = stem.substr(0, stem.size() - 1) + "y";
        break;
      case 2:  // replacement at the start
        if (uint8_t(stem[0]) < 0x80) lemma = "g" + stem.substr(1);
        break;
      default: break;
    }
    std::string analysis = lemma;
    const uint32_t tags = next(5);
    for (uint32_t k = 0; k < tags; ++k) analysis += "[t" + std::to_string(next(70)) + "]";
    if (next(40) == 0) analysis = "";
    if (next(30) == 0) analysis = "[pre" + std::to_string(next(3)) + "]" + analysis;
    if (next(50) == 0) surface += "[sfx]";
    lex.add(surface, analysis);
    if (next(10) == 0) lex.add(surface, lemma + "[alt]");
  }
  return lex;
}

struct LayoutCase {
  const char* name;
  void (*apply)(pmrtools::CompileOptions*);
};

const LayoutCase kLayouts[] = {
    {"default", [](pmrtools::CompileOptions*) {}},
    {"page after", [](pmrtools::CompileOptions* o) { o->layout.page_after = true; }},
    {"small pages", [](pmrtools::CompileOptions* o) { o->layout.page_size = 16; }},
    {"small pages after, 16-bit codes",
     [](pmrtools::CompileOptions* o) {
       o->layout.page_size = 9;
       o->layout.page_after = true;
       o->layout.code16 = true;
     }},
    {"label base 0x20", [](pmrtools::CompileOptions* o) { o->layout.label_base = 0x20; }},
    {"label base 0x80", [](pmrtools::CompileOptions* o) { o->layout.label_base = 0x80; }},
    {"no blocks", [](pmrtools::CompileOptions* o) { o->indexed_blocks = false; }},
    {"blocks from 2 arcs", [](pmrtools::CompileOptions* o) { o->block_threshold = 2; }},
    {"blocks without bound byte",
     [](pmrtools::CompileOptions* o) {
       o->block_threshold = 3;
       o->layout.bound_byte = false;
     }},
    {"blocks with offset table",
     [](pmrtools::CompileOptions* o) {
       o->block_threshold = 3;
       o->layout.offset_table = true;
     }},
    {"offset table without bound byte",
     [](pmrtools::CompileOptions* o) {
       o->block_threshold = 2;
       o->layout.offset_table = true;
       o->layout.bound_byte = false;
     }},
    {"2-byte table entries", [](pmrtools::CompileOptions* o) { o->layout.table_width = 2; }},
    {"long direct pointers", [](pmrtools::CompileOptions* o) { o->layout.long_direct = true; }},
    {"only direct references",
     [](pmrtools::CompileOptions* o) {
       o->layout.near_base = 1;
       o->layout.far_base = 1;
       o->layout.direct_base = 1;
       o->layout.long_direct = true;
     }},
    {"every state referenced", [](pmrtools::CompileOptions* o) { o->inplace_limit = 0; }},
    {"large in-place subtrees", [](pmrtools::CompileOptions* o) { o->inplace_limit = 4096; }},
    {"chosen bases",
     [](pmrtools::CompileOptions* o) {
       o->layout.far_base = 0;
       o->layout.direct_base = 0;
     }},
};

TEST(CompileLexicon, GeneratedRoundTripUnderEveryLayout) {
  const Lexicon lex = generated_lexicon(2000);
  for (const LayoutCase& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    pmrtools::CompileOptions options;
    layout.apply(&options);
    expect_round_trip(lex, options);
    if (HasFailure()) return;
  }
}

TEST(CompileLexicon, SmallRoundTripUnderEveryLayout) {
  for (const LayoutCase& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    pmrtools::CompileOptions options;
    layout.apply(&options);
    expect_round_trip(small_lexicon(), options);
    if (HasFailure()) return;
  }
}

}  // namespace

namespace {

// Compiles AT&T text (default options) and loads it.
class AttNetwork {
 public:
  explicit AttNetwork(const std::string& text, pmrtools::CompileOptions options = {}) {
    options.format = pmrtools::SourceFormat::Auto;
    ok_ = compile_text(text, options, &model_, &error_);
    if (ok_) fsm_ = std::make_unique<pmrtest::LoadedFsm>(model_);
  }
  ::testing::AssertionResult loaded() const {
    if (!ok_) return ::testing::AssertionFailure() << error_;
    if (!fsm_->ok()) return ::testing::AssertionFailure() << "load error " << fsm_->code();
    return ::testing::AssertionSuccess();
  }
  Results analyse(const std::string& word) const { return lookup(fsm_->get(), word, 2); }
  Results generate(const std::string& analysis) const { return lookup(fsm_->get(), analysis, 8); }
  const pmrtools::FileModel& model() const { return model_; }

 private:
  bool ok_ = false;
  std::string error_;
  pmrtools::FileModel model_;
  std::unique_ptr<pmrtest::LoadedFsm> fsm_;
};

TEST(CompileAtt, CyclicPrefixLoopAndGuesserLoop) {
  // (re)* do + [vblex]; and any word of a..e ending in s as a plural noun.
  const std::string text =
      "0\t1\tr\tr\n1\t0\te\te\n0\t2\td\td\n2\t3\to\to\n3\t4\t@0@\t<vblex>\n4\n"
      "--\n"
      "0\t0\ta\ta\n0\t0\tb\tb\n0\t0\tc\tc\n0\t0\td\td\n0\t0\te\te\n"
      "0\t1\ts\t@0@\n1\t2\t@0@\t<n>\n2\t3\t@0@\t<pl>\n3\t0.0\n";
  for (const LayoutCase& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    pmrtools::CompileOptions options;
    layout.apply(&options);
    AttNetwork net(text, options);
    ASSERT_TRUE(net.loaded());
    EXPECT_EQ(net.analyse("do"), Results({"do[vblex]"}));
    EXPECT_EQ(net.analyse("rerereredo"), Results({"rerereredo[vblex]"}));
    EXPECT_EQ(net.analyse("bades"), Results({"bade[n][pl]"}));
    EXPECT_EQ(net.analyse("aabbeds"), Results({"aabbed[n][pl]"}));
    EXPECT_EQ(net.analyse("rdo"), Results());
    EXPECT_EQ(net.analyse("s"), Results({"[n][pl]"}));
    EXPECT_EQ(net.generate("reredo[vblex]"), Results({"reredo"}));
    EXPECT_EQ(net.generate("cab[n][pl]"), Results({"cabs"}));
    EXPECT_EQ(net.generate("cab[pl]"), Results());
  }
}

TEST(CompileAtt, SymbolSpellings) {
  // Epsilon as @0@, @_EPSILON_SYMBOL_@ and U+03B5; @_SPACE_@; tags as <n>,
  // [n] and +N; acceptor lines; lt-print's trailing TAB; a weight column.
  const std::string text =
      "0\t1\ta\t@0@\t0.5\t\n"
      "1\t2\t@_SPACE_@\t@_EPSILON_SYMBOL_@\n"
      "2\t3\tb\t\xCE\xB5\n"
      "3\t4\t@0@\t<n>\n"
      "4\t5\t@0@\t[sg]\n"
      "5\t6\t@0@\t+Acc\n"
      "6\t7\tc\n"
      "7\t0.000000\t\n";
  AttNetwork net(text);
  ASSERT_TRUE(net.loaded());
  EXPECT_EQ(net.analyse("a bc"), Results({"[n][sg][Acc]c"}));
  EXPECT_EQ(net.generate("[n][sg][Acc]c"), Results({"a bc"}));
  std::set<std::string> tags;
  for (const auto& tag : net.model().tags) tags.insert(tag.first);
  EXPECT_EQ(tags, (std::set<std::string>{"n", "sg", "Acc"}));
}

TEST(CompileAtt, NetworksOfOneFileAndSeveralFilesAreJoined) {
  AttNetwork net("0\t1\ta\ta\n1\t2\tb\tb\n2\n--\n0\t1\ta\tx\n1\t2\tb\t@0@\n2\n");
  ASSERT_TRUE(net.loaded());
  EXPECT_EQ(net.analyse("ab"), Results({"ab", "x"}));
  EXPECT_EQ(net.generate("x"), Results({"ab"}));

  SourceFile first("0\t1\tc\tc\n1\n");
  SourceFile second("cd\tcd[v]\n");
  pmrtools::FileModel model;
  pmrtools::CompileStats stats;
  std::string error;
  ASSERT_TRUE(pmrtools::compile_sources({first.path(), second.path()}, {}, &model, &stats, &error))
      << error;
  pmrtest::LoadedFsm fsm(model);
  ASSERT_TRUE(fsm.ok());
  EXPECT_EQ(lookup(fsm.get(), "c", 2), Results({"c"}));
  EXPECT_EQ(lookup(fsm.get(), "cd", 2), Results({"cd[v]"}));
}

TEST(CompileAtt, FlagDiacriticsSetRefuseAndClear) {
  // x sets F=a, y sets F=b; after m: 1 needs F=a, 2 needs F=b, 3 clears F and
  // 4 then sets F=b.
  const std::string text =
      "0\t1\t@U.F.a@\t@U.F.a@\n1\t2\tx\tx\n0\t3\t@P.F.b@\t@P.F.b@\n3\t2\ty\ty\n"
      "2\t4\tm\tm\n"
      "4\t5\t@U.F.a@\t@U.F.a@\n5\t6\t1\t1\n"
      "4\t7\t@U.F.b@\t@U.F.b@\n7\t6\t2\t2\n"
      "4\t8\t@C.F@\t@C.F@\n8\t9\t3\t3\n9\t10\t@U.F.b@\t@U.F.b@\n10\t6\t4\t4\n"
      "6\n";
  for (const LayoutCase& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    pmrtools::CompileOptions options;
    layout.apply(&options);
    AttNetwork net(text, options);
    ASSERT_TRUE(net.loaded());
    EXPECT_EQ(net.analyse("xm1"), Results({"xm1"}));
    EXPECT_EQ(net.analyse("xm2"), Results());
    EXPECT_EQ(net.analyse("ym2"), Results({"ym2"}));
    EXPECT_EQ(net.analyse("ym1"), Results());
    EXPECT_EQ(net.analyse("xm34"), Results({"xm34"}));
    EXPECT_EQ(net.analyse("ym34"), Results({"ym34"}));
    EXPECT_EQ(net.generate("xm2"), Results());
    EXPECT_EQ(net.generate("xm34"), Results({"xm34"}));
  }
}

TEST(CompileAtt, UnsupportedFlagsAndTooManyValues) {
  pmrtools::FileModel model;
  std::string error;
  EXPECT_FALSE(compile_text("0\t1\t@R.F.a@\t@R.F.a@\n1\n", {}, &model, &error));
  EXPECT_NE(error.find("@R.F.a@"), std::string::npos) << error;
  std::string four_values;
  for (const char* v : {"a", "b", "c", "d"}) {
    four_values += std::string("0\t1\t@U.F.") + v + "@\t@U.F." + v + "@\n";
  }
  EXPECT_FALSE(compile_text(four_values + "1\n", {}, &model, &error));
  EXPECT_NE(error.find("more than 3 values"), std::string::npos) << error;
  std::string nine_features;
  for (int i = 0; i < 9; ++i) {
    nine_features += "0\t1\t@U.F" + std::to_string(i) + ".a@\t@0@\n";
  }
  EXPECT_FALSE(compile_text(nine_features + "1\n", {}, &model, &error));
  EXPECT_NE(error.find("more than 8 flag features"), std::string::npos) << error;
}

TEST(CompileSource, UnmappableCharactersFailOrAreDropped) {
  const std::string text = "cat\tcat[n]\n\xE6\x97\xA5\tsun[n]\ndog\tdog[n]\n";
  pmrtools::FileModel model;
  std::string error;
  SourceFile source(text);
  pmrtools::CompileStats stats;
  EXPECT_FALSE(pmrtools::compile_sources({source.path()}, {}, &model, &stats, &error));
  EXPECT_EQ(error, source.path() + ":2: character U+65E5 cannot be represented in Windows-1252");

  pmrtools::CompileOptions skip;
  skip.skip_unmappable = true;
  ASSERT_TRUE(pmrtools::compile_sources({source.path()}, skip, &model, &stats, &error)) << error;
  EXPECT_EQ(stats.dropped_paths, 1u);
  pmrtest::LoadedFsm fsm(model);
  EXPECT_EQ(lookup(fsm.get(), "dog", 2), Results({"dog[n]"}));

  // In AT&T text the arc is dropped; the euro sign maps to 0x80.
  const std::string att = "0\t1\t\xE2\x82\xAC\t\xE2\x82\xAC\n0\t1\t\xE6\x97\xA5\tx\n1\n";
  SourceFile att_source(att);
  EXPECT_FALSE(pmrtools::compile_sources({att_source.path()}, {}, &model, &stats, &error));
  EXPECT_EQ(error, att_source.path() + ":2: character U+65E5 cannot be represented in Windows-1252");
  ASSERT_TRUE(pmrtools::compile_sources({att_source.path()}, skip, &model, &stats, &error));
  EXPECT_EQ(stats.dropped_paths, 1u);
  pmrtest::LoadedFsm att_fsm(model);
  EXPECT_EQ(lookup(att_fsm.get(), "\x80", 2), Results({"\x80"}));
}

TEST(CompileSource, MalformedInputIsReportedWithItsLine) {
  pmrtools::FileModel model;
  std::string error;
  SourceFile bad_state("0\t1\ta\tb\nx\t2\ta\tb\n");
  pmrtools::CompileStats stats;
  pmrtools::CompileOptions att;
  att.format = pmrtools::SourceFormat::Att;
  EXPECT_FALSE(pmrtools::compile_sources({bad_state.path()}, att, &model, &stats, &error));
  EXPECT_EQ(error, bad_state.path() + ":2: state number expected");
  SourceFile special("0\t1\t@_UNKNOWN_SYMBOL_@\ta\n1\n");
  EXPECT_FALSE(pmrtools::compile_sources({special.path()}, {}, &model, &stats, &error));
  EXPECT_NE(error.find(":1: special symbol @_UNKNOWN_SYMBOL_@"), std::string::npos) << error;
  SourceFile fields("a\tb\tc\n");
  EXPECT_FALSE(pmrtools::compile_sources({fields.path()}, {}, &model, &stats, &error));
  EXPECT_EQ(error, fields.path() + ":1: expected 'surface TAB analysis'");
  EXPECT_FALSE(pmrtools::compile_sources({"/nonexistent/lexicon"}, {}, &model, &stats, &error));
  EXPECT_EQ(error, "/nonexistent/lexicon: cannot open the file");
}

TEST(CompileModel, TablesFunctionsAndNetworkRecords) {
  pmrtools::FileModel model;
  std::string error;
  pmrtools::CompileOptions options;
  options.expansion = true;
  ASSERT_TRUE(compile_text("cats\tcat[n][pl]\n", options, &model, &error)) << error;
  const uint8_t base = model.layout.label_base;
  ASSERT_EQ(model.networks.size(), 2u);
  for (const pmrtools::NetworkDesc& net : model.networks) {
    EXPECT_EQ(net.lowest_input_label, base + 12);
    EXPECT_EQ(net.flag_marker, base + 8);
    EXPECT_LT(net.start, model.network_block.size());
  }
  EXPECT_EQ(model.layout.replacement_marker, base);
  ASSERT_EQ(model.functions.size(), 24u);
  for (size_t f = 0; f < model.functions.size(); ++f) {
    const uint8_t expected = f == 12 || f == 23 ? 0 : f == 1 ? 1 : 255;
    EXPECT_EQ(model.functions[f], expected) << f;
  }
  // Tags: names without brackets; values point at their symbol index.
  ASSERT_EQ(model.tags.size(), 2u);
  for (const auto& [name, value] : model.tags) {
    const uint32_t index = uint32_t((value >> 8) - base) / 4 + (value & 0xFF) * model.layout.page_size;
    ASSERT_LT(index, model.symbol_names.size());
    EXPECT_EQ(model.symbol_names[index], name);
  }
  ASSERT_EQ(model.diacritics.size(), 1u);
  EXPECT_EQ(model.diacritics[0].first, "*TAGSEP*");
  // Characters: the code table gives the symbol that prints as the character.
  EXPECT_EQ(model.lowest_char, 'a');
  EXPECT_EQ(model.highest_char, 't');
  for (char c : std::string("acst")) {
    const uint16_t entry = model.code_table[size_t(c - 'a')];
    const uint32_t index = uint32_t((entry & 0xFC) - base) / 4 + (entry & 3) * model.layout.page_size;
    EXPECT_EQ(model.symbol_chars[index], uint16_t(c));
  }
  EXPECT_EQ(model.code_table[size_t('b' - 'a')], 0);

  pmrtools::CompileOptions only;
  only.functions = {27};
  ASSERT_TRUE(compile_text("a\tb\n", only, &model, &error)) << error;
  EXPECT_EQ(model.networks.size(), 1u);
  ASSERT_EQ(model.functions.size(), 28u);
  EXPECT_EQ(model.functions[27], 0);
  EXPECT_EQ(model.functions[12], 255);
}

TEST(CompileModel, ExpansionNetworkListsTheSurfaceWords) {
  pmrtools::FileModel model;
  std::string error;
  pmrtools::CompileOptions options;
  options.expansion = true;
  ASSERT_TRUE(compile_text("cats\tcat[n][pl]\ncat\tcat[n]\ndog\tdog[n]\n", options, &model, &error));
  pmrtest::LoadedFsm fsm(model);
  ASSERT_TRUE(fsm.ok());
  pmr_lookup_buffer* buffer = pmrMakeLookupBuffer(64, 64, 64, 0, 0, 0);
  ASSERT_NE(buffer, nullptr);
  char out[256];
  const int32_t n = pmrExpandByteStringPartialWord("", out, sizeof out, buffer, 0, 0, 100, 0, 0, fsm.get());
  std::vector<std::string> words;
  const char* p = out;
  for (int32_t i = 0; i < n; ++i, p += std::strlen(p) + 1) words.emplace_back(p);
  EXPECT_EQ(words, (std::vector<std::string>{"cat", "cats", "dog"}));
  pmrFreeLookupBuffer(buffer);
}

TEST(CompileModel, OtherBasesAreChosenWhenTheGivenOnesCannotReachTheNetwork) {
  // A network bigger than 64 KiB with a direct range of one 64 KiB unit and
  // no far table.
  Lexicon lex = generated_lexicon(6000);
  pmrtools::CompileOptions options;
  options.layout.near_base = 1;
  options.layout.far_base = 0x3F;
  options.layout.direct_base = 0x3F;
  options.layout.label_base = 0x40;
  pmrtools::FileModel model;
  std::string error;
  ASSERT_TRUE(compile_text(lex.text, options, &model, &error)) << error;
  ASSERT_GT(model.network_block.size(), 0x10000u);
  EXPECT_TRUE(model.layout.far_base != 0x3F || model.layout.direct_base != 0x3F);
  pmrtest::LoadedFsm fsm(model);
  ASSERT_TRUE(fsm.ok());
  for (const auto& [surface, analyses] : lex.analyses) {
    ASSERT_EQ(lookup(fsm.get(), surface, 2), analyses) << surface;
  }
}

}  // namespace
