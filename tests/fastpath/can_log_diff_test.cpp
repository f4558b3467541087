// The ASC and candump log writers against plain printf reference lines: random captures with
// frames of every format code (and unknown ones), every status, DLCs that do and do not agree with
// the stored bytes, every data length, identifiers with stray high bits, times across second
// boundaries, going back, with 20-digit seconds and before 1970, and interface names of every
// length up to ones that make a line longer than the 512 characters a line is cut to. The
// reference decodes the frames with the public AssembleFrame and ToSocketCan and formats each
// line with snprintf; the word-at-a-time pieces of the lines are also checked on their own.
#include <gtest/gtest.h>

#include <array>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "can/can_frame.h"
#include "can/cvt_asc.h"
#include "can/cvt_candump.h"
#include "diff_support.h"
#include "output/text.h"
#include "run_converter.h"

namespace dtconv {
namespace {

using test::CaptureBuilder;
using test::Random;

// ---- reference lines

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char buf[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

// A finished line as the writer ends it: trailing blanks trimmed, then the line end.
void EndLine(std::string& out, std::string line, const char* eol = "\r\n") {
  while (!line.empty() && line.back() == ' ') line.pop_back();
  out += line;
  out += eol;
}

// Calls `each` with the assembled frame, the record timestamp and the line (1, 2) of every frame
// the log writers take, in order.
template <typename Each>
void ForEachFrame(const CTxtCvtBase& cv, Each each) {
  AcceptRule rule{.frames = true};
  RecordCursor cursor = cv.StartCursor();
  for (RecordKind kind = FirstRecord(cursor, rule); kind != kKindEnd;
       kind = NextRecord(cursor, rule)) {
    if (kind != kKindCh1Frame && kind != kKindCh2Frame) continue;
    CanFrame f;
    if (!AssembleFrame(cursor, f)) continue;
    each(f, cursor.Current().Timestamp(), kind == kKindCh1Frame ? 1 : 2);
  }
}

// The lines of the frames on the signal lines `signalLine` keeps (0 both, 1 CH1, 2 CH2).
std::string CandumpLines(const CTxtCvtBase& cv, const std::array<std::string, 2>& names,
                         int signalLine, const char* eol) {
  std::string out;
  ForEachFrame(cv, [&](const CanFrame& f, uint64_t timestamp, int line) {
    if (signalLine != 0 && line != signalLine) return;
    int64_t micros = CaptureMicroseconds(cv.data->info.TimeBaseSeconds(),
                                         cv.data->info.TimeBaseNanoseconds(), timestamp);
    auto magnitude = static_cast<uint64_t>(micros);
    if (micros < 0) magnitude = 0 - magnitude;
    std::string head = Printf("(%s%010" PRIu64 ".%06" PRIu64 ") ", micros < 0 ? "-" : "",
                              magnitude / 1000000, magnitude % 1000000) +
                       names[line - 1] + " ";
    SocketCanPackets p = ToSocketCan(f);
    if (p.hasFrame) {
      const SocketCanFrame& s = p.frame;
      std::string text = head + Printf(s.IsExtended() ? "%08X#" : "%03X#", s.Identifier());
      if (s.IsFd()) text += Printf("#%X", s.fdFlags & 0xF);
      if (!s.IsFd() && s.IsRemote()) {
        text += "R";
        int dlc = s.dlc > 8 ? 8 : s.dlc;
        if (dlc > 0) text += Printf("%X", dlc);
      } else {
        for (int i = 0; i < s.length; ++i) text += Printf("%02X", s.data[i]);
      }
      EndLine(out, text.substr(0, 512), eol);
    }
    if (p.hasError) {
      std::string text = head + Printf("%08X#", p.error.idWord | kCanErrBusError);
      for (uint8_t b : p.error.data) text += Printf("%02X", b);
      EndLine(out, text.substr(0, 512), eol);
    }
  });
  return out;
}

int FdDlcFor(int count) {
  for (int dlc = 0; dlc < 15; ++dlc) {
    if (FdDataLength(static_cast<uint8_t>(dlc)) >= count) return dlc;
  }
  return 15;
}

// The lines of the frames on the signal lines `signalLine` keeps (0 both, 1 CH1, 2 CH2).
std::string AscLines(const CTxtCvtBase& cv, int signalLine, const char* eol) {
  std::string out;
  ForEachFrame(cv, [&](const CanFrame& f, uint64_t t, int line) {
    if (signalLine != 0 && line != signalLine) return;
    std::string time = Printf("%4" PRIu64 ".%06" PRIu64 " ", t / 1000000, t % 1000000);
    SocketCanPackets p = ToSocketCan(f);
    if (p.hasFrame) {
      const SocketCanFrame& s = p.frame;
      std::string id = Printf("%X%c", s.Identifier(), s.IsExtended() ? 'x' : ' ');
      if (s.IsFd()) {
        bool brs = (s.fdFlags & kCanFdBrs) != 0;
        bool esi = (s.fdFlags & kCanFdEsi) != 0;
        bool dlcAgrees = f.dlc <= 15 && FdDataLength(f.dlc) == s.length;
        std::string text =
            time + Printf("CANFD %3d Rx %11s%34s%d %d %x %2d", line, id.c_str(), "", brs, esi,
                          dlcAgrees ? f.dlc : FdDlcFor(s.length), s.length);
        for (int i = 0; i < s.length; ++i) text += Printf(" %02X", s.data[i]);
        text += Printf("        0    0 %8X %8X 0 0 0 0",
                       0x1000u | (brs ? 0x2000u : 0) | (esi ? 0x4000u : 0), f.fc & 0xFFFFFF);
        EndLine(out, text, eol);
      } else if (s.IsRemote()) {
        EndLine(out,
                time + Printf("%d  %-15s Rx   r %X", line, id.c_str(), s.dlc > 15 ? 15 : s.dlc),
                eol);
      } else {
        int shown = s.length > 8 ? 8 : s.length;
        bool dlcAgrees = s.dlc <= 15 && (s.dlc > 8 ? 8 : s.dlc) == shown;
        std::string text =
            time + Printf("%d  %-15s Rx   d %X", line, id.c_str(), dlcAgrees ? s.dlc : shown);
        for (int i = 0; i < shown; ++i) text += Printf(" %02X", s.data[i]);
        EndLine(out, text, eol);
      }
    }
    if (p.hasError) EndLine(out, time + Printf("%d  ErrorFrame", line), eol);
  });
  return out;
}

// ---- random captures

uint64_t RandomTimestamp(Random& r) {
  switch (r.Below(6)) {
    case 0:
      return r.Next();  // up to 20-digit seconds
    case 1:
      return uint64_t{r.Below(100000)} * 1000000 - r.Below(2);  // either side of a second
    case 2:
      return ~uint64_t{0} - r.Below(3000000);
    default:
      return r.Bits();
  }
}

CaptureBuilder RandomCapture(Random& r, int frames) {
  static constexpr uint8_t kFormats[] = {1, 2, 3, 4, 5, 17, 19, 21, 33, 35, 37, 0, 6, 255};
  CaptureBuilder b;
  switch (r.Below(4)) {
    case 0:
      b.timeBaseSeconds = 1796549400;
      break;
    case 1:
      b.timeBaseSeconds = -static_cast<int64_t>(r.Below(3000000));  // before 1970
      break;
    case 2:
      b.timeBaseSeconds = static_cast<int64_t>(r.Next() % 40000000000ull) - 1000000;
      break;
    default:
      b.timeBaseSeconds = static_cast<int64_t>(r.Next() >> 1);  // wraps
      break;
  }
  b.timeBaseNanoseconds =
      r.OneIn(4) ? static_cast<int64_t>(r.Below(4000000001u)) - 2000000000 : r.Below(1000000000);
  uint64_t t = RandomTimestamp(r);
  for (int i = 0; i < frames; ++i) {
    // Mostly ascending close together, as recorded, with jumps anywhere now and then.
    t = r.OneIn(20) ? RandomTimestamp(r) : t + r.Below(400000);
    int count = r.OneIn(3) ? static_cast<int>(r.Below(65)) : static_cast<int>(r.Below(9));
    test::Bytes data(static_cast<size_t>(count));
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(r.Next());
    // Now and then a stored byte count or a continuation count that the records do not bear out:
    // continuation records missing or out of order, and such a frame dropped.
    std::optional<uint8_t> storedCount;
    std::optional<uint8_t> continuationCount;
    if (r.OneIn(25)) storedCount = static_cast<uint8_t>(r.OneIn(2) ? r.Below(70) : r.Next());
    if (r.OneIn(25)) continuationCount = static_cast<uint8_t>(r.Below(4));
    test::FrameSpec f{
        .line = 1 + static_cast<int>(r.Below(2)),
        .timestamp = t,
        .format = r.OneIn(10) ? static_cast<uint8_t>(r.Next()) : kFormats[r.Below(sizeof kFormats)],
        .status = static_cast<uint8_t>(r.OneIn(3) ? r.Below(9) : 0),
        .fdFlags = static_cast<uint8_t>(r.Next()),
        .dlc = static_cast<uint8_t>(r.OneIn(8) ? r.Next() : r.Below(16)),
        .id = r.OneIn(2) ? static_cast<uint32_t>(r.Bits()) : static_cast<uint32_t>(r.Next()),
        .fc = static_cast<uint32_t>(r.Next()),
        .data = data,
        .storedCount = storedCount,
        .continuationCount = continuationCount,
    };
    b.Frame(f);
  }
  return b;
}

std::string RandomName(Random& r) {
  static constexpr size_t kLengths[] = {0, 1, 4, 15, 16, 17, 63, 64, 450, 480, 488, 511, 512, 700};
  std::string name(kLengths[r.Below(sizeof kLengths / sizeof kLengths[0])], 'n');
  for (char& c : name) c = static_cast<char>('a' + r.Below(26));
  return name;
}

// Interface names as the command line takes them: 1 to 15 characters.
std::string ShortName(Random& r) {
  std::string name(1 + r.Below(15), 'n');
  for (char& c : name) c = static_cast<char>('a' + r.Below(26));
  return name;
}

struct LineEnd {
  uint32_t outputBits;
  const char* text;
};
constexpr LineEnd kLineEnds[] = {{kOutCrLf, "\r\n"}, {kOutLf, "\n"}, {kOutCr, "\r"}};

TEST(CanLogDiff, CandumpMatchesPrintfLines) {
  Random r(0xCA7D);
  int64_t captures = test::DiffCount(400);
  for (int64_t n = 0; n < captures; ++n) {
    // Up to 300 frames, now and then some thousands.
    int frames =
        r.OneIn(8) ? 1 + static_cast<int>(r.Below(3000)) : 1 + static_cast<int>(r.Below(300));
    CaptureBuilder b = RandomCapture(r, frames);
    std::array<std::string, 2> names =
        r.OneIn(2) ? std::array<std::string, 2>{ShortName(r), ShortName(r)}
                   : std::array<std::string, 2>{RandomName(r), RandomName(r)};
    const LineEnd& eol = kLineEnds[r.Below(3)];
    int signalLine = r.OneIn(2) ? 0 : 1 + static_cast<int>(r.Below(2));
    std::string expected;
    auto run = test::RunConverter(
        b.Build(), test::SettingsFor(kCvtCanCandump, 0, 0, eol.outputBits, u",", signalLine),
        [&](const MonitorData& d, ConverterContext& c) {
          c.interfaceNames = names;
          CTxtCvtCandump cv;
          ConvertCandump(cv, d, c);
          expected = CandumpLines(cv, names, signalLine, eol.text);
        });
    ASSERT_EQ(run.result, 0u);
    ASSERT_EQ(test::FirstDifference(expected, run.bytes), "") << "capture " << n;
  }
}

TEST(CanLogDiff, AscMatchesPrintfLines) {
  test::SetTimeZone("UTC0");
  Random r(0xA5C);
  int64_t captures = test::DiffCount(400);
  for (int64_t n = 0; n < captures; ++n) {
    int frames =
        r.OneIn(8) ? 1 + static_cast<int>(r.Below(3000)) : 1 + static_cast<int>(r.Below(300));
    CaptureBuilder b = RandomCapture(r, frames);
    const LineEnd& eol = kLineEnds[r.Below(3)];
    int signalLine = r.OneIn(2) ? 0 : 1 + static_cast<int>(r.Below(2));
    std::string expected;
    auto run = test::RunConverter(
        b.Build(), test::SettingsFor(kCvtCanAsc, 0, 0, eol.outputBits, u",", signalLine),
        [&](const MonitorData& d, ConverterContext& c) {
          CTxtCvtAsc cv;
          ConvertAsc(cv, d, c);
          expected = AscLines(cv, signalLine, eol.text);
        });
    ASSERT_EQ(run.result, 0u);
    // The five header lines and the closing line around the frame lines.
    std::string_view lineEnd = eol.text;
    size_t start = 0;
    for (int i = 0; i < 5; ++i) start = run.bytes.find(lineEnd, start) + lineEnd.size();
    std::string tail = "End TriggerBlock" + std::string(lineEnd);
    ASSERT_GE(run.bytes.size(), start + tail.size());
    EXPECT_EQ(run.bytes.substr(run.bytes.size() - tail.size()), tail);
    ASSERT_EQ(test::FirstDifference(
                  expected, run.bytes.substr(start, run.bytes.size() - start - tail.size())),
              "")
        << "capture " << n;
  }
}

// ---- the text pieces of the log lines on their own

template <typename Put>
std::string Text(Put put) {
  char text[256];
  return std::string(text, put(text));
}

TEST(LogLineTexts, SixDigitsOfEveryValue) {
  for (uint32_t v = 0; v < 1000000; ++v) {
    ASSERT_EQ(Text([&](char* p) { return text::PutDigits<6>(p, v); }), Printf("%06u", v)) << v;
  }
}

TEST(LogLineTexts, HexOfRandomAndEdgeValues) {
  Random r(0x4E3);
  std::vector<uint32_t> values{0,          1,          9,          10,        15,       16,
                               0xFF,       0x100,      0x7FF,      0x800,     0xFFFFFF, 0x1000000,
                               0x1FFFFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
  for (int64_t i = 0; i < test::DiffCount(1000000); ++i)
    values.push_back(static_cast<uint32_t>(r.Bits()));
  for (uint32_t v : values) {
    ASSERT_EQ(Text([&](char* p) { return text::PutHex(p, v, 8); }), Printf("%08X", v)) << v;
    ASSERT_EQ(Text([&](char* p) { return text::PutHex(p, v, 3); }), Printf("%03X", v)) << v;
    ASSERT_EQ(Text([&](char* p) { return text::PutHexField(p, v, 1, 8); }), Printf("%8X", v)) << v;
    ASSERT_EQ(Text([&](char* p) { return text::PutHexField(p, v, 1, 10); }), Printf("%10X", v))
        << v;
    ASSERT_EQ(Text([&](char* p) { return text::PadRight(p, text::PutHex(p, v, 1), 8); }),
              Printf("%-8X", v))
        << v;
  }
}

TEST(LogLineTexts, HexDataOfEveryLength) {
  Random r(0xDA7A);
  for (int round = 0; round < 200; ++round) {
    uint8_t data[64];
    for (uint8_t& b : data) b = static_cast<uint8_t>(r.Next());
    for (int count = 0; count <= 64; ++count) {
      std::string plain, spaced;
      for (int i = 0; i < count; ++i) {
        plain += Printf("%02X", data[i]);
        spaced += Printf(" %02X", data[i]);
      }
      ASSERT_EQ(Text([&](char* p) { return text::PutHexBytes(p, data, count); }), plain);
      ASSERT_EQ(Text([&](char* p) { return text::PutSpacedHexBytes(p, data, count); }), spaced);
    }
  }
}

}  // namespace
}  // namespace dtconv

// ---- one-off check of the conversion tables' goldens against the reference formatters
#include <fstream>
#include <sstream>

#include "capture_recipe.h"
#include "cli/cli_options.h"
#include "reference_format.h"
#include "test_files.h"
namespace dtconv {
namespace {
TEST(GoldenCheck, TablesAgainstTheReference) {
  int checked = 0;
  for (const char* table : {"random.tsv", "can.tsv", "robust.tsv"}) {
    std::ifstream in(std::string(DTCONV_CASES_DIR) + "/conversions/" + table);
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::vector<std::string> c;
      std::stringstream ss(line);
      for (std::string f; std::getline(ss, f, '\t');) c.push_back(f);
      if (c[5] == "-" || c[5] == "empty" || c[5][0] == '=' || c[1].find(" + ") != std::string::npos)
        continue;
      std::vector<std::string> args;
      std::string word;
      bool q = false;
      for (char ch : c[3] + " ") {
        if (ch == '\'')
          q = !q;
        else if (ch == ' ' && !q) {
          if (!word.empty()) args.push_back(word);
          word.clear();
        } else
          word += ch;
      }
      if (c[3].find("' '") != std::string::npos) args.insert(args.begin() + 4, " ");
      args.push_back("x.DT");
      cli::CliRequest req = cli::ParseCommandLine(args);
      ASSERT_EQ(req.command, cli::Command::kConvert) << c[0];
      CvtSettings s = BuildCvtSettings(req.options);
      s.interfaceNames = req.interfaceNames;
      test::SetTimeZone(c[2].c_str());
      test::Bytes cap = test::BuildRecipe(c[1]);
      auto image = std::make_unique<uint8_t[]>(cap.size());
      std::memcpy(image.get(), cap.data(), cap.size());
      MonitorData data;
      if (ParseMonitorData(std::move(image), cap.size(), data).failed()) continue;
      std::string golden = test::ReadFileBytes(std::string(DTCONV_GOLDEN_DIR) + "/" + c[5]);
      bool utf8 = (s.outputBits & kOutUtf8) != 0;
      uint32_t e = s.outputBits & 3;
      std::string eol = e == 1 ? "\n" : e == 2 ? "\r" : "\r\n";
      std::string delim(s.delimiter.begin(), s.delimiter.end());
      std::string expected;
      bool whole = false;
      switch (s.type) {
        case kCvtCanText:
        case kCvtCanCsv:
          expected = ref::CanRows(data, s, utf8, eol, delim);
          break;
        case kCvtAnalogText:
        case kCvtAnalogCsv:
          expected = ref::AnalogRows(data, s, utf8, eol, delim);
          break;
        case kCvtGnssText:
        case kCvtGnssCsv:
          expected = ref::GnssRows(data, s, eol, delim);
          break;
        case kCvtGnssKml:
          expected = ref::KmlDocument(data, eol);
          break;
        case kCvtAnalogWave:
          expected = ref::WaveRows(data, eol, delim);
          whole = true;
          break;
        case kCvtCanPcap:
          expected = ref::PcapFile(data, s.signalLine);
          whole = true;
          break;
        case kCvtCanCandump: {
          test::RunConverter(cap, s, [&](const MonitorData& d, ConverterContext& ctx) {
            ctx.interfaceNames = s.interfaceNames;
            CTxtCvtCandump cv;
            ConvertCandump(cv, d, ctx);
            expected = CandumpLines(cv, s.interfaceNames, s.signalLine, "\n");
          });
          whole = true;
          break;
        }
        case kCvtCanAsc: {
          test::RunConverter(cap, s, [&](const MonitorData& d, ConverterContext& ctx) {
            CTxtCvtAsc cv;
            ConvertAsc(cv, d, ctx);
            expected = AscLines(cv, s.signalLine, eol.c_str());
          });
          expected += "End TriggerBlock" + eol;
          break;
        }
        default:
          continue;
      }
      ++checked;
      if (whole) {
        EXPECT_EQ(test::FirstDifference(expected, golden), "") << c[0];
      } else {
        bool ends = golden.size() >= expected.size() &&
                    golden.compare(golden.size() - expected.size(), expected.size(), expected) == 0;
        EXPECT_TRUE(ends) << c[0] << ": "
                          << test::FirstDifference(
                                 expected, golden.substr(golden.size() > expected.size()
                                                             ? golden.size() - expected.size()
                                                             : 0));
      }
    }
  }
  test::SetTimeZone("UTC");
  std::printf("checked %d goldens against the reference\n", checked);
}
}  // namespace
}  // namespace dtconv
