// sourceread.cpp - reading compiler sources: AT&T text (arcs "src TAB dst
// TAB in TAB out [TAB weight]", acceptor arcs with one symbol, final lines
// "state [TAB weight]", networks separated by "--" lines) and lexicons
// ("surface TAB analysis", tags in square brackets). UTF-8 is converted to
// Windows-1252; symbols are interned in a SymbolSet.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "sourcenet.h"

namespace pmrtools {

// ---- symbols ---------------------------------------------------------------

SymbolSet::SymbolSet() {
  symbols_.push_back(SourceSymbol{});
  ids_.emplace(std::string("\x01" "eps"), 0);
}

uint32_t SymbolSet::intern(const std::string& key, SourceSymbol symbol) {
  auto found = ids_.find(key);
  if (found != ids_.end()) return found->second;
  const uint32_t id = uint32_t(symbols_.size());
  symbols_.push_back(std::move(symbol));
  ids_.emplace(key, id);
  return id;
}

uint32_t SymbolSet::char_symbol(uint8_t ch) {
  SourceSymbol s;
  s.kind = SymbolKind::Char;
  s.ch = ch;
  return intern(std::string("c") + char(ch), std::move(s));
}

uint32_t SymbolSet::tag_symbol(const std::string& name) {
  SourceSymbol s;
  s.kind = SymbolKind::Tag;
  s.name = name;
  return intern("t" + name, std::move(s));
}

uint32_t SymbolSet::flag_symbol(const std::string& text, char op, const std::string& feature,
                                const std::string& value) {
  SourceSymbol s;
  s.kind = SymbolKind::Flag;
  s.name = text;
  s.flag_op = op;
  s.feature = feature;
  s.value = value;
  return intern("f" + text, std::move(s));
}

// ---- UTF-8 to Windows-1252 --------------------------------------------------

namespace {

// Code points of the Windows-1252 bytes 0x80-0x9F (0: byte not defined).
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

bool cp1252_byte(uint32_t cp, uint8_t* byte) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
    *byte = uint8_t(cp);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == cp) {
      *byte = uint8_t(0x80 + i);
      return true;
    }
  }
  return false;
}

// Decodes one UTF-8 sequence at text[*i]; malformed input gives 0xFFFD.
uint32_t next_code_point(const std::string& text, size_t* i) {
  const unsigned char c = static_cast<unsigned char>(text[*i]);
  ++*i;
  if (c < 0x80) return c;
  int extra = 0;
  uint32_t cp = 0;
  if ((c & 0xE0) == 0xC0) {
    extra = 1;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    cp = c & 0x07;
  } else {
    return 0xFFFD;
  }
  for (int k = 0; k < extra; ++k) {
    if (*i >= text.size()) return 0xFFFD;
    const unsigned char d = static_cast<unsigned char>(text[*i]);
    if ((d & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (d & 0x3F);
    ++*i;
  }
  static constexpr uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

std::string code_point_text(uint32_t cp) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", unsigned(cp));
  return buffer;
}

}  // namespace

bool utf8_to_cp1252(const std::string& text, std::string* out, uint32_t* bad) {
  out->clear();
  out->reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const uint32_t cp = next_code_point(text, &i);
    uint8_t byte = 0;
    if (cp == 0xFFFD || !cp1252_byte(cp, &byte)) {
      *bad = cp;
      return false;
    }
    out->push_back(char(byte));
  }
  return true;
}

// ---- line reading ------------------------------------------------------------

namespace {

std::vector<std::string> split_tabs(const std::string& line, bool att = true) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    if (tab == std::string::npos) {
      fields.push_back(line.substr(start));
      break;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  // lt-print ends its lines with a TAB.
  if (att && fields.size() > 1 && fields.back().empty()) fields.pop_back();
  return fields;
}

bool is_unsigned_number(const std::string& s) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool is_weight(const std::string& s) {
  if (s.empty()) return false;
  char* end = nullptr;
  std::strtod(s.c_str(), &end);
  return end != nullptr && *end == '\0';
}

class LineReader {
 public:
  explicit LineReader(const std::string& text) : text_(text) {}
  bool next(std::string* line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string::npos) end = text_.size();
    *line = text_.substr(pos_, end - pos_);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    pos_ = end + 1;
    ++number_;
    return true;
  }
  uint64_t number() const { return number_; }

