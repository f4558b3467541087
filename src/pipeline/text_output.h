// The output line writer: every converter builds its lines here and ends each with FlushLine.
// It holds the first failure of the current file; once set, nothing more is written.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "pipeline/cvt_settings.h"

#if defined(__MINGW32__) && (!defined(__USE_MINGW_ANSI_STDIO) || __USE_MINGW_ANSI_STDIO == 0)
#error "the Windows build must use the ISO C stdio (__USE_MINGW_ANSI_STDIO=1) for identical output"
#endif

namespace dtconv {

// Formats printf-style into a caller's piece buffer (always terminated, cut to fit).
#if defined(__MINGW32__)
__attribute__((format(gnu_printf, 3, 4)))
#else
__attribute__((format(printf, 3, 4)))
#endif
int FormatPieceN(char* piece, size_t size, const char* format, ...);

#define FormatPiece(piece, ...) ::dtconv::FormatPieceN((piece), sizeof(piece), __VA_ARGS__)

class TextOutput {
 public:
  static constexpr int32_t kLineCapacity = 0x100100;

  TextOutput();
  ~TextOutput();
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;

  // Line end, UTF-8 flag, byte order mark and the delimiter (transcoded into the output's
  // character code) from the job record.
  void SetupOutput(const CvtSettings& settings);

  // Clears cancel and result, creates or truncates the file and writes the byte order mark.
  // Returns the result (0xA0070000 + errno on failure).
  uint32_t OpenOutput(const std::filesystem::path& path);
  // As OpenOutput, but the file must not exist yet: an existing name (file, folder or link)
  // fails with 0xA0070000 + EEXIST and is left as it is.
  uint32_t CreateOutput(const std::filesystem::path& path);

  // Closes the file. A failure to write what was still buffered becomes the result when none
  // was held, so a full disk is never reported as success.
  void CloseOutput();

  void AppendText(std::string_view text);
  void AppendText(const char* text) { AppendText(std::string_view(text)); }
  void AppendDelimiter() { AppendText(delimiter_); }

  // Trims trailing blanks and writes the line and the line end. Records the cancelled code when
  // cancel was requested (the line is still written); does nothing once a failure is held.
  void FlushLine();

  // Raw bytes for binary outputs, with the same result discipline.
  void WriteBytes(const void* data, size_t size);

  uint32_t result() const { return result_; }
  // Records a failure unless one is already held.
  void Fail(uint32_t code) {
    if (result_ == 0) result_ = code;
  }
  bool utf8() const { return utf8_; }
  const std::string& delimiter() const { return delimiter_; }
  std::string_view eol() const { return eol_; }
  bool isOpen() const { return file_ != nullptr; }
  int32_t length() const { return length_; }

  // May be called from another thread: the file being written stops at its next line.
  void RequestCancel() { cancel_.store(true, std::memory_order_relaxed); }

 private:
  void WriteRaw(const char* data, size_t size);
  uint32_t Open(const std::filesystem::path& path, bool createNew);

  uint32_t result_ = 0;
  std::atomic<bool> cancel_{false};
  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> line_;
  std::unique_ptr<char[]> fileBuffer_;
  int32_t length_ = 0;
  bool utf8_ = false;
  std::string_view eol_ = "\r\n";
  bool bom_ = false;
  std::string delimiter_ = ",";
};

}  // namespace dtconv
