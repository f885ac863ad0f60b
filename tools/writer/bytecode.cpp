// bytecode.cpp - the byte-code layout of token automata. Every state with
// arcs is either written in place, right after the label byte of its only
// incoming arc (when its subtree is small, so that skipping it stays cheap),
// or once on its own and reached through references. References to the
// most referenced states go through the near table (1 byte), the next
// through the far table (2 bytes), the rest are direct (3 bytes, or 4 with
// long direct pointers). States with many pair or analysis-side arcs keep
// those arcs in an indexed arc block of 4-byte slots.
#include <algorithm>
#include <limits>
#include <numeric>

#include "bytecode.h"

namespace pmrtools {
namespace {

constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

enum RefClass : uint8_t { kInPlace = 0, kNear = 1, kFar = 2, kDirect = 3 };

// All networks as one graph; arcs of a node sorted by label code.
struct Graph {
  std::vector<uint32_t> begin;
  std::vector<uint8_t> code;
  std::vector<uint32_t> target;
  std::vector<uint8_t> final;
  std::vector<uint8_t> flag_list;   // arcs are flag arcs
  std::vector<uint32_t> block_from; // first arc kept in the block, or kNone
  std::vector<uint32_t> starts;
  uint32_t nodes() const { return uint32_t(final.size()); }
  uint32_t arcs_end(uint32_t s) const { return block_from[s] != kNone ? block_from[s] : begin[s + 1]; }
  bool has_arcs(uint32_t s) const { return begin[s] != begin[s + 1]; }
};

uint8_t token_code(Token t, const ByteCodeParams& p) {
  switch (token_kind(t)) {
    case TokenKind::Pair:
    case TokenKind::Out:
      return uint8_t(token_value(t));
    case TokenKind::Marker:
      return p.replacement_marker;
    case TokenKind::Insert:
    case TokenKind::Silent:
      return p.insertion_label;
    case TokenKind::FlagMarker:
      return p.flag_marker;
    case TokenKind::Flag:
      return uint8_t(p.label_base + (token_value(t) << 2));
  }
  return 0;
}

bool build_graph(const std::vector<const TokenAutomaton*>& networks, const ByteCodeParams& p,
                 Graph* g, std::string* error) {
  g->begin.push_back(0);
  std::vector<std::pair<uint8_t, uint32_t>> arcs;
  uint32_t offset = 0;
  for (const TokenAutomaton* a : networks) {
    g->starts.push_back(offset + a->start);
    for (uint32_t s = 0; s < a->state_count(); ++s) {
      arcs.clear();
      bool flags = false;
      for (uint32_t k = a->arc_begin[s]; k < a->arc_begin[s + 1]; ++k) {
        arcs.emplace_back(token_code(a->arc_token[k], p), offset + a->arc_target[k]);
        flags = flags || token_kind(a->arc_token[k]) == TokenKind::Flag;
      }
      std::sort(arcs.begin(), arcs.end());
      for (size_t i = 1; i < arcs.size(); ++i) {
        // Insertion and silent labels are enumerated, so they may repeat.
        if (arcs[i].first == arcs[i - 1].first && arcs[i].first != p.insertion_label) {
          *error = "internal error: two arcs of a state share a label code";
          return false;
        }
      }
      uint32_t pairs = 0;
      for (const auto& arc : arcs) {
        g->code.push_back(arc.first);
        g->target.push_back(arc.second);
        if (arc.first >= p.lowest_input_label) ++pairs;
      }
      g->begin.push_back(uint32_t(g->code.size()));
      g->final.push_back(a->final[s]);
      g->flag_list.push_back(flags);
      const bool block = p.indexed_blocks && !flags && p.block_threshold > 0 &&
                         pairs >= uint32_t(p.block_threshold);
      g->block_from.push_back(block ? uint32_t(g->code.size() - pairs) : kNone);
    }
    offset += a->state_count();
  }
  return true;
}

class Layouter {
 public:
  Layouter(const Graph& g, const ByteCodeParams& p) : g_(g), p_(p) {}