 private:
  const std::string& text_;
  size_t pos_ = 0;
  uint64_t number_ = 0;
};

bool looks_like_att(const std::string& text) {
  LineReader reader(text);
  std::string line;
  while (reader.next(&line)) {
    if (line.empty() || line == "--") continue;
    const std::vector<std::string> f = split_tabs(line);
    if (f.size() >= 3) return is_unsigned_number(f[0]) && is_unsigned_number(f[1]);
    if (f.size() == 2) return is_unsigned_number(f[0]) && is_weight(f[1]);
    return is_unsigned_number(f[0]);
  }
  return false;
}

// The one place that shapes "FILE:LINE: message".
std::string at_line(const std::string& name, uint64_t line, const std::string& message) {
  return name + ":" + std::to_string(line) + ": " + message;
}

enum class SymbolResult { Ok, Unmappable, Invalid };

// Reads one AT&T symbol field into *id.
SymbolResult parse_att_symbol(const std::string& field, SymbolSet* symbols, uint32_t* id,
                              std::string* message) {
  if (field == "@0@" || field == "@_EPSILON_SYMBOL_@" || field == "\xCE\xB5") {
    *id = symbols->epsilon();
    return SymbolResult::Ok;
  }
  if (field == "@_SPACE_@") {
    *id = symbols->char_symbol(' ');
    return SymbolResult::Ok;
  }
  if (field == "@_TAB_@") {
    *id = symbols->char_symbol('\t');
    return SymbolResult::Ok;
  }
  if (field.empty()) {
    *message = "empty symbol";
    return SymbolResult::Invalid;
  }
  if (field.size() >= 4 && field.front() == '@' && field.back() == '@' && field[2] == '.' &&
      std::string("UPRDCN").find(field[1]) != std::string::npos) {
    const std::string body = field.substr(3, field.size() - 4);
    const size_t dot = body.find('.');
    const std::string feature = body.substr(0, dot);
    const std::string value = dot == std::string::npos ? std::string() : body.substr(dot + 1);
    if (feature.empty() || (dot != std::string::npos && value.empty())) {
      *message = "malformed flag diacritic " + field;
      return SymbolResult::Invalid;
    }
    *id = symbols->flag_symbol(field, field[1], feature, value);
    return SymbolResult::Ok;
  }
  if (field.size() > 4 && field.compare(0, 2, "@_") == 0 && field.compare(field.size() - 2, 2, "_@") == 0) {
    *message = "special symbol " + field + " is not supported";
    return SymbolResult::Invalid;
  }
  std::string bytes;
  uint32_t bad = 0;
  if (!utf8_to_cp1252(field, &bytes, &bad)) {
    *message = "character " + code_point_text(bad) + " cannot be represented in Windows-1252";
    return SymbolResult::Unmappable;
  }
  if (bytes.size() == 1) {
    if (bytes[0] == '\0') {
      *message = "the NUL character cannot be a symbol";
      return SymbolResult::Invalid;
    }
    *id = symbols->char_symbol(uint8_t(bytes[0]));
    return SymbolResult::Ok;
  }
  std::string name = bytes;
  if (name.size() >= 3 && ((name.front() == '<' && name.back() == '>') ||
                           (name.front() == '[' && name.back() == ']'))) {
    name = name.substr(1, name.size() - 2);
  } else if (name.size() >= 2 && name.front() == '+') {
    name = name.substr(1);
  }
  if (name.size() > 61) {
    *message = "tag name '" + name + "' is longer than 61 bytes";
    return SymbolResult::Invalid;
  }
  if (name.find(']') != std::string::npos || name.find('\0') != std::string::npos) {
    *message = "tag name '" + name + "' contains ']' or NUL";
    return SymbolResult::Invalid;
  }
  *id = symbols->tag_symbol(name);
  return SymbolResult::Ok;
}

