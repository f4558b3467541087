// The only door from the core to the operating system: reading input files, opening output files,
// local time and the narrow code page. One implementation for POSIX (posix/) and one for Win32
// (win32/); both report failures as the same result codes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace dtconv::platform {

// A file opened for reading, with read sharing. Errors are result codes in the Windows form
// 0x80070000 + system error number (POSIX errno values are mapped to the Windows numbers).
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  Result Open(const std::filesystem::path& path);
  Result Size(uint64_t* size);
  // Reads exactly `count` bytes from the current position; a short read is an error.
  Result Read(void* buffer, size_t count);
  void Close();

 private:
  friend class FileImage;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// The whole content of an input file, read-only. Mapped into memory where the system allows it:
// pages are read on first touch, and ReleaseRange gives the pages of a range back to the system
// (they are read again from the file if touched later), so a walk through a large file keeps
// little of it resident. A file that cannot be mapped is read into an allocated buffer instead,
// which ReleaseRange leaves alone.
//
// A mapped image relies on the file keeping its size while it is open: on Windows the read-only
// sharing of InputFile keeps writers out. Elsewhere another program may cut the file short under
// a running conversion; the first read past its new end then finds zeros instead of ending the
// process with a bus error, and cut() tells the caller that the image is no longer the file's.
class FileImage {
 public:
  FileImage() = default;
  ~FileImage() { Reset(); }
  FileImage(FileImage&& other) noexcept { *this = std::move(other); }
  FileImage& operator=(FileImage&& other) noexcept;
  FileImage(const FileImage&) = delete;
  FileImage& operator=(const FileImage&) = delete;

  // Maps, or else reads, all `size` bytes (at least 1) of an open file. Returns 0, a read error
  // as InputFile does, or 0x8007000E when there is no memory for the buffer.
  Result Load(InputFile& file, uint64_t size);
  // Takes bytes already in memory.
  void Adopt(std::unique_ptr<uint8_t[]> bytes, uint64_t size);
  // Unmaps or frees the image.
  void Reset();

  const uint8_t* data() const { return data_; }
  uint64_t size() const { return size_; }
  bool mapped() const { return mapped_; }
  // True once the mapped file is found cut short: a read found its new end (the bytes past it
  // read as zeros), or the file is now shorter than the mapping.
  bool cut() const;

  // Lets the system take back the pages that lie wholly inside bytes [from, to) of a mapped
  // image. The bytes stay readable and unchanged.
  void ReleaseRange(uint64_t from, uint64_t to) const;

 private:
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
  bool mapped_ = false;
  std::unique_ptr<uint8_t[]> buffer_;
#ifndef _WIN32
  int guard_ = -1;  // the slot that watches this mapping for a cut-short file
  int fd_ = -1;     // the mapped file, to see whether it is still as long as the mapping
#endif
};

// Maps a POSIX errno to the Windows system error number it corresponds to.
uint32_t SystemErrorFromErrno(int err);

// Opens a file for writing in binary mode, created or truncated. On failure returns null and sets
// *err to the C runtime error number.
std::FILE* OpenOutputFile(const std::filesystem::path& path, int* err);

// Creates a new file for writing in binary mode. Fails with EEXIST when anything already has that
// name (a file, a folder, a link, even a dangling one), so a new output is never written through
// a link or into a file another writer has open. On failure returns null and sets *err to the C
// runtime error number.
std::FILE* CreateOutputFile(const std::filesystem::path& path, int* err);

// Asks the file system to set aside room for bytes [offset, offset + length) of an output file
// without changing its size, so that writing them later does less work. Returns false where the
// system or the file system offers no such request, or it failed (nothing is changed then).
bool ReserveOutputSpace(std::FILE* file, uint64_t offset, uint64_t length);

// Gives back any room set aside past the first `size` bytes of an output file, whose size is
// `size`: the content is not changed.
void TrimOutputSpace(std::FILE* file, uint64_t size);

// Removes a file, ignoring failures (used to drop a partial output).
void RemoveFile(const std::filesystem::path& path);

// True when both paths name the same existing file (hard links, case-insensitive names).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

struct LocalTime {
  int year;
  int month;  // 1..12
  int day;
  int hour;
  int minute;
  int second;
};

// Converts seconds since 1970-01-01 00:00:00 UTC into local time under the computer's time zone
// rules (TZ on POSIX). Returns false when the time cannot be represented.
bool ToLocalTime(int64_t seconds, LocalTime* out);

// Seconds since 1970-01-01 00:00:00 UTC now.
int64_t CurrentTime();

// Transcodes UTF-16 text into UTF-8, or into the system's narrow code page (CP_ACP on Windows,
// the locale's code set on POSIX), where characters without a mapping become the code page's
// default character ("?").
std::string NarrowText(std::u16string_view text, bool utf8);

}  // namespace dtconv::platform

namespace dtconv::platform {

// Moves a finished output into place, replacing an older file of that name. Returns 0 or the C
// runtime error number.
int MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to);

// Longest path, in UTF-16 units without the terminator, that an output may have here.
#ifdef _WIN32
inline constexpr size_t kMaxPathUnits = 259;
#else
inline constexpr size_t kMaxPathUnits = 4095;
#endif

}  // namespace dtconv::platform
