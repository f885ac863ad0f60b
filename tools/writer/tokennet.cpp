// tokennet.cpp - building the token automaton of a symbol-level transducer,
// subset construction, trimming and minimisation (bottom-up hashing for
// acyclic automata, Moore refinement with signature hashing otherwise).
#include <algorithm>
#include <limits>
#include <cstddef>
#include <numeric>

#include "tokennet.h"

namespace pmrtools {
namespace {

constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
constexpr uint32_t kMaxStates = 20000000;

// Interns variable-length sequences of 32-bit words and numbers them.
class SequenceTable {
 public:
  explicit SequenceTable(size_t expected = 1024) {
    size_t size = 1024;
    while (size < expected * 2) size *= 2;
    slots_.assign(size, kNone);
  }
  // Returns the number of the sequence; *added tells whether it is new.
  uint32_t find_or_add(const uint32_t* words, size_t length, bool* added) {
    const uint64_t h = hash(words, length);
    size_t mask = slots_.size() - 1;
    size_t i = size_t(h) & mask;
    while (slots_[i] != kNone) {
      const uint32_t id = slots_[i];
      if (hashes_[id] == h && equal(id, words, length)) {
        *added = false;
        return id;
      }
      i = (i + 1) & mask;
    }
    const uint32_t id = uint32_t(begin_.size());
    begin_.push_back(pool_.size());
    pool_.insert(pool_.end(), words, words + length);
    length_.push_back(uint32_t(length));
    hashes_.push_back(h);
    slots_[i] = id;
    if (begin_.size() * 2 > slots_.size()) grow();
    *added = true;
    return id;
  }
  const uint32_t* words(uint32_t id) const { return pool_.data() + begin_[id]; }
  uint32_t length(uint32_t id) const { return length_[id]; }
  uint32_t size() const { return uint32_t(begin_.size()); }

 private:
  static uint64_t hash(const uint32_t* words, size_t length) {
    uint64_t h = 0xCBF29CE484222325ull ^ length;
    for (size_t i = 0; i < length; ++i) {
      h ^= words[i];
      h *= 0x100000001B3ull;
      h ^= h >> 29;
    }
    return h;
  }
  bool equal(uint32_t id, const uint32_t* words, size_t length) const {
    if (length_[id] != length) return false;
    return std::equal(words, words + length, pool_.begin() + std::ptrdiff_t(begin_[id]));
  }
  void grow() {
    std::vector<uint32_t> slots(slots_.size() * 2, kNone);
    const size_t mask = slots.size() - 1;
    for (uint32_t id = 0; id < begin_.size(); ++id) {
      size_t i = size_t(hashes_[id]) & mask;
      while (slots[i] != kNone) i = (i + 1) & mask;
      slots[i] = id;
    }
    slots_.swap(slots);
  }