bool read_att(const std::string& name, const std::string& text, const ReadOptions& options,
              SymbolSet* symbols, SourceNet* net, ReadStats* stats, std::string* error) {
  LineReader reader(text);
  std::string line;
  std::unordered_map<uint64_t, uint32_t> states;  // section state number -> net state
  bool section_started = false;
  auto state_of = [&](uint64_t number) {
    auto found = states.find(number);
    if (found != states.end()) return found->second;
    const uint32_t s = net->add_state();
    states.emplace(number, s);
    return s;
  };
  auto begin_section = [&](uint64_t start_number) {
    const uint32_t s = state_of(start_number);
    net->arcs.push_back(SourceArc{net->start, s, 0, 0});
    section_started = true;
  };
  while (reader.next(&line)) {
    if (line.empty()) continue;
    if (line == "--") {
      states.clear();
      section_started = false;
      continue;
    }
    const std::vector<std::string> f = split_tabs(line);
    const uint64_t number = reader.number();
    if (!is_unsigned_number(f[0])) return *error = at_line(name, number, "state number expected"), false;
    const uint64_t src_number = std::stoull(f[0]);
    if (f.size() <= 2) {
      if (f.size() == 2 && !is_weight(f[1])) {
        return *error = at_line(name, number, "weight expected after the final state"), false;
      }
      if (!section_started) begin_section(src_number);
      net->final[state_of(src_number)] = 1;
      continue;
    }
    if (!is_unsigned_number(f[1])) return *error = at_line(name, number, "target state number expected"), false;
    if (f.size() > 5 || (f.size() == 5 && !is_weight(f[4]))) {
      return *error = at_line(name, number, "too many fields"), false;
    }
    if (!section_started) begin_section(src_number);
    const std::string& in_field = f[2];
    const std::string& out_field = f.size() >= 4 ? f[3] : f[2];
    uint32_t in = 0;
    uint32_t out = 0;
    std::string message;
    SymbolResult r = parse_att_symbol(in_field, symbols, &in, &message);
    if (r == SymbolResult::Ok) r = parse_att_symbol(out_field, symbols, &out, &message);
    if (r == SymbolResult::Unmappable && options.skip_unmappable) {
      ++stats->dropped;
      continue;
    }
    if (r != SymbolResult::Ok) return *error = at_line(name, number, message), false;
    const uint32_t src = state_of(src_number);
    const uint32_t dst = state_of(std::stoull(f[1]));
    net->arcs.push_back(SourceArc{src, dst, in, out});
  }
  return true;
}

// Splits one side of a lexicon line into symbols: "[name]" is a tag, every
// other byte a character.
bool lexicon_side(const std::string& side, SymbolSet* symbols, std::vector<uint32_t>* out,
                  std::string* message) {
  out->clear();
  size_t i = 0;
  while (i < side.size()) {
    if (side[i] == '[') {
      const size_t close = side.find(']', i + 1);
      const size_t open = side.find('[', i + 1);
      if (close != std::string::npos && (open == std::string::npos || open > close)) {
        const std::string name = side.substr(i + 1, close - i - 1);
        if (name.empty() || name.size() > 61) {
          *message = "tag name '" + name + "' must have 1 to 61 bytes";
          return false;
        }
        out->push_back(symbols->tag_symbol(name));
        i = close + 1;
        continue;
      }
    }
    if (side[i] == '\0') {
      *message = "the NUL character cannot be a symbol";
      return false;
    }
    out->push_back(symbols->char_symbol(uint8_t(side[i])));
    ++i;
  }
  return true;
}

