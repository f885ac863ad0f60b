// fuzz_input.h - the fuzz targets' way of handing an input to the library
// operations that read files: one temporary file per process, rewritten with
// every input and removed when the process ends. Also the abort used when a
// target finds a result that breaks a documented property.
#ifndef PMR_FUZZ_INPUT_H
#define PMR_FUZZ_INPUT_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzinput {

inline std::string& temp_path() {
  static std::string path;
  return path;
}

inline void remove_temp_file() {
  if (!temp_path().empty()) ::unlink(temp_path().c_str());
}

// Writes the input to this process's temporary file and returns its name.
inline const char* write_temp_file(const uint8_t* data, size_t size) {
  std::string& path = temp_path();
  if (path.empty()) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir != nullptr && *dir != 0 ? dir : "/tmp") + "/pmr_fuzz_XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
      std::perror("mkstemp");
      std::abort();
    }
    ::close(fd);
    path = pattern;
    std::atexit(remove_temp_file);
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size)) {
    std::perror(path.c_str());
    std::abort();
  }
  std::fclose(file);
  return path.c_str();
}

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

inline void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

}  // namespace fuzzinput

#endif
