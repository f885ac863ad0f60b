// dict.h - the bucket choice of the client dictionary: the ELF (PJW) hash of
// a word and the fixed number of buckets. Kept in a header so that the hash
// can be checked on its own.
#ifndef PMR_DICT_H
#define PMR_DICT_H

#include <cstdint>

namespace pmr {

constexpr int32_t kClientDictBuckets = 211;

// ELF hash of a NUL-terminated word; every byte is taken as 0..255.
inline uint32_t elf_hash(const char* word) {
  uint32_t h = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(word); *p != 0; ++p) {
    h = (h << 4) + *p;
    uint32_t g = h & 0xF0000000u;
    if (g != 0) h = h ^ (g >> 24) ^ g;
  }
  return h;
}

inline uint32_t client_dict_bucket(const char* word, int32_t bucket_count) {
  return elf_hash(word) % static_cast<uint32_t>(bucket_count);
}

}  // namespace pmr

#endif
