// Win32 profile files: the private-profile functions, one key at a time.
#include <windows.h>

#include <vector>

#include "platform/profile.h"
#include "platform/result.h"

namespace dtconv::platform {

namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

struct ProfileFile::Impl {
  std::wstring path;
  Result writeStatus;
};

ProfileFile::ProfileFile(std::filesystem::path path) : impl_(std::make_unique<Impl>()) {
  // A name without a folder would be looked up in the Windows folder.
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  impl_->path = (ec ? path : full).wstring();
}

ProfileFile::~ProfileFile() = default;

std::u16string ProfileFile::Read(std::u16string_view section, std::u16string_view key,
                                 std::u16string_view fallback, size_t bufferUnits) {
  if (bufferUnits == 0) return {};
  std::vector<wchar_t> buffer(bufferUnits, L'\0');
  DWORD n =
      GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(fallback).c_str(),
                               buffer.data(), static_cast<DWORD>(bufferUnits), impl_->path.c_str());
  return std::u16string(buffer.begin(), buffer.begin() + n);
}

void ProfileFile::Write(std::u16string_view section, std::u16string_view key,
                        std::u16string_view value) {
  // A new file starts as UTF-16LE with a byte order mark; the private-profile functions keep that
  // encoding, so folder names outside the ANSI code page survive.
  HANDLE h = CreateFileW(impl_->path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    static const unsigned char kBom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(h, kBom, sizeof kBom, &written, nullptr);
    CloseHandle(h);
  }
  if (!WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                  impl_->path.c_str()) &&
      impl_->writeStatus.ok()) {
    impl_->writeStatus = Result::System(GetLastError());
  }
}

Result ProfileFile::Commit() {
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, impl_->path.c_str());  // flush the cache
  return impl_->writeStatus;
}

Result ProfileFile::ReadStatus() {
  HANDLE h = CreateFileW(impl_->path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Result::System(GetLastError());
  CloseHandle(h);
  return kResultOk;
}

std::u16string CurrentDirectory() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return {};
  std::vector<wchar_t> buffer(n);
  n = GetCurrentDirectoryW(n, buffer.data());
  return std::u16string(buffer.begin(), buffer.begin() + n);
}

}  // namespace dtconv::platform
