// replay_main.cpp - runs a fuzz target's entry point on saved inputs without
// libFuzzer: every regular file below the directory given as the first
// argument, in sorted path order. A missing or empty directory is no error,
// so a target without saved inputs still passes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> input_files(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code error;
  if (!fs::is_directory(dir, error)) return files;
  for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file(error)) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool read_file(const fs::path& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s corpus-directory\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> files = input_files(argv[1]);
  for (const fs::path& path : files) {
    std::vector<uint8_t> bytes;
    if (!read_file(path, &bytes)) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 1;
    }
    // An empty vector's data() may be null; the entry point expects a pointer.
    static const uint8_t kNoBytes[1] = {0};
    LLVMFuzzerTestOneInput(bytes.empty() ? kNoBytes : bytes.data(), bytes.size());
  }
  std::printf("replayed %zu inputs from %s\n", files.size(), argv[1]);
  return 0;
}
