// The result of every operation that can fail, from reading a capture to closing an output: a
// 32-bit code in the Windows HRESULT form, 0 for success. System errors of the input side are
// 0x80070000 + the Windows system error number (POSIX errno values are mapped to those numbers,
// so a code means the same on both platforms); errors of the output file are 0xA0070000 + the C
// runtime's errno. The codes are stored nowhere, but the desktop program and the command line
// show them, so their values never change.
#pragma once

#include <cstdint>

namespace dtconv {

class Result {
 public:
  constexpr Result() = default;
  constexpr explicit Result(uint32_t code) : code_(code) {}
  // An input error: 0x80070000 + a Windows system error number.
  static constexpr Result System(uint32_t error) { return Result(kSystemBase + (error & 0xFFFF)); }
  // An output error: 0xA0070000 + a C runtime error number.
  static constexpr Result Output(int error) {
    return Result(kOutputBase + (static_cast<uint32_t>(error) & 0xFFFF));
  }

  constexpr uint32_t code() const { return code_; }
  constexpr bool ok() const { return code_ == 0; }
  constexpr bool failed() const { return code_ != 0; }
  constexpr bool IsSystemError() const { return (code_ & 0xFFFF0000u) == kSystemBase; }
  constexpr bool IsOutputError() const { return (code_ & 0xFFFF0000u) == kOutputBase; }
  // The system error number or errno of a System or Output result.
  constexpr uint32_t detail() const { return code_ & 0xFFFF; }

  friend constexpr bool operator==(Result, Result) = default;
  // The codes are stable public values: a result compares equal to its code.
  friend constexpr bool operator==(Result r, uint32_t code) { return r.code_ == code; }

 private:
  static constexpr uint32_t kSystemBase = 0x80070000u;
  static constexpr uint32_t kOutputBase = 0xA0070000u;
  uint32_t code_ = 0;
};

inline constexpr Result kResultOk{};
inline constexpr Result kResultInvalidData{0x8007000D};   // not a capture, or a damaged one
inline constexpr Result kResultOutOfMemory{0x8007000E};   // no memory for the file image
inline constexpr Result kResultNotSupported{0x80070032};  // no converter for the conversion type
inline constexpr Result kResultCancelled{0x800704C7};     // stopped by the user
inline constexpr Result kResultWorkerFailed{0x80004005};  // the conversion could not be started
// ERROR_HANDLE_EOF: the input ended early while it was read (another program cut it short).
inline constexpr Result kResultInputCut = Result::System(38);
// ERROR_FILENAME_EXCED_RANGE: the output path does not fit the platform's limit.
inline constexpr Result kResultPathTooLong = Result::System(206);
// ERROR_FILE_EXISTS: the output would replace its own input.
inline constexpr Result kResultOutputIsInput = Result::System(80);

}  // namespace dtconv
