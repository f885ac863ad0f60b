// output.h - the block writer of the pmr command: collects output in one
// large buffer and hands it to standard output in blocks of at least 64 KiB
// (or at once on request), so that a long run of lookups costs a write per
// block, not per line.
#ifndef PMR_CLI_OUTPUT_H
#define PMR_CLI_OUTPUT_H

#include <cstddef>
#include <cstdio>
#include <vector>

namespace pmrcli {

class BlockWriter {
 public:
  static constexpr size_t kBlockSize = 64 * 1024;

  explicit BlockWriter(std::FILE* stream) : stream_(stream) { buffer_.reserve(2 * kBlockSize); }
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;
  ~BlockWriter() { flush(); }

  void put(char c) { buffer_.push_back(c); }
  void put(const char* text, size_t length) { buffer_.insert(buffer_.end(), text, text + length); }
  // Appends Windows-1252 text as UTF-8.
  void put_cp1252(const char* text, size_t length);

  // Writes the buffer out once it holds a full block.
  void end_record() {
    if (buffer_.size() >= kBlockSize) write_out();
  }
  // Writes everything out and flushes the stream.
  void flush();
  // False once a write has failed.
  bool ok() const { return ok_; }

 private:
  void write_out();

  std::FILE* stream_;
  std::vector<char> buffer_;
  bool ok_ = true;
};

}  // namespace pmrcli

#endif
