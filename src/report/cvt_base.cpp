#include "report/cvt_base.h"

#include <cstring>

#include "platform/platform.h"

namespace dtconv {

void CTxtCvtBase::Bind(const MonitorData& d, ConverterContext& ctx, bool csvForm, TimeStyle style) {
  data = &d;
  context = &ctx;
  ctx.recordsWalked.store(0, std::memory_order_relaxed);
  output = ctx.output;
  times.Reset(style, d.info.TimeBaseSeconds(), d.info.TimeBaseNanoseconds());
  csv = csvForm;
  lastGnss = nullptr;
  fieldOnLine = false;
}

void CTxtCvtBase::WriteCell(const char* text) {
  if (csv) {
    if (fieldOnLine) output->AppendDelimiter();
  } else {
    output->AppendText(" ");
  }
  if (text != nullptr) output->AppendText(text);
  fieldOnLine = true;
}

void CTxtCvtBase::WriteTimeTitles(bool elapsed, bool difference) {
  if (elapsed) WriteCell("Elapsed(sec.)");
  WriteCell("Date(YYYY/MM/DD)");
  WriteCell("Time(HH:mm:ss)");
  if (times.style() == TimeStyle::kCsvMicroseconds) {
    WriteCell(output->utf8() ? "Time(\xC2\xB5s)" : "Time(us)");
  }
  if (times.style() == TimeStyle::kCsvMilliseconds) WriteCell("Time(ms)");
  if (difference) WriteCell("TimeDiff(sec.)");
}

void CTxtCvtBase::WriteTitleLine() {
  char piece[64];
  FormatPiece(piece, "* %-36s*", Title());
  output->AppendText(piece);
  EndLine();
}

void CTxtCvtBase::WriteSetupBlock() { WriteTitleLine(); }

void CTxtCvtBase::WriteReportHeader() {
  int64_t now = context->bannerTime ? *context->bannerTime : platform::CurrentTime();
  platform::LocalTime lt{};
  char piece[64];
  if (platform::ToLocalTime(now, &lt)) {
    FormatPiece(piece, "*===============[%04d-%02d-%02d %02d:%02d:%02d]=*", lt.year, lt.month,
                lt.day, lt.hour, lt.minute, lt.second);
  } else {
    FormatPiece(piece, "*===============[----------------------]=*");
  }
  output->AppendText(piece);
  EndLine();
  WriteHeaderLines();
  WriteSetupBlock();
  output->AppendText("*=====================================*");
  EndLine();
  EndLine();
}

void CTxtCvtBase::WriteHeaderLine(const char* label, const char* value) {
  if (csv) {
    if (fieldOnLine) output->AppendDelimiter();
    output->AppendText(label);
    output->AppendDelimiter();
    output->AppendText(value);
  } else {
    char piece[64];
    FormatPiece(piece, "* %-10s: %-24s*", label, value);
    output->AppendText(piece);
  }
  EndLine();
}

namespace {
void FormatCaptureTime(const CaptureTime& t, char (&text)[64]) {
  if (t.year == 0) {
    std::strcpy(text, "Unrecorded");
  } else {
    FormatPiece(text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  }
}
}  // namespace

void CTxtCvtBase::WriteHeaderLines() {
  const DataInfo& info = data->info;
  char text[64];
  WriteHeaderLine("Model", ModelName(info.ModelCode()));
  if (IsKnownModel(info.ModelCode())) {
    FormatVersion(info.FirmwareVersion(), text);
    WriteHeaderLine("Version", text);
    WriteHeaderLine("Extension", BoardName(info));
  }
  FormatSerial(info, text, sizeof text);
  WriteHeaderLine("Serial No.", text);
  FormatCaptureTime(info.StartTime(), text);
  WriteHeaderLine("Start time", text);
  FormatCaptureTime(info.StopTime(), text);
  WriteHeaderLine("Stop time", text);
  if (!csv) {
    output->AppendText("*-------------------------------------*");
    EndLine();
  }
}

void CTxtCvtBase::WriteOverrunLine() {
  output->AppendText("                         == Overrun ==");
  EndLine();
}

void CTxtCvtBase::WriteLostDataLine() {
  output->AppendText("                         == Lost data ==");
  EndLine();
}

const char* ModelName(uint32_t code) {
  switch (code & 0xFFFFFF00u) {
    case 0x30100:
      return "PX-5100";
    case 0x30200:
      return "PX-5100R";
    case 0x30300:
      return "PX-5200";
    case 0x30400:
      return "PX-5200R";
    default:
      return code == 0 ? "Unrecorded" : "Unknown";
  }
}

bool IsKnownModel(uint32_t code) {
  uint32_t m = code & 0xFFFFFF00u;
  return m == 0x30100 || m == 0x30200 || m == 0x30300 || m == 0x30400;
}

const char* BoardName(const DataInfo& info) {
  if (!IsKnownModel(info.ModelCode())) return nullptr;
  switch (info.BoardCode()) {
    case 33:
      return "EXB-G1";
    case 34:
      return "EXB-G10";
    case 35:
      return "EXB-S2";
    case 36:
      return "EXB-T1";
    case 37:
      return "EXB-CA";
    default:
      return "Unknown";
  }
}

void FormatVersion(uint32_t v, char (&text)[64]) {
  unsigned major = v >> 20, minor = (v >> 12) & 0xFF, letter = (v >> 8) & 0xF, patch = v & 0xFF;
  if (v == 0) {
    std::strcpy(text, "Unrecorded");
  } else if ((v & 0xFFF) == 0) {
    FormatPiece(text, "%X.%02X", major, minor);
  } else if (letter == 0) {
    FormatPiece(text, "%X.%02X.%02X", major, minor, patch);
  } else if (patch == 0) {
    FormatPiece(text, "%X.%02X%x", major, minor, letter);
  } else {
    FormatPiece(text, "%X.%02X%x.%02X", major, minor, letter, patch);
  }
}

void FormatSerial(const DataInfo& info, char* text, size_t size) {
  const uint8_t* serial = info.Serial();
  if (size == 0) return;
  if (serial[0] == 0) {
    std::strncpy(text, "Unrecorded", size - 1);
    text[size - 1] = '\0';
    return;
  }
  size_t used = size < 16 ? size : 16;
  std::memcpy(text, serial, used);
  text[used - 1] = '\0';
  switch (info.ModelCode()) {
    case 0x12001:
    case 0x12002:
    case 0x12003:
    case 0x12011:
    case 0x12012:
    case 0x12013:
    case 0x12033:
      if (used > 8) text[8] = '\0';
      break;
    default:
      break;
  }
  for (size_t i = 0; text[i] != '\0'; ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c <= 0x20 || c >= 0x7F) {
      text[i] = '\0';
      break;
    }
  }
}

void FormatBitRate(int32_t r, char (&text)[32]) {
  if (r == 0) {
    std::strcpy(text, "--");
  } else if (r <= 99999) {
    FormatPiece(text, "%d", r);
  } else if (r <= 999999) {
    FormatPiece(text, "%dk", r / 1000);
  } else {
    int k = r / 1000;
    int frac = k % 1000;
    if (frac == 0) {
      FormatPiece(text, "%dM", k / 1000);
    } else {
      char digits[8];
      FormatPiece(digits, "%03d", frac);
      size_t n = std::strlen(digits);
      while (n > 0 && digits[n - 1] == '0') digits[--n] = '\0';
      FormatPiece(text, "%d.%sM", k / 1000, digits);
    }
  }
}

}  // namespace dtconv
