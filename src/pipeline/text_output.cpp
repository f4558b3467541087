#include "pipeline/text_output.h"

#include <cerrno>
#include <cstring>

#include "input/monitor_data.h"
#include "platform/platform.h"

namespace dtconv {

namespace {
// Output goes out in large blocks: a 1 GiB conversion makes a few thousand writes, not one per
// line.
constexpr size_t kFileBufferSize = 1 << 20;
constexpr char kBom[] = "\xEF\xBB\xBF";
}  // namespace

int FormatPieceN(char* piece, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(piece, size, format, args);
  va_end(args);
  return n;
}

// Two bytes beyond the line's capacity leave room for the line end.
TextOutput::TextOutput()
    : line_(new char[kLineCapacity + 2]), fileBuffer_(new char[kFileBufferSize]) {}

TextOutput::~TextOutput() { CloseOutput(); }

void TextOutput::SetupOutput(const CvtSettings& settings) {
  uint32_t bits = settings.outputBits;
  switch (bits & 3) {
    case kOutLf: eol_ = "\n"; break;
    case kOutCr: eol_ = "\r"; break;
    default: eol_ = "\r\n"; break;
  }
  utf8_ = (bits & kOutUtf8) != 0;
  bom_ = utf8_ && (bits & kOutBom) != 0;
  std::u16string_view wide = settings.delimiter;
  if (wide.size() >= kDelimiterUnits) wide = wide.substr(0, kDelimiterUnits - 1);
  delimiter_ = platform::NarrowText(wide, utf8_);
  if (delimiter_.size() > 63) delimiter_.resize(63);
}

uint32_t TextOutput::OpenOutput(const std::filesystem::path& path) { return Open(path, false); }

uint32_t TextOutput::CreateOutput(const std::filesystem::path& path) { return Open(path, true); }

uint32_t TextOutput::Open(const std::filesystem::path& path, bool createNew) {
  CloseOutput();
  cancel_.store(false, std::memory_order_relaxed);
  result_ = 0;
  length_ = 0;
  int err = 0;
  file_ = createNew ? platform::CreateOutputFile(path, &err) : platform::OpenOutputFile(path, &err);
  if (file_ == nullptr) {
    result_ = kResultOutputBase + static_cast<uint32_t>(err);
    return result_;
  }
  std::setvbuf(file_, fileBuffer_.get(), _IOFBF, kFileBufferSize);
  if (bom_) {
    WriteRaw(kBom, 3);
    if (result_ != 0) {
      std::fclose(file_);
      file_ = nullptr;
    }
  }
  return result_;
}

void TextOutput::CloseOutput() {
  if (file_ == nullptr) return;
  errno = 0;
  if (std::fclose(file_) != 0) Fail(kResultOutputBase + static_cast<uint32_t>(errno ? errno : EIO));
  file_ = nullptr;
}

void TextOutput::AppendText(std::string_view text) {
  size_t room = static_cast<size_t>(kLineCapacity - 1 - length_);
  size_t n = text.size() < room ? text.size() : room;
  std::memcpy(line_.get() + length_, text.data(), n);
  length_ += static_cast<int32_t>(n);
}

void TextOutput::WriteRaw(const char* data, size_t size) {
  if (file_ == nullptr) {
    Fail(kResultOutputBase + EBADF);
    return;
  }
  errno = 0;
  if (std::fwrite(data, 1, size, file_) != size) {
    Fail(kResultOutputBase + static_cast<uint32_t>(errno ? errno : EIO));
  }
}

void TextOutput::FlushLine() {
  if (result_ != 0) return;
  if (cancel_.load(std::memory_order_relaxed)) result_ = kResultCancelled;
  char* line = line_.get();
  while (length_ > 0 && line[length_ - 1] == ' ') --length_;
  std::memcpy(line + length_, eol_.data(), eol_.size());
  WriteRaw(line, static_cast<size_t>(length_) + eol_.size());
  length_ = 0;
}

void TextOutput::WriteBytes(const void* data, size_t size) {
  if (result_ != 0) return;
  if (cancel_.load(std::memory_order_relaxed)) {
    result_ = kResultCancelled;
    return;
  }
  WriteRaw(static_cast<const char*>(data), size);
}

}  // namespace dtconv
