// Reading a database file through the platform layer.
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "signals/dbc.h"

namespace dtconv::signals {

namespace {

std::string ReadFailure(Result result) {
  switch (result.IsSystemError() ? result.detail() : 0) {
    case 2:
      return "no such file";
    case 3:
      return "no such folder";
    case 5:
      return "access denied";
    case 50:
      return "not a regular file";
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", result.code());
  return std::string("read error ") + hex;
}

}  // namespace

bool LoadDbc(const std::filesystem::path& path, Database* db, std::string* error) {
  std::u8string u8 = path.u8string();
  std::string name(reinterpret_cast<const char*>(u8.data()), u8.size());
  platform::InputFile file;
  uint64_t size = 0;
  Result result = file.Open(path);
  if (result.ok()) result = file.Size(&size);
  if (result.failed()) {
    *error = name + ": cannot be read: " + ReadFailure(result);
    return false;
  }
  if (size > kMaxDbcFileBytes) {
    *error = name + ": expected a database of at most " + std::to_string(kMaxDbcFileBytes) +
             " bytes, found " + std::to_string(size);
    return false;
  }
  std::string bytes(static_cast<size_t>(size), '\0');
  if (size > 0) result = file.Read(bytes.data(), bytes.size());
  if (result.failed()) {
    *error = name + ": cannot be read: " + ReadFailure(result);
    return false;
  }
  return ParseDbc(bytes, name, db, error);
}

}  // namespace dtconv::signals
