// charset.h - conversion between UTF-8 (the terminal's text) and
// Windows-1252 (the 8-bit character set of the transducers the pmr command
// works with).
#ifndef PMR_CLI_CHARSET_H
#define PMR_CLI_CHARSET_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace pmrcli {

// The Windows-1252 byte of a Unicode code point, or -1 when the set has no
// such character. The five unassigned bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D
// stand for the C1 controls of the same value, so every byte round-trips.
int cp1252_byte_of(uint32_t code_point);

// The Unicode code point of a Windows-1252 byte.
uint32_t code_point_of_cp1252(unsigned char byte);

// Converts len bytes of UTF-8 into Windows-1252 at out, which must hold at
// least len + 1 bytes, and NUL-terminates the result. Returns the converted
// length, or -1 when the text is not valid UTF-8, holds a NUL, or holds a
// character that Windows-1252 cannot represent.
long utf8_to_cp1252(const char* in, size_t len, char* out);

// Converts len Windows-1252 bytes into UTF-8 at out, which must hold at least
// 3 * len bytes. Returns the number of bytes written (no NUL is added).
size_t cp1252_to_utf8(const char* in, size_t len, char* out);

// Convenience form of cp1252_to_utf8 for short texts.
std::string cp1252_to_utf8(const std::string& text);

}  // namespace pmrcli

#endif
