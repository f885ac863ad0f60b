// netcompile.cpp - the compiler's driver: reads the sources, gives every
// symbol its code byte and page count, maps flag diacritics to registers,
// builds, determinises and minimises the token automata (the analyser and,
// when asked, the surface acceptor for partial-word expansion), lays them
// out as byte code and fills the FileModel.
//
// Symbol indices: on every page the first five codes are reserved: the
// replacement marker (the lowest code, so that it comes first in a list),
// the insertion/silent label, the flag marker, the page byte and the block
// label. The lowest input label is the fourth code, so the page byte and the
// block label are pair-class codes that no symbol uses. Page 0 also holds the
// tag separator. Surface symbols that are replaced or deleted get page 0
// first (a single-byte symbol keeps its replacement to one marker), then the
// other characters and the tags, most frequent first.
//
// Flag diacritics: @U.X.Y@ and @P.X.Y@ set register X to value Y if it is
// unset and pass if it holds Y (the engine has no overwriting set, so @P is
// compiled like @U); @C.X@ clears register X. Up to 8 features with up to 3
// values each.
#include <algorithm>
#include <cstddef>
#include <map>
#include <new>
#include <stdexcept>

#include "bytecode.h"
#include "netcompile.h"
#include "sourcenet.h"
#include "tokennet.h"

namespace pmrtools {
namespace {

constexpr uint32_t kReservedPerPage = 5;  // marker, insertion, flag marker, page byte, block label
constexpr uint32_t kTagSeparatorIndex = 5;

struct SymbolPlan {
  std::vector<int32_t> index;  // per source symbol id: symbol index, -1 for none
  uint32_t index_count = kTagSeparatorIndex + 1;
};

bool reserved_index(uint32_t index, uint32_t page_size) {
  return index % page_size < kReservedPerPage || index == kTagSeparatorIndex;
}

// Gives every character and tag a symbol index.
bool plan_symbols(const SymbolSet& symbols, const SourceNet& net, const Layout& layout,
                  uint32_t page_size, SymbolPlan* plan, std::string* error) {
  const uint32_t n = symbols.size();
  std::vector<uint64_t> uses(n, 0);
  std::vector<uint8_t> replaced(n, 0);
  for (const SourceArc& a : net.arcs) {
    ++uses[a.in];
    if (a.out != a.in) ++uses[a.out];
    if (a.in != 0 && a.out != a.in && symbols.at(a.in).kind != SymbolKind::Flag) replaced[a.in] = 1;
  }
  std::vector<uint32_t> order;
  for (uint32_t id = 1; id < n; ++id) {
    const SymbolKind kind = symbols.at(id).kind;
    if (kind == SymbolKind::Char || kind == SymbolKind::Tag) order.push_back(id);
  }
  auto rank = [&](uint32_t id) {
    if (replaced[id]) return 0;
    return symbols.at(id).kind == SymbolKind::Char ? 1 : 2;
  };
  std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    if (uses[a] != uses[b]) return uses[a] > uses[b];
    return a < b;
  });
  // Which page a symbol gets follows the ranking; within a page the
  // characters come in byte order and then the tags by name, so that arc
  // lists (sorted by code) list words alphabetically.
  {
    uint32_t index = 0;
    for (size_t done = 0; done < order.size();) {
      const uint32_t page = index / page_size;
      size_t on_page = 0;
      for (; index < (page + 1) * page_size; ++index) {
        if (!reserved_index(index, page_size)) ++on_page;
      }
      const size_t take = std::min(on_page, order.size() - done);
      std::sort(order.begin() + std::ptrdiff_t(done), order.begin() + std::ptrdiff_t(done + take),
                [&](uint32_t a, uint32_t b) {
                  const SourceSymbol& x = symbols.at(a);
                  const SourceSymbol& y = symbols.at(b);
                  if (x.kind != y.kind) return x.kind == SymbolKind::Char;
                  return x.kind == SymbolKind::Char ? x.ch < y.ch : x.name < y.name;
                });
      done += take;
    }
  }
  plan->index.assign(n, -1);
  uint32_t next = 0;
  for (uint32_t id : order) {
    while (reserved_index(next, page_size)) ++next;
    const uint32_t pages = next / page_size;
    if (pages > 255) {
      *error = "too many symbols for a page size of " + std::to_string(page_size);
      return false;
    }
    if (symbols.at(id).kind == SymbolKind::Char && pages > 3 && !layout.code16) {
      *error = "too many characters for 8-bit code table entries (use 16-bit entries)";
      return false;
    }
    plan->index[id] = int32_t(next++);
  }
  plan->index_count = std::max(next, kTagSeparatorIndex + 1);
  return true;
}

