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
  std::vector<char> out(1 << 16);
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

struct Lexicon {
  std::map<std::string, Results> analyses;  // surface -> analyses
  std::map<std::string, Results> surfaces;  // analysis -> surfaces
  std::string text;
  void add(const std::string& surface, const std::string& analysis) {
    if (analyses[surface].count(analysis)) return;
    analyses[surface].insert(analysis);
    surfaces[analysis].insert(surface);
    text += surface + "\t" + analysis + "\n";
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

}  // namespace
