// POSIX implementation of the platform layer.
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>

#include "platform/platform.h"
#include "platform/unicode.h"

namespace dtconv::platform {

namespace {
Result ErrnoResult(int err) { return Result::System(SystemErrorFromErrno(err)); }

// A file mapped by FileImage may be cut short by another program while it is read (a copy over
// it, a recorder rewriting it). A read of a page past the new end raises SIGBUS, whose default
// action would end the whole batch. The guard below is the one piece of process-wide state of the
// core, as signal dispositions are process-wide: a fixed table of the mappings in use, read by the
// handler without locks. For a fault inside a watched mapping the handler maps zero-filled pages
// over the rest of it, marks it cut and lets the read go on; any other SIGBUS goes to the handler
// that was there before (or the default action).
struct GuardSlot {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> cut{false};
};
constexpr int kGuardSlots = 256;
GuardSlot g_guard[kGuardSlots];
struct sigaction g_previousBusHandler;
uintptr_t g_pageSize = 4096;
std::once_flag g_guardInstalled;

static_assert(std::atomic<uintptr_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler reads the guard table without locks");

// Maps zero-filled pages over [from, from + length) with the raw system call, which a signal
// handler may make (the C library's mmap is not among the functions it may call). MAP_FAILED
// where there is no such call.
void* MapZerosFromHandler(uintptr_t from, uintptr_t length) {
#ifdef SYS_mmap
  return reinterpret_cast<void*>(
      ::syscall(SYS_mmap, from, length, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0));
#else
  (void)from;
  (void)length;
  return MAP_FAILED;
#endif
}

// The handler does only what a signal handler may: lock-free loads of the guard table, the raw
// system call, a store to a lock-free flag, and sigaction.
void OnBusError(int signal, siginfo_t* info, void* context) {
  int savedErrno = errno;
  auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardSlot& slot : g_guard) {
    uintptr_t begin = slot.begin.load(std::memory_order_acquire);
    uintptr_t end = slot.end.load(std::memory_order_acquire);
    if (begin == 0 || address < begin || address >= end) continue;
    uintptr_t from = address / g_pageSize * g_pageSize;
    if (MapZerosFromHandler(from, end - from) == MAP_FAILED) break;
    slot.cut.store(true, std::memory_order_release);
    errno = savedErrno;
    return;
  }
  errno = savedErrno;
  const struct sigaction& previous = g_previousBusHandler;
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
    previous.sa_sigaction(signal, info, context);
    return;
  }
  if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN &&
      previous.sa_handler != nullptr) {
    previous.sa_handler(signal);
    return;
  }
  // The default action: the faulting read runs again and ends the process as it would have.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(SIGBUS, &fallback, nullptr);
}

void InstallBusGuard() {
  g_pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &g_previousBusHandler);
}

// Starts watching a mapping; -1 when every slot is taken (the mapping is then unguarded).
int WatchMapping(const uint8_t* data, uint64_t size) {
  std::call_once(g_guardInstalled, InstallBusGuard);
  for (int i = 0; i < kGuardSlots; ++i) {
    uintptr_t expected = 0;
    auto begin = reinterpret_cast<uintptr_t>(data);
    if (g_guard[i].begin.compare_exchange_strong(expected, begin, std::memory_order_acq_rel)) {
      g_guard[i].cut.store(false, std::memory_order_relaxed);
      g_guard[i].end.store(begin + size, std::memory_order_release);
      return i;
    }
  }
  return -1;
}

void StopWatching(int slot) {
  if (slot < 0) return;
  g_guard[slot].end.store(0, std::memory_order_release);
  g_guard[slot].begin.store(0, std::memory_order_release);
}
}  // namespace

uint32_t SystemErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return 2;  // ERROR_FILE_NOT_FOUND
    case ENOTDIR:
      return 3;  // ERROR_PATH_NOT_FOUND
    case EMFILE:
    case ENFILE:
      return 4;  // ERROR_TOO_MANY_OPEN_FILES
    case EACCES:
    case EPERM:
    case EISDIR:
      return 5;  // ERROR_ACCESS_DENIED
    case ENOMEM:
      return 8;  // ERROR_NOT_ENOUGH_MEMORY
    case EROFS:
      return 19;  // ERROR_WRITE_PROTECT
    case EBUSY:
      return 32;  // ERROR_SHARING_VIOLATION
    case EINVAL:
      return 87;  // ERROR_INVALID_PARAMETER
    case ENOSPC:
      return 112;  // ERROR_DISK_FULL
    case ENAMETOOLONG:
      return 206;  // ERROR_FILENAME_EXCED_RANGE
    case EIO:
      return 1117;  // ERROR_IO_DEVICE
    case ELOOP:
      return 1921;  // ERROR_CANT_RESOLVE_FILENAME
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

InputFile::~InputFile() { Close(); }

Result InputFile::Open(const std::filesystem::path& path) {
  Close();
  // O_NONBLOCK: opening a FIFO (or a device that waits for a peer) must not hang the job; such a
  // file is refused by Size, and reads of a regular file are not affected by the flag.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return ErrnoResult(errno);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return ErrnoResult(errno);
  if (S_ISDIR(st.st_mode)) return ErrnoResult(EISDIR);
  return kResultOk;
}

Result InputFile::Size(uint64_t* size) {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return ErrnoResult(errno);
  // Only regular files have a meaningful size; a pipe or device is not a capture.
  if (!S_ISREG(st.st_mode)) return Result::System(50);  // ERROR_NOT_SUPPORTED
  *size = static_cast<uint64_t>(st.st_size);
  return kResultOk;
}

