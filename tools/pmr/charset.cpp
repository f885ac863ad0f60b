// charset.cpp - Windows-1252 <-> UTF-8 conversion for the pmr command.
#include "charset.h"

namespace pmrcli {
namespace {

// Code points of the bytes 0x80..0x9F; the unassigned bytes map to the C1
// control of the same value.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence starting at in[*pos]; advances *pos. Returns
// 0xFFFFFFFF for a malformed, overlong or surrogate sequence.
uint32_t decode_utf8(const unsigned char* in, size_t len, size_t* pos) {
  constexpr uint32_t kBad = 0xFFFFFFFFu;
  unsigned char lead = in[*pos];
  size_t extra;
  uint32_t cp;
  if (lead < 0x80) {
    ++*pos;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    cp = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    cp = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    cp = lead & 0x07u;
  } else {
    ++*pos;
    return kBad;
  }
  if (len - *pos <= extra) {
    *pos = len;
    return kBad;
  }
  for (size_t k = 1; k <= extra; ++k) {
    unsigned char c = in[*pos + k];
    if ((c & 0xC0u) != 0x80u) {
      *pos += k;
      return kBad;
    }
    cp = (cp << 6) | (c & 0x3Fu);
  }
  *pos += extra + 1;
  static constexpr uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kBad;
  return cp;
}

size_t put_utf8(uint32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  out[0] = static_cast<char>(0xE0 | (cp >> 12));
  out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[2] = static_cast<char>(0x80 | (cp & 0x3F));
  return 3;
}

}  // namespace

int cp1252_byte_of(uint32_t code_point) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
    return static_cast<int>(code_point);
  }
  for (int k = 0; k < 32; ++k) {
    if (kHighControls[k] == code_point) return 0x80 + k;
  }
  return -1;
}

uint32_t code_point_of_cp1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

long utf8_to_cp1252(const char* in, size_t len, char* out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  size_t pos = 0;
  size_t written = 0;
  while (pos < len) {
    unsigned char c = bytes[pos];
    if (c != 0 && c < 0x80) {
      out[written++] = static_cast<char>(c);
      ++pos;
      continue;
    }
    uint32_t cp = c == 0 ? 0 : decode_utf8(bytes, len, &pos);
    int byte = cp == 0 || cp == 0xFFFFFFFFu ? -1 : cp1252_byte_of(cp);
    if (byte < 0) {
      out[written] = '\0';
      return -1;
    }
    out[written++] = static_cast<char>(byte);
  }
  out[written] = '\0';
  return static_cast<long>(written);
}

size_t cp1252_to_utf8(const char* in, size_t len, char* out) {
  size_t written = 0;
  for (size_t k = 0; k < len; ++k) {
    auto c = static_cast<unsigned char>(in[k]);
    if (c < 0x80) {
      out[written++] = static_cast<char>(c);
    } else {
      written += put_utf8(code_point_of_cp1252(c), out + written);
    }
  }
  return written;
}

std::string cp1252_to_utf8(const std::string& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(cp1252_to_utf8(text.data(), text.size(), out.data()));
  return out;
}

}  // namespace pmrcli
