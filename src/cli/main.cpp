// dtconv: converts captures from the command line with the same conversion job as the desktop
// program.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_options.h"
#include "cli/info.h"
#include "cli/inputs.h"
#include "cli/progress.h"
#include "pipeline/conversion_job.h"
#include "platform/unicode.h"

#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <io.h>
#include <shellapi.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace dtconv::cli {
namespace {

struct Input {
  fs::path path;
  fs::path output;
  Result early;  // a failure found before converting (colliding output)
};

// A thread-safe queue of the inputs still to convert.
class QueueSource : public InputSource {
 public:
  explicit QueueSource(std::vector<const Input*> items) : items_(std::move(items)) {}
  bool Next(fs::path* p) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_ >= items_.size() || closed_) return false;
    *p = items_[next_++]->path;
    return true;
  }
  // Hands out nothing more and returns the inputs never handed out.
  std::vector<const Input*> Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    return {items_.begin() + static_cast<std::ptrdiff_t>(next_), items_.end()};
  }

 private:
  std::mutex mutex_;
  std::vector<const Input*> items_;
  size_t next_ = 0;
  bool closed_ = false;
};

// Set by Ctrl-C (SIGINT, or the console's control handler on Windows).
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  g_interrupted.store(true);
  return TRUE;
}
void CatchInterrupt() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }
bool IsTerminal(std::FILE* f) { return _isatty(_fileno(f)) != 0; }
#else
extern "C" void OnInterrupt(int) { g_interrupted.store(true); }
void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
  sigaction(SIGINT, &action, nullptr);
}
bool IsTerminal(std::FILE* f) { return isatty(fileno(f)) != 0; }
#endif

// What every worker shares: the printing lock, the progress of each worker's file and the totals.
class Board {
 public:
  Board(bool bar, uint64_t totalBytes, size_t totalFiles)
      : bar_(bar), start_(std::chrono::steady_clock::now()) {
    state_.totalBytes = totalBytes;
    state_.filesTotal = totalFiles;
  }

  struct Slot {
    ConversionSession* session = nullptr;
    uint64_t fileBytes = 0;  // size of the file in flight, 0 when idle
  };

  size_t AddSlot(ConversionSession* session) {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_.push_back({session, 0});
    return slots_.size() - 1;
  }
  void FileStarted(size_t slot, uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_[slot].fileBytes = bytes;
  }
  void FileDone(size_t slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.doneBytes += slots_[slot].fileBytes;
    slots_[slot].fileBytes = 0;
    ++state_.filesDone;
  }
  // Prints a whole line on `to`, first clearing the progress line.
  void Print(std::FILE* to, const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLocked();
    std::fputs(line.c_str(), to);
    std::fflush(to);
  }
  void Draw() {
    if (!bar_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    ProgressState s = state_;
    for (const Slot& slot : slots_) {
      if (slot.fileBytes == 0) continue;
      uint64_t walked = slot.session->context.recordsWalked.load(std::memory_order_relaxed);
      s.doneBytes += std::min<uint64_t>(walked * sizeof(MonitorRecord), slot.fileBytes);
    }
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string line = FormatProgressLine(s);
    size_t width = std::max(line.size(), drawn_);
    line.resize(width, ' ');
    std::fprintf(stderr, "\r%s\r", line.c_str());
    std::fflush(stderr);
    drawn_ = width;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLocked();
  }
  void CancelAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Slot& slot : slots_) slot.session->output.RequestCancel();
  }

 private:
  void ClearLocked() {
    if (drawn_ == 0) return;
    std::fprintf(stderr, "\r%s\r", std::string(drawn_, ' ').c_str());
    std::fflush(stderr);
    drawn_ = 0;
  }

  bool bar_;
  std::chrono::steady_clock::time_point start_;
  std::mutex mutex_;
  ProgressState state_;
  std::vector<Slot> slots_;
  size_t drawn_ = 0;
};

class Printer : public JobObserver {
 public:
  Printer(Board* board, size_t slot, bool quiet, std::atomic<int>* failures)
      : board_(board), slot_(slot), quiet_(quiet), failures_(failures) {}
  void OnFileStart(const fs::path& input, const fs::path&) override {
    std::error_code ec;
    uint64_t bytes = fs::file_size(input, ec);
    board_->FileStarted(slot_, ec ? 0 : bytes);
  }
  void OnFileDone(const fs::path& input, const fs::path& output, Result result) override {
    board_->FileDone(slot_);
    if (result.ok()) {
      if (!quiet_) board_->Print(stdout, Utf8(input) + " -> " + Utf8(output) + "\n");
    } else if (result == kResultCancelled) {
      board_->Print(stderr, "dtconv: " + Utf8(input) + ": stopped; no output written\n");
    } else {
      ++*failures_;
      board_->Print(stderr, "dtconv: " + Utf8(input) + ": " + ResultMessage(result) + " (" +
                                ResultReason(result) + ")\n");
    }
  }

