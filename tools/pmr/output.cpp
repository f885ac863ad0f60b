// output.cpp - the block writer of the pmr command.
#include "output.h"

#include "charset.h"

namespace pmrcli {

void BlockWriter::put_cp1252(const char* text, size_t length) {
  size_t start = buffer_.size();
  buffer_.resize(start + 3 * length);
  size_t written = cp1252_to_utf8(text, length, buffer_.data() + start);
  buffer_.resize(start + written);
}

void BlockWriter::write_out() {
  if (buffer_.empty()) return;
  if (ok_ && std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size()) {
    ok_ = false;
  }
  buffer_.clear();
}

void BlockWriter::flush() {
  write_out();
  if (ok_ && std::fflush(stream_) != 0) ok_ = false;
}

}  // namespace pmrcli