Result InputFile::Read(void* buffer, size_t count) {
  auto* p = static_cast<char*>(buffer);
  while (count > 0) {
    ssize_t n = ::read(fd_, p, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoResult(errno);
    }
    if (n == 0) return kResultInputCut;  // the file shrank under us
    p += n;
    count -= static_cast<size_t>(n);
  }
  return kResultOk;
}

void InputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

FileImage& FileImage::operator=(FileImage&& other) noexcept {
  if (this != &other) {
    Reset();
    data_ = other.data_;
    size_ = other.size_;
    mapped_ = other.mapped_;
    buffer_ = std::move(other.buffer_);
    guard_ = other.guard_;
    fd_ = other.fd_;
    other.data_ = nullptr;
    other.size_ = 0;
    other.mapped_ = false;
    other.guard_ = -1;
    other.fd_ = -1;
  }
  return *this;
}

Result FileImage::Load(InputFile& file, uint64_t size) {
  Reset();
  void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd_, 0);
  if (view != MAP_FAILED) {
    // Read ahead generously; the walk gives back what it has passed (ReleaseRange).
    ::madvise(view, size, MADV_SEQUENTIAL);
    data_ = static_cast<const uint8_t*>(view);
    size_ = size;
    mapped_ = true;
    guard_ = WatchMapping(data_, size_);
    // A cut inside the last page reads as zeros without a fault; only the file's size tells.
    fd_ = ::fcntl(file.fd_, F_DUPFD_CLOEXEC, 0);
    return kResultOk;
  }
  // A file system that cannot map files: read the file whole.
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size]);
  if (!bytes) return kResultOutOfMemory;
  if (Result r = file.Read(bytes.get(), size); r.failed()) return r;
  Adopt(std::move(bytes), size);
  return kResultOk;
}

void FileImage::Adopt(std::unique_ptr<uint8_t[]> bytes, uint64_t size) {
  Reset();
  buffer_ = std::move(bytes);
  data_ = buffer_.get();
  size_ = size;
}

bool FileImage::cut() const {
  if (guard_ >= 0 && g_guard[guard_].cut.load(std::memory_order_acquire)) return true;
  struct stat st {};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 && static_cast<uint64_t>(st.st_size) < size_;
}

void FileImage::Reset() {
  // Unwatched before unmapping: the range may be mapped again by anything else.
  StopWatching(guard_);
  guard_ = -1;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (mapped_) ::munmap(const_cast<uint8_t*>(data_), size_);
  buffer_.reset();
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
}

void FileImage::ReleaseRange(uint64_t from, uint64_t to) const {
  if (!mapped_ || from >= to || to > size_) return;
  // The mapping starts on a page boundary, so image offsets and page boundaries line up.
  auto page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
  uint64_t first = (from + page - 1) / page * page;
  uint64_t last = to / page * page;
  if (first < last) ::madvise(const_cast<uint8_t*>(data_) + first, last - first, MADV_DONTNEED);
}

std::FILE* OpenOutputFile(const std::filesystem::path& path, int* err) {
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) *err = errno != 0 ? errno : EIO;
  return f;
}

std::FILE* CreateOutputFile(const std::filesystem::path& path, int* err) {
  // O_EXCL also refuses a symbolic link under that name, dangling or not.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    *err = errno != 0 ? errno : EIO;
    return nullptr;
  }
  std::FILE* f = ::fdopen(fd, "wb");
  if (f == nullptr) {
    *err = errno != 0 ? errno : EIO;
    ::close(fd);
    ::unlink(path.c_str());
  }
  return f;
}

bool ReserveOutputSpace(std::FILE* file, uint64_t offset, uint64_t length) {
#ifdef __linux__
  // Blocks allocated ahead spare the file system a reservation per page as the data arrives.
  return ::fallocate(fileno(file), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                     static_cast<off_t>(length)) == 0;
#else
  (void)file;
  (void)offset;
  (void)length;
  return false;
#endif
}

void TrimOutputSpace(std::FILE* file, uint64_t size) {
  // Cutting a file to its own size frees the blocks allocated past its end. A failure leaves
  // them allocated, which costs space but no data.
  (void)::ftruncate(fileno(file), static_cast<off_t>(size));
}

void RemoveFile(const std::filesystem::path& path) { ::unlink(path.c_str()); }

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool ToLocalTime(int64_t seconds, LocalTime* out) {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  if (::localtime_r(&t, &tm) == nullptr) return false;
  *out = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  return true;
}

int64_t CurrentTime() { return static_cast<int64_t>(::time(nullptr)); }

std::string NarrowText(std::u16string_view text, bool utf8) {
  std::string out;
  const char* codeset = utf8 ? "UTF-8" : ::nl_langinfo(CODESET);
  bool to_utf8 = utf8 || std::strcmp(codeset, "UTF-8") == 0;
  iconv_t cd = to_utf8 ? reinterpret_cast<iconv_t>(-1) : ::iconv_open(codeset, "UTF-8");
  ForEachCodePoint(text, [&](char32_t cp) {
    std::string one;
    AppendUtf8(cp, &one);
    if (to_utf8) {
      out += one;
      return;
    }
    char buf[16];
    char* in = one.data();
    size_t in_left = one.size();
    char* o = buf;
    size_t o_left = sizeof buf;
    if (cd != reinterpret_cast<iconv_t>(-1) &&
        ::iconv(cd, &in, &in_left, &o, &o_left) != static_cast<size_t>(-1) && in_left == 0) {
      out.append(buf, static_cast<size_t>(o - buf));
    } else {
      out += '?';
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  });
  if (cd != reinterpret_cast<iconv_t>(-1)) ::iconv_close(cd);
  return out;
}

}  // namespace dtconv::platform

namespace dtconv::platform {
int MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}
}  // namespace dtconv::platform
