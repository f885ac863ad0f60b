// sourcenet.h - the compiler's view of its input: the symbols of the source
// texts (8-bit characters, tags, flag diacritics) and a symbol-level
// transducer (states, arcs labelled surface:analysis, final states) read from
// AT&T text or from a lexicon of "surface TAB analysis" lines. Text is UTF-8
// and is converted to Windows-1252 on reading.
#ifndef PMR_TOOLS_SOURCENET_H
#define PMR_TOOLS_SOURCENET_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace pmrtools {

enum class SymbolKind : uint8_t { Epsilon, Char, Tag, Flag };

struct SourceSymbol {
  SymbolKind kind = SymbolKind::Epsilon;
  uint8_t ch = 0;          // Char: the Windows-1252 byte
  std::string name;        // Tag: name without brackets; Flag: the whole "@U.X.Y@"
  char flag_op = 0;        // Flag: 'U', 'P', 'C', ...
  std::string feature;     // Flag: X
  std::string value;       // Flag: Y (may be empty)
};

// Interned symbols; id 0 is epsilon.
class SymbolSet {
 public:
  SymbolSet();
  uint32_t epsilon() const { return 0; }
  uint32_t char_symbol(uint8_t ch);
  uint32_t tag_symbol(const std::string& name);
  uint32_t flag_symbol(const std::string& text, char op, const std::string& feature,
                       const std::string& value);
  const SourceSymbol& at(uint32_t id) const { return symbols_[id]; }
  uint32_t size() const { return uint32_t(symbols_.size()); }

 private:
  uint32_t intern(const std::string& key, SourceSymbol symbol);
  std::vector<SourceSymbol> symbols_;
  std::unordered_map<std::string, uint32_t> ids_;
};

struct SourceArc {
  uint32_t src = 0;
  uint32_t dst = 0;
  uint32_t in = 0;   // surface symbol id
  uint32_t out = 0;  // analysis symbol id
};

// A symbol-level transducer. Several sources are joined by union through
// epsilon arcs from the start state.
struct SourceNet {
  uint32_t start = 0;
  uint32_t state_count = 0;
  std::vector<SourceArc> arcs;
  std::vector<uint8_t> final;  // per state

  uint32_t add_state() {
    final.push_back(0);
    return state_count++;
  }
};

struct ReadOptions {
  int format = 0;               // 0: recognise, 1: AT&T, 2: lexicon
  bool skip_unmappable = false;
};

struct ReadStats {
  uint64_t dropped = 0;         // arcs (AT&T) or lines (lexicon) dropped as unmappable
};

// Reads one source file into *net (joined by union with what is already
// there) and interns its symbols in *symbols. On failure returns false with
// "FILE:LINE: message" in *error.
bool read_source_file(const std::string& path, const ReadOptions& options, SymbolSet* symbols,
                      SourceNet* net, ReadStats* stats, std::string* error);

// The same for text held in memory; `name` is used in messages.
bool read_source_text(const std::string& name, const std::string& text,
                      const ReadOptions& options, SymbolSet* symbols, SourceNet* net,
                      ReadStats* stats, std::string* error);

// Converts UTF-8 to Windows-1252. Returns false and sets *bad to the first
// code point that has no Windows-1252 byte (or 0xFFFD for malformed UTF-8).
bool utf8_to_cp1252(const std::string& text, std::string* out, uint32_t* bad);

}  // namespace pmrtools

#endif