 private:
  Board* board_;
  size_t slot_;
  bool quiet_;
  std::atomic<int>* failures_;
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

// The output folder, created when missing; false (with a message) when it cannot be.
bool PrepareOutputFolder(const CliRequest& req, JobOptions* jobOptions) {
  if (req.outputDir.empty()) return true;
  jobOptions->outputDir = PathFromUtf8(req.outputDir);
  std::error_code ec;
  fs::create_directories(jobOptions->outputDir, ec);
  if (ec || !fs::is_directory(jobOptions->outputDir)) {
    std::fprintf(stderr, "dtconv: %s: cannot create the output folder: %s\n", req.outputDir.c_str(),
                 ec ? ec.message().c_str() : "not a folder");
    return false;
  }
  return true;
}

// The inputs to convert: those whose output no other input also writes. On a case-insensitive
// system "a.txt" and "A.txt" are one file too, so outputs are compared without case.
std::vector<const Input*> InputsToConvert(std::vector<Input>& inputs, int32_t type,
                                          const JobOptions& jobOptions, bool* anyError) {
  std::map<std::string, std::vector<Input*>> byOutput;
  for (Input& in : inputs) {
    if (DeriveOutputPath(in.path, type, jobOptions.outputDir, &in.output).ok()) {
      byOutput[Lower(Utf8(fs::absolute(in.output).lexically_normal()))].push_back(&in);
    }
  }
  for (auto& [name, group] : byOutput) {
    if (group.size() < 2) continue;
    for (Input* in : group) {
      in->early = kResultOutputIsInput;
      std::fprintf(stderr, "dtconv: %s: not converted: %s is also the output of another input\n",
                   Utf8(in->path).c_str(), Utf8(in->output).c_str());
      *anyError = true;
    }
  }
  std::vector<const Input*> todo;
  for (const Input& in : inputs) {
    if (in.early.ok()) todo.push_back(&in);
  }
  return todo;
}

// Converts the inputs on `workers` threads, one session each, showing the progress on `board`;
// Ctrl-C stops them (`stopped`). Returns the number of files that failed.
int ConvertOnWorkers(const CliRequest& req, const CvtSettings& settings,
                     const JobOptions& jobOptions, const std::vector<const Input*>& todo,
                     unsigned workers, Board& board, bool* stopped) {
  QueueSource source(todo);
  std::atomic<int> failures{0};
  std::atomic<bool> stop{false};
  std::vector<std::unique_ptr<ConversionSession>> sessions;
  for (unsigned i = 0; i < workers; ++i) {
    sessions.push_back(std::make_unique<ConversionSession>());
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
      sessions.back()->context.bannerTime = std::strtoll(epoch, nullptr, 10);
    }
    board.AddSlot(sessions.back().get());
  }
  std::atomic<unsigned> running{workers};
  // The last worker to finish wakes the watch loop, so the command ends with its conversions and
  // not up to one polling interval later.
  std::mutex doneMutex;
  std::condition_variable done;
  auto work = [&](unsigned slot) {
    Printer printer(&board, slot, req.quiet, &failures);
    ConversionJob(*sessions[slot], settings, source, printer, stop, DefaultConverterTable(),
                  jobOptions);
    if (--running == 0) {
      std::lock_guard<std::mutex> lock(doneMutex);
      done.notify_all();
    }
  };
  CatchInterrupt();
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < workers; ++i) threads.emplace_back(work, i);
  // Watches for Ctrl-C and redraws the progress line until the workers are done.
  auto lastDraw = std::chrono::steady_clock::now();
  std::vector<const Input*> notStarted;
  while (running.load() > 0) {
    {
      std::unique_lock<std::mutex> lock(doneMutex);
      done.wait_for(lock, std::chrono::milliseconds(20), [&] { return running.load() == 0; });
    }
    if (g_interrupted.load() && !stop.load()) {
      stop.store(true);
      notStarted = source.Close();
      board.CancelAll();
    }
    auto now = std::chrono::steady_clock::now();
    if (now - lastDraw >= std::chrono::milliseconds(200)) {
      board.Draw();
      lastDraw = now;
    }
  }
  for (auto& t : threads) t.join();
  board.Clear();
  *stopped = stop.load();
  for (const Input* in : notStarted) {
    std::fprintf(stderr, "dtconv: %s: not converted (stopped)\n", Utf8(in->path).c_str());
  }
  return failures.load();
}

int RunConvert(const CliRequest& req) {
  for (const std::string& w : req.warnings)
    std::fprintf(stderr, "dtconv: warning: %s\n", w.c_str());
  CvtSettings settings = BuildCvtSettings(req.options);
  settings.interfaceNames = req.interfaceNames;
  settings.selection = req.selection;
  settings.signals = req.signals;
  JobOptions jobOptions;
  if (!PrepareOutputFolder(req, &jobOptions)) return 1;
  bool anyError = false;
  std::vector<Input> inputs;
  for (fs::path& p : ExpandInputs(req.paths, &anyError)) {
    inputs.push_back({std::move(p), {}, kResultOk});
  }
  std::vector<const Input*> todo = InputsToConvert(inputs, settings.type, jobOptions, &anyError);
  unsigned workers = req.jobs > 0 ? static_cast<unsigned>(req.jobs)
                                  : std::max(1u, std::thread::hardware_concurrency());
  workers = std::min<unsigned>(workers, std::max<size_t>(todo.size(), 1));
  uint64_t totalBytes = 0;
  for (const Input* in : todo) {
    std::error_code ec;
    uint64_t bytes = fs::file_size(in->path, ec);
    if (!ec) totalBytes += bytes;
  }
  Board board(!req.quiet && IsTerminal(stderr), totalBytes, todo.size());
  bool stopped = false;
  int failed = ConvertOnWorkers(req, settings, jobOptions, todo, workers, board, &stopped);
  if (stopped) return 130;
  return anyError || failed > 0 ? 1 : 0;
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