struct TrieKey {
  uint32_t state, in, out;
  bool operator==(const TrieKey& o) const { return state == o.state && in == o.in && out == o.out; }
};
struct TrieKeyHash {
  size_t operator()(const TrieKey& k) const {
    uint64_t h = k.state * 0x9E3779B97F4A7C15ull;
    h ^= (uint64_t(k.in) << 32 | k.out) + 0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
    return size_t(h ^ (h >> 31));
  }
};

bool read_lexicon(const std::string& name, const std::string& text, const ReadOptions& options,
                  SymbolSet* symbols, SourceNet* net, ReadStats* stats, std::string* error) {
  const uint32_t root = net->add_state();
  net->arcs.push_back(SourceArc{net->start, root, 0, 0});
  std::unordered_map<TrieKey, uint32_t, TrieKeyHash> children;
  LineReader reader(text);
  std::string raw;
  std::string line;
  std::vector<uint32_t> surface;
  std::vector<uint32_t> analysis;
  while (reader.next(&raw)) {
    if (raw.empty()) continue;
    const uint64_t number = reader.number();
    uint32_t bad = 0;
    if (!utf8_to_cp1252(raw, &line, &bad)) {
      if (options.skip_unmappable && bad != 0xFFFD) {
        ++stats->dropped;
        continue;
      }
      return *error = at_line(name, number,
                              bad == 0xFFFD ? std::string("malformed UTF-8")
                                            : "character " + code_point_text(bad) +
                                                  " cannot be represented in Windows-1252"),
             false;
    }
    std::vector<std::string> f = split_tabs(line, false);
    if (f.size() > 3 || (f.size() == 3 && !is_weight(f[2]))) {
      return *error = at_line(name, number, "expected 'surface TAB analysis'"), false;
    }
    if (f.size() == 1) f.push_back(f[0]);
    std::string message;
    if (!lexicon_side(f[0], symbols, &surface, &message) ||
        !lexicon_side(f[1], symbols, &analysis, &message)) {
      return *error = at_line(name, number, message), false;
    }
    // Symbols paired by position (as lt-comp aligns them): each side's
    // symbol replaces the other's, the longer side's rest is deleted or
    // inserted. Pairing early keeps both lookup directions selective: a
    // deleted surface symbol could be any symbol to a generating lookup.
    uint32_t state = root;
    auto step = [&](uint32_t in, uint32_t out) {
      const TrieKey key{state, in, out};
      auto found = children.find(key);
      if (found != children.end()) {
        state = found->second;
        return;
      }
      const uint32_t next = net->add_state();
      net->arcs.push_back(SourceArc{state, next, in, out});
      children.emplace(key, next);
      state = next;
    };
    const size_t common = std::min(surface.size(), analysis.size());
    for (size_t i = 0; i < common; ++i) step(surface[i], analysis[i]);
    for (size_t i = common; i < surface.size(); ++i) step(surface[i], 0);
    for (size_t i = common; i < analysis.size(); ++i) step(0, analysis[i]);
    net->final[state] = 1;
  }
  return true;
}

}  // namespace

bool read_source_text(const std::string& name, const std::string& text,
                      const ReadOptions& options, SymbolSet* symbols, SourceNet* net,
                      ReadStats* stats, std::string* error) {
  if (net->state_count == 0) net->start = net->add_state();
  const bool att = options.format == 1 || (options.format == 0 && looks_like_att(text));
  try {
    return att ? read_att(name, text, options, symbols, net, stats, error)
               : read_lexicon(name, text, options, symbols, net, stats, error);
  } catch (const std::out_of_range&) {
    *error = name + ": state number out of range";
    return false;
  }
}

bool read_source_file(const std::string& path, const ReadOptions& options, SymbolSet* symbols,
                      SourceNet* net, ReadStats* stats, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = path + ": cannot open the file";
    return false;
  }
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) {
    *error = path + ": cannot read the file";
    return false;
  }
  return read_source_text(path, text, options, symbols, net, stats, error);
}

}  // namespace pmrtools
