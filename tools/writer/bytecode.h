// bytecode.h - laying deterministic token automata out as the network byte
// code: label bytes with their sibling and final bits, targets written in
// place or as near, far or direct references, indexed arc blocks for states
// with many arcs, and the near and far tables.
#ifndef PMR_TOOLS_BYTECODE_H
#define PMR_TOOLS_BYTECODE_H

#include <cstdint>
#include <string>
#include <vector>

#include "tokennet.h"

namespace pmrtools {

struct ByteCodeParams {
  uint8_t label_base = 0x40;
  uint8_t near_base = 1;       // pointer byte ranges; far_base or direct_base 0: chosen here
  uint8_t far_base = 0;
  uint8_t direct_base = 0;
  uint8_t lowest_input_label = 0x4C;
  uint8_t replacement_marker = 0x40;
  uint8_t insertion_label = 0x44;  // also the silent label
  uint8_t flag_marker = 0x48;
  uint8_t block_label = 0x54;
  bool bound_byte = true;
  bool offset_table = false;
  bool long_direct = false;
  uint8_t table_width = 3;
  bool indexed_blocks = true;
  int block_threshold = 12;
  int inplace_limit = 40;      // largest in-place subtree, in bytes
};

struct ByteCodeResult {
  std::vector<uint8_t> block;           // the network block
  std::vector<uint32_t> starts;         // per network: position of its entry label byte
  std::vector<uint32_t> near_table;
  std::vector<uint32_t> far_table;
  uint8_t near_base = 0;
  uint8_t far_base = 0;
  uint8_t direct_base = 0;
  uint64_t states = 0;
  uint64_t arcs = 0;
  uint64_t blocks = 0;
};

// Lays the networks out one after another in one network block.
bool lay_out_networks(const std::vector<const TokenAutomaton*>& networks,
                      const ByteCodeParams& params, ByteCodeResult* result, std::string* error);

}  // namespace pmrtools

#endif
