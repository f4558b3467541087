#include "cli/inputs.h"

#include <algorithm>
#include <cstdio>

namespace dtconv::cli {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& p) {
  auto s = p.u8string();
  return std::string(s.begin(), s.end());
}

fs::path PathFromUtf8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

bool IsCaptureName(const fs::path& p) {
  std::string ext = Utf8(p.extension());
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return ext == ".DT";
}

std::vector<fs::path> ExpandInputs(const std::vector<std::string>& args, bool* anyError) {
  std::vector<fs::path> inputs;
  for (const std::string& a : args) {
    fs::path p = PathFromUtf8(a);
    std::error_code ec;
    if (!fs::is_directory(p, ec)) {
      inputs.push_back(p);
      continue;
    }
    std::vector<fs::path> found;
    for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code typeError;
      if (it->is_regular_file(typeError) && IsCaptureName(it->path())) found.push_back(it->path());
    }
    if (ec) {
      std::fprintf(stderr, "dtconv: %s: cannot list the folder: %s\n", a.c_str(),
                   ec.message().c_str());
      *anyError = true;
      continue;
    }
    if (found.empty())
      std::fprintf(stderr, "dtconv: %s: no *.DT files in this folder\n", a.c_str());
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
  }
  return inputs;
}

}  // namespace dtconv::cli
