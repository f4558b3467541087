// The output line writer: every converter builds its lines here and ends each with FlushLine.
// It holds the first failure of the current file; once set, nothing more is written.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "input/monitor_data.h"
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

// The line end of an output in two bytes, and its length (1 or 2), for converters that write a
// batch of whole lines at once (TextOutput::eol()). Put stores both bytes and advances by the
// length.
struct LineEnd {
  char bytes[2] = {};
  size_t length = 0;
  explicit LineEnd(std::string_view eol) : length(eol.size() < 2 ? eol.size() : 2) {
    std::memcpy(bytes, eol.data(), length);
  }
  char* Put(char* p) const {
    std::memcpy(p, bytes, 2);
    return p + length;
  }
};

// The delimiter put between the cells of a CSV row, for converters that write cells in place: the
// usual one-character delimiter as one byte store.
struct CellDelimiter {
  explicit CellDelimiter(std::string_view d) : text(d), single(d.size() == 1 ? d[0] : '\0') {}
  char* Put(char* p) const {
    if (text.size() == 1) {
      *p = single;
      return p + 1;
    }
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
  }
  std::string_view text;
  char single;
};
// The same for a delimiter known to be one character, for rows written with either kind.
struct CharDelimiter {
  char single;
  char* Put(char* p) const {
    *p = single;
    return p + 1;
  }
};

// Lines are built in place at the end of one large output buffer, after the finished lines that
// wait to be written; once those reach the block size they go to the file in one write. A
// conversion of a 1 GiB capture thus makes a few thousand writes, not one per line.
class TextOutput {
 public:
  static constexpr int32_t kLineCapacity = 0x100100;
  // Finished lines are written out once this many bytes have gathered.
  static constexpr size_t kDefaultBlockSize = size_t{1} << 21;
  // The most a formatter may ask of BeginAppend at once.
  static constexpr size_t kMaxAppend = 4096;

  // `blockSize` (at least 1) is only changed by tests of the buffering.
  explicit TextOutput(size_t blockSize = kDefaultBlockSize);
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

  // Writes the finished lines still buffered and closes the file. A failure to write them
  // becomes the result when none was held, so a full disk is never reported as success.
  void CloseOutput();

  // Appends to the current line, stopping silently at kLineCapacity - 1 characters.
  void AppendText(std::string_view text) {
    if (text.size() <= static_cast<size_t>(kLineCapacity - 1 - length_)) {
      std::memcpy(line_ + length_, text.data(), text.size());
      length_ += static_cast<int32_t>(text.size());
    } else {
      AppendCut(text);
    }
  }
  void AppendText(const char* text) { AppendText(std::string_view(text)); }
  void AppendDelimiter() { AppendText(delimiter_); }

  // Room to format up to `n` (at most kMaxAppend) characters in place at the end of the line.
  // EndAppend with the end of what was written appends it; text that would pass the line's
  // capacity is cut there, exactly as AppendText cuts.
  char* BeginAppend(size_t n) {
    inScratch_ = n > static_cast<size_t>(kLineCapacity - 1 - length_);
    return inScratch_ ? scratch_.get() : line_ + length_;
  }
  void EndAppend(const char* end) {
    if (!inScratch_) {
      length_ = static_cast<int32_t>(end - line_);
    } else {
      AppendCut(std::string_view(scratch_.get(), static_cast<size_t>(end - scratch_.get())));
    }
  }
  // The characters of the current line so far.
  std::string_view line() const { return std::string_view(line_, static_cast<size_t>(length_)); }

  // Trims trailing blanks and writes the line and the line end. Records the cancelled code when
  // cancel was requested (the line is still written); does nothing once a failure is held.
  void FlushLine() {
    if (result_ != 0) return;
    if (cancel_.load(std::memory_order_relaxed)) result_ = kResultCancelled;
    while (length_ > 0 && line_[length_ - 1] == ' ') --length_;
    // Both bytes of the line-end store; only the line end's own length counts.
    std::memcpy(line_ + length_, eolBytes_, 2);
    pending_ += static_cast<size_t>(length_) + eolLength_;
    length_ = 0;
    if (file_ == nullptr || pending_ >= blockSize_) FinishBlock();
    line_ = buffer_.get() + pending_;
  }

  // Raw bytes for binary outputs, with the same result discipline. They go before an unfinished
  // line.
  void WriteBytes(const void* data, size_t size);
  // The same for bytes built in place: room for up to `n` (at most kMaxAppend) bytes, and
  // EndBytes with the end of what was written.
  // The usual case, room in the block with no line under way, is handled here; the rest (a
  // full block, a held failure, an unfinished line) out of line.
  uint8_t* BeginBytes(size_t n) {
    if (result_ == 0 && length_ == 0 && file_ != nullptr && pending_ + n <= blockSize_) {
      bytesStart_ = reinterpret_cast<uint8_t*>(buffer_.get() + pending_);
      inScratch_ = false;
      return bytesStart_;
    }
    return BeginBytesSlow(n);
  }
  void EndBytes(const uint8_t* end) {
    auto size = static_cast<size_t>(end - bytesStart_);
    if (!inScratch_ && result_ == 0 && !cancel_.load(std::memory_order_relaxed) &&
        pending_ + size < blockSize_) {
      pending_ += size;
      line_ = buffer_.get() + pending_;
      return;
    }
    EndBytesSlow(size);
  }

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
  void AppendCut(std::string_view text);
  // FlushLine's end of a block: the finished lines are written (or dropped without a file).
  void FinishBlock();
  uint8_t* BeginBytesSlow(size_t n);
  void EndBytesSlow(size_t size);
  // Writes the finished lines gathered so far.
  void WritePending();
  void WriteRaw(const char* data, size_t size);
  uint32_t Open(const std::filesystem::path& path, bool createNew);

  uint32_t result_ = 0;
  std::atomic<bool> cancel_{false};
  std::FILE* file_ = nullptr;
  uint64_t written_ = 0;   // bytes the file has taken
  uint64_t reserved_ = 0;  // the file system's room set aside ahead of them (0: none)
  bool reserving_ = true;  // false once the file system declined
  size_t blockSize_;
  // Finished lines (pending_ bytes), then the current line at line_, with room for a whole line
  // of kLineCapacity characters and its line end after the block.
  std::unique_ptr<char[]> buffer_;
  size_t pending_ = 0;
  char* line_ = nullptr;
  std::unique_ptr<char[]> scratch_;
  bool inScratch_ = false;
  uint8_t* bytesStart_ = nullptr;  // where BeginBytes handed out room
  int32_t length_ = 0;
  bool utf8_ = false;
  std::string_view eol_ = "\r\n";
  char eolBytes_[2] = {'\r', '\n'};
  size_t eolLength_ = 2;
  bool bom_ = false;
  std::string delimiter_ = ",";
};

}  // namespace dtconv
