// expand.cpp - lookup buffers and partial-word expansion.
//
// A lookup buffer is one heap block: the header below, then the coded input
// area, the coded output area and the backtracking stack, each 8-byte aligned
// from the block's start. pmrExpandByteStringPartialWord lists the words of
// the transducer's expansion network (function 1) that begin with a number of
// free symbols, go on with a given piece and end with anything the network
// allows, within length bounds. traverse_expand walks the network with the
// engine's primitives (fststem.h); it keeps its whole state in the lookup
// buffer so that, when the caller's output buffer is full, a later call can
// go on from the word that did not fit.
#include <cstddef>
#include <cstdint>
#include <new>

#include "fstread.h"
#include "fststem.h"

// The header of a lookup buffer; the three areas follow it in the same block.
struct pmr_lookup_buffer {
  uint8_t saved_state[pmr::kChoiceSize];  // choice point record of the stopped traversal
  uint8_t* stack_area;
  uint32_t stack_capacity;      // choice points
  uint32_t stack_top;           // index of the top entry when the traversal stopped
  uint32_t result_count;
  uint32_t cursor;              // bytes of the caller's output buffer used
  uint8_t* coded_input;
  uint32_t coded_input_size;
  uint8_t* coded_output;
  uint32_t coded_output_size;
  uint32_t client_word;         // kept for the caller, never read
  uint16_t tag_open;
  uint16_t tag_close;
  // kContinuationSaved while saved_state, stack_top and the pending result
  // in the coded output area describe a traversal that can be continued.
  uint32_t continuation;
};

