// netcompile.h - the transducer compiler: reads AT&T text (as foma, HFST and
// lt-print write it) or a plain lexicon (surface TAB analysis), and fills a
// FileModel whose network block holds the compiled, determinised and
// minimised network in the library's byte code.
#ifndef PMR_TOOLS_NETCOMPILE_H
#define PMR_TOOLS_NETCOMPILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "fstmodel.h"

namespace pmrtools {

enum class SourceFormat { Auto, Att, Lexicon };

struct CompileOptions {
  SourceFormat format = SourceFormat::Auto;
  Layout layout;                    // layout choices (0 fields: chosen by the compiler)
  bool indexed_blocks = true;       // states with many arcs become indexed arc blocks
  int block_threshold = 12;         // arcs from which a state becomes a block
  int inplace_limit = 20;           // largest subtree (bytes) written in place; 0: none
  std::vector<int> functions;       // function numbers served; empty: the defaults
  bool expansion = false;           // an acceptor for partial-word expansion (function 1)
  bool skip_unmappable = false;     // drop paths with characters outside the 8-bit set
  std::string copyright;
  std::string version = "1.0";
  uint8_t language = 0;
};

struct CompileStats {
  uint64_t states = 0;              // states of the compiled network
  uint64_t arcs = 0;
  uint64_t dropped_paths = 0;       // with skip_unmappable
  uint64_t network_bytes = 0;
};

// Reads the source files (joined by union) and fills *model. On failure
// returns false with a one-line message in *error ("FILE:LINE: ...").
bool compile_sources(const std::vector<std::string>& paths, const CompileOptions& options,
                     FileModel* model, CompileStats* stats, std::string* error);

}  // namespace pmrtools

#endif
