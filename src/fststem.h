// fststem.h - the primitives shared by every walk over a network's byte code:
// the byte-code view of one network, bounded byte reads, reference
// resolution, arc skipping, the single-arc lookup of an input symbol
// (including indexed arc blocks), the enumeration of block slots with their
// shadowing sibling, flag arcs, and the backtracking stack of 28-byte choice
// points.
//
// Networks come from files and are not trusted. Every position that the
// primitives compute is checked against the network size; a byte at or past
// the end reads as the end byte (0), a reference that leads outside the block
// or to another pointer byte also reads as the end byte, and every scan is
// bounded by the end of the block. A few bytes are read past a position that
// has been checked to lie inside the block (the trailing bytes of a reference,
// the slot offset table); the loader keeps kNetworkPadding zero bytes after
// the block so those reads stay inside the allocation and see end bytes.
//
// Everything here is inline so that the traversals (lookup.cpp, expand.cpp,
// morph.cpp) compile it into their loops.
#ifndef PMR_FSTSTEM_H
#define PMR_FSTSTEM_H

#include <cstdint>

#include "fstread.h"
#include "port.h"

// The primitives sit on the hot path of every lookup: they are forced inline
// so that each traversal keeps the network view in registers.
#if defined(__GNUC__)
#define PMR_STEM inline __attribute__((always_inline))
#else
#define PMR_STEM inline
#endif

