// lookup.cpp - the transduction engine and the lookup API.
//
// traverse_forward walks a network from its surface side (the input symbol
// selects the arc), traverse_inverse from its analysis side (every arc is
// tried and compared with the input); both build each path's output as a
// coded string and hand every accepted path to the delivery of the action
// code. On top of them: pmr_lookup_with_transduction with its lookup
// functions, client dictionary and growing working memory,
// pmrLookupByteString, the token breaker pmrBreakByteStringToken and
// pmrDecodeOffsets.
//
// Both traversals are written as one function each with the steps of the walk
// as labels: the registers (position, label byte, input and output positions,
// flag word, shadowing sibling) stay in locals, the byte-code primitives of
// fststem.h are inlined, and nothing is allocated.
#include "lookup.h"

#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "fststem.h"

namespace pmr {
namespace {

// Resume kinds of the two traversals besides the shared kinds 1, 2 and 7.
constexpr int32_t kKindStateSibling = 0;     // forward: next arc of a state list
                                             // inverse: next arc of an analysis-side lookup list
constexpr int32_t kKindSilentSibling = 3;    // forward: next analysis-side arc after a silent label
                                             // inverse: next arc of a state list
constexpr int32_t kKindPairSibling = 4;      // forward: next analysis-side arc after a pair label
                                             // inverse: next arc of a state list after a pair label
constexpr int32_t kKindMarker = 5;           // forward: the replacement of a marker with siblings
constexpr int32_t kKindMarkerSibling = 6;    // inverse: the siblings of a marker, input consumed
constexpr int32_t kKindSilentAfterMarker = 8;  // inverse: next silent label after a marker

// Where the accepted paths go.
struct Delivery {
  uint8_t* client;
  uint32_t size;
  uint32_t used;
  uint32_t count;
  uint32_t* offsets;
  uint32_t offsets_capacity;
  int32_t action;
  bool stop_at_eos;
  const pmr_fsm* fsm;
  uint64_t work;  // coded bytes read and strings compared (counted into the step budget)
};

int32_t room_of(uint32_t size) { return size > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(size); }

bool same_string(const uint8_t* a, const uint8_t* b) {
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// True when the NUL-terminated string at client[at] equals one of the strings
// stored before it.
bool is_duplicate(Delivery* d, uint32_t at) {
  d->work += at;  // the walk passes every byte stored before
  uint32_t k = 0;
  while (k < at) {
    if (same_string(d->client + k, d->client + at)) return true;
    while (k < at && d->client[k] != 0) ++k;
    ++k;
  }
  return false;
}

int32_t deliver_coded(Delivery* d, const uint8_t* coded) {
  const uint32_t room = d->size - d->used;
  uint8_t* to = d->client + d->used;
  uint32_t i = 0;
  while (i < room && coded[i] != 0) {
    to[i] = coded[i];
    ++i;
  }
  if (i == room) return PMR_OUTPUT_TOO_LONG;
  to[i] = 0;
  if (!is_duplicate(d, d->used)) {
    d->used += i + 1;
    ++d->count;
  }
  return 0;
}

int32_t deliver_decoded(Delivery* d, const uint8_t* coded) {
  const int32_t length = decode(coded, d->client + d->used, room_of(d->size - d->used),
                                d->stop_at_eos, d->fsm);
  if (length < 0) return length;
  if (!is_duplicate(d, d->used)) {
    d->used += uint32_t(length) + 1;
    ++d->count;
  }
  return 0;
}

int32_t deliver_shortest(Delivery* d, const uint8_t* coded) {
  uint32_t best = uint32_t(INT32_MAX);
  if (d->count != 0) best = uint32_t(strnlen(reinterpret_cast<const char*>(d->client), d->size));
  if (measure_decoded_length(coded, d->fsm) >= best) return 0;
  const int32_t length = decode(coded, d->client, room_of(d->size), false, d->fsm);
  if (length < 0) return length;
  d->count = 1;
  return 0;
}

// The length of the coded output up to just after its last token boundary
// symbol (0 when there is none).
uint32_t last_boundary_end(const uint8_t* coded, uint32_t out, const pmr_fsm* fsm) {
  const uint8_t boundary = fsm->token_boundary;
  const uint8_t page = fsm->page_byte;
  for (uint32_t k = out; k >= 1; --k) {
    if (coded[k - 1] != boundary) continue;
    if (fsm->page_after ? coded[k] != page : (k == 1 || coded[k - 2] != page)) return k;
  }
  return 0;
}

int32_t deliver_token_end(Delivery* d, const uint8_t* coded, uint32_t out, uint32_t in) {
  const uint32_t k = last_boundary_end(coded, out, d->fsm);
  // The symbols written after the boundary are given back to the input.
  const uint32_t given_back = out - k;
  const uint32_t end = given_back <= in ? in - given_back : 0;
  uint32_t length = 0;
  if (k == 0) {
    if (d->used >= d->size) return PMR_OUTPUT_TOO_LONG;
    d->client[d->used] = 0;
  } else {
    const int32_t n = decode(coded, d->client + d->used, room_of(d->size - d->used), true, d->fsm);
    if (n < 0) return n;
    length = uint32_t(n);
  }
  if (d->offsets == nullptr || d->count >= d->offsets_capacity) return PMR_OUTPUT_TOO_LONG;
  d->offsets[d->count++] = end;
  d->used += length + 1;
  return 0;
}

// Hands one accepted path (its coded output NUL-terminated at `out`) to the
// action. Returns 0 to go on, 1 to end the traversal with result 1, or a
// negative code.
int32_t deliver(Delivery* d, const uint8_t* coded, uint32_t out, uint32_t in) {
  int32_t r;
  d->work += out;  // every action reads the path's output once
  switch (d->action) {
    case kActionFirstRaw:
      return 1;
    case kActionAllCoded:
      return deliver_coded(d, coded);
    case kActionAllDecoded:
      return deliver_decoded(d, coded);
    case kActionFirst:
      r = deliver_decoded(d, coded);
      return r < 0 ? r : 1;
    case kActionShortest:
      return deliver_shortest(d, coded);
    case kActionFirstToken:
      r = deliver_token_end(d, coded, out, in);
      return r < 0 ? r : 1;
    case kActionAllTokens:
      return deliver_token_end(d, coded, out, in);
    default:
      return PMR_INVALID_FUNCTION;
  }
}

Delivery make_delivery(uint8_t* client, uint32_t client_size, uint32_t* offsets,
                       uint32_t offsets_capacity, int32_t action, bool stop_at_eos,
                       const pmr_fsm* fsm) {
  return Delivery{client, client == nullptr ? 0 : client_size, 0, 0, offsets, offsets_capacity,
                  action, stop_at_eos, fsm, 0};
}

// True when emitting surface symbol `code` of the label at `pos` in the
// inverse traversal is sure to fail: it differs from the input symbol, no
// replacement marker follows to pair it with another analysis symbol, and
// storing it would not have filled the coded output. Such an arc is passed
// over without the choice point that would only be popped again at once.
PMR_STEM bool fails_at_once(const NetCode& n, uint8_t code, uint32_t pos, uint8_t symbol,
                            uint32_t out, uint32_t coded_size) {
  if (code == symbol || out + 1 >= coded_size) return false;
  const uint8_t next = advance(n, &pos);
  return next == 0 || label_code(next) != n.marker;
}

int32_t out_of_budget(bool* out_of_steps) {
  if (out_of_steps != nullptr) *out_of_steps = true;
  return PMR_STACK_OVERFLOW;
}

}  // namespace

// Bounded work. Three limits make every traversal end, whatever the network:
// - pushes fail at the end of the caller's stack (PMR_STACK_OVERFLOW) and
//   stores fail at the end of the coded output (-26), so a path is finite
//   as long as it consumes or writes;
// - `idle` counts the consecutive moves of the current path that neither
//   consume input nor write output (silent labels, flag arcs, insertion and
//   flag marker labels of a state list); it travels in the choice point's
//   reserved field and a run longer than idle_move_limit() backtracks, which
//   cuts loops of silent arcs that would otherwise spin without pushing;
// - `steps` counts labels classified, choice points resumed, and the bytes
//   read and strings compared to deliver results, against
//   kTraversalStepBudget, so that an exponentially ambiguous (or hostile)
//   network cannot make a lookup run for ever, nor one whose long outputs
//   are final at every symbol make delivery quadratic.
int32_t traverse_forward(const uint8_t* input, uint8_t* coded, uint32_t coded_size,
                         uint32_t network, bool prefix, uint8_t* stack_area, uint32_t capacity,
                         uint8_t* client, uint32_t client_size, uint32_t* offsets,
                         uint32_t offsets_capacity, int32_t action, const pmr_fsm* fsm,
                         bool* out_of_steps) {
  NetCode n;
  if (!load_net_code(fsm, network, &n)) return PMR_INVALID_FUNCTION;
  if (coded_size == 0) return PMR_INTERNAL_BUFFER_TOO_SMALL;
  Delivery d = make_delivery(client, client_size, offsets, offsets_capacity, action, false, fsm);
  ChoiceStack stack = make_stack(stack_area, capacity);
  const uint8_t lowest = n.lowest_input;
  const uint8_t marker = n.marker;
  const uint8_t flag_marker = n.flag_marker;
  const uint8_t block_label = n.block_label;
  const uint32_t idle_limit = idle_move_limit(n);
  uint64_t steps = 0;

  uint32_t pos = n.start;
  uint8_t b = resolve(n, &pos, byte_at(n, pos));
  uint32_t in = 0;
  uint32_t out = 0;
  uint16_t flags = n.initial_flags;
  uint32_t shadow_pos = 0;
  uint8_t shadow_byte = kNoShadow;
  uint32_t idle = 0;
  uint32_t slot = 0;
  uint8_t slot_byte = 0;
  uint8_t code;
  Choice c;

  auto push = [&](int32_t kind, uint32_t at, uint8_t label, uint32_t output) {
    return stack_push(&stack, Choice{label, shadow_byte, flags, kind, in, idle, output, at,
                                     shadow_pos});
  };

  if (b == 0) return 0;

result_test:  // b: the label byte just passed
  if (is_final(b) && (prefix || input[in] == 0)) {
    coded[out] = 0;
    const int32_t r = deliver(&d, coded, out, in);
    if (r != 0) return r;
    steps += d.work;
    d.work = 0;
  }
  b = advance(n, &pos);
  if (b == 0) goto backtrack;

state_list:  // b at pos: an arc of a state list
  if (++steps > kTraversalStepBudget) return out_of_budget(out_of_steps);
  code = label_code(b);
  if (code >= lowest) {
    const uint8_t symbol = input[in];
    if (symbol == 0) {
      if (prefix) return PMR_INCOMPLETE_INPUT;
      goto backtrack;
    }
    if (!lookup_symbol(n, &pos, &b, symbol)) goto backtrack;
    coded[out] = symbol;
    if (++out >= coded_size) return PMR_INTERNAL_BUFFER_TOO_SMALL;
    ++in;
    idle = 0;
    if (is_final(b) && (prefix || input[in] == 0)) {
      coded[out] = 0;
      const int32_t r = deliver(&d, coded, out, in);
      if (r != 0) return r;
      steps += d.work;
      d.work = 0;
    }
    b = advance(n, &pos);
    if (b == 0) goto backtrack;
    if (label_code(b) != marker) goto state_list;
    // The symbol just copied stands on the surface side only.
    if (!has_sibling(b)) {
      --out;
      goto analysis_list;
    }
    if (!push(kKindMarker, pos, b, out - 1)) return PMR_STACK_OVERFLOW;
    b = next_sibling(n, &pos);
    if (b == 0) goto backtrack;
    goto state_list;
  }
  // Insertion and flag marker labels sort before the pair labels.
  if (++idle > idle_limit) goto backtrack;
  if (has_sibling(b) && !push(kKindStateSibling, pos, b, out)) return PMR_STACK_OVERFLOW;
  if (code == flag_marker) {
    b = advance(n, &pos);
    if (b == 0) goto backtrack;
    goto flag_arc;
  }

analysis_list:  // pos at an insertion label or a marker: its target list
  b = advance(n, &pos);
  if (b == 0) goto backtrack;

analysis_arc:  // b at pos: an arc of an analysis-side list
  if (++steps > kTraversalStepBudget) return out_of_budget(out_of_steps);
  code = label_code(b);
  if (code < lowest) {  // silent label
    if (++idle > idle_limit) goto backtrack;
    if (has_sibling(b) && !push(kKindSilentSibling, pos, b, out)) return PMR_STACK_OVERFLOW;
    goto result_test;
  }
  if (code != block_label) {
    if (has_sibling(b) && !push(kKindPairSibling, pos, b, out)) return PMR_STACK_OVERFLOW;
    coded[out] = code;
    if (++out >= coded_size) return PMR_INTERNAL_BUFFER_TOO_SMALL;
    idle = 0;
    goto result_test;
  }
  if (!block_begin(n, pos, b, &slot, &slot_byte, &shadow_pos, &shadow_byte)) goto backtrack;

block_slot:  // slot, slot_byte: the next slot of an enumerated block
  if (!slot_settle(n, &slot, &slot_byte)) goto backtrack;
  code = label_code(slot_byte);
  if (slot_is_shadowed(slot_byte, shadow_byte)) {
    if (has_sibling(slot_byte) && !push(kKindShadowSlot, slot, slot_byte, out))
      return PMR_STACK_OVERFLOW;
    pos = shadow_pos;
    b = shadow_byte;
  } else {
    if (has_sibling(slot_byte) && !push(kKindSlot, slot, slot_byte, out))
      return PMR_STACK_OVERFLOW;
    pos = slot;
    b = slot_byte;
  }
  coded[out] = code;
  if (++out >= coded_size) return PMR_INTERNAL_BUFFER_TOO_SMALL;
  idle = 0;
  goto result_test;

flag_arc:  // b at pos: a flag arc
  if (++steps > kTraversalStepBudget) return out_of_budget(out_of_steps);
  if (++idle > idle_limit) goto backtrack;
  {
    uint16_t taken = flags;
    if (apply_flag(n, b, &taken)) {
      if (has_sibling(b) && !push(kKindFlag, pos, b, out)) return PMR_STACK_OVERFLOW;
      flags = taken;
      goto result_test;
    }
  }
  if (!has_sibling(b)) goto backtrack;
  b = next_sibling(n, &pos);
  if (b == 0) goto backtrack;
  goto flag_arc;

backtrack:
  if (!stack_pop(&stack, &c)) return int32_t(d.count);
  if (++steps > kTraversalStepBudget) return out_of_budget(out_of_steps);
  in = c.input;
  out = c.output;
  flags = c.flags;
  pos = c.position;
  b = c.label;
  shadow_pos = c.shadow_position;
  shadow_byte = c.shadow_byte;
  idle = c.reserved;
  switch (c.kind) {
    case kKindStateSibling:
      b = next_sibling(n, &pos);
      if (b == 0) goto backtrack;
      goto state_list;
    case kKindShadowSlot:
      shadow_next(n, &shadow_pos, &shadow_byte);
      slot = pos;
      slot_byte = slot_next(n, &slot);
      goto block_slot;
    case kKindSlot:
      slot = pos;
      slot_byte = slot_next(n, &slot);
      goto block_slot;
    case kKindSilentSibling:
    case kKindPairSibling:
      b = next_sibling(n, &pos);
      if (b == 0) goto backtrack;
      goto analysis_arc;
    case kKindMarker:
      goto analysis_list;
    case kKindFlag:
      b = next_sibling(n, &pos);
      if (b == 0) goto backtrack;
      goto flag_arc;
    default:
      goto backtrack;
  }
}

int32_t traverse_inverse(const uint8_t* input, uint8_t* coded, uint32_t coded_size,
                         uint32_t network, uint8_t* stack_area, uint32_t capacity,
                         uint8_t* client, uint32_t client_size, int32_t action,
                         const pmr_fsm* fsm, bool* out_of_steps) {
  NetCode n;
  if (!load_net_code(fsm, network, &n)) return PMR_INVALID_FUNCTION;
  if (coded_size == 0) return PMR_INTERNAL_BUFFER_TOO_SMALL;
  // Only action 2 is supported; any other fails at the first result.
  Delivery d = make_delivery(client, client_size, nullptr, 0,
                             action == kActionAllDecoded ? action : -1, true, fsm);
  ChoiceStack stack = make_stack(stack_area, capacity);
  const uint8_t lowest = n.lowest_input;
  const uint8_t marker = n.marker;
  const uint8_t flag_marker = n.flag_marker;
  const uint8_t block_label = n.block_label;
  const uint32_t idle_limit = idle_move_limit(n);
  uint64_t steps = 0;

  uint32_t pos = n.start;
  uint8_t b = resolve(n, &pos, byte_at(n, pos));
  uint32_t in = 0;
  uint32_t out = 0;
  uint16_t flags = n.initial_flags;
  uint32_t shadow_pos = 0;
  uint8_t shadow_byte = kNoShadow;
  uint32_t idle = 0;
  uint32_t slot = 0;
  uint8_t slot_byte = 0;
  uint8_t code;
  uint8_t emitted;
  bool equal;
  Choice c;

  auto push = [&](int32_t kind, uint32_t at, uint8_t label) {
    return stack_push(&stack, Choice{label, shadow_byte, flags, kind, in, idle, out, at,
                                     shadow_pos});
  };

  if (b == 0) return 0;

result_test:  // b: the label byte just passed
  if (is_final(b) && input[in] == 0) {
    coded[out] = 0;
    const int32_t r = deliver(&d, coded, out, in);
    if (r != 0) return r;
    steps += d.work;
    d.work = 0;
  }
  b = advance(n, &pos);
  if (b == 0) goto backtrack;

state_list:  // b at pos: an arc of a state list, all arcs tried
  if (++steps > kTraversalStepBudget) return out_of_budget(out_of_steps);
  code = label_code(b);
  if (code < lowest) {
    if (++idle > idle_limit) goto backtrack;
    if (has_sibling(b) && !push(kKindSilentSibling, pos, b)) return PMR_STACK_OVERFLOW;
    if (code == flag_marker) {
      b = advance(n, &pos);
      if (b == 0) goto backtrack;
      goto flag_arc;
    }
    goto analysis_list;  // insertion label
  }
  if (code != block_label) {
    if (fails_at_once(n, code, pos, input[in], out, coded_size)) {
      // Straight on to the sibling, as its choice point would resume.
      if (!has_sibling(b)) goto backtrack;
      b = next_sibling(n, &pos);
      if (b == 0) goto backtrack;
      goto state_list;
    }
    if (has_sibling(b) && !push(kKindPairSibling, pos, b)) return PMR_STACK_OVERFLOW;
    emitted = code;
    goto emit;
  }
  if (!block_begin(n, pos, b, &slot, &slot_byte, &shadow_pos, &shadow_byte)) goto backtrack;

block_slot:
  if (!slot_settle(n, &slot, &slot_byte)) goto backtrack;
  emitted = label_code(slot_byte);
  if (++steps > kTraversalStepBudget) return out_of_budget(out_of_steps);
  if (fails_at_once(n, emitted, slot_is_shadowed(slot_byte, shadow_byte) ? shadow_pos : slot,
                    input[in], out, coded_size)) {
    // Straight on to the next slot, as the slot's choice point would resume.
    if (!has_sibling(slot_byte)) goto backtrack;
    if (slot_is_shadowed(slot_byte, shadow_byte)) shadow_next(n, &shadow_pos, &shadow_byte);
    slot_byte = slot_next(n, &slot);
    goto block_slot;
  }
  if (slot_is_shadowed(slot_byte, shadow_byte)) {
    if (has_sibling(slot_byte) && !push(kKindShadowSlot, slot, slot_byte))
      return PMR_STACK_OVERFLOW;
    pos = shadow_pos;
    b = shadow_byte;
  } else {
    if (has_sibling(slot_byte) && !push(kKindSlot, slot, slot_byte)) return PMR_STACK_OVERFLOW;
    pos = slot;
    b = slot_byte;
  }

emit:  // the surface symbol `emitted` of label byte b at pos
  equal = emitted == input[in];
  ++in;  // taken back below unless the symbols were equal
  coded[out] = emitted;
  if (++out >= coded_size) return PMR_INTERNAL_BUFFER_TOO_SMALL;
  idle = 0;
  if (equal && is_final(b) && input[in] == 0) {
    coded[out] = 0;
    const int32_t r = deliver(&d, coded, out, in);
    if (r != 0) return r;
    steps += d.work;
    d.work = 0;
  }
  b = advance(n, &pos);
  if (b == 0) goto backtrack;
  if (!equal) {
    // Only a replacement can pair a different analysis symbol with it.
    if (label_code(b) != marker) goto backtrack;
    --in;
    goto analysis_list;
  }
  if (label_code(b) != marker) goto state_list;
  if (has_sibling(b) && !push(kKindMarkerSibling, pos, b)) return PMR_STACK_OVERFLOW;
  // The surface symbol has no analysis counterpart: only silent labels fit.
  --in;
  b = advance(n, &pos);
  if (b == 0) goto backtrack;

silent_after_marker:
  if (++steps > kTraversalStepBudget) return out_of_budget(out_of_steps);
  if (label_code(b) >= lowest) goto backtrack;
  if (++idle > idle_limit) goto backtrack;
  if (has_sibling(b) && !push(kKindSilentAfterMarker, pos, b)) return PMR_STACK_OVERFLOW;
  goto result_test;

analysis_list:  // pos at an insertion label or a marker: its target list
  b = advance(n, &pos);
  if (b == 0) goto backtrack;

analysis_arc:  // b at pos: an analysis-side list, matched against the input
  if (++steps > kTraversalStepBudget) return out_of_budget(out_of_steps);
  code = label_code(b);
  if (code < lowest) {  // silent label
    if (++idle > idle_limit) goto backtrack;
    if (has_sibling(b) && !push(kKindStateSibling, pos, b)) return PMR_STACK_OVERFLOW;
    goto result_test;
  }
  {
    const uint8_t symbol = input[in];
    if (symbol == 0) goto backtrack;
    if (!lookup_symbol(n, &pos, &b, symbol)) goto backtrack;
  }
  ++in;
  idle = 0;
  goto result_test;

flag_arc:
  if (++steps > kTraversalStepBudget) return out_of_budget(out_of_steps);
  if (++idle > idle_limit) goto backtrack;
  {
    uint16_t taken = flags;
    if (apply_flag(n, b, &taken)) {
      if (has_sibling(b) && !push(kKindFlag, pos, b)) return PMR_STACK_OVERFLOW;
      flags = taken;
      goto result_test;
    }
  }
  if (!has_sibling(b)) goto backtrack;
  b = next_sibling(n, &pos);
  if (b == 0) goto backtrack;
  goto flag_arc;

backtrack:
  if (!stack_pop(&stack, &c)) return int32_t(d.count);
  if (++steps > kTraversalStepBudget) return out_of_budget(out_of_steps);
  in = c.input;
  out = c.output;
  flags = c.flags;
  pos = c.position;
  b = c.label;
  shadow_pos = c.shadow_position;
  shadow_byte = c.shadow_byte;
  idle = c.reserved;
  switch (c.kind) {
    case kKindStateSibling:
      b = next_sibling(n, &pos);
      if (b == 0) goto backtrack;
      goto analysis_arc;
    case kKindShadowSlot:
      shadow_next(n, &shadow_pos, &shadow_byte);
      slot = pos;
      slot_byte = slot_next(n, &slot);
      goto block_slot;
    case kKindSlot:
      slot = pos;
      slot_byte = slot_next(n, &slot);
      goto block_slot;
    case kKindSilentSibling:
    case kKindPairSibling:
    case kKindMarkerSibling:
      b = next_sibling(n, &pos);
      if (b == 0) goto backtrack;
      goto state_list;
    case kKindFlag:
      b = next_sibling(n, &pos);
      if (b == 0) goto backtrack;
      goto flag_arc;
    case kKindSilentAfterMarker:
      b = next_sibling(n, &pos);
      if (b == 0) goto backtrack;
      goto silent_after_marker;
    default:
      goto backtrack;
  }
}

uint32_t measure_decoded_length(const uint8_t* coded, const pmr_fsm* fsm) {
  const uint8_t page = fsm->page_byte;
  const uint8_t separator = fsm->tag_separator;
  uint32_t length = 0;
  bool in_tag = false;
  auto symbol_length = [&](uint8_t code_byte, uint32_t pages) -> uint32_t {
    if (!in_tag) return 1;
    const int32_t index =
        ((int32_t(code_byte) - int32_t(fsm->label_base)) >> 2) + int32_t(pages * fsm->page_size);
    return (index < 0 ? 0 : tag_name_length(fsm, uint32_t(index))) + 2;
  };
  if (fsm->page_after) {
    const uint8_t* p = coded;
    while (*p != 0) {
      const uint8_t x = *p++;
      uint32_t pages = 0;
      while (*p != 0 && *p == page) {
        ++pages;
        ++p;
      }
      if (x == separator && pages == 0) {
        in_tag = !in_tag;
      } else {
        length += symbol_length(x, pages);
      }
    }
    return length;
  }
  uint32_t pending = 0;
  for (const uint8_t* p = coded; *p != 0; ++p) {
    const uint8_t x = *p;
    if (x == separator && pending == 0) {
      in_tag = !in_tag;
    } else if (x == page) {
      ++pending;
    } else {
      length += symbol_length(x, pending);
      pending = 0;
    }
  }
  return length;
}

namespace {

// What one lookup function does.
struct LookupMode {
  int function_number;
  bool inverse;
  int32_t action;
  bool tags;
  int32_t dict_mode;  // 0: no client dictionary
};

bool lookup_mode(int32_t function, LookupMode* mode) {
  switch (function) {
    case 2: *mode = {12, false, kActionAllDecoded, true, PMR_DICT_COPY_BASE | PMR_DICT_COPY_TAGS}; return true;
    case 3: *mode = {27, false, kActionAllDecoded, false, PMR_DICT_COPY_BASE}; return true;
    case 5: *mode = {27, false, kActionFirst, false, 0}; return true;
    case 7: *mode = {27, false, kActionShortest, false, 0}; return true;
    case 8: *mode = {23, true, kActionAllDecoded, true, 0}; return true;
    case 9: *mode = {27, true, kActionAllDecoded, false, 0}; return true;
    case 11: *mode = {28, false, kActionFirst, false, 0}; return true;
    default: return false;
  }
}

int32_t ask_client_dict(const char* word, int32_t length, char* output, int32_t output_size,
                        int32_t mode, const pmr_client_dict* dict) {
  if (length == INT32_MAX) return pmr_client_dict_lookup(word, nullptr, output, output_size, mode, 0, dict);
  std::unique_ptr<char[]> copy(new (std::nothrow) char[size_t(length) + 1]);
  if (!copy) return PMR_MEMORY_ERROR;
  std::memcpy(copy.get(), word, size_t(length));
  copy[size_t(length)] = 0;
  return pmr_client_dict_lookup(copy.get(), nullptr, output, output_size, mode, 0, dict);
}

// The lookup's stack and work area: the frame memory to start with, then
// heap memory that doubles on every shortage up to the ceilings.
constexpr uint32_t kFrameStack = 100;
constexpr uint32_t kFrameWork = 256;
constexpr uint32_t kFrameWordLength = 128;

struct WorkingMemory {
  uint8_t frame_stack[kFrameStack * kChoiceSize];
  uint8_t frame_work[kFrameWork];
  std::unique_ptr<uint8_t[]> heap;
  uint8_t* stack = frame_stack;
  uint8_t* work = frame_work;
  uint32_t capacity = kFrameStack;
  uint32_t work_size = kFrameWork;

