// tokennet.h - networks over "tokens", the steps the lookup engine takes
// through a network: a pair label (a surface byte copied to the output), the
// replacement marker, an insertion label, an analysis-side byte, a silent
// label, the flag marker and flag arcs. A symbol-level transducer becomes a
// token automaton whose token strings are exactly the engine's paths; it is
// then determinised and minimised as an ordinary acceptor, which makes every
// arc list deterministic in its label codes.
#ifndef PMR_TOOLS_TOKENNET_H
#define PMR_TOOLS_TOKENNET_H

#include <cstdint>
#include <string>
#include <vector>

#include "sourcenet.h"

namespace pmrtools {

enum class TokenKind : uint8_t {
  Pair = 0,        // value: code byte matched on the surface side and copied
  Marker = 1,      // replacement marker after a pair label
  Insert = 2,      // insertion label: an analysis-side list follows
  Out = 3,         // value: code byte written on the analysis side
  Silent = 4,      // nothing on the analysis side; value: branch number of a joined part
  FlagMarker = 5,  // a flag list follows
  Flag = 6,        // value: register << 2 | flag value
};

using Token = uint32_t;
inline Token make_token(TokenKind kind, uint32_t value = 0) { return (uint32_t(kind) << 24) | value; }
inline TokenKind token_kind(Token t) { return TokenKind(t >> 24); }
inline uint32_t token_value(Token t) { return t & 0xFFFFFF; }

// An automaton over tokens in compressed arc form; arcs of a state are
// sorted by token. The epsilon lists are used only before determinisation.
struct TokenAutomaton {
  uint32_t start = 0;
  std::vector<uint32_t> arc_begin;   // state count + 1 entries
  std::vector<Token> arc_token;
  std::vector<uint32_t> arc_target;
  std::vector<uint32_t> eps_begin;   // empty when there are no epsilon arcs
  std::vector<uint32_t> eps_target;
  std::vector<uint8_t> final;

  uint32_t state_count() const { return uint32_t(final.size()); }
  uint64_t arc_count() const { return arc_token.size(); }
};

// How the source symbols become bytes and flag arcs.
struct SymbolCoding {
  std::vector<std::vector<uint8_t>> bytes;  // per symbol id: its coded bytes (chars, tags)
  std::vector<int8_t> flag_register;        // per symbol id: register of a flag, else -1
  std::vector<uint8_t> flag_value;          // per symbol id: 0 clears, 1-3 values
  uint8_t tag_separator = 0;                // code byte of the tag separator
};

// Builds the token automaton of the part of the transducer reachable from
// state `start` (surface_only: the acceptor of its surface side, for
// partial-word expansion).
bool build_token_automaton(const SourceNet& net, uint32_t start, const SymbolSet& symbols,
                           const SymbolCoding& coding, bool surface_only,
                           TokenAutomaton* out, std::string* error);

// Joins deterministic automata by union without determinising them
// together: a new start state has one insertion arc to a list of silent
// arcs (told apart by their token values), one to each part's start. The
// engine explores every branch, so the parts may overlap freely.
TokenAutomaton join_by_branches(const std::vector<TokenAutomaton>& parts);

// Subset construction with epsilon closure; the result has no epsilon arcs
// and only states that reach a final state.
bool determinise(const TokenAutomaton& nfa, TokenAutomaton* dfa, std::string* error);

// Minimises a trimmed deterministic automaton in place.
void minimise(TokenAutomaton* dfa);

}  // namespace pmrtools

#endif
