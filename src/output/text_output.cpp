#include "output/text_output.h"

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace dtconv {

namespace {
constexpr char kBom[] = "\xEF\xBB\xBF";
// Room set aside ahead of a large output, in steps of this many bytes.
constexpr uint64_t kReserveStep = uint64_t{16} << 20;
}  // namespace

int FormatPieceN(char* piece, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(piece, size, format, args);
  va_end(args);
  return n;
}

// After the block: room for one whole line and its line end (at most two bytes).
TextOutput::TextOutput(size_t blockSize)
    : blockSize_(blockSize == 0 ? 1 : blockSize),
      buffer_(new char[blockSize_ + kLineCapacity + 2]),
      line_(buffer_.get()),
      rowLine_(buffer_.get()) {}

TextOutput::~TextOutput() { CloseOutput(); }

void TextOutput::SetupOutput(uint32_t bits, std::u16string_view delimiter) {
  switch (bits & 3) {
    case kOutLf:
      eol_ = "\n";
      break;
    case kOutCr:
      eol_ = "\r";
      break;
    default:
      eol_ = "\r\n";
      break;
  }
  eolBytes_[0] = eol_[0];
  eolBytes_[1] = eol_.size() > 1 ? eol_[1] : '\0';
  eolLength_ = eol_.size();
  utf8_ = (bits & kOutUtf8) != 0;
  bom_ = utf8_ && (bits & kOutBom) != 0;
  std::u16string_view wide = delimiter;
  if (wide.size() >= kDelimiterUnits) wide = wide.substr(0, kDelimiterUnits - 1);
  delimiter_ = platform::NarrowText(wide, utf8_);
  if (delimiter_.size() > 63) delimiter_.resize(63);
}

Result TextOutput::OpenOutput(const std::filesystem::path& path) { return Open(path, false); }

Result TextOutput::CreateOutput(const std::filesystem::path& path) { return Open(path, true); }

Result TextOutput::Open(const std::filesystem::path& path, bool createNew) {
  CloseOutput();
  cancel_.store(false, std::memory_order_relaxed);
  result_ = kResultOk;
  trimRows_ = true;
  pending_ = 0;
  line_ = buffer_.get();
  length_ = 0;
  written_ = 0;
  reserved_ = 0;
  reserving_ = true;
  int err = 0;
  file_ = createNew ? platform::CreateOutputFile(path, &err) : platform::OpenOutputFile(path, &err);
  if (file_ == nullptr) {
    result_ = Result::Output(err);
    return result_;
  }
  // The writer gathers whole blocks itself; the stream passes them straight to the system.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  if (bom_) {
    WriteRaw(kBom, 3);
    if (result_.failed()) {
      std::fclose(file_);
      file_ = nullptr;
    }
  }
  return result_;
}

void TextOutput::CloseOutput() {
  if (file_ == nullptr) return;
  // Lines finished before a failure or a cancel were handed over and are still written.
  WritePending();
  if (reserved_ > written_ && result_.ok()) platform::TrimOutputSpace(file_, written_);
  errno = 0;
  if (std::fclose(file_) != 0) Fail(Result::Output(errno ? errno : EIO));
  file_ = nullptr;
}

void TextOutput::AppendCut(std::string_view text) {
  size_t room = static_cast<size_t>(kLineCapacity - 1 - length_);
  size_t n = text.size() < room ? text.size() : room;
  std::memmove(line_ + length_, text.data(), n);
  length_ += static_cast<int32_t>(n);
}

void TextOutput::WriteRaw(const char* data, size_t size) {
  if (file_ == nullptr) {
    Fail(Result::Output(EBADF));
    return;
  }
  errno = 0;
  if (std::fwrite(data, 1, size, file_) != size) {
    Fail(Result::Output(errno ? errno : EIO));
    return;
  }
  written_ += size;
}

void TextOutput::WritePending() {
  if (pending_ == 0) return;
  // A block of a large output: the file system is asked to set aside room for
  // the next blocks in one step. The room left past the end is given back on closing.
  if (reserving_ && pending_ >= blockSize_ / 2 && written_ + pending_ > reserved_ &&
      file_ != nullptr) {
    uint64_t from = reserved_ > written_ ? reserved_ : written_;
    reserving_ = platform::ReserveOutputSpace(file_, from, kReserveStep);
    if (reserving_) reserved_ = from + kReserveStep;
  }
  // The unfinished line moves to the start of the buffer.
  WriteRaw(buffer_.get(), pending_);
  if (length_ > 0) std::memmove(buffer_.get(), line_, static_cast<size_t>(length_));
  pending_ = 0;
  line_ = buffer_.get();
}

void TextOutput::FinishBlock() {
  if (file_ == nullptr) {
    // Nowhere to write: the line is dropped and the failure recorded.
    pending_ = 0;
    Fail(Result::Output(EBADF));
  } else {
    WritePending();
  }
}

void TextOutput::WriteBytes(const void* data, size_t size) {
  if (result_.failed()) return;
  if (cancel_.load(std::memory_order_relaxed)) {
    result_ = kResultCancelled;
    return;
  }
  if (file_ == nullptr) {
    Fail(Result::Output(EBADF));
    return;
  }
  if (pending_ + size > blockSize_) {
    WritePending();
    if (size >= blockSize_) {
      // Large enough to go out directly; an unfinished line stays behind it.
      WriteRaw(static_cast<const char*>(data), size);
      return;
    }
  }
  if (length_ > 0) std::memmove(line_ + size, line_, static_cast<size_t>(length_));
  std::memcpy(buffer_.get() + pending_, data, size);
  pending_ += size;
  line_ = buffer_.get() + pending_;
}

}  // namespace dtconv