namespace pmr {
namespace {

constexpr uint32_t kContinuationSaved = 0x45585044u;
constexpr uint32_t kNoContinuation = 0;

// The areas are handed to the codecs, whose sizes are signed 32-bit numbers,
// so no block grows past the largest of those.
constexpr uint64_t kLargestBlock = uint64_t(INT32_MAX);

// The multiple of 8 above n (a full step of 8 when n is one already).
constexpr uint64_t rounded(uint64_t n) { return (n + 8) & ~uint64_t(7); }

int32_t room_of(uint64_t size) { return size > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(size); }

// Resume kinds of traverse_expand besides the shared kinds 1, 2 and 7.
constexpr int32_t kKindListSibling = 3;  // next arc of a list, input matching decided anew
constexpr int32_t kKindFreeSibling = 4;  // next arc of a list whose arcs are all free choices

// A choice point's reserved field holds the path length, so the count of
// consecutive idle moves (silent labels and flag arcs) travels in the kind
// field above the resume kind. The idle limit is capped so that it fits.
constexpr uint32_t kKindBits = 8;
constexpr uint32_t kLargestIdleCount = 0xFFFFFFu;

int32_t packed_kind(int32_t kind, uint32_t idle) {
  return int32_t(uint32_t(kind) | (idle << kKindBits));
}
int32_t resume_kind(int32_t packed) { return int32_t(uint32_t(packed) & ((1u << kKindBits) - 1)); }
uint32_t idle_count(int32_t packed) { return uint32_t(packed) >> kKindBits; }

// What the caller asked for.
struct Bounds {
  uint32_t prefix_length;
  uint32_t minimum_length;
  uint32_t length_limit;
};

// The caller's output buffer and the results written into it by this call.
struct Client {
  uint8_t* output;
  uint32_t size;
  uint32_t cursor;
  uint32_t count;
};

// Decodes the NUL-terminated coded word at the client's cursor, keeping the
// buffer's last byte unused. PMR_OUTPUT_TOO_LONG when it does not fit (also
// once the count could no longer be returned as a positive number).
int32_t deliver_word(const uint8_t* coded, Client* client, const pmr_fsm* fsm) {
  if (client->count >= uint32_t(INT32_MAX)) return PMR_OUTPUT_TOO_LONG;
  const uint64_t used = uint64_t(client->cursor) + 1;
  const uint64_t room = client->size > used ? client->size - used : 0;
  const int32_t length = decode(coded, client->output + client->cursor, room_of(room), false, fsm);
  if (length < 0) return length;
  client->cursor += uint32_t(length) + 1;
  ++client->count;
  return 0;
}

// Stores the state of a traversal that stopped at an undelivered word, so
// that a call with continue set can deliver it and go on.
int32_t save_continuation(pmr_lookup_buffer* buffer, const Choice& state, const ChoiceStack& stack,
                          const Client& client) {
  store_choice(buffer->saved_state, state);
  buffer->stack_top = stack.top;
  buffer->result_count = client.count;
  buffer->cursor = client.cursor;
  buffer->continuation = kContinuationSaved;
  return client.count > 0 ? PMR_CLIENT_OUTPUT_FULL : PMR_CLIENT_OUTPUT_TOO_SMALL;
}

int32_t finish(pmr_lookup_buffer* buffer, const Client& client) {
  buffer->result_count = client.count;
  buffer->cursor = client.cursor;
  return int32_t(client.count);
}

// A saved state that this buffer's areas can hold; anything else was not
// written by a traversal and is not continued.
bool saved_state_fits(const pmr_lookup_buffer* buffer, const Choice& state) {
  return state.input <= buffer->coded_input_size && state.output <= buffer->coded_output_size &&
         buffer->stack_top <= buffer->stack_capacity;
}

// The walk. Registers: position and label byte, input position, output
// position, path length, flag register word, shadowing sibling, and `idle`,
// the consecutive moves that neither consume input nor write output. Every
// path ends: writes are bounded by the coded output size (-23), the path
// length by the length limit, idle runs by the network size (a longer run
// must go round a loop of silent or flag arcs) and pushes by the stack
// (-13). `steps` counts the work since the last delivered word; past the
// engine's step budget the call gives up with -13, so that a network with an
// exponential number of paths that yield nothing cannot keep a call running.
int32_t traverse_expand(pmr_lookup_buffer* buffer, uint32_t network, const Bounds& bounds,
                        bool continuing, Client client, const pmr_fsm* fsm) {
  NetCode n;
  if (!load_net_code(fsm, network, &n)) return PMR_INVALID_FUNCTION;
  ChoiceStack stack = make_stack(buffer->stack_area, buffer->stack_capacity);
  const uint8_t* input = buffer->coded_input;
  uint8_t* coded = buffer->coded_output;
  const uint32_t coded_size = buffer->coded_output_size;
  const uint32_t input_size = buffer->coded_input_size;
  const uint8_t lowest = n.lowest_input;
  const uint8_t flag_marker = n.flag_marker;
  const uint8_t block_label = n.block_label;
  const uint8_t page_byte = n.page_byte;
  const uint32_t idle_limit =
      idle_move_limit(n) < kLargestIdleCount ? idle_move_limit(n) : kLargestIdleCount;
  uint64_t steps = 0;

  uint32_t pos = 0;
  uint8_t b = 0;
  uint32_t in = 0;
  uint32_t out = 0;
  uint32_t length = 0;
  uint16_t flags = n.initial_flags;
  uint32_t shadow_pos = 0;
  uint8_t shadow_byte = kNoShadow;
  uint32_t idle = 0;
  uint32_t slot = 0;
  uint8_t slot_byte = 0;
  uint8_t code;
  int32_t r;
  Choice c;

  auto push = [&](int32_t kind, uint32_t at, uint8_t label) {
    return stack_push(&stack, Choice{label, shadow_byte, flags, packed_kind(kind, idle), in,
                                     length, out, at, shadow_pos});
  };
  auto current_state = [&]() {
    return Choice{b, shadow_byte, flags, packed_kind(0, idle), in, length, out, pos, shadow_pos};
  };
  // Appends one code to the path; false when the coded output is full.
  auto write_code = [&](uint8_t symbol) {
    coded[out] = symbol;
    if (++out >= coded_size) return false;
    if (symbol != page_byte) ++length;
    idle = 0;
    return true;
  };

  if (continuing) {
    load_choice(buffer->saved_state, &c);
    if (!saved_state_fits(buffer, c)) return PMR_INVALID_NUMBER;
    b = c.label;
    flags = c.flags;
    idle = idle_count(c.kind);
    in = c.input;
    length = c.reserved;
    out = c.output;
    pos = c.position;
    shadow_pos = c.shadow_position;
    shadow_byte = c.shadow_byte;
    stack.top = buffer->stack_top;
    goto advance;  // the pending word has been delivered: its path goes on
  }
  pos = n.start;
  b = resolve(n, &pos, byte_at(n, pos));
  if (b == 0) return finish(buffer, client);

label_passed:  // b: the label byte just passed
  if (length >= bounds.length_limit) goto backtrack;
  if (is_final(b) && length >= bounds.minimum_length && input[in] == 0) {
    coded[out] = 0;
    r = deliver_word(coded, &client, fsm);
    if (r == PMR_OUTPUT_TOO_LONG) return save_continuation(buffer, current_state(), stack, client);
    if (r < 0) return r;
    steps = 0;
  }

advance:
  b = advance(n, &pos);
  if (b == 0) goto backtrack;

arc_list:  // b at pos: an arc of a state's list
  if (++steps > kTraversalStepBudget) return PMR_STACK_OVERFLOW;
  code = label_code(b);
  if (code < lowest) {
    if (++idle > idle_limit) goto backtrack;
    if (has_sibling(b) && !push(kKindListSibling, pos, b)) return PMR_STACK_OVERFLOW;
    if (code == flag_marker) {
      b = advance(n, &pos);
      if (b == 0) goto backtrack;
      goto flag_arc;
    }
    goto label_passed;  // a silent label
  }
  if (length < bounds.prefix_length || input[in] == 0) goto free_choice;
  // The piece is being matched: the single arc that carries its next code.
  code = input[in];
  if (!lookup_symbol(n, &pos, &b, code)) goto backtrack;
  if (!write_code(code)) return PMR_CODED_OUTPUT_TOO_SMALL;
  ++in;
  goto label_passed;

free_choice:  // b at pos: every arc of the list is tried
  if (++steps > kTraversalStepBudget) return PMR_STACK_OVERFLOW;
  code = label_code(b);
  if (code != block_label) {
    if (has_sibling(b) && !push(kKindFreeSibling, pos, b)) return PMR_STACK_OVERFLOW;
    if (!write_code(code)) return PMR_CODED_OUTPUT_TOO_SMALL;
    goto label_passed;
  }
  if (!block_begin(n, pos, b, &slot, &slot_byte, &shadow_pos, &shadow_byte)) goto backtrack;

block_slot:  // slot, slot_byte: the next slot of an enumerated block
  if (!slot_settle(n, &slot, &slot_byte)) goto backtrack;
  code = label_code(slot_byte);
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
  if (!write_code(code)) return PMR_CODED_OUTPUT_TOO_SMALL;
  goto label_passed;

flag_arc:  // b at pos: a flag arc
  if (++steps > kTraversalStepBudget) return PMR_STACK_OVERFLOW;
  if (++idle > idle_limit) goto backtrack;
  {
    uint16_t taken = flags;
    if (apply_flag(n, b, &taken)) {
      if (has_sibling(b) && !push(kKindFlag, pos, b)) return PMR_STACK_OVERFLOW;
      flags = taken;
      goto label_passed;
    }
  }
  if (!has_sibling(b)) goto backtrack;
  b = next_sibling(n, &pos);
  if (b == 0) goto backtrack;
  goto flag_arc;

backtrack:
  if (!stack_pop(&stack, &c)) return finish(buffer, client);
  if (++steps > kTraversalStepBudget) return PMR_STACK_OVERFLOW;
  // Entries are the traversal's own; one that the areas cannot hold is dropped.
  if (c.input > input_size || c.output > coded_size) goto backtrack;
  in = c.input;
  length = c.reserved;
  out = c.output;
  flags = c.flags;
  pos = c.position;
  b = c.label;
  shadow_pos = c.shadow_position;
  shadow_byte = c.shadow_byte;
  idle = idle_count(c.kind);
  switch (resume_kind(c.kind)) {
    case kKindListSibling:
      b = next_sibling(n, &pos);
      if (b == 0) goto backtrack;
      goto arc_list;
    case kKindFreeSibling:
      b = next_sibling(n, &pos);
      if (b == 0) goto backtrack;
      goto free_choice;
    case kKindShadowSlot:
      shadow_next(n, &shadow_pos, &shadow_byte);
      slot = pos;
      slot_byte = slot_next(n, &slot);
      goto block_slot;
    case kKindSlot:
      slot = pos;
      slot_byte = slot_next(n, &slot);
      goto block_slot;
    case kKindFlag:
      b = next_sibling(n, &pos);
      if (b == 0) goto backtrack;
      goto flag_arc;
    default:
      goto backtrack;
  }
}

pmr_lookup_buffer* buffer_error(int32_t code) {
  return static_cast<pmr_lookup_buffer*>(error_object_for(code));
}

// Delivers the word that did not fit at the end of the previous call.
int32_t deliver_pending(pmr_lookup_buffer* buffer, uint8_t* output, uint32_t output_size,
                        const pmr_fsm* fsm) {
  const int32_t length = decode(buffer->coded_output, output, room_of(output_size), false, fsm);
  if (length == PMR_OUTPUT_TOO_LONG) return PMR_CLIENT_OUTPUT_TOO_SMALL;
  if (length < 0) return length;
  buffer->result_count = 1;
  buffer->cursor = uint32_t(length) + 1;
  return 0;
}

int32_t encode_piece(pmr_lookup_buffer* buffer, const char* piece, const pmr_fsm* fsm) {
  const int32_t length =
      encode_byte_string(reinterpret_cast<const uint8_t*>(piece), INT32_MAX, buffer->coded_input,
                         room_of(buffer->coded_input_size), false, false, false, fsm);
  if (length == PMR_OUTPUT_TOO_LONG) return PMR_CODED_INPUT_TOO_SMALL;
  return length < 0 ? length : 0;
}

}  // namespace
}  // namespace pmr

