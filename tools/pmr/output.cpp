// output.cpp - the block writer of the pmr command.
#include "output.h"

#include "charset.h"

namespace pmrcli {

void BlockWriter::put_cp1252(const char* text, size_t length) {
  make_room(3 * length);
  used_ += cp1252_to_utf8(text, length, buffer_.data() + used_);
}

void BlockWriter::grow(size_t length) {
  size_t size = buffer_.size();
  while (size - used_ < length) size *= 2;
  buffer_.resize(size);
}

void BlockWriter::write_out() {
  if (used_ == 0) return;
  if (ok_ && std::fwrite(buffer_.data(), 1, used_, stream_) != used_) ok_ = false;
  used_ = 0;
}

void BlockWriter::flush() {
  write_out();
  if (ok_ && std::fflush(stream_) != 0) ok_ = false;
}

}  // namespace pmrcli