  // Decides which states are written in place and which are references.
  void plan() {
    const uint32_t n = g_.nodes();
    std::vector<uint32_t> indegree(n, 0);
    std::vector<uint8_t> slot_target(n, 0);
    for (uint32_t s = 0; s < n; ++s) {
      for (uint32_t k = g_.begin[s]; k < g_.begin[s + 1]; ++k) {
        ++indegree[g_.target[k]];
        if (k >= g_.arcs_end(s)) slot_target[g_.target[k]] = 1;
      }
    }
    std::vector<uint8_t> is_start(n, 0);
    for (uint32_t s : g_.starts) is_start[s] = 1;
    cls_.assign(size_t(n) * 2, kDirect);
    size_.assign(n, 0);
    // Iterative depth-first search: post-order gives targets before sources
    // along the in-place forest.
    std::vector<uint8_t> seen(n, 0);
    std::vector<std::pair<uint32_t, uint32_t>> stack;
    for (uint32_t root : g_.starts) {
      if (seen[root]) continue;
      seen[root] = 1;
      preorder_.push_back(root);
      stack.emplace_back(root, g_.begin[root]);
      while (!stack.empty()) {
        auto& [s, k] = stack.back();
        if (k < g_.begin[s + 1]) {
          const uint32_t t = g_.target[k++];
          if (!seen[t]) {
            seen[t] = 1;
            preorder_.push_back(t);
            stack.emplace_back(t, g_.begin[t]);
          }
          continue;
        }
        const uint32_t done = s;
        stack.pop_back();
        postorder_.push_back(done);
        size_[done] = list_size(done, 3);
        const bool candidate = g_.has_arcs(done) && !is_start[done] && indegree[done] == 1 &&
                               !slot_target[done];
        if (candidate && size_[done] <= uint32_t(p_.inplace_limit)) cls_[done] = kInPlace;
      }
    }
    // Reference counts of everything that is written on its own.
    refs_.assign(size_t(n) * 2, 0);
    for (uint32_t s = 0; s < n; ++s) {
      for (uint32_t k = g_.begin[s]; k < g_.begin[s + 1]; ++k) {
        const uint32_t t = g_.target[k];
        if (g_.has_arcs(t) && cls_[t] != kInPlace) ++refs_[t];
      }
      if (g_.block_from[s] != kNone) refs_[n + s] = 1;
    }
    for (uint32_t s : preorder_) {
      if (!g_.has_arcs(s) && !is_start_node(s)) continue;
      if (cls_[s] != kInPlace) items_.push_back(s);
      if (g_.block_from[s] != kNone) items_.push_back(n + s);
    }
  }

  // Assigns near and far table entries for the given bases and computes
  // positions; false when the network does not fit them.
  bool place(uint8_t near_base, uint8_t far_base, uint8_t direct_base) {
    near_base_ = near_base;
    far_base_ = far_base;
    direct_base_ = direct_base;
    const size_t near_cap = size_t(far_base - near_base);
    const size_t far_cap = size_t(direct_base - far_base) * 256;
    std::vector<uint32_t> ranked;
    for (uint32_t item : items_) {
      if (refs_[item] > 0) ranked.push_back(item);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [&](uint32_t a, uint32_t b) { return refs_[a] > refs_[b]; });
    for (uint32_t item : items_) cls_[item] = kDirect;
    for (size_t i = 0; i < ranked.size() && i < near_cap + far_cap; ++i) {
      cls_[ranked[i]] = i < near_cap ? kNear : kFar;
    }
    // Items in tables first, so that 2-byte table entries reach them.
    order_.clear();
    for (uint32_t item : items_) {
      if (is_start_node(item)) order_.push_back(item);
    }
    for (int pass = kNear; pass <= kDirect; ++pass) {
      for (uint32_t item : items_) {
        if (!is_start_node(item) && cls_[item] == pass) order_.push_back(item);
      }
    }
    const uint32_t table_limit = p_.table_width == 2 ? 0xFFFFu : 0xFFFFFFu;
    for (int round = 0; round < 64; ++round) {
      compute_positions();
      bool demoted = false;
      for (uint32_t item : order_) {
        if ((cls_[item] == kNear || cls_[item] == kFar) && ref_position(item) > table_limit) {
          cls_[item] = kDirect;
          demoted = true;
        }
      }
      if (!demoted) break;
    }
    const uint64_t direct_limit = uint64_t(p_.label_base - direct_base) << 16;
    for (uint32_t item : order_) {
      if (ref_position(item) > table_limit && cls_[item] != kDirect) return false;
      if (cls_[item] == kDirect && refs_[item] > 0 && ref_position(item) >= direct_limit) return false;
    }
    return total_ <= 0xFFFFFFFFull;
  }

