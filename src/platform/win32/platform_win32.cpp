// Win32 implementation of the platform layer.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <ctime>
#include <cwchar>
#include <new>

#include "platform/platform.h"
#include "platform/unicode.h"

namespace dtconv::platform {

namespace {
Result LastErrorResult() { return Result::System(GetLastError()); }
}  // namespace

uint32_t SystemErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return 2;
    case ENOTDIR:
      return 3;
    case EMFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
      return 5;
    case ENOMEM:
      return 8;
    case ENOSPC:
      return 112;
    case EINVAL:
      return 87;
    default:
      return 31;
  }
}

InputFile::~InputFile() { Close(); }

Result InputFile::Open(const std::filesystem::path& path) {
  Close();
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastErrorResult();
  handle_ = h;
  return kResultOk;
}

Result InputFile::Size(uint64_t* size) {
  LARGE_INTEGER li;
  if (!GetFileSizeEx(static_cast<HANDLE>(handle_), &li)) return LastErrorResult();
  *size = static_cast<uint64_t>(li.QuadPart);
  return kResultOk;
}

Result InputFile::Read(void* buffer, size_t count) {
  auto* p = static_cast<char*>(buffer);
  while (count > 0) {
    DWORD chunk = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(handle_), p, chunk, &got, nullptr)) return LastErrorResult();
    if (got == 0) return kResultInputCut;
    p += got;
    count -= got;
  }
  return kResultOk;
}

void InputFile::Close() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

FileImage& FileImage::operator=(FileImage&& other) noexcept {
  if (this != &other) {
    Reset();
    data_ = other.data_;
    size_ = other.size_;
    mapped_ = other.mapped_;
    buffer_ = std::move(other.buffer_);
    other.data_ = nullptr;
    other.size_ = 0;
    other.mapped_ = false;
  }
  return *this;
}

Result FileImage::Load(InputFile& file, uint64_t size) {
  Reset();
  HANDLE mapping =
      CreateFileMappingW(static_cast<HANDLE>(file.handle_), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping != nullptr) {
    // The view keeps the mapping object alive.
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
    CloseHandle(mapping);
    if (view != nullptr) {
      data_ = static_cast<const uint8_t*>(view);
      size_ = size;
      mapped_ = true;
      return kResultOk;
    }
  }
  // A file that cannot be mapped: read it whole.
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

// The read-only sharing of InputFile keeps every writer out while the image exists.
bool FileImage::cut() const { return false; }

void FileImage::Reset() {
  if (mapped_) UnmapViewOfFile(data_);
  buffer_.reset();
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
}

void FileImage::ReleaseRange(uint64_t from, uint64_t to) const {
  if (!mapped_ || from >= to || to > size_) return;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  uint64_t page = info.dwPageSize;
  uint64_t first = (from + page - 1) / page * page;
  uint64_t last = to / page * page;
  // Unlocking pages that are not locked takes them out of the working set.
  if (first < last) {
    VirtualUnlock(const_cast<uint8_t*>(data_) + first, static_cast<SIZE_T>(last - first));
  }
}

std::FILE* OpenOutputFile(const std::filesystem::path& path, int* err) {
  std::FILE* f = nullptr;
  errno_t e = _wfopen_s(&f, path.c_str(), L"wb");
  if (e != 0 || f == nullptr) {
    *err = e != 0 ? e : EIO;
    return nullptr;
  }
  return f;
}

namespace {
// The C runtime error number of a failed file creation.
int CrtErrorFromLastError(DWORD e) {
  switch (e) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_INVALID_NAME:
      return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    default:
      return EIO;
  }
}
}  // namespace

std::FILE* CreateOutputFile(const std::filesystem::path& path, int* err) {
  // CREATE_NEW fails on any existing name, a link included.
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *err = CrtErrorFromLastError(GetLastError());
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    DeleteFileW(path.c_str());
    *err = EIO;
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, "wb");
  if (f == nullptr) {
    _close(fd);
    DeleteFileW(path.c_str());
    *err = EIO;
  }
  return f;
}

// NTFS gains little from an allocation ahead of sequential writes: nothing is reserved here.
bool ReserveOutputSpace(std::FILE*, uint64_t, uint64_t) { return false; }

void TrimOutputSpace(std::FILE*, uint64_t) {}

void RemoveFile(const std::filesystem::path& path) { DeleteFileW(path.c_str()); }

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  auto info = [](const std::filesystem::path& p, BY_HANDLE_FILE_INFORMATION* out) {
    HANDLE h = CreateFileW(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = GetFileInformationByHandle(h, out);
    CloseHandle(h);
    return ok != FALSE;
  };
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!info(a, &ia) || !info(b, &ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool ToLocalTime(int64_t seconds, LocalTime* out) {
  __time64_t t = seconds;
  struct tm tm {};
  if (_localtime64_s(&tm, &t) != 0) return false;
  *out = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  return true;
}

int64_t CurrentTime() { return static_cast<int64_t>(_time64(nullptr)); }

std::string NarrowText(std::u16string_view text, bool utf8) {
  if (text.empty()) return {};
  UINT cp = utf8 ? CP_UTF8 : CP_ACP;
  auto* w = reinterpret_cast<const wchar_t*>(text.data());
  int n = static_cast<int>(text.size());
  int len = WideCharToMultiByte(cp, 0, w, n, nullptr, 0, nullptr, nullptr);
  if (len <= 0) return {};
  std::string out(static_cast<size_t>(len), '\0');
  WideCharToMultiByte(cp, 0, w, n, out.data(), len, nullptr, nullptr);
  return out;
}

}  // namespace dtconv::platform

namespace dtconv::platform {
int MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to) {
  // A folder of that name is never replaced.
  DWORD attributes = GetFileAttributesW(to.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return EISDIR;
  }
  // Another program may hold the older output open for a moment (a virus scanner, the search
  // indexer, a second conversion replacing the same file): try again for about a second.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return 0;
    }
    DWORD e = GetLastError();
    if ((e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION) && attempt < 20) {
      Sleep(50);
      continue;
    }
    return e == ERROR_ACCESS_DENIED ? EACCES : e == ERROR_PATH_NOT_FOUND ? ENOENT : EIO;
  }
}
}  // namespace dtconv::platform
