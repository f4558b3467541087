// Profile (INI) files as the desktop program keeps its settings: read and written one key at a
// time. On Windows the private-profile functions do the work; on POSIX the file is parsed and
// written with the same conventions, so one settings file serves both builds:
//  - a new file is created as UTF-16LE with a byte order mark, which keeps any folder name intact;
//    an existing file keeps its encoding (UTF-16LE, UTF-8 with byte order mark, or plain);
//  - section and key names match without case, values are trimmed and lose one pair of
//    enclosing quotes, lines end in CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace dtconv::platform {

class ProfileFile {
 public:
  // The file need not exist; nothing is read or written until the first call.
  explicit ProfileFile(std::filesystem::path path);
  ~ProfileFile();
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  // The value of a key, or `fallback` when the section or key is missing, cut to at most
  // `bufferUnits` - 1 UTF-16 units as a buffer of that size would hold it.
  std::u16string Read(std::u16string_view section, std::u16string_view key,
                      std::u16string_view fallback, size_t bufferUnits);

  // Sets a key. On Windows the file is written at once; on POSIX the change is kept until Commit.
  void Write(std::u16string_view section, std::u16string_view key, std::u16string_view value);

  // Writes what Write collected (POSIX: to a temporary file moved over the old one, so a failure
  // leaves the old file whole). Returns 0 or a result code 0x8007xxxx.
  Result Commit();

  // 0 when the file exists and could be read, or the result code of the failure (a missing file
  // gives 0x80070002).
  Result ReadStatus();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The process's current folder.
std::u16string CurrentDirectory();

}  // namespace dtconv::platform
