// make_seeds.cpp - writes small valid transducer files as starting inputs for
// fsm_fuzz: one hand-assembled network (a tiny lexicon with tags, reached in
// place and through near, far and direct references) in several file layouts,
// written by the tools' own file writer. Usage: make_seeds DIRECTORY
//
// Alphabet of every seed (label base 0x40, page byte 0xFC):
//   0x40 epsilon (insertion label), 0x44 tag separator, 0x48 end of string,
//   0x4C token boundary, 0x50..0x60 the letters a..e, 0x64 [Noun],
//   0x68 [Verb], 0x6C [Pl]; z is code 0x40 on page 1.
// Lexicon: ab -> ab[Noun], abc -> abc[Verb], b -> b (function 12, 27, ...).
//
// Further seeds are compiled by the tools' network compiler from small
// lexicons and AT&T texts: ambiguity, shared suffixes, indexed arc blocks,
// symbols beyond the first page, flag diacritics, surface-only symbols,
// the expansion network and the other file layouts.
#include <cstdint>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "fstmodel.h"
#include "fsttest.h"
#include "netcompile.h"

namespace {

using pmrtools::FileModel;
using namespace pmrtest::small;  // kTagSep, kEos, kA, kNoun, kVerb

constexpr uint8_t kEpsilon = 0x40;
constexpr uint8_t kFinal = 1, kMore = 2;

// How the state reached by "b" from the start refers to its arc list.
enum class Sharing { InPlace, Near, Far, Direct };

// The network block; `shared_eos` receives the position of a final
// end-of-string arc list that references may point to.
std::vector<uint8_t> lexicon_network(Sharing sharing, uint32_t* shared_eos) {
  std::vector<uint8_t> n = {
      kEpsilon,                                  // 0 entry label byte, start not final
      kA | kMore,                                // 1 a
      kA + 4,                                    // 2 . b
      kEpsilon | kMore,                          // 3 . . insertion
      kTagSep, kEpsilon, kNoun, kEos | kFinal, 0,  // 4..8 [Noun], end of string
      kA + 8,                                    // 9 . . c
      kEpsilon, kTagSep, kEpsilon, kVerb, kEos | kFinal, 0,  // 10..15 [Verb]
      kA + 4,                                    // 16 b
  };
  *shared_eos = 7;
  switch (sharing) {
    case Sharing::InPlace: n.insert(n.end(), {kEos | kFinal, 0}); break;
    case Sharing::Near: n.push_back(0x01); break;              // near base 0x01, index 0
    case Sharing::Far: n.insert(n.end(), {0x10, 0x00}); break;  // far base 0x10, index 0
    case Sharing::Direct: n.insert(n.end(), {0x18, 0x00, 0x07}); break;  // direct base 0x18
  }
  return n;
}

// The alphabet, tags and special symbols of the tests' small model, with the
// seed lexicon as its network.
FileModel base_model() {
  FileModel model = pmrtest::small_model();
  uint32_t shared = 0;
  model.network_block = lexicon_network(Sharing::InPlace, &shared);
  pmrtools::NetworkDesc network;
  network.lowest_input_label = kTagSep;
  model.networks = {network};
  model.functions.assign(29, 255);
  model.functions[12] = 0;
  model.functions[27] = 0;
  model.copyright = "Seed lexicon\r\nfor fuzzing";
  model.version = "1.0";
  model.creation_date = 1700000000;
  return model;
}

bool save(const FileModel& model, const std::string& dir, const std::string& name) {
  std::string error;
  if (!pmrtools::save_fst_file(model, dir + "/" + name, &error)) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
    return false;
  }
  return true;
}

void use_sharing(FileModel* model, Sharing sharing) {
  uint32_t shared = 0;
  model->network_block = lexicon_network(sharing, &shared);
  if (sharing == Sharing::Near) model->near_table = {shared};
  if (sharing == Sharing::Far) model->far_table = {shared};
}

// Compiles `source` (lexicon or AT&T text) and saves the result.
bool compile_seed(const std::string& source, pmrtools::CompileOptions options,
                  const std::string& dir, const std::string& name) {
  std::string path = dir + "/." + name + ".src";
  std::ofstream(path, std::ios::binary) << source;
  pmrtools::FileModel model;
  pmrtools::CompileStats stats;
  std::string error;
  bool ok = pmrtools::compile_sources({path}, options, &model, &stats, &error);
  ::unlink(path.c_str());
  if (!ok) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
    return false;
  }
  return save(model, dir, name);
}

std::string many_words_lexicon() {
  std::string text;
  const char* endings[] = {"", "s", "ed", "ing"};
  const char* tags[] = {"[V][Inf]", "[V][3sg]", "[V][Past]", "[V][Prog]"};
  for (char first = 'a'; first <= 'p'; ++first) {
    std::string stem = std::string(1, first) + "ark";
    for (int e = 0; e < 4; ++e) text += stem + endings[e] + "\t" + stem + tags[e] + "\n";
  }
  text += "walk\twalk[N][Sg]\nwalks\twalk[N][Pl]\n";
  return text;
}

