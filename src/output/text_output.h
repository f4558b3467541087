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

#include "platform/result.h"

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

// Output bits of the job record: the line end in bits 0-1, UTF-8 and its byte order mark.
inline constexpr uint32_t kOutLf = 1;
inline constexpr uint32_t kOutCr = 2;
inline constexpr uint32_t kOutCrLf = 3;
inline constexpr uint32_t kOutUtf8 = 1u << 2;
inline constexpr uint32_t kOutBom = 1u << 3;
inline constexpr uint32_t kOutReserved4 = 1u << 4;
inline constexpr uint32_t kOutReserved6 = 1u << 6;
// The delimiter as the user types it: at most 15 UTF-16 units and the terminator.
inline constexpr size_t kDelimiterUnits = 16;

// The one output writer of a conversion. There are three ways to write through it:
//  - lines of the report header, titles and markers: AppendText, then FlushLine;
//  - rows of frames, samples and fixes, built in place: BeginRow, the row's fields, EndRow (and
//    EndRowLine between the lines of a row that has several);
//  - the binary packets of PCAP and pcapng: BeginBytes and EndBytes.
// Everything goes into one large buffer; once a block of finished lines has gathered it goes to
// the file in one write, so a conversion of a 1 GiB capture makes a few thousand writes. The
// writer trims each line's trailing blanks and puts its line end, notices a cancel at each line
// end, and holds the first failure of the file: once one is held, nothing more is written.
class TextOutput {
 public:
  static constexpr int32_t kLineCapacity = 0x100100;
  // Finished lines are written out once this many bytes have gathered.
  static constexpr size_t kDefaultBlockSize = size_t{1} << 21;
  // The most one row (or one BeginBytes) may hold, and the bytes past its end that the text
  // toolkit's word stores may touch (text.h).
  static constexpr size_t kMaxRow = 4096;
  static constexpr size_t kRowSlack = 64;

  // `blockSize` (at least 1) is only changed by tests of the buffering.
  explicit TextOutput(size_t blockSize = kDefaultBlockSize);
  ~TextOutput();
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;

  // Line end, UTF-8 flag and byte order mark from the job record's output bits; the delimiter
  // (at most 15 units are used) transcoded into the output's character code.
  void SetupOutput(uint32_t outputBits, std::u16string_view delimiter = u",");

  // Clears cancel and result, creates or truncates the file and writes the byte order mark.
  // Returns the result (an output error on failure).
  Result OpenOutput(const std::filesystem::path& path);
  // As OpenOutput, but the file must not exist yet: an existing name (file, folder or link)
  // fails with the output error EEXIST and is left as it is.
  Result CreateOutput(const std::filesystem::path& path);

  // Writes the finished lines still buffered and closes the file. A failure to write them
  // becomes the result when none was held, so a full disk is never reported as success.
  void CloseOutput();

  // ---- lines: the report header, titles and markers

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
  // The characters of the current line so far.
  std::string_view line() const { return std::string_view(line_, static_cast<size_t>(length_)); }

  // Ends the current line: its trailing blanks are dropped and the line end put. Records the
  // cancelled result when cancel was requested (the line is still written); does nothing once a
  // failure is held.
  void FlushLine() {
    if (result_.failed()) return;
    char* end = TrimmedEnd(line_, line_ + length_);
    length_ = 0;
    Commit(PutLineEnd(end));
  }

  // ---- rows: one frame, sample or fix at a time, built in place

  // Room for a row of up to kMaxRow characters (and kRowSlack more that may be stored into), with
  // no line under way. The row's fields are written at the pointer returned.
  char* BeginRow() {
    rowLine_ = line_;
    return line_;
  }
  // Ends a line of a row that goes on after it (a CAN FD frame's continuation lines): its trailing
  // blanks dropped, the line end put. Returns where the next line starts.
  char* EndRowLine(char* end) {
    if (trimRows_) end = TrimmedEnd(rowLine_, end);
    rowLine_ = PutLineEnd(end);
    return rowLine_;
  }
  // Ends the row's last line as EndRowLine does and hands the row over, as FlushLine hands over
  // a line: dropped once a failure is held, cancel noticed, the block written when full.
  void EndRow(char* end) { Commit(EndRowLine(end)); }
  // Rows are trimmed of their lines' trailing blanks, as every line is, unless a converter whose
  // rows never end in a blank turns that off for its file (OpenOutput turns it on again).
  void TrimRows(bool trim) { trimRows_ = trim; }

  // ---- bytes: binary packets built in place

  // Room for up to kMaxRow bytes (with no line under way); EndBytes takes the end of what was
  // written, with the same result discipline as EndRow.
  uint8_t* BeginBytes() { return reinterpret_cast<uint8_t*>(line_); }
  void EndBytes(uint8_t* end) { Commit(reinterpret_cast<char*>(end)); }
  // Bytes from elsewhere, of any length (the header blocks of binary outputs).
  void WriteBytes(const void* data, size_t size);

  Result result() const { return result_; }
  // Records a failure unless one is already held.
  void Fail(Result code) {
    if (result_.ok()) result_ = code;
  }
  bool utf8() const { return utf8_; }
  const std::string& delimiter() const { return delimiter_; }
  std::string_view eol() const { return eol_; }
  bool isOpen() const { return file_ != nullptr; }
  int32_t length() const { return length_; }

  // May be called from another thread: the file being written stops at its next line.
  void RequestCancel() { cancel_.store(true, std::memory_order_relaxed); }

 private:
  static char* TrimmedEnd(const char* start, char* end) {
    while (end > start && end[-1] == ' ') --end;
    return end;
  }
  char* PutLineEnd(char* end) const {
    std::memcpy(end, eolBytes_, 2);  // both bytes; only the line end's own length counts
    return end + eolLength_;
  }
  // A finished row (or bytes) ending at `end` in the buffer is handed over.
  void Commit(char* end) {
    if (result_.failed()) return;
    if (cancel_.load(std::memory_order_relaxed)) result_ = kResultCancelled;
    pending_ = static_cast<size_t>(end - buffer_.get());
    line_ = end;
    if (file_ == nullptr || pending_ >= blockSize_) FinishBlock();
  }
  void AppendCut(std::string_view text);
  // The end of a block: the finished lines are written (or dropped without a file).
  void FinishBlock();
  // Writes the finished lines gathered so far.
  void WritePending();
  void WriteRaw(const char* data, size_t size);
  Result Open(const std::filesystem::path& path, bool createNew);

  Result result_;
  std::atomic<bool> cancel_{false};
  std::FILE* file_ = nullptr;
  uint64_t written_ = 0;   // bytes the file has taken
  uint64_t reserved_ = 0;  // the file system's room set aside ahead of them (0: none)
  bool reserving_ = true;  // false once the file system declined
  size_t blockSize_;
  // Finished lines (pending_ bytes), then the current line or row at line_, with room for a
  // whole line of kLineCapacity characters and its line end after the block.
  std::unique_ptr<char[]> buffer_;
  size_t pending_ = 0;
  char* line_ = nullptr;
  char* rowLine_ = nullptr;  // where the current line of a row starts
  bool trimRows_ = true;
  int32_t length_ = 0;
  bool utf8_ = false;
  std::string_view eol_ = "\r\n";
  char eolBytes_[2] = {'\r', '\n'};
  size_t eolLength_ = 2;
  bool bom_ = false;
  std::string delimiter_ = ",";
};

}  // namespace dtconv
