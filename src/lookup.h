// lookup.h - the transduction engine: the forward and inverse traversals of
// a network that deliver every output paired with a coded input, and the
// measuring of decoded lengths. The lookup API (pmr_lookup_with_transduction,
// token breaking) is built on them in lookup.cpp; the tokenizer and the
// grouper call them directly.
#ifndef PMR_LOOKUP_H
#define PMR_LOOKUP_H

#include <cstdint>

#include "fstread.h"

namespace pmr {

// Action codes: what a traversal does with each accepted path.
constexpr int32_t kActionFirstRaw = 0;     // stop at the first result (return 1)
constexpr int32_t kActionAllCoded = 1;     // all results as coded strings, duplicates dropped
constexpr int32_t kActionAllDecoded = 2;   // all results decoded, duplicates dropped
constexpr int32_t kActionFirst = 4;        // the first result, decoded
constexpr int32_t kActionShortest = 5;     // the shortest result, decoded
constexpr int32_t kActionFirstToken = 6;   // the first token end (prefix mode)
constexpr int32_t kActionAllTokens = 7;    // all token ends (prefix mode)

// Applies network `network` from its surface side to the NUL-terminated
// coded `input`. The output of the current path is built in `coded_output`
// (`coded_size` bytes); results go to `client` (`client_size` bytes) as
// NUL-terminated strings and, for actions 6 and 7, token ends to `offsets`.
// `stack` holds `capacity` choice points of 28 bytes. Returns the number of
// results, 1 for actions 0, 4 and 6 once a result is found, or a negative
// code (PMR_STACK_OVERFLOW, PMR_INTERNAL_BUFFER_TOO_SMALL, PMR_OUTPUT_TOO_LONG,
// PMR_INCOMPLETE_INPUT in prefix mode, PMR_INVALID_FUNCTION for an action
// code it does not know). When the step budget runs out the result is
// PMR_STACK_OVERFLOW and *out_of_steps (when given) is set, so that callers
// that grow the stack on overflow know that growing will not help.
int32_t traverse_forward(const uint8_t* input, uint8_t* coded_output, uint32_t coded_size,
                         uint32_t network, bool prefix, uint8_t* stack, uint32_t capacity,
                         uint8_t* client, uint32_t client_size, uint32_t* offsets,
                         uint32_t offsets_capacity, int32_t action, const pmr_fsm* fsm,
                         bool* out_of_steps = nullptr);

// Applies network `network` from its analysis side (action code 2 only).
// Arguments and results as for traverse_forward.
int32_t traverse_inverse(const uint8_t* input, uint8_t* coded_output, uint32_t coded_size,
                         uint32_t network, uint8_t* stack, uint32_t capacity, uint8_t* client,
                         uint32_t client_size, int32_t action, const pmr_fsm* fsm,
                         bool* out_of_steps = nullptr);

// The length that decoding the NUL-terminated coded string would give: one
// per symbol, a tag symbol inside tag separators its name's length plus 2.
uint32_t measure_decoded_length(const uint8_t* coded, const pmr_fsm* fsm);

}  // namespace pmr

#endif