std::vector<uint8_t> symbol_bytes(uint32_t index, uint32_t page_size, const Layout& layout) {
  const uint8_t code = uint8_t(layout.label_base + 4 * (index % page_size));
  const uint32_t pages = index / page_size;
  std::vector<uint8_t> bytes;
  if (layout.page_after) bytes.push_back(code);
  bytes.insert(bytes.end(), pages, layout.page_byte);
  if (!layout.page_after) bytes.push_back(code);
  return bytes;
}

// Registers and values of the flag diacritics.
bool plan_flags(const SymbolSet& symbols, uint8_t label_base, SymbolCoding* coding,
                std::string* error) {
  std::map<std::string, int> registers;
  std::map<std::string, std::map<std::string, int>> values;
  int highest_register = -1;
  for (uint32_t id = 1; id < symbols.size(); ++id) {
    const SourceSymbol& s = symbols.at(id);
    if (s.kind != SymbolKind::Flag) continue;
    if (s.flag_op != 'U' && s.flag_op != 'P' && s.flag_op != 'C') {
      *error = "flag diacritic " + s.name + " is not supported (only @U, @P and @C)";
      return false;
    }
    if (s.flag_op == 'C' ? !s.value.empty() : s.value.empty()) {
      *error = "flag diacritic " + s.name + " is malformed";
      return false;
    }
    auto reg = registers.find(s.feature);
    if (reg == registers.end()) {
      if (registers.size() == 8) {
        *error = "more than 8 flag features (at " + s.name + ")";
        return false;
      }
      reg = registers.emplace(s.feature, int(registers.size())).first;
    }
    int value = 0;
    if (s.flag_op != 'C') {
      auto& feature_values = values[s.feature];
      auto v = feature_values.find(s.value);
      if (v == feature_values.end()) {
        if (feature_values.size() == 3) {
          *error = "more than 3 values of flag feature " + s.feature + " (at " + s.name + ")";
          return false;
        }
        v = feature_values.emplace(s.value, int(feature_values.size()) + 1).first;
      }
      value = v->second;
    }
    coding->flag_register[id] = int8_t(reg->second);
    coding->flag_value[id] = uint8_t(value);
    highest_register = std::max(highest_register, reg->second);
  }
  if (highest_register >= 0 && label_base + (highest_register << 4) + 12 > 0xFC) {
    *error = "flag registers up to " + std::to_string(highest_register) +
             " do not fit above label base " + std::to_string(label_base);
    return false;
  }
  return true;
}

// The parts of the union: the targets of the start state's epsilon arcs
// (one per source network), or the start itself.
std::vector<uint32_t> union_parts(const SourceNet& net) {
  std::vector<uint32_t> parts;
  bool other_arcs = false;
  for (const SourceArc& a : net.arcs) {
    if (a.src != net.start) continue;
    if (a.in == 0 && a.out == 0 && a.dst != net.start) {
      parts.push_back(a.dst);
    } else {
      other_arcs = true;
    }
  }
  if (other_arcs || net.final[net.start] || parts.empty()) parts = {net.start};
  return parts;
}

// Compiles every part on its own and joins them by branches: determinising
// the union of a dictionary with, say, a letter loop of another network would
// copy the loop's arcs into every dictionary state.
bool compile_network(const SourceNet& net, const SymbolSet& symbols, const SymbolCoding& coding,
                     bool surface_only, TokenAutomaton* dfa, std::string* error) {
  std::vector<TokenAutomaton> parts;
  for (uint32_t start : union_parts(net)) {
    TokenAutomaton nfa;
    TokenAutomaton part;
    if (!build_token_automaton(net, start, symbols, coding, surface_only, &nfa, error)) return false;
    if (!determinise(nfa, &part, error)) return false;
    if (part.arc_token.empty() && !part.final[part.start]) continue;  // accepts nothing
    minimise(&part);
    parts.push_back(std::move(part));
  }
  if (parts.size() == 1) {
    *dfa = std::move(parts[0]);
    return true;
  }
  if (parts.empty()) {
    *dfa = TokenAutomaton();
    dfa->final = {0};
    dfa->arc_begin = {0, 0};
    return true;
  }
  *dfa = join_by_branches(parts);
  minimise(dfa);
  return true;
}

