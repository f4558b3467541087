// A plain main for a fuzz target: runs LLVMFuzzerTestOneInput once over every file named on the
// command line, or over every file in a folder named there (in name order). Built without
// libFuzzer, so that the corpus and every input that once crashed replay as a regression test
// under the sanitizers of an ordinary build.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", file.string().c_str());
    return false;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // An exact-size copy, so that a read one byte past the input is caught as it would be by
  // the fuzzer.
  std::vector<uint8_t> exact(bytes.begin(), bytes.end());
  exact.shrink_to_fit();
  LLVMFuzzerTestOneInput(exact.data(), exact.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  size_t replayed = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg = argv[i];
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& e : std::filesystem::directory_iterator(arg)) {
        if (e.is_regular_file()) files.push_back(e.path());
      }
      std::sort(files.begin(), files.end());
      if (files.empty()) {
        std::fprintf(stderr, "replay: %s holds no inputs\n", arg.string().c_str());
        ok = false;
      }
    } else {
      files.push_back(arg);
    }
    for (const auto& f : files) {
      ok = Replay(f) && ok;
      ++replayed;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  return ok && replayed > 0 ? 0 : 1;
}
