// fsttest.h - test helpers shared by the test files: temporary files that
// remove themselves, a transducer loaded from a FileModel (freed and removed
// on destruction) and a small model to start from.
#ifndef PMR_TESTS_FSTTEST_H
#define PMR_TESTS_FSTTEST_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fstmodel.h"
#include "pmr.h"

namespace pmrtest {

// A file with a unique name under the temporary directory, removed when
// the object goes.
class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir != nullptr && *dir ? dir : "/tmp") + "/pmr_test_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    const int fd = mkstemp(name.data());
    if (fd < 0) return;
    path_ = name.data();
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += size_t(n);
    }
    close(fd);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

// The bytes of a model's file; an empty vector when the writer refuses it.
inline std::vector<uint8_t> file_bytes(const pmrtools::FileModel& model,
                                       std::string* error = nullptr) {
  std::vector<uint8_t> bytes;
  std::string message;
  if (!pmrtools::write_fst_file(model, &bytes, &message)) bytes.clear();
  if (error != nullptr) *error = message;
  return bytes;
}

// A transducer loaded from file bytes or a model. get() is the pmr_make_fsm
// result (possibly an error object); code() its pmr_object_error_code.
class LoadedFsm {
 public:
  explicit LoadedFsm(const std::vector<uint8_t>& bytes) : file_(bytes) {
    fsm_ = pmr_make_fsm(file_.path());
  }
  explicit LoadedFsm(const pmrtools::FileModel& model) : LoadedFsm(file_bytes(model)) {}
  LoadedFsm(const LoadedFsm&) = delete;
  LoadedFsm& operator=(const LoadedFsm&) = delete;
  ~LoadedFsm() { pmr_free_fsm(fsm_); }
  pmr_fsm* get() const { return fsm_; }
  int32_t code() const { return pmr_object_error_code(fsm_); }
  bool ok() const { return code() == 0; }
  const char* path() const { return file_.path(); }

 private:
  TempFile file_;
  pmr_fsm* fsm_ = nullptr;
};

// The small model's alphabet (label base 0x40, page size 48, page byte 0xFC,
// page-before layout, 8-bit code table):
//   index 1 *TAGSEP* (0x44), 2 EOS (0x48), 3 TB (0x4C),
//   4..8 the letters a..e (0x50..0x60),
//   9 [Noun] (0x64), 10 [Verb] (0x68), 11 [Pl] (0x6C),
//   48 the letter z (code 0x40, one page), 49 [Sg] (code 0x44, one page).
// The code table covers a..z; letters f..y are not in the alphabet. One
// network (start state with no arcs); the function table is empty.
namespace small {
constexpr uint8_t kTagSep = 0x44;
constexpr uint8_t kEos = 0x48;
constexpr uint8_t kTb = 0x4C;
constexpr uint8_t kA = 0x50;
constexpr uint8_t kNoun = 0x64;
constexpr uint8_t kVerb = 0x68;
constexpr uint8_t kPl = 0x6C;
constexpr uint8_t kPage = 0xFC;
}  // namespace small

inline pmrtools::FileModel small_model() {
  using namespace small;
  pmrtools::FileModel model;
  model.layout.page_byte = kPage;
  model.layout.block_label = 0xF8;
  model.layout.replacement_marker = 0xF4;
  model.symbol_chars.assign(50, '?');
  model.symbol_names.assign(50, "");
  for (int i = 0; i < 5; ++i) model.symbol_chars[4 + i] = uint16_t('a' + i);
  model.symbol_chars[48] = 'z';
  const char* tags[] = {"Noun", "Verb", "Pl"};
  for (int i = 0; i < 3; ++i) {
    model.symbol_names[9 + i] = tags[i];
    model.tags.push_back({tags[i], pmrtools::symbol_value(uint8_t(kNoun + 4 * i), 0)});
  }
  model.symbol_names[49] = "Sg";
  model.tags.push_back({"Sg", pmrtools::symbol_value(0x44, 1)});
  model.diacritics = {{"*TAGSEP*", pmrtools::symbol_value(kTagSep, 0)},
                      {"EOS", pmrtools::symbol_value(kEos, 0)},
                      {"TB", pmrtools::symbol_value(kTb, 0)}};
  model.lowest_char = 'a';
  model.highest_char = 'z';
  model.code_table.assign(26, 0);
  for (int i = 0; i < 5; ++i) model.code_table[i] = uint16_t(kA + 4 * i);
  model.code_table[25] = 0x41;  // z: code byte 0x40, one page byte
  model.network_block = {0x40, 0x00};
  model.networks.push_back({});
  model.copyright = "Copyright test";
  model.version = "1.2";
  return model;
}

}  // namespace pmrtest

#endif
