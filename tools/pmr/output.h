// output.h - the block writer of the pmr command: collects output in one
// large buffer and hands it to standard output in blocks of at least 64 KiB
// (or at once on request), so that a long run of lookups costs a write per
// block, not per line.
#ifndef PMR_CLI_OUTPUT_H
#define PMR_CLI_OUTPUT_H

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

namespace pmrcli {

class BlockWriter {
 public:
  static constexpr size_t kBlockSize = 64 * 1024;

  explicit BlockWriter(std::FILE* stream) : stream_(stream), buffer_(2 * kBlockSize) {}
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;
  ~BlockWriter() { flush(); }

  void put(char c) {
    make_room(1);
    buffer_[used_++] = c;
  }
  void put(const char* text, size_t length) {
    make_room(length);
    std::memcpy(buffer_.data() + used_, text, length);
    used_ += length;
  }
  // Appends Windows-1252 text as UTF-8.
  void put_cp1252(const char* text, size_t length);

  // Writes the buffer out once it holds a full block.
  void end_record() {
    if (used_ >= kBlockSize) write_out();
  }
  // Writes everything out and flushes the stream.
  void flush();
  // False once a write has failed.
  bool ok() const { return ok_; }

 private:
  void write_out();
  void make_room(size_t length) {
    if (buffer_.size() - used_ < length) grow(length);
  }
  void grow(size_t length);

  std::FILE* stream_;
  std::vector<char> buffer_;  // buffer_.size() is the capacity
  size_t used_ = 0;
  bool ok_ = true;
};

}  // namespace pmrcli

#endif