std::string many_tags_lexicon() {
  std::string text;
  for (int i = 0; i < 70; ++i) {
    text += "w" + std::to_string(i % 10) + "\tw[T" + std::to_string(i) + "]\n";
  }
  text += "z\tz[Last]\n";
  return text;
}

bool compiled_seeds(const std::string& dir) {
  bool ok = true;
  const std::string small =
      "cat\tcat[N][Sg]\ncats\tcat[N][Pl]\nsaw\tsee[V][Past]\nsaw\tsaw[N][Sg]\n"
      "the\tthe[Det]\nrun\trun[V][Inf]\nran\trun[V][Past]\n\xc3\xa9t\xc3\xa9\t\xc3\xa9t\xc3\xa9[N]\n";
  pmrtools::CompileOptions options;
  options.functions = {12, 23, 27, 28};
  options.expansion = true;
  options.copyright = "Compiled seed";
  ok &= compile_seed(small, options, dir, "compiled_small.fst");

  pmrtools::CompileOptions blocks;
  blocks.functions = {12, 27};
  blocks.block_threshold = 3;
  blocks.layout.offset_table = true;
  blocks.layout.bound_byte = false;
  ok &= compile_seed(many_words_lexicon(), blocks, dir, "compiled_blocks_offsets.fst");

  pmrtools::CompileOptions pages;
  pages.functions = {12, 23, 27};
  pages.layout.page_after = true;
  pages.layout.table_width = 2;
  ok &= compile_seed(many_tags_lexicon(), pages, dir, "compiled_pages_after.fst");

  pmrtools::CompileOptions wide;
  wide.functions = {12, 27};
  wide.layout.code16 = true;
  wide.layout.long_direct = true;
  ok &= compile_seed(many_tags_lexicon(), wide, dir, "compiled_code16.fst");

  // Flag diacritics (one loop through a clearing flag) and a surface-only
  // symbol (b maps to nothing).
  const std::string att =
      "0\t1\t@P.NEG.ON@\t@P.NEG.ON@\n"
      "0\t1\t@0@\t@0@\n"
      "1\t2\ta\ta\n"
      "2\t3\tb\t@0@\n"
      "2\t3\t@U.NEG.ON@\t@U.NEG.ON@\n"
      "3\t3\t@C.NEG@\t@C.NEG@\n"
      "3\t4\t@0@\t[Neg]\n"
      "3\t4\tc\t[Pos]\n"
      "4\n";
  pmrtools::CompileOptions flags;
  flags.functions = {12, 23, 27, 28};
  ok &= compile_seed(att, flags, dir, "compiled_flags.fst");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = true;

  ok &= save(base_model(), dir, "seed_lexicon.fst");

  FileModel all_functions = base_model();
  all_functions.functions[1] = 0;
  all_functions.functions[23] = 0;
  all_functions.functions[28] = 0;
  ok &= save(all_functions, dir, "seed_all_functions.fst");

  FileModel near = base_model();
  use_sharing(&near, Sharing::Near);
  ok &= save(near, dir, "seed_near_ref.fst");

  FileModel far = base_model();
  use_sharing(&far, Sharing::Far);
  far.layout.table_width = 2;
  ok &= save(far, dir, "seed_far_ref_width2.fst");

  FileModel direct = base_model();
  use_sharing(&direct, Sharing::Direct);
  ok &= save(direct, dir, "seed_direct_ref.fst");

  FileModel code16 = base_model();
  code16.layout.code16 = true;
  for (uint16_t& entry : code16.code_table) {
    if (entry != 0) entry = uint16_t(((entry & 0xFC) << 8) | (entry & 3));
  }
  code16.layout.page_after = true;
  code16.language = 9;
  code16.char_encoding = 1;
  ok &= save(code16, dir, "seed_code16_page_after.fst");

  FileModel no_tagmode = base_model();
  no_tagmode.write_tagmode = false;
  no_tagmode.layout.bound_byte = false;
  no_tagmode.layout.offset_table = true;
  ok &= save(no_tagmode, dir, "seed_no_tagmode.fst");

  // Final states without an end-of-string arc, for the inverse functions.
  FileModel inverse = base_model();
  inverse.network_block = {kEpsilon, kA | kMore, kA + 4, kEpsilon, kTagSep, kEpsilon,
                           kNoun | kFinal, 0, (kA + 4) | kFinal, 0};
  inverse.functions[23] = 0;
  ok &= save(inverse, dir, "seed_inverse.fst");

  FileModel empty = base_model();
  empty.network_block = {kEpsilon | kFinal, 0};
  empty.functions.assign(13, 255);
  empty.functions[12] = 0;
  empty.copyright.clear();
  ok &= save(empty, dir, "seed_empty_word.fst");

  ok &= compiled_seeds(dir);
  return ok ? 0 : 1;
}