  uint64_t total_size() const { return total_; }

  void write(ByteCodeResult* r) {
    out_.assign(size_t(total_), 0);
    // Table entries in rank order of the items.
    r->near_table.clear();
    r->far_table.clear();
    table_index_.assign(cls_.size(), 0);
    for (uint32_t item : order_) {
      if (cls_[item] == kNear) {
        table_index_[item] = uint32_t(r->near_table.size());
        r->near_table.push_back(ref_position(item));
      } else if (cls_[item] == kFar) {
        table_index_[item] = uint32_t(r->far_table.size());
        r->far_table.push_back(ref_position(item));
      }
    }
    const uint32_t n = g_.nodes();
    for (uint32_t item : order_) {
      uint32_t at = position_[item];
      if (item >= n) {
        write_block(item - n, at);
      } else {
        if (is_start_node(item)) out_[at++] = uint8_t(p_.lowest_input_label | (g_.final[item] ? 1 : 0));
        if (g_.has_arcs(item)) {
          write_list(item, &at);
        } else {
          out_[at++] = 0;
        }
      }
    }
    r->block = std::move(out_);
    r->starts.clear();
    for (uint32_t s : g_.starts) r->starts.push_back(position_[s]);
    r->near_base = near_base_;
    r->far_base = far_base_;
    r->direct_base = direct_base_;
  }

 private:
  bool is_start_node(uint32_t item) const {
    return item < g_.nodes() && std::find(g_.starts.begin(), g_.starts.end(), item) != g_.starts.end();
  }

  uint32_t ref_size(uint32_t item) const {
    switch (cls_[item]) {
      case kNear: return 1;
      case kFar: return 2;
      default: return p_.long_direct ? 4 : 3;
    }
  }
  uint32_t target_size(uint32_t t) const {
    if (!g_.has_arcs(t)) return 1;
    if (cls_[t] == kInPlace) return size_[t];
    return ref_size(t);
  }
  uint32_t list_size(uint32_t s, uint32_t block_ref) const {
    uint32_t size = 0;
    for (uint32_t k = g_.begin[s]; k < g_.arcs_end(s); ++k) size += 1 + target_size(g_.target[k]);
    if (g_.block_from[s] != kNone) size += 1 + block_ref;
    return size;
  }
  // Slot count of a block. Without a bound byte a lookup cannot tell where
  // the block ends, so the block (or its offset table) then covers every
  // code up to the highest one, and a lookup never reads past it.
  uint32_t block_span(uint32_t s) const {
    const uint32_t first = g_.code[g_.block_from[s]];
    const uint32_t last = p_.bound_byte ? g_.code[g_.begin[s + 1] - 1] : 0xFC;
    return (last - first) / 4 + 1;
  }
  uint32_t block_prefix(uint32_t s) const {
    if (p_.offset_table) return block_span(s);  // k = 1..span-1 plus the byte at base - 1
    return p_.bound_byte ? 1 : 0;
  }
  uint32_t block_size(uint32_t s) const {
    const uint32_t stored = p_.offset_table ? g_.begin[s + 1] - g_.block_from[s] : block_span(s);
    return block_prefix(s) + 4 * stored;
  }
  uint32_t ref_position(uint32_t item) const {
    const uint32_t n = g_.nodes();
    if (item >= n) return position_[item] + block_prefix(item - n);
    return position_[item] + (is_start_node(item) ? 1 : 0);
  }

