// dtconv: converts captures from the command line with the same conversion job as the desktop
// program.
#include <algorithm>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_options.h"
#include "cli/info.h"
#include "pipeline/conversion_job.h"
#include "platform/unicode.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace fs = std::filesystem;

namespace dtconv::cli {
namespace {

std::string Utf8(const fs::path& p) {
  auto s = p.u8string();
  return std::string(s.begin(), s.end());
}

fs::path PathFromUtf8(const std::string& s) {
  return fs::path(std::u8string(s.begin(), s.end()));
}

bool IsCaptureName(const fs::path& p) {
  std::string ext = Utf8(p.extension());
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
  return ext == ".DT";
}

struct Input {
  fs::path path;
  fs::path output;
  uint32_t early = 0;  // a failure found before converting (missing file, colliding output)
};

// Expands folders into their *.DT files (sorted by name) and keeps files as given.
std::vector<Input> CollectInputs(const std::vector<std::string>& args, bool* anyError) {
  std::vector<Input> inputs;
  for (const std::string& a : args) {
    fs::path p = PathFromUtf8(a);
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
      std::vector<fs::path> found;
      for (const auto& e : fs::directory_iterator(p, ec)) {
        if (e.is_regular_file(ec) && IsCaptureName(e.path())) found.push_back(e.path());
      }
      if (ec) {
        std::fprintf(stderr, "dtconv: %s: cannot list the folder: %s\n", a.c_str(),
                     ec.message().c_str());
        *anyError = true;
        continue;
      }
      if (found.empty()) std::fprintf(stderr, "dtconv: %s: no *.DT files in this folder\n", a.c_str());
      std::sort(found.begin(), found.end());
      for (auto& f : found) inputs.push_back({f, {}, 0});
    } else {
      inputs.push_back({p, {}, 0});
    }
  }
  return inputs;
}

// A thread-safe queue of the inputs still to convert.
class QueueSource : public InputSource {
 public:
  explicit QueueSource(std::vector<const Input*> items) : items_(std::move(items)) {}
  bool Next(fs::path* p) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_ >= items_.size()) return false;
    *p = items_[next_++]->path;
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<const Input*> items_;
  size_t next_ = 0;
};

class Printer : public JobObserver {
 public:
  Printer(std::mutex* mutex, bool quiet, std::atomic<int>* failures)
      : mutex_(mutex), quiet_(quiet), failures_(failures) {}
  void OnFileDone(const fs::path& input, const fs::path& output, uint32_t result) override {
    std::lock_guard<std::mutex> lock(*mutex_);
    if (result == 0) {
      if (!quiet_) std::printf("%s -> %s\n", Utf8(input).c_str(), Utf8(output).c_str());
    } else {
      ++*failures_;
      std::fprintf(stderr, "dtconv: %s: %s (%s)\n", Utf8(input).c_str(), ResultMessage(result),
                   ResultReason(result).c_str());
    }
    std::fflush(stdout);
  }

 private:
  std::mutex* mutex_;
  bool quiet_;
  std::atomic<int>* failures_;
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

int RunConvert(const CliRequest& req) {
  for (const std::string& w : req.warnings) std::fprintf(stderr, "dtconv: warning: %s\n", w.c_str());
  bool anyError = false;
  CvtSettings settings = BuildCvtSettings(req.options);
  JobOptions jobOptions;
  if (!req.outputDir.empty()) {
    jobOptions.outputDir = PathFromUtf8(req.outputDir);
    std::error_code ec;
    fs::create_directories(jobOptions.outputDir, ec);
    if (ec || !fs::is_directory(jobOptions.outputDir)) {
      std::fprintf(stderr, "dtconv: %s: cannot create the output folder: %s\n",
                   req.outputDir.c_str(), ec ? ec.message().c_str() : "not a folder");
      return 1;
    }
  }
  std::vector<Input> inputs = CollectInputs(req.paths, &anyError);
  // Two inputs must never write one output: on a case-insensitive system "a.txt" and "A.txt" are
  // one file too, so outputs are compared without case.
  std::map<std::string, std::vector<Input*>> byOutput;
  for (Input& in : inputs) {
    if (DeriveOutputPath(in.path, settings.type, jobOptions.outputDir, &in.output) == 0) {
      byOutput[Lower(Utf8(fs::absolute(in.output).lexically_normal()))].push_back(&in);
    }
  }
  for (auto& [name, group] : byOutput) {
    if (group.size() < 2) continue;
    for (Input* in : group) {
      in->early = kResultOutputIsInput;
      std::fprintf(stderr, "dtconv: %s: not converted: %s is also the output of another input\n",
                   Utf8(in->path).c_str(), Utf8(in->output).c_str());
      anyError = true;
    }
  }
  std::vector<const Input*> todo;
  for (const Input& in : inputs) {
    if (in.early == 0) todo.push_back(&in);
  }
  unsigned workers = req.jobs > 0 ? static_cast<unsigned>(req.jobs)
                                  : std::max(1u, std::thread::hardware_concurrency());
  workers = std::min<unsigned>(workers, std::max<size_t>(todo.size(), 1));
  QueueSource source(todo);
  std::mutex printMutex;
  std::atomic<int> failures{0};
  std::atomic<bool> stop{false};
  auto work = [&] {
    ConversionSession session;
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
      session.context.bannerTime = std::strtoll(epoch, nullptr, 10);
    }
    Printer printer(&printMutex, req.quiet, &failures);
    ConversionJob(session, settings, source, printer, stop, DefaultConverterTable(), jobOptions);
  };
  if (workers <= 1) {
    work();
  } else {
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < workers; ++i) threads.emplace_back(work);
    for (auto& t : threads) t.join();
  }
  return anyError || failures > 0 ? 1 : 0;
}

}  // namespace
}  // namespace dtconv::cli

int main(int argc, char** argv) {
  // The locale's character set is the "ANSI" code page of text outputs on POSIX; numbers are
  // always printed in the C locale.
  std::setlocale(LC_CTYPE, "");
  std::vector<std::string> args;
#ifdef _WIN32
  int wargc = 0;
  wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
  for (int i = 1; i < wargc; ++i) {
    args.push_back(dtconv::platform::Utf16ToUtf8(reinterpret_cast<const char16_t*>(wargv[i])));
  }
  LocalFree(wargv);
  SetConsoleOutputCP(CP_UTF8);
  (void)argc;
  (void)argv;
#else
  args.assign(argv + 1, argv + argc);
#endif
  dtconv::cli::CliRequest req = dtconv::cli::ParseCommandLine(args);
  switch (req.command) {
    case dtconv::cli::Command::kExit:
      std::fputs(req.message.c_str(), req.exitCode == 0 ? stdout : stderr);
      return req.exitCode;
    case dtconv::cli::Command::kInfo:
      return dtconv::cli::RunInfo(req);
    case dtconv::cli::Command::kConvert:
      break;
  }
  return dtconv::cli::RunConvert(req);
}