using namespace pmr;

extern "C" {

pmr_lookup_buffer* pmrMakeLookupBuffer(uint32_t coded_input_size, uint32_t coded_output_size,
                                       uint32_t stack_capacity, uint32_t /*reserved_1*/,
                                       uint32_t /*reserved_2*/, uint32_t client_word) {
  const uint64_t header_bytes = rounded(sizeof(pmr_lookup_buffer));
  const uint64_t input_bytes = rounded(coded_input_size);
  const uint64_t output_bytes = rounded(coded_output_size);
  const uint64_t stack_bytes = rounded(uint64_t(stack_capacity) * kChoiceSize);
  const uint64_t total = header_bytes + input_bytes + output_bytes + stack_bytes;
  if (total > kLargestBlock) return buffer_error(PMR_MEMORY_ERROR);
  void* block = ::operator new(size_t(total), std::nothrow);
  if (block == nullptr) return buffer_error(PMR_MEMORY_ERROR);
  uint8_t* base = static_cast<uint8_t*>(block);
  pmr_lookup_buffer* buffer = new (block) pmr_lookup_buffer{};
  buffer->coded_input = base + header_bytes;
  buffer->coded_input_size = coded_input_size;
  buffer->coded_output = buffer->coded_input + input_bytes;
  buffer->coded_output_size = coded_output_size;
  buffer->stack_area = buffer->coded_output + output_bytes;
  buffer->stack_capacity = stack_capacity;
  buffer->stack_top = stack_capacity;
  buffer->client_word = client_word;
  buffer->tag_open = '[';
  buffer->tag_close = ']';
  buffer->continuation = kNoContinuation;
  // Each coded area has at least one byte beyond its size: a NUL there ends
  // every string read from it.
  buffer->coded_input[0] = 0;
  buffer->coded_input[coded_input_size] = 0;
  buffer->coded_output[0] = 0;
  buffer->coded_output[coded_output_size] = 0;
  return buffer;
}

void pmrFreeLookupBuffer(pmr_lookup_buffer* lookup_buffer) {
  if (!is_real_object(lookup_buffer)) return;
  lookup_buffer->~pmr_lookup_buffer();
  ::operator delete(static_cast<void*>(lookup_buffer));
}

uint32_t pmrLookupBufferCursor(const pmr_lookup_buffer* lookup_buffer) {
  return is_real_object(lookup_buffer) ? lookup_buffer->cursor : 0;
}

uint32_t pmrLookupBufferResultCount(const pmr_lookup_buffer* lookup_buffer) {
  return is_real_object(lookup_buffer) ? lookup_buffer->result_count : 0;
}

void pmrSetTagEnclosureChars(pmr_lookup_buffer* lookup_buffer, uint16_t open_char,
                             uint16_t close_char) {
  if (!is_real_object(lookup_buffer)) return;
  lookup_buffer->tag_open = open_char;
  lookup_buffer->tag_close = close_char;
}

int32_t pmrExpandByteStringPartialWord(const char* piece, char* output, uint32_t output_size,
                                       pmr_lookup_buffer* lookup_buffer, uint32_t prefix_length,
                                       uint32_t minimum_length, uint32_t length_limit,
                                       int32_t continuing, int32_t /*reserved*/,
                                       const pmr_fsm* transducer) {
  if (lookup_buffer == nullptr || output == nullptr || transducer == nullptr)
    return PMR_NULL_POINTER;
  int32_t code = pmr_object_error_code(lookup_buffer);
  if (code != 0) return code;
  code = pmr_object_error_code(transducer);
  if (code != 0) return code;
  // A call without continue abandons whatever expansion the buffer held.
  if (continuing == 0) lookup_buffer->continuation = kNoContinuation;
  lookup_buffer->result_count = 0;
  lookup_buffer->cursor = 0;
  const uint8_t network = network_for_function(transducer, 1);
  if (network == kNoNetwork) return PMR_INVALID_FUNCTION;
  uint8_t* client = reinterpret_cast<uint8_t*>(output);
  if (continuing != 0) {
    if (lookup_buffer->continuation != kContinuationSaved) return PMR_INVALID_NUMBER;
    // On -21 the saved state stays: a larger buffer may still take the word.
    code = deliver_pending(lookup_buffer, client, output_size, transducer);
  } else {
    code = piece == nullptr ? PMR_NULL_POINTER : encode_piece(lookup_buffer, piece, transducer);
  }
  if (code != 0) return code;
  lookup_buffer->continuation = kNoContinuation;
  const Client start{client, output_size, lookup_buffer->cursor, lookup_buffer->result_count};
  const Bounds bounds{prefix_length, minimum_length, length_limit};
  return traverse_expand(lookup_buffer, network, bounds, continuing != 0, start, transducer);
}

}  // extern "C"