  void compute_positions() {
    const uint32_t n = g_.nodes();
    // In-place sizes with the final reference sizes, targets first.
    for (uint32_t s : postorder_) {
      if (g_.block_from[s] != kNone) {
        size_[s] = list_size(s, ref_size(n + s));
      } else {
        size_[s] = list_size(s, 0);
      }
    }
    position_.assign(size_t(n) * 2, 0);
    uint64_t at = 0;
    for (uint32_t item : order_) {
      position_[item] = uint32_t(std::min<uint64_t>(at, 0xFFFFFFFFu));
      if (item >= n) {
        at += block_size(item - n);
      } else if (g_.has_arcs(item)) {
        at += size_[item] + (is_start_node(item) ? 1 : 0);
      } else {
        at += 2;  // a start without arcs: entry label byte and end byte
      }
    }
    total_ = at;
  }

  void write_ref(uint32_t item, uint32_t* at) {
    const uint32_t pos = ref_position(item);
    switch (cls_[item]) {
      case kNear:
        out_[(*at)++] = uint8_t(near_base_ + table_index_[item]);
        return;
      case kFar:
        out_[(*at)++] = uint8_t(far_base_ + (table_index_[item] >> 8));
        out_[(*at)++] = uint8_t(table_index_[item]);
        return;
      default:
        out_[(*at)++] = uint8_t(direct_base_ + (pos >> 16));
        out_[(*at)++] = uint8_t(pos >> 8);
        out_[(*at)++] = uint8_t(pos);
        if (p_.long_direct) out_[(*at)++] = 1;  // a non-zero fourth byte: 4-byte form
        return;
    }
  }

  void write_target(uint32_t t, uint32_t* at) {
    if (!g_.has_arcs(t)) {
      out_[(*at)++] = 0;
    } else if (cls_[t] == kInPlace) {
      write_list(t, at);
    } else {
      write_ref(t, at);
    }
  }

  void write_list(uint32_t s, uint32_t* at) {
    const uint32_t end = g_.arcs_end(s);
    const bool block = g_.block_from[s] != kNone;
    for (uint32_t k = g_.begin[s]; k < end; ++k) {
      const bool more = k + 1 < end || block;
      const uint32_t t = g_.target[k];
      out_[(*at)++] = uint8_t(g_.code[k] | (more ? 2 : 0) | (g_.final[t] ? 1 : 0));
      write_target(t, at);
    }
    if (block) {
      out_[(*at)++] = p_.block_label;
      write_ref(g_.nodes() + s, at);
    }
  }

  void write_slot_target(uint32_t t, uint32_t at) {
    // Slot targets are always references (or the end byte); the rest of the
    // 4-byte slot stays zero.
    if (!g_.has_arcs(t)) return;
    const uint32_t pos = ref_position(t);
    switch (cls_[t]) {
      case kNear:
        out_[at] = uint8_t(near_base_ + table_index_[t]);
        return;
      case kFar:
        out_[at] = uint8_t(far_base_ + (table_index_[t] >> 8));
        out_[at + 1] = uint8_t(table_index_[t]);
        return;
      default:
        out_[at] = uint8_t(direct_base_ + (pos >> 16));
        out_[at + 1] = uint8_t(pos >> 8);
        out_[at + 2] = uint8_t(pos);
        return;
    }
  }