namespace pmr {

static_assert(kNetworkPadding >= 8, "arc skipping reads up to 8 bytes past a checked position");

// ---- choice points ---------------------------------------------------------

constexpr uint32_t kChoiceSize = 28;

// Byte offsets of the fields of a choice point record (host order).
constexpr uint32_t kChoiceLabel = 0;           // u8  label byte at the resume position
constexpr uint32_t kChoiceShadowByte = 1;      // u8  label byte of the shadowing sibling, 1: none
constexpr uint32_t kChoiceFlags = 2;           // u16 flag register word
constexpr uint32_t kChoiceKind = 4;            // i32 how to resume
constexpr uint32_t kChoiceInput = 8;           // u32 input position
constexpr uint32_t kChoiceReserved = 12;       // u32 free for the traversal's own use
constexpr uint32_t kChoiceOutput = 16;         // u32 output position
constexpr uint32_t kChoicePosition = 20;       // u32 network position to resume at
constexpr uint32_t kChoiceShadowPosition = 24; // u32 network position of the shadowing sibling

// Resume kinds that every traversal shares; the others are each traversal's own.
constexpr int32_t kKindShadowSlot = 1;  // next block slot, shadowing sibling advanced
constexpr int32_t kKindSlot = 2;        // next block slot, same shadowing sibling
constexpr int32_t kKindFlag = 7;        // next flag arc

// Shadow byte that matches no label code.
constexpr uint8_t kNoShadow = 1;

// The register image of one choice point.
struct Choice {
  uint8_t label;
  uint8_t shadow_byte;
  uint16_t flags;
  int32_t kind;
  uint32_t input;
  uint32_t reserved;
  uint32_t output;
  uint32_t position;
  uint32_t shadow_position;
};

PMR_STEM void store_choice(uint8_t* entry, const Choice& c) {
  entry[kChoiceLabel] = c.label;
  entry[kChoiceShadowByte] = c.shadow_byte;
  store_u16(entry + kChoiceFlags, c.flags);
  store_u32(entry + kChoiceKind, uint32_t(c.kind));
  store_u32(entry + kChoiceInput, c.input);
  store_u32(entry + kChoiceReserved, c.reserved);
  store_u32(entry + kChoiceOutput, c.output);
  store_u32(entry + kChoicePosition, c.position);
  store_u32(entry + kChoiceShadowPosition, c.shadow_position);
}

PMR_STEM void load_choice(const uint8_t* entry, Choice* c) {
  c->label = entry[kChoiceLabel];
  c->shadow_byte = entry[kChoiceShadowByte];
  c->flags = load_u16(entry + kChoiceFlags);
  c->kind = int32_t(load_u32(entry + kChoiceKind));
  c->input = load_u32(entry + kChoiceInput);
  c->reserved = load_u32(entry + kChoiceReserved);
  c->output = load_u32(entry + kChoiceOutput);
  c->position = load_u32(entry + kChoicePosition);
  c->shadow_position = load_u32(entry + kChoiceShadowPosition);
}

// The backtracking stack: an array of `capacity` choice points that grows
// downward from its end. `top` is the index of the latest entry; `top ==
// capacity` is the empty stack. Entry 0 is never used, so a stack of N
// entries holds at most N - 1 choice points.
struct ChoiceStack {
  uint8_t* area;
  uint32_t capacity;
  uint32_t top;
};

inline ChoiceStack make_stack(uint8_t* area, uint32_t capacity) {
  return ChoiceStack{area, capacity, capacity};
}

inline bool stack_empty(const ChoiceStack& s) { return s.top >= s.capacity; }

// False when no free entry remains (the caller reports PMR_STACK_OVERFLOW).
PMR_STEM bool stack_push(ChoiceStack* s, const Choice& c) {
  if (s->top <= 1) return false;
  --s->top;
  store_choice(s->area + size_t(s->top) * kChoiceSize, c);
  return true;
}

// False when the stack is empty.
PMR_STEM bool stack_pop(ChoiceStack* s, Choice* c) {
  if (s->top >= s->capacity) return false;
  load_choice(s->area + size_t(s->top) * kChoiceSize, c);
  ++s->top;
  return true;
}

// ---- the byte code of one network ------------------------------------------

// Everything a walk needs about the network block and its layout, copied out
// of the transducer so that a traversal keeps it in registers.
struct NetCode {
  const uint8_t* bytes;        // network block (followed by kNetworkPadding zeros)
  uint32_t size;               // network block length
  const uint8_t* near_table;
  uint32_t near_count;
  const uint8_t* far_table;
  uint32_t far_count;
  uint32_t entry_width;        // 2 or 3 bytes per near/far entry
  uint8_t near_base;
  uint8_t far_base;
  uint8_t direct_base;
  uint8_t label_base;
  uint8_t block_label;         // label code
  uint8_t marker;              // replacement marker label code
  uint8_t page_byte;
  bool long_direct;
  bool bound_byte;
  bool offset_table;
  // The selected network.
  uint8_t lowest_input;
  uint8_t flag_marker;
  uint16_t initial_flags;
  uint32_t start;
};

// Fills *code for network index `index`; false when there is no such network.
inline bool load_net_code(const pmr_fsm* fsm, uint32_t index, NetCode* code) {
  const Network* net = network_at(fsm, index);
  if (net == nullptr || fsm->network_block == nullptr) return false;
  code->bytes = fsm->network_block;
  code->size = fsm->network_size;
  code->near_table = fsm->near_table;
  code->near_count = fsm->near_table != nullptr ? fsm->near_count : 0;
  code->far_table = fsm->far_table;
  code->far_count = fsm->far_table != nullptr ? fsm->far_count : 0;
  code->entry_width = fsm->table_width == 2 ? 2 : 3;
  code->near_base = fsm->near_base;
  code->far_base = fsm->far_base;
  code->direct_base = fsm->direct_base;
  code->label_base = fsm->label_base;
  code->block_label = uint8_t(fsm->block_label & 0xFC);
  code->marker = uint8_t(fsm->replacement_marker & 0xFC);
  code->page_byte = fsm->page_byte;
  code->long_direct = fsm->long_direct;
  code->bound_byte = fsm->has_bound_byte;
  code->offset_table = fsm->has_offset_table;
  code->lowest_input = net->lowest_input_label;
  code->flag_marker = uint8_t(net->flag_marker & 0xFC);
  code->initial_flags = net->initial_flags;
  code->start = net->start;
  return true;
}

// Label byte anatomy.
inline uint8_t label_code(uint8_t b) { return uint8_t(b & 0xFC); }
inline bool has_sibling(uint8_t b) { return (b & 2) != 0; }
inline bool is_final(uint8_t b) { return (b & 1) != 0; }

// The byte at `pos`; the end byte (0) at or past the end of the block.
PMR_STEM uint8_t byte_at(const NetCode& n, uint32_t pos) { return pos < n.size ? n.bytes[pos] : 0; }

inline bool is_label(const NetCode& n, uint8_t b) { return b >= n.label_base; }

// Marks a position that designates nothing (reads as the end byte).
constexpr uint32_t kNoPosition = 0xFFFFFFFFu;

PMR_STEM uint32_t table_position(const uint8_t* table, uint32_t count, uint32_t width,
                               uint32_t index) {
  if (table == nullptr || index >= count) return kNoPosition;
  const uint8_t* e = table + size_t(index) * width;
  return width == 2 ? get_be16(e) : get_be24(e);
}

// The position designated by the reference whose pointer byte `b` stands at
// `pos` (pos < size); kNoPosition when it designates nothing.
PMR_STEM uint32_t reference_target(const NetCode& n, uint32_t pos, uint8_t b) {
  const uint8_t* p = n.bytes + pos;  // p[1], p[2] lie inside the padding at worst
  if (b >= n.direct_base) return (uint32_t(b - n.direct_base) << 16) | (uint32_t(p[1]) << 8) | p[2];
  if (b >= n.far_base) {
    return table_position(n.far_table, n.far_count, n.entry_width,
                          (uint32_t(b - n.far_base) << 8) | p[1]);
  }
  if (b < n.near_base) return kNoPosition;
  return table_position(n.near_table, n.near_count, n.entry_width, uint32_t(b - n.near_base));
}

// Turns a pointer byte at *pos into the state it designates: *pos becomes the
// designated position and the byte there is returned. A label byte or the end
// byte is returned as it is. A reference that leads outside the block or to
// another pointer byte gives the end byte: references never chain.
PMR_STEM uint8_t resolve(const NetCode& n, uint32_t* pos, uint8_t b) {
  if (b == 0 || b >= n.label_base) return b;
  uint32_t target = reference_target(n, *pos, b);
  uint8_t t = byte_at(n, target);
  if (t != 0 && t < n.label_base) t = 0;
  *pos = target;
  return t;
}

// Moves to the byte after *pos and resolves a reference found there.
PMR_STEM uint8_t advance(const NetCode& n, uint32_t* pos) {
  if (*pos >= n.size) return 0;
  uint32_t p = *pos + 1;
  if (p >= n.size) {
    *pos = p;
    return 0;
  }
  *pos = p;
  return resolve(n, pos, n.bytes[p]);
}

// Bytes taken by the reference (or end byte) `b` at `pos`, as arc skipping
// counts them.
PMR_STEM uint32_t reference_length(const NetCode& n, uint32_t pos, uint8_t b) {
  if (b == 0 || b < n.far_base) return 1;
  if (b < n.direct_base) return 2;
  if (!n.long_direct) return 3;
  const uint8_t* p = n.bytes + pos;  // pos < size: p[3], p[4] inside the padding at worst
  if (p[3] != 0) return 4;
  if (p[4] != 0) return 6;
  return 8;
}

// From the label byte of an arc at `pos`, the raw position just after the
// arc's target, where its next sibling (or a reference to the rest of the
// list) stands. The scan counts the targets still to be passed; it stops at
// the end of the block.
PMR_STEM uint32_t skip_arc(const NetCode& n, uint32_t pos) {
  if (pos >= n.size) return n.size;
  uint32_t q = pos + 1;
  uint32_t pending = 1;
  const uint8_t* bytes = n.bytes;
  const uint32_t size = n.size;
  const uint8_t label_base = n.label_base;
  while (q < size) {
    uint8_t x = bytes[q];
    if (x >= label_base) {
      pending += (x >> 1) & 1;
      ++q;
    } else {
      q += reference_length(n, q, x);
      if (--pending == 0) return q;
    }
  }
  return size;
}

// The next sibling of the arc at *pos: *pos becomes its position and its
// label byte is returned (0 when there is none to be read).
PMR_STEM uint8_t next_sibling(const NetCode& n, uint32_t* pos) {
  uint32_t q = skip_arc(n, *pos);
  *pos = q;
  return resolve(n, pos, byte_at(n, q));
}

// ---- indexed arc blocks -----------------------------------------------------

// The block base reached through the block arc at `arc_pos`: *base is its
// position, the returned byte the base slot's label byte (0: no block).
PMR_STEM uint8_t block_base(const NetCode& n, uint32_t arc_pos, uint32_t* base) {
  *base = arc_pos;
  uint8_t b = advance(n, base);
  return b >= n.label_base ? b : 0;
}

// Single-slot lookup of code `c` in the block of the block arc at `arc_pos`.
// On success *pos and *b are the matching slot and its label byte.
PMR_STEM bool block_lookup(const NetCode& n, uint32_t arc_pos, uint8_t c, uint32_t* pos,
                         uint8_t* b) {
  uint32_t base;
  uint8_t first = block_base(n, arc_pos, &base);
  if (first == 0) return false;
  int d = int(c) - int(label_code(first));
  if (d < 0) return false;
  uint32_t slot = base;
  if (d > 0) {
    if (n.bound_byte && (base < 1 || uint32_t(d) > n.bytes[base - 1])) return false;
    if (n.offset_table) {
      uint32_t back = 1 + uint32_t(d) / 4;
      if (back > base) return false;
      uint8_t o = n.bytes[base - back];
      if (o == 0) return false;
      slot = base + o;
    } else {
      slot = base + uint32_t(d);
    }
  }
  uint8_t s = byte_at(n, slot);
  if (s < n.label_base || label_code(s) != c) return false;
  *pos = slot;
  *b = s;
  return true;
}

// ---- lookup lists -------------------------------------------------------------

// Looks the coded input byte `c` up in the list whose first arc (a label
// byte) is *b at *pos. On a match *pos and *b are the matching arc (an arc of
// the list or a block slot). No choice point is left. The walk over the list
// is bounded by the block size: a longer list must be a cycle.
PMR_STEM bool lookup_symbol(const NetCode& n, uint32_t* pos, uint8_t* b, uint8_t c) {
  uint32_t p = *pos;
  uint8_t x = *b;
  bool block_seen = false;
  uint32_t block_arc = 0;
  uint32_t steps = n.size;
  for (;;) {
    uint8_t code = label_code(x);
    if (code == c) {
      *pos = p;
      *b = x;
      return true;
    }
    if (code == n.block_label) {
      if (!has_sibling(x)) return block_lookup(n, p, c, pos, b);
      block_seen = true;
      block_arc = p;
    } else if (code > c) {
      // Lists are sorted by label code: no later arc carries c, and a
      // block arc of a lower code than this one would have come before.
      if (block_seen) return block_lookup(n, block_arc, c, pos, b);
      if (code > n.block_label) return false;
    }
    if (!has_sibling(x)) return block_seen ? block_lookup(n, block_arc, c, pos, b) : false;
    x = next_sibling(n, &p);
    if (x < n.label_base || steps-- == 0) {
      return block_seen ? block_lookup(n, block_arc, c, pos, b) : false;
    }
  }
}

// ---- block enumeration ----------------------------------------------------------

// Starts the enumeration of the block reached through the block arc `arc_byte`
// at `arc_pos`: *slot and *slot_byte become the first slot, *shadow_pos and
// *shadow_byte the shadowing sibling (the arc after the block arc in its own
// list; shadow byte kNoShadow when there is none). False: no block there.
PMR_STEM bool block_begin(const NetCode& n, uint32_t arc_pos, uint8_t arc_byte, uint32_t* slot,
                        uint8_t* slot_byte, uint32_t* shadow_pos, uint8_t* shadow_byte) {
  *shadow_pos = arc_pos;
  *shadow_byte = kNoShadow;
  if (has_sibling(arc_byte)) {
    uint8_t s = next_sibling(n, shadow_pos);
    *shadow_byte = s >= n.label_base ? s : kNoShadow;
  }
  *slot_byte = block_base(n, arc_pos, slot);
  return *slot_byte != 0;
}

// Moves the shadowing sibling to its own next sibling (kNoShadow when none).
PMR_STEM void shadow_next(const NetCode& n, uint32_t* shadow_pos, uint8_t* shadow_byte) {
  if (*shadow_byte == kNoShadow || !has_sibling(*shadow_byte)) {
    *shadow_byte = kNoShadow;
    return;
  }
  uint8_t s = next_sibling(n, shadow_pos);
  *shadow_byte = s >= n.label_base ? s : kNoShadow;
}

// The slot 4 bytes after `slot` (0 when it cannot be read as a label byte).
PMR_STEM uint8_t slot_next(const NetCode& n, uint32_t* slot) {
  *slot += 4;
  uint8_t s = byte_at(n, *slot);
  return s >= n.label_base ? s : 0;
}

// From the slot *slot with label byte *slot_byte (0: unreadable), passes over
// holes that have a further slot. False when the enumeration ends here: a
// hole without a further slot, or an unreadable slot (the caller backtracks).
PMR_STEM bool slot_settle(const NetCode& n, uint32_t* slot, uint8_t* slot_byte) {
  uint8_t s = *slot_byte;
  for (;;) {
    if (s < n.label_base) return false;
    if (label_code(s) != n.block_label) break;
    if (!has_sibling(s)) return false;
    s = slot_next(n, slot);
  }
  *slot_byte = s;
  return true;
}

// True when the slot with label byte `slot_byte` is taken through the
// shadowing sibling.
inline bool slot_is_shadowed(uint8_t slot_byte, uint8_t shadow_byte) {
  return shadow_byte != kNoShadow && label_code(slot_byte) == label_code(shadow_byte);
}

// ---- flag arcs -------------------------------------------------------------------

// Applies the flag arc `b` to the flag register word. True: the arc is taken
// (*flags updated); false: refused. Registers beyond the eight of the word
// read as unset and are not stored.
PMR_STEM bool apply_flag(const NetCode& n, uint8_t b, uint16_t* flags) {
  uint32_t d = uint32_t(b - n.label_base);
  uint32_t r = d >> 4;
  uint32_t v = (d >> 2) & 3;
  if (r >= 8) return true;
  uint32_t shift = 2 * r;
  uint32_t cur = (uint32_t(*flags) >> shift) & 3;
  if (v == 0) {
    *flags = uint16_t(*flags & ~(3u << shift));
    return true;
  }
  if (v == cur) return true;
  if (cur != 0) return false;
  *flags = uint16_t(*flags | (v << shift));
  return true;
}

// ---- bounded work ---------------------------------------------------------------------

// A run of moves that neither consume input nor write output (silent labels,
// flag arcs, sibling steps among such labels) that is longer than the network
// has bytes must visit some label byte twice: the network has a loop that
// would spin without end. Traversals count such moves (saving the count in the
// choice point's reserved field) and backtrack past this limit.
inline uint32_t idle_move_limit(const NetCode& n) { return n.size + 1; }

// Upper bound of the steps (labels passed, choice points resumed, results
// compared) of one traversal, so that no network, however ambiguous or
// damaged, makes a lookup run for an unbounded time. Legitimate lookups stay
// many orders of magnitude below it.
constexpr uint64_t kTraversalStepBudget = uint64_t(1) << 27;

}  // namespace pmr

#endif
