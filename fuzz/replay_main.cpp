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

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  size_t replayed = 0;
  bool ok = argc > 1;
  for (fs::path arg : std::vector<fs::path>(argv + 1, argv + argc)) {
    std::vector<fs::path> files{arg};
    if (fs::is_directory(arg)) {
      files.clear();
      for (const auto& e : fs::directory_iterator(arg))
        if (e.is_regular_file()) files.push_back(e.path());
      std::sort(files.begin(), files.end());
    }
    ok = ok && !files.empty();
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      // An exact-size copy, so that a read one byte past the input is caught as it would be by
      // the fuzzer.
      std::vector<uint8_t> exact((std::istreambuf_iterator<char>(in)), {});
      exact.shrink_to_fit();
      if (!in) std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
      ok = ok && in;
      LLVMFuzzerTestOneInput(exact.data(), exact.size());
      ++replayed;
    }
    if (files.empty()) std::fprintf(stderr, "replay: %s holds no inputs\n", arg.c_str());
  }
  std::printf("replayed %zu inputs\n", replayed);
  return ok ? 0 : 1;
}