  void write_block(uint32_t s, uint32_t at) {
    const uint32_t first = g_.block_from[s];
    const uint32_t last = g_.begin[s + 1];
    const uint8_t base_code = g_.code[first];
    const uint32_t span = block_span(s);
    const uint32_t base = at + block_prefix(s);
    if (p_.bound_byte) out_[base - 1] = uint8_t(g_.code[last - 1] - base_code);
    if (p_.offset_table) {
      uint32_t stored = 0;
      for (uint32_t k = first; k < last; ++k, ++stored) {
        const uint32_t slot = uint32_t(g_.code[k] - base_code) / 4;
        if (slot > 0) out_[base - 1 - slot] = uint8_t(4 * stored);
        const uint32_t t = g_.target[k];
        const uint32_t pos = base + 4 * stored;
        out_[pos] = uint8_t(g_.code[k] | (k + 1 < last ? 2 : 0) | (g_.final[t] ? 1 : 0));
        write_slot_target(t, pos + 1);
      }
      return;
    }
    uint32_t k = first;
    for (uint32_t slot = 0; slot < span; ++slot) {
      const uint32_t pos = base + 4 * slot;
      const uint8_t code = uint8_t(base_code + 4 * slot);
      const bool more = slot + 1 < span;
      if (k < last && g_.code[k] == code) {
        const uint32_t t = g_.target[k];
        out_[pos] = uint8_t(code | (more ? 2 : 0) | (g_.final[t] ? 1 : 0));
        write_slot_target(t, pos + 1);
        ++k;
      } else {
        out_[pos] = uint8_t(p_.block_label | (more ? 2 : 0));
      }
    }
  }

  const Graph& g_;
  const ByteCodeParams& p_;
  std::vector<uint8_t> cls_;       // per item (node, or node count + node for its block)
  std::vector<uint32_t> refs_;
  std::vector<uint32_t> size_;     // per node: size of its arc list written in place
  std::vector<uint32_t> preorder_;
  std::vector<uint32_t> postorder_;
  std::vector<uint32_t> items_;    // written on their own, in discovery order
  std::vector<uint32_t> order_;    // the order in the network block
  std::vector<uint32_t> position_;
  std::vector<uint32_t> table_index_;
  std::vector<uint8_t> out_;
  uint64_t total_ = 0;
  uint8_t near_base_ = 1;
  uint8_t far_base_ = 1;
  uint8_t direct_base_ = 1;
};

bool valid_bases(const ByteCodeParams& p) {
  return p.near_base >= 1 && p.near_base <= p.far_base && p.far_base <= p.direct_base &&
         p.direct_base < p.label_base;
}

}  // namespace

bool lay_out_networks(const std::vector<const TokenAutomaton*>& networks,
                      const ByteCodeParams& params, ByteCodeResult* result, std::string* error) {
  if (params.label_base < 8 || params.label_base % 4 != 0) {
    *error = "the label base must be a multiple of 4 from 8 up";
    return false;
  }
  Graph g;
  if (!build_graph(networks, params, &g, error)) return false;
  Layouter layouter(g, params);
  layouter.plan();
  bool placed = false;
  if (params.far_base != 0 && params.direct_base != 0 && valid_bases(params)) {
    placed = layouter.place(params.near_base, params.far_base, params.direct_base);
  }
  // Chosen bases: the direct range grows with the network; the pointer
  // bytes below it are shared between near and far references.
  const uint8_t near_base = params.near_base >= 1 ? params.near_base : 1;
  for (uint32_t units = 1; !placed; ++units) {
    if (near_base + 2 + units > params.label_base) {
      *error = "the network (" + std::to_string(layouter.total_size()) +
               " bytes) does not fit the direct references of label base " +
               std::to_string(params.label_base) + " (a higher label base reaches further)";
      return false;
    }
    const uint8_t direct_base = uint8_t(params.label_base - units);
    const uint32_t room = uint32_t(direct_base - near_base);
    const uint8_t far_base = uint8_t(near_base + room / 2);
    placed = layouter.place(near_base, far_base, direct_base);
    if (!placed && layouter.total_size() > (uint64_t(units) << 16)) {
      units = uint32_t(std::max<uint64_t>(units, layouter.total_size() >> 16));
    }
  }
  layouter.write(result);
  result->states = g.nodes();
  result->arcs = g.code.size();
  result->blocks = 0;
  for (uint32_t s = 0; s < g.nodes(); ++s) result->blocks += g.block_from[s] != kNone;
  return true;
}

}  // namespace pmrtools
