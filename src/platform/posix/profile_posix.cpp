// POSIX profile files: parsed and written with SimpleIni, in the encodings and conventions the
// Windows private-profile functions use, so a settings file moves between the builds.
// UTF-8 is decoded and validated here, so SimpleIni passes bytes through unconverted.
#define SI_NO_CONVERSION
// The parser's template code is compiled here from the header (Debian's header keeps it behind
// this switch and otherwise expects its shared library, which needs ICU).
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/profile.h"
#include "platform/unicode.h"

namespace dtconv::platform {

namespace {

// Temporary names tried when the settings file is written: "<file>.dtconv-tmp", then
// "<file>.<n>.dtconv-tmp".
constexpr int kTemporaryNames = 100;
Result ErrnoResult(int err) { return Result::System(SystemErrorFromErrno(err)); }

enum class Encoding { kPlain, kUtf8Bom, kUtf16 };

// Decodes the file's bytes into UTF-8 and reports the encoding found.
std::string DecodeProfile(const std::string& bytes, Encoding* encoding) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    *encoding = Encoding::kUtf16;
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return Utf16ToUtf8(text);
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    *encoding = Encoding::kUtf8Bom;
    return bytes.substr(3);
  }
  *encoding = Encoding::kPlain;
  // Plain files are taken as UTF-8; bytes that are not become U+FFFD.
  return Utf16ToUtf8(Utf8ToUtf16(bytes));
}

bool IsAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

std::string EncodeProfile(const std::string& utf8, Encoding encoding) {
  switch (encoding) {
    case Encoding::kUtf8Bom:
      return "\xEF\xBB\xBF" + utf8;
    case Encoding::kPlain:
      if (IsAscii(utf8)) return utf8;
      [[fallthrough]];
    case Encoding::kUtf16: {
      std::u16string text = Utf8ToUtf16(utf8);
      std::string bytes = "\xFF\xFE";
      for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
      }
      return bytes;
    }
  }
  return utf8;
}

// Values lose surrounding blanks and one pair of enclosing quotes, as on Windows.
std::string CleanValue(std::string value) {
  size_t b = value.find_first_not_of(" \t");
  size_t e = value.find_last_not_of(" \t");
  value = b == std::string::npos ? std::string() : value.substr(b, e - b + 1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

struct ProfileFile::Impl {
  std::filesystem::path path;
  bool loaded = false;
  Result readStatus;
  Encoding encoding = Encoding::kUtf16;  // what a new file gets
  CSimpleIniA ini{/*isUtf8=*/true, /*multiKey=*/false, /*multiLine=*/false};
  bool dirty = false;

  Impl() { ini.SetSpaces(false); }

  void Load() {
    if (loaded) return;
    loaded = true;
    // Only a regular file is read: a named pipe would wait for a writer and a device such as
    // /dev/zero would never end. O_NONBLOCK keeps the open itself from waiting.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      readStatus = ErrnoResult(errno);
      return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      int err = errno;
      readStatus = S_ISDIR(st.st_mode)   ? ErrnoResult(EISDIR)
                   : S_ISREG(st.st_mode) ? ErrnoResult(err)
                                         : Result::System(50);  // ERROR_NOT_SUPPORTED
      ::close(fd);
      return;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (f == nullptr) {
      readStatus = ErrnoResult(errno);
      ::close(fd);
      return;
    }
    std::string bytes;
    char buffer[16384];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    bool failed = std::ferror(f) != 0;
    int err = errno;
    std::fclose(f);
    if (failed) {
      readStatus = ErrnoResult(err);
      return;
    }
    std::string text = DecodeProfile(bytes, &encoding);
    if (ini.LoadData(text) < 0) readStatus = Result::System(13);  // ERROR_INVALID_DATA
  }
};

ProfileFile::ProfileFile(std::filesystem::path path) : impl_(std::make_unique<Impl>()) {
  impl_->path = std::move(path);
}

ProfileFile::~ProfileFile() = default;

std::u16string ProfileFile::Read(std::u16string_view section, std::u16string_view key,
                                 std::u16string_view fallback, size_t bufferUnits) {
  impl_->Load();
  const char* found =
      impl_->ini.GetValue(Utf16ToUtf8(section).c_str(), Utf16ToUtf8(key).c_str(), nullptr);
  std::u16string value =
      found != nullptr ? Utf8ToUtf16(CleanValue(found)) : std::u16string(fallback);
  if (bufferUnits == 0) return {};
  if (value.size() > bufferUnits - 1) value.resize(bufferUnits - 1);
  return value;
}

void ProfileFile::Write(std::u16string_view section, std::u16string_view key,
                        std::u16string_view value) {
  impl_->Load();
  impl_->ini.SetValue(Utf16ToUtf8(section).c_str(), Utf16ToUtf8(key).c_str(),
                      Utf16ToUtf8(value).c_str());
  impl_->dirty = true;
}

Result ProfileFile::Commit() {
  if (!impl_->dirty) return kResultOk;
  std::string text;
  if (impl_->ini.Save(text) < 0) return Result::System(8);  // ERROR_NOT_ENOUGH_MEMORY
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  std::string bytes = EncodeProfile(crlf, impl_->encoding);
  // The new text goes to a file created under a free name beside the settings file, never to a
  // name that already exists: a file or link left there by someone else is not written through.
  std::filesystem::path temp;
  int err = EEXIST;
  std::FILE* f = nullptr;
  for (int n = 0; n < kTemporaryNames && f == nullptr && err == EEXIST; ++n) {
    temp = impl_->path;
    if (n > 0) temp += "." + std::to_string(n);
    temp += ".dtconv-tmp";
    f = CreateOutputFile(temp, &err);
  }
  if (f == nullptr) return ErrnoResult(err);
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  err = errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    RemoveFile(temp);
    return ErrnoResult(err);
  }
  if (int moveErr = MoveIntoPlace(temp, impl_->path); moveErr != 0) {
    RemoveFile(temp);
    return ErrnoResult(moveErr);
  }
  impl_->dirty = false;
  return kResultOk;
}

Result ProfileFile::ReadStatus() {
  impl_->Load();
  return impl_->readStatus;
}

std::u16string CurrentDirectory() {
  std::error_code ec;
  std::filesystem::path cwd = std::filesystem::current_path(ec);
  if (ec) return {};
  return Utf8ToUtf16(cwd.string());
}

}  // namespace dtconv::platform