void fill_functions(const std::vector<std::pair<int, int>>& served, FileModel* model) {
  int highest = 0;
  for (const auto& f : served) highest = std::max(highest, f.first);
  model->functions.assign(size_t(highest) + 1, 255);
  for (const auto& f : served) model->functions[size_t(f.first)] = uint8_t(f.second);
}

bool compile_unchecked(const std::vector<std::string>& paths, const CompileOptions& options,
                       FileModel* model, CompileStats* stats, std::string* error) {
  Layout layout = options.layout;
  if (layout.label_base == 0) layout.label_base = 0x40;
  if (layout.label_base % 4 != 0 || layout.label_base < 8 || layout.label_base > 0xE0) {
    *error = "the label base must be a multiple of 4 from 8 to 224";
    return false;
  }
  const uint32_t max_page = (256u - layout.label_base) / 4;
  const uint32_t page_size = layout.page_size != 0 ? layout.page_size : max_page;
  if (page_size > max_page || page_size <= kTagSeparatorIndex + 1) {
    *error = "the page size must be from 7 to " + std::to_string(max_page) + " for label base " +
             std::to_string(layout.label_base);
    return false;
  }
  layout.page_size = uint8_t(page_size);
  layout.replacement_marker = layout.label_base;
  layout.page_byte = uint8_t(layout.label_base + 12);
  layout.block_label = uint8_t(layout.label_base + 16);
  if (layout.table_width != 2) layout.table_width = 3;

  SymbolSet symbols;
  SourceNet net;
  ReadOptions read_options;
  read_options.format = options.format == SourceFormat::Att ? 1
                        : options.format == SourceFormat::Lexicon ? 2 : 0;
  read_options.skip_unmappable = options.skip_unmappable;
  ReadStats read_stats;
  if (paths.empty()) {
    *error = "no source files";
    return false;
  }
  for (const std::string& path : paths) {
    if (!read_source_file(path, read_options, &symbols, &net, &read_stats, error)) return false;
  }

  SymbolPlan plan;
  if (!plan_symbols(symbols, net, layout, page_size, &plan, error)) return false;
  SymbolCoding coding;
  coding.bytes.resize(symbols.size());
  coding.flag_register.assign(symbols.size(), -1);
  coding.flag_value.assign(symbols.size(), 0);
  for (uint32_t id = 1; id < symbols.size(); ++id) {
    if (plan.index[id] >= 0) coding.bytes[id] = symbol_bytes(uint32_t(plan.index[id]), page_size, layout);
  }
  coding.tag_separator = uint8_t(layout.label_base + 4 * kTagSeparatorIndex);
  if (!plan_flags(symbols, layout.label_base, &coding, error)) return false;

  // Which networks, serving which functions.
  bool want_expansion = options.expansion;
  std::vector<int> lookup_functions;
  for (int f : options.functions) {
    if (f < 1 || f > 254) {
      *error = "function number " + std::to_string(f) + " is out of range";
      return false;
    }
    if (f == 1) {
      want_expansion = true;
    } else {
      lookup_functions.push_back(f);
    }
  }
  if (options.functions.empty()) lookup_functions = {12, 23};

  std::vector<TokenAutomaton> automata;
  std::vector<std::pair<int, int>> served;
  if (!lookup_functions.empty()) {
    automata.emplace_back();
    if (!compile_network(net, symbols, coding, false, &automata.back(), error)) return false;
    for (int f : lookup_functions) served.emplace_back(f, int(automata.size() - 1));
  }
  if (want_expansion) {
    automata.emplace_back();
    if (!compile_network(net, symbols, coding, true, &automata.back(), error)) return false;
    served.emplace_back(1, int(automata.size() - 1));
  }

  ByteCodeParams params;
  params.label_base = layout.label_base;
  params.near_base = layout.near_base;
  params.far_base = layout.far_base;
  params.direct_base = layout.direct_base;
  const Layout default_layout;
  if (layout.near_base == default_layout.near_base && layout.far_base == default_layout.far_base &&
      layout.direct_base == default_layout.direct_base) {
    // Unless the layout asks for tables: every pointer byte a direct
    // reference. A lookup then reaches each target in one step, without a
    // table entry to read first, for a few per cent more bytes. A network
    // too large for that gets bases chosen for its size.
    params.far_base = params.direct_base = params.near_base;
  }
  params.lowest_input_label = uint8_t(layout.label_base + 12);
  params.replacement_marker = layout.replacement_marker;
  params.insertion_label = uint8_t(layout.label_base + 4);
  params.flag_marker = uint8_t(layout.label_base + 8);
  params.block_label = layout.block_label;
  params.bound_byte = layout.bound_byte;
  params.offset_table = layout.offset_table;
  params.long_direct = layout.long_direct;
  params.table_width = layout.table_width;
  params.indexed_blocks = options.indexed_blocks;
  params.block_threshold = options.block_threshold;
  // Writing in place recurses along the subtree; keep that bounded.
  params.inplace_limit = std::clamp(options.inplace_limit, 0, 4096);
  std::vector<const TokenAutomaton*> networks;
  for (const TokenAutomaton& a : automata) networks.push_back(&a);
  ByteCodeResult code;
  if (!lay_out_networks(networks, params, &code, error)) return false;

  layout.near_base = code.near_base;
  layout.far_base = code.far_base;
  layout.direct_base = code.direct_base;
  *model = FileModel();
  model->layout = layout;
  model->symbol_chars.assign(plan.index_count, 0);
  model->symbol_names.assign(plan.index_count, std::string());
  model->tags.clear();
  int lowest = 256;
  int highest = -1;
  for (uint32_t id = 1; id < symbols.size(); ++id) {
    if (plan.index[id] < 0) continue;
    const SourceSymbol& s = symbols.at(id);
    const uint32_t index = uint32_t(plan.index[id]);
    const uint8_t code_byte = uint8_t(layout.label_base + 4 * (index % page_size));
    const uint8_t pages = uint8_t(index / page_size);
    if (s.kind == SymbolKind::Char) {
      model->symbol_chars[index] = s.ch;
      lowest = std::min(lowest, int(s.ch));
      highest = std::max(highest, int(s.ch));
    } else {
      model->symbol_chars[index] = '?';
      model->symbol_names[index] = s.name;
      model->tags.emplace_back(s.name, symbol_value(code_byte, pages));
    }
  }
  std::sort(model->tags.begin(), model->tags.end());
  if (highest < 0) lowest = highest = ' ';
  model->lowest_char = uint8_t(lowest);
  model->highest_char = uint8_t(highest);
  model->code_table.assign(size_t(highest - lowest + 1), 0);
  for (uint32_t id = 1; id < symbols.size(); ++id) {
    const SourceSymbol& s = symbols.at(id);
    if (plan.index[id] < 0 || s.kind != SymbolKind::Char) continue;
    const uint32_t index = uint32_t(plan.index[id]);
    const uint8_t code_byte = uint8_t(layout.label_base + 4 * (index % page_size));
    const uint32_t pages = index / page_size;
    model->code_table[s.ch - lowest] =
        layout.code16 ? uint16_t(code_byte << 8 | pages) : uint16_t(code_byte | pages);
  }
  model->diacritics.emplace_back("*TAGSEP*", symbol_value(coding.tag_separator, 0));
  model->near_table = std::move(code.near_table);
  model->far_table = std::move(code.far_table);
  model->network_block = std::move(code.block);
  for (uint32_t start : code.starts) {
    NetworkDesc desc;
    desc.start = start;
    desc.lowest_input_label = params.lowest_input_label;
    desc.flag_marker = params.flag_marker;
    desc.initial_flags = 0;
    model->networks.push_back(desc);
  }
  fill_functions(served, model);
  model->copyright = options.copyright;
  model->version = options.version;
  model->language = options.language;

  if (stats != nullptr) {
    stats->states = code.states;
    stats->arcs = code.arcs;
    stats->dropped_paths = read_stats.dropped;
    stats->network_bytes = model->network_block.size();
  }
  return true;
}

}  // namespace

bool compile_sources(const std::vector<std::string>& paths, const CompileOptions& options,
                     FileModel* model, CompileStats* stats, std::string* error) {
  try {
    return compile_unchecked(paths, options, model, stats, error);
  } catch (const std::bad_alloc&) {
    *error = "out of memory";
    return false;
  } catch (const std::length_error&) {
    *error = "out of memory";
    return false;
  }
}

}  // namespace pmrtools
