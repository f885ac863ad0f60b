// test_compile.cpp - the transducer compiler: lexicons and AT&T text
// compiled, written, loaded and looked up in both directions under the
// layout choices; symbol and tag tables; flags; source errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
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