  bool allocate(uint32_t new_capacity, uint32_t new_work) {
    heap.reset();
    heap.reset(new (std::nothrow) uint8_t[size_t(new_capacity) * kChoiceSize + new_work]);
    if (!heap) return false;
    capacity = new_capacity;
    work_size = new_work;
    stack = heap.get();
    work = heap.get() + size_t(new_capacity) * kChoiceSize;
    return true;
  }
};

uint32_t at_most(uint64_t value, uint32_t ceiling) {
  return value < ceiling ? uint32_t(value) : ceiling;
}

int32_t run_lookup(const char* word, int32_t length, char* output, int32_t output_size,
                   const LookupMode& mode, const pmr_fsm* fsm) {
  WorkingMemory memory;
  if (length > int32_t(kFrameWordLength) && length < INT32_MAX) {
    // One choice point and three work bytes per input byte.
    if (!memory.allocate(at_most(uint64_t(length), PMR_LOOKUP_STACK_CEILING),
                         at_most(3 * uint64_t(length), PMR_LOOKUP_WORK_CEILING)))
      return PMR_MEMORY_ERROR;
  }
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(word);
  uint8_t* client = reinterpret_cast<uint8_t*>(output);
  for (;;) {
    int32_t result;
    const int32_t n = encode_byte_string(bytes, length, memory.work, int32_t(memory.work_size),
                                         mode.tags, !mode.inverse, false, fsm);
    if (n == PMR_CHAR_NOT_IN_ALPHABET) return mode.function_number == 28 ? n : 0;
    if (n == PMR_OUTPUT_TOO_LONG) {
      result = PMR_INTERNAL_BUFFER_TOO_SMALL;  // the work area cannot hold the coded word
    } else if (n < 0) {
      return n;
    } else {
      uint8_t network = network_for_function(fsm, mode.function_number);
      if (network == kNoNetwork && mode.function_number == 23) network = network_for_function(fsm, 12);
      if (network == kNoNetwork) return PMR_INVALID_FUNCTION;
      uint8_t* coded = memory.work + n + 1;
      const uint32_t coded_size = memory.work_size > uint32_t(n) + 1 ? memory.work_size - uint32_t(n) - 1 : 0;
      bool out_of_steps = false;
      if (mode.inverse) {
        result = traverse_inverse(memory.work, coded, coded_size, network, memory.stack,
                                  memory.capacity, client, uint32_t(output_size), mode.action, fsm,
                                  &out_of_steps);
      } else {
        result = traverse_forward(memory.work, coded, coded_size, network, false, memory.stack,
                                  memory.capacity, client, uint32_t(output_size), nullptr, 0,
                                  mode.action, fsm, &out_of_steps);
      }
      if (result != PMR_STACK_OVERFLOW && result != PMR_INTERNAL_BUFFER_TOO_SMALL) return result;
      if (out_of_steps) return result;
    }
    // Grow both areas, but never past the ceilings: a lookup that needs more
    // returns the shortage it met.
    if (result == PMR_STACK_OVERFLOW && memory.capacity >= PMR_LOOKUP_STACK_CEILING) return result;
    if (result == PMR_INTERNAL_BUFFER_TOO_SMALL && memory.work_size >= PMR_LOOKUP_WORK_CEILING)
      return result;
    if (!memory.allocate(at_most(2 * uint64_t(memory.capacity), PMR_LOOKUP_STACK_CEILING),
                         at_most(2 * uint64_t(memory.work_size), PMR_LOOKUP_WORK_CEILING)))
      return PMR_MEMORY_ERROR;
  }
}

}  // namespace
}  // namespace pmr

using namespace pmr;

extern "C" {

int32_t pmr_lookup_with_transduction(const char* word, int32_t length, char* output,
                                     int32_t output_size, int32_t function,
                                     const pmr_fsm* transducer,
                                     const pmr_client_dict* client_dictionary,
                                     int32_t /*reserved*/) {
  if (word == nullptr || output == nullptr || transducer == nullptr) return PMR_NULL_POINTER;
  if (length < 0 || output_size < 0) return PMR_INVALID_NUMBER;
  const int32_t object_code = pmr_object_error_code(transducer);
  if (object_code != 0) return object_code;
  LookupMode mode;
  const bool valid = lookup_mode(function, &mode);
  if (valid && mode.dict_mode != 0 && client_dictionary != nullptr) {
    const int32_t found =
        ask_client_dict(word, length, output, output_size, mode.dict_mode, client_dictionary);
    if (found != 0) return found;
  }
  if (!valid) return PMR_INVALID_FUNCTION;
  try {
    return run_lookup(word, length, output, output_size, mode, transducer);
  } catch (const std::bad_alloc&) {
    return PMR_MEMORY_ERROR;
  }
}

int32_t pmrLookupByteString(const char* word, char* output, int32_t output_size, int32_t function,
                            const pmr_fsm* transducer) {
  return pmr_lookup_with_transduction(word, INT32_MAX, output, output_size, function, transducer,
                                      nullptr, 0);
}

int32_t pmrBreakByteStringToken(const char* coded_input, char* buffer, uint32_t buffer_size,
                                uint32_t* offsets, uint32_t offsets_capacity, int32_t all,
                                const pmr_fsm* transducer) {
  if (coded_input == nullptr || buffer == nullptr || transducer == nullptr) return PMR_NULL_POINTER;
  const int32_t object_code = pmr_object_error_code(transducer);
  if (object_code != 0) return object_code;
  const uint8_t network = network_for_function(transducer, 28);
  if (network == kNoNetwork) return PMR_INVALID_FUNCTION;
  if (all != 0 && all != 1) return PMR_INVALID_FUNCTION;
  if (offsets == nullptr) offsets_capacity = 0;
  // The coded output takes the buffer's second half, the token texts its first.
  const uint32_t coded_size = buffer_size / 2;
  const uint32_t text_size = buffer_size - coded_size;
  uint8_t* text = reinterpret_cast<uint8_t*>(buffer);
  uint8_t stack[kFrameStack * kChoiceSize];
  const int32_t result = traverse_forward(
      reinterpret_cast<const uint8_t*>(coded_input), text + text_size, coded_size, network, true,
      stack, kFrameStack, text, text_size, offsets, offsets_capacity,
      all == 1 ? kActionAllTokens : kActionFirstToken, transducer);
  if (result < 0) return result;
  if (result == 0) return PMR_UNRECOGNIZED_TOKEN;
  if (result == 1) return text[0] == 0 ? 0 : 1;
  return result;
}

void pmrDecodeOffsets(const uint32_t* coded_offsets, uint32_t count, uint32_t* symbol_offsets,
                      const char* coded_string, const pmr_fsm* transducer) {
  if (coded_offsets == nullptr || symbol_offsets == nullptr || coded_string == nullptr ||
      transducer == nullptr || pmr_object_error_code(transducer) != 0)
    return;
  const uint8_t page = transducer->page_byte;
  const uint8_t* coded = reinterpret_cast<const uint8_t*>(coded_string);
  uint32_t p = 0;
  uint32_t symbols = 0;
  for (uint32_t i = 0; i < count; ++i) {
    // The walk never passes the string's NUL.
    while (p < coded_offsets[i] && coded[p] != 0) {
      if (coded[p] != page) ++symbols;
      ++p;
    }
    symbol_offsets[i] = symbols;
  }
}

}  // extern "C"