  std::vector<uint32_t> slots_;
  std::vector<uint32_t> pool_;
  std::vector<size_t> begin_;
  std::vector<uint32_t> length_;
  std::vector<uint64_t> hashes_;
};

struct RawArc {
  uint32_t src;
  Token token;
  uint32_t dst;
};

// Sorts raw arcs into the compressed form.
void compress_arcs(uint32_t state_count, std::vector<RawArc>* arcs, TokenAutomaton* a) {
  std::sort(arcs->begin(), arcs->end(), [](const RawArc& x, const RawArc& y) {
    if (x.src != y.src) return x.src < y.src;
    if (x.token != y.token) return x.token < y.token;
    return x.dst < y.dst;
  });
  arcs->erase(std::unique(arcs->begin(), arcs->end(),
                          [](const RawArc& x, const RawArc& y) {
                            return x.src == y.src && x.token == y.token && x.dst == y.dst;
                          }),
              arcs->end());
  a->arc_begin.assign(state_count + 1, 0);
  a->arc_token.resize(arcs->size());
  a->arc_target.resize(arcs->size());
  for (const RawArc& r : *arcs) ++a->arc_begin[r.src + 1];
  for (uint32_t s = 0; s < state_count; ++s) a->arc_begin[s + 1] += a->arc_begin[s];
  for (size_t i = 0; i < arcs->size(); ++i) {
    a->arc_token[i] = (*arcs)[i].token;
    a->arc_target[i] = (*arcs)[i].dst;
  }
}

// Appends the coded bytes of one symbol on one side, framing tag runs with
// tag separators: one before the first tag of a run, one before an ordinary
// symbol that follows a run.
void side_bytes(const SymbolSet& symbols, const SymbolCoding& coding, uint32_t sym, bool* in_tag,
                std::vector<uint8_t>* bytes) {
  const SourceSymbol& s = symbols.at(sym);
  if (s.kind == SymbolKind::Char) {
    if (*in_tag) bytes->push_back(coding.tag_separator);
    *in_tag = false;
  } else if (s.kind == SymbolKind::Tag) {
    if (!*in_tag) bytes->push_back(coding.tag_separator);
    *in_tag = true;
  } else {
    return;
  }
  bytes->insert(bytes->end(), coding.bytes[sym].begin(), coding.bytes[sym].end());
}

void flag_tokens(const SymbolCoding& coding, uint32_t sym, std::vector<Token>* tokens) {
  if (coding.flag_register[sym] < 0) return;
  tokens->push_back(make_token(TokenKind::FlagMarker));
  tokens->push_back(make_token(TokenKind::Flag, uint32_t(coding.flag_register[sym]) << 2 |
                                                    coding.flag_value[sym]));
}

// Byte-level alignment of a surface and an analysis byte string: equal bytes
// are pair labels, differing ones pair + marker + analysis byte, surplus
// surface bytes pair + marker + silent, surplus analysis bytes insertions.
void pair_tokens(const std::vector<uint8_t>& surface, const std::vector<uint8_t>& analysis,
                 std::vector<Token>* tokens) {
  const size_t common = std::min(surface.size(), analysis.size());
  for (size_t i = 0; i < common; ++i) {
    tokens->push_back(make_token(TokenKind::Pair, surface[i]));
    if (surface[i] != analysis[i]) {
      tokens->push_back(make_token(TokenKind::Marker));
      tokens->push_back(make_token(TokenKind::Out, analysis[i]));
    }
  }
  for (size_t i = common; i < surface.size(); ++i) {
    tokens->push_back(make_token(TokenKind::Pair, surface[i]));
    tokens->push_back(make_token(TokenKind::Marker));
    tokens->push_back(make_token(TokenKind::Silent));
  }
  for (size_t i = common; i < analysis.size(); ++i) {
    tokens->push_back(make_token(TokenKind::Insert));
    tokens->push_back(make_token(TokenKind::Out, analysis[i]));
  }
}

}  // namespace

bool build_token_automaton(const SourceNet& net, uint32_t start_state, const SymbolSet& symbols,
                           const SymbolCoding& coding, bool surface_only,
                           TokenAutomaton* out, std::string* error) {
  const uint32_t n = net.state_count;
  // Source arcs grouped by their source state.
  std::vector<uint32_t> begin(n + 1, 0);
  for (const SourceArc& a : net.arcs) ++begin[a.src + 1];
  for (uint32_t s = 0; s < n; ++s) begin[s + 1] += begin[s];
  std::vector<uint32_t> order(net.arcs.size());
  {
    std::vector<uint32_t> fill(begin.begin(), begin.end() - 1);
    for (uint32_t i = 0; i < net.arcs.size(); ++i) order[fill[net.arcs[i].src]++] = i;
  }

  // Token states: (source state, in a surface tag run, in an analysis tag run).
  std::vector<uint32_t> ids(size_t(n) * 4, kNone);
  std::vector<uint32_t> work;
  std::vector<uint8_t> final;
  std::vector<RawArc> arcs;
  std::vector<std::pair<uint32_t, uint32_t>> eps;
  auto state_of = [&](uint32_t q, bool tag_s, bool tag_a) {
    const size_t key = size_t(q) * 4 + (tag_s ? 2 : 0) + (tag_a ? 1 : 0);
    if (ids[key] == kNone) {
      ids[key] = uint32_t(final.size());
      final.push_back(net.final[q]);
      work.push_back(uint32_t(key));
    }
    return ids[key];
  };
  auto new_state = [&]() {
    final.push_back(0);
    return uint32_t(final.size() - 1);
  };
  const uint32_t start = state_of(start_state, false, false);
  std::vector<uint8_t> sbytes;
  std::vector<uint8_t> abytes;
  std::vector<Token> tokens;
  while (!work.empty()) {
    const uint32_t key = work.back();
    work.pop_back();
    const uint32_t q = key / 4;
    const bool tag_s = (key & 2) != 0;
    const bool tag_a = (key & 1) != 0;
    const uint32_t from = ids[key];
    for (uint32_t k = begin[q]; k < begin[q + 1]; ++k) {
      const SourceArc& a = net.arcs[order[k]];
      bool next_s = tag_s;
      bool next_a = tag_a;
      sbytes.clear();
      abytes.clear();
      tokens.clear();
      flag_tokens(coding, a.in, &tokens);
      if (!surface_only && a.out != a.in) flag_tokens(coding, a.out, &tokens);
      side_bytes(symbols, coding, a.in, &next_s, &sbytes);
      if (surface_only) {
        for (uint8_t b : sbytes) tokens.push_back(make_token(TokenKind::Pair, b));
      } else {
        side_bytes(symbols, coding, a.out, &next_a, &abytes);
        pair_tokens(sbytes, abytes, &tokens);
      }
      const uint32_t to = state_of(a.dst, next_s, surface_only ? false : next_a);
      if (tokens.empty()) {
        if (from != to) eps.emplace_back(from, to);
        continue;
      }
      uint32_t cur = from;
      for (size_t t = 0; t + 1 < tokens.size(); ++t) {
        const uint32_t mid = new_state();
        arcs.push_back(RawArc{cur, tokens[t], mid});
        cur = mid;
      }
      arcs.push_back(RawArc{cur, tokens.back(), to});
    }
    if (final.size() > kMaxStates) {
      *error = "the network is too large (more than 20 million token states)";
      return false;
    }
  }
  const uint32_t count = uint32_t(final.size());
  out->start = start;
  out->final = std::move(final);
  compress_arcs(count, &arcs, out);
  out->eps_begin.clear();
  out->eps_target.clear();
  if (!eps.empty()) {
    std::sort(eps.begin(), eps.end());
    eps.erase(std::unique(eps.begin(), eps.end()), eps.end());
    out->eps_begin.assign(count + 1, 0);
    for (const auto& e : eps) ++out->eps_begin[e.first + 1];
    for (uint32_t s = 0; s < count; ++s) out->eps_begin[s + 1] += out->eps_begin[s];
    out->eps_target.resize(eps.size());
    for (size_t i = 0; i < eps.size(); ++i) out->eps_target[i] = eps[i].second;
  }
  return true;
}

TokenAutomaton join_by_branches(const std::vector<TokenAutomaton>& parts) {
  TokenAutomaton joined;
  joined.start = 0;
  joined.final = {0, 0};
  std::vector<RawArc> arcs;
  arcs.push_back(RawArc{0, make_token(TokenKind::Insert), 1});
  uint32_t offset = 2;
  for (size_t i = 0; i < parts.size(); ++i) {
    const TokenAutomaton& p = parts[i];
    arcs.push_back(RawArc{1, make_token(TokenKind::Silent, uint32_t(i)), offset + p.start});
    for (uint32_t s = 0; s < p.state_count(); ++s) {
      joined.final.push_back(p.final[s]);
      for (uint32_t k = p.arc_begin[s]; k < p.arc_begin[s + 1]; ++k) {
        arcs.push_back(RawArc{offset + s, p.arc_token[k], offset + p.arc_target[k]});
      }
    }
    offset += p.state_count();
  }
  compress_arcs(offset, &arcs, &joined);
  return joined;
}

namespace {

// Removes the states that reach no final state (keeps the start).
void trim(TokenAutomaton* a) {
  const uint32_t n = a->state_count();
  std::vector<uint32_t> rbegin(n + 1, 0);
  for (uint32_t t : a->arc_target) ++rbegin[t + 1];
  for (uint32_t s = 0; s < n; ++s) rbegin[s + 1] += rbegin[s];
  std::vector<uint32_t> rsrc(a->arc_target.size());
  {
    std::vector<uint32_t> fill(rbegin.begin(), rbegin.end() - 1);
    for (uint32_t s = 0; s < n; ++s) {
      for (uint32_t k = a->arc_begin[s]; k < a->arc_begin[s + 1]; ++k) {
        rsrc[fill[a->arc_target[k]]++] = s;
      }
    }
  }
  std::vector<uint8_t> live(n, 0);
  std::vector<uint32_t> work;
  for (uint32_t s = 0; s < n; ++s) {
    if (a->final[s]) {
      live[s] = 1;
      work.push_back(s);
    }
  }
  while (!work.empty()) {
    const uint32_t s = work.back();
    work.pop_back();
    for (uint32_t k = rbegin[s]; k < rbegin[s + 1]; ++k) {
      if (!live[rsrc[k]]) {
        live[rsrc[k]] = 1;
        work.push_back(rsrc[k]);
      }
    }
  }
  live[a->start] = 1;
  std::vector<uint32_t> renumber(n, kNone);
  uint32_t kept = 0;
  for (uint32_t s = 0; s < n; ++s) {
    if (live[s]) renumber[s] = kept++;
  }
  if (kept == n) return;
  TokenAutomaton t;
  t.start = renumber[a->start];
  t.final.resize(kept);
  t.arc_begin.assign(kept + 1, 0);
  for (uint32_t s = 0; s < n; ++s) {
    if (!live[s]) continue;
    const uint32_t ns = renumber[s];
    t.final[ns] = a->final[s];
    for (uint32_t k = a->arc_begin[s]; k < a->arc_begin[s + 1]; ++k) {
      if (!live[a->arc_target[k]]) continue;
      t.arc_token.push_back(a->arc_token[k]);
      t.arc_target.push_back(renumber[a->arc_target[k]]);
    }
    t.arc_begin[ns + 1] = uint32_t(t.arc_token.size());
  }
  *a = std::move(t);
}

}  // namespace

bool determinise(const TokenAutomaton& nfa, TokenAutomaton* dfa, std::string* error) {
  const uint32_t n = nfa.state_count();
  const bool has_eps = !nfa.eps_begin.empty();
  std::vector<uint32_t> stamp(n, 0);
  uint32_t current_stamp = 0;
  std::vector<uint32_t> stack;
  // Epsilon closure of *set, sorted and without duplicates.
  auto close = [&](std::vector<uint32_t>* set) {
    ++current_stamp;
    if (current_stamp == 0) {
      std::fill(stamp.begin(), stamp.end(), 0);
      current_stamp = 1;
    }
    size_t kept = 0;
    for (uint32_t s : *set) {
      if (stamp[s] != current_stamp) {
        stamp[s] = current_stamp;
        (*set)[kept++] = s;
      }
    }
    set->resize(kept);
    if (has_eps) {
      stack.assign(set->begin(), set->end());
      while (!stack.empty()) {
        const uint32_t s = stack.back();
        stack.pop_back();
        for (uint32_t k = nfa.eps_begin[s]; k < nfa.eps_begin[s + 1]; ++k) {
          const uint32_t t = nfa.eps_target[k];
          if (stamp[t] != current_stamp) {
            stamp[t] = current_stamp;
            set->push_back(t);
            stack.push_back(t);
          }
        }
      }
    }
    std::sort(set->begin(), set->end());
  };

  SequenceTable subsets(n / 2 + 16);
  std::vector<uint32_t> set{nfa.start};
  close(&set);
  bool added = false;
  subsets.find_or_add(set.data(), set.size(), &added);
  TokenAutomaton out;
  out.start = 0;
  out.arc_begin.push_back(0);
  std::vector<std::pair<Token, uint32_t>> moves;
  std::vector<uint32_t> members;
  for (uint32_t d = 0; d < subsets.size(); ++d) {
    members.assign(subsets.words(d), subsets.words(d) + subsets.length(d));
    moves.clear();
    uint8_t is_final = 0;
    for (uint32_t s : members) {
      is_final |= nfa.final[s];
      for (uint32_t k = nfa.arc_begin[s]; k < nfa.arc_begin[s + 1]; ++k) {
        moves.emplace_back(nfa.arc_token[k], nfa.arc_target[k]);
      }
    }
    out.final.push_back(is_final);
    std::sort(moves.begin(), moves.end());
    size_t i = 0;
    while (i < moves.size()) {
      const Token token = moves[i].first;
      set.clear();
      while (i < moves.size() && moves[i].first == token) set.push_back(moves[i++].second);
      close(&set);
      const uint32_t target = subsets.find_or_add(set.data(), set.size(), &added);
      out.arc_token.push_back(token);
      out.arc_target.push_back(target);
    }
    out.arc_begin.push_back(uint32_t(out.arc_token.size()));
    if (subsets.size() > kMaxStates) {
      *error = "determinisation gives more than 20 million states";
      return false;
    }
  }
  trim(&out);
  *dfa = std::move(out);
  return true;
}

namespace {

// Kahn's order; empty when the automaton has a cycle.
std::vector<uint32_t> topological_order(const TokenAutomaton& a) {
  const uint32_t n = a.state_count();
  std::vector<uint32_t> indegree(n, 0);
  for (uint32_t t : a.arc_target) ++indegree[t];
  std::vector<uint32_t> order;
  order.reserve(n);
  for (uint32_t s = 0; s < n; ++s) {
    if (indegree[s] == 0) order.push_back(s);
  }
  for (size_t i = 0; i < order.size(); ++i) {
    const uint32_t s = order[i];
    for (uint32_t k = a.arc_begin[s]; k < a.arc_begin[s + 1]; ++k) {
      if (--indegree[a.arc_target[k]] == 0) order.push_back(a.arc_target[k]);
    }
  }
  if (order.size() != n) order.clear();
  return order;
}

void signature(const TokenAutomaton& a, uint32_t s, const std::vector<uint32_t>& cls,
               uint32_t own, std::vector<uint32_t>* sig) {
  sig->clear();
  sig->push_back(own);
  for (uint32_t k = a.arc_begin[s]; k < a.arc_begin[s + 1]; ++k) {
    sig->push_back(a.arc_token[k]);
    sig->push_back(cls[a.arc_target[k]]);
  }
}

// Rebuilds the automaton with one state per class.
void quotient(TokenAutomaton* a, const std::vector<uint32_t>& cls, uint32_t class_count) {
  // Number the classes in breadth-first order from the start.
  std::vector<uint32_t> rep(class_count, kNone);
  for (uint32_t s = 0; s < a->state_count(); ++s) {
    if (rep[cls[s]] == kNone) rep[cls[s]] = s;
  }
  std::vector<uint32_t> number(class_count, kNone);
  std::vector<uint32_t> queue{cls[a->start]};
  number[cls[a->start]] = 0;
  for (size_t i = 0; i < queue.size(); ++i) {
    const uint32_t s = rep[queue[i]];
    for (uint32_t k = a->arc_begin[s]; k < a->arc_begin[s + 1]; ++k) {
      const uint32_t c = cls[a->arc_target[k]];
      if (number[c] == kNone) {
        number[c] = uint32_t(queue.size());
        queue.push_back(c);
      }
    }
  }
  TokenAutomaton t;
  t.start = 0;
  t.final.resize(queue.size());
  t.arc_begin.push_back(0);
  for (size_t i = 0; i < queue.size(); ++i) {
    const uint32_t s = rep[queue[i]];
    t.final[i] = a->final[s];
    for (uint32_t k = a->arc_begin[s]; k < a->arc_begin[s + 1]; ++k) {
      t.arc_token.push_back(a->arc_token[k]);
      t.arc_target.push_back(number[cls[a->arc_target[k]]]);
    }
    t.arc_begin.push_back(uint32_t(t.arc_token.size()));
  }
  *a = std::move(t);
}

}  // namespace

void minimise(TokenAutomaton* a) {
  const uint32_t n = a->state_count();
  std::vector<uint32_t> cls(n, 0);
  std::vector<uint32_t> sig;
  const std::vector<uint32_t> order = topological_order(*a);
  if (!order.empty()) {
    // Acyclic: a state's class is known once its targets' classes are.
    SequenceTable table(n / 2 + 16);
    bool added = false;
    for (size_t i = order.size(); i-- > 0;) {
      const uint32_t s = order[i];
      signature(*a, s, cls, a->final[s], &sig);
      cls[s] = table.find_or_add(sig.data(), sig.size(), &added);
    }
    quotient(a, cls, table.size());
    return;
  }
  // Moore refinement: split classes by (class, arcs with target classes)
  // until the number of classes stays the same.
  for (uint32_t s = 0; s < n; ++s) cls[s] = a->final[s];
  uint32_t classes = 0;
  while (true) {
    SequenceTable table(n / 2 + 16);
    std::vector<uint32_t> next(n);
    bool added = false;
    for (uint32_t s = 0; s < n; ++s) {
      signature(*a, s, cls, cls[s], &sig);
      next[s] = table.find_or_add(sig.data(), sig.size(), &added);
    }
    const uint32_t count = table.size();
    cls.swap(next);
    if (count == classes) break;
    classes = count;
  }
  quotient(a, cls, classes);
}

}  // namespace pmrtools
