#include "robust_support.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <stdexcept>

#include "capture_recipe.h"
#include "run_converter.h"
#include "test_files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dtconv::test {

namespace fs = std::filesystem;

namespace {

bool MakeEntry(const fs::path& path, const std::string& kind, const std::string& arg) {
  std::error_code ec;
  if (kind == "cut") {
    int64_t n = std::stoll(arg);
    fs::resize_file(path, static_cast<uint64_t>(n >= 0 ? n : fs::file_size(path) + n), ec);
    return !ec;
  }
  fs::remove_all(path, ec);
  if (kind == "text") {
    std::ofstream(path, std::ios::binary) << Unescape(arg);
  } else if (kind == "copy") {
    std::istringstream words(arg);
    std::string from;
    size_t n = 0;
    words >> from >> n;
    std::string text = ReadFileBytes(fs::path(DTCONV_CASES_DIR) / from);
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, n, 'x');
    std::ofstream(path, std::ios::binary) << text;
  } else if (kind == "capture") {
    WriteFile(path, BuildRecipe(arg));
  } else if (kind == "dir") {
    fs::create_directories(path);
  } else if (kind == "link") {
    fs::create_symlink(arg, path, ec);
  } else if (kind == "hardlink") {
    fs::create_hard_link(path.parent_path() / arg, path, ec);
  } else if (kind == "fifo") {
#ifdef _WIN32
    return false;
#else
    return ::mkfifo(path.c_str(), 0644) == 0;
#endif
  } else if (kind != "gone") {
    throw std::invalid_argument("no such entry: " + kind);
  }
  return !ec;
}

}  // namespace

bool MakeEntries(const fs::path& dir, const std::string& statements) {
  std::istringstream in(statements);
  for (std::string s; std::getline(in, s, ';');) {
    std::istringstream words(s);
    std::string name, kind, arg;
    words >> name >> kind >> std::ws;
    std::getline(words, arg);
    size_t open = name.find('{'), dots = name.find(".."), close = name.find('}');
    int first = 0, last = 0;
    if (open != std::string::npos) {
      first = std::stoi(name.substr(open + 1));
      last = std::stoi(name.substr(dots + 2));
    }
    for (int n = first; n <= last; ++n) {
      std::string one = open == std::string::npos
                            ? name
                            : name.substr(0, open) + std::to_string(n) + name.substr(close + 1);
      if (!MakeEntry(dir / one, kind, arg)) return false;
    }
  }
  return true;
}

std::vector<std::string> DescribeFolder(const fs::path& dir) {
  std::vector<std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    std::string name = e.path().lexically_relative(dir).generic_string() + ": ";
    if (e.is_symlink()) {
      entries.push_back(name + "link " + fs::read_symlink(e.path()).generic_string());
    } else if (e.is_directory()) {
      entries.push_back(name + "dir");
    } else if (!e.is_regular_file()) {
      entries.push_back(name + "fifo");
    } else {
      std::string bytes = ReadFileBytes(e.path());
      uint64_t hash = 14695981039346656037ull;  // FNV-1a
      for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
      entries.push_back(name + std::to_string(bytes.size()) + " bytes, hash " +
                        std::to_string(hash));
    }
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

bool FinishesInTime(const std::function<void()>& work, const fs::path& dir) {
  std::future<void> done = std::async(std::launch::async, work);
  if (done.wait_for(std::chrono::seconds(20)) == std::future_status::ready) {
    done.get();
    return true;
  }
#ifndef _WIN32
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_fifo()) ::close(::open(e.path().c_str(), O_RDWR | O_NONBLOCK));
  }
#else
  (void)dir;
#endif
  if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    std::fprintf(stderr, "FAILED: still running after 40 s, even with its pipes opened\n");
    std::abort();
  }
  done.get();
  return false;
}

Result RunJob(const std::vector<fs::path>& inputs, const CvtSettings& settings,
              const ConverterTable& table, JobObserver& observer, const fs::path& outputDir,
              const std::atomic<bool>* stop) {
  struct List : InputSource {
    std::vector<fs::path> paths;
    size_t next = 0;
    bool Next(fs::path* p) override { return next < paths.size() && (*p = paths[next++], true); }
  } source;
  source.paths = inputs;
  ConversionSession session;
  session.context.bannerTime = kBannerTime;
  std::atomic<bool> never{false};
  return ConversionJob(session, settings, source, observer, stop ? *stop : never, table,
                       {outputDir});
}

}  // namespace dtconv::test
