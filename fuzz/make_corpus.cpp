// Writes the seeds of the fuzz targets.
//  - fuzz/corpus/convert: small captures built with the tests' capture builder, one or two kinds
//    of content each, so that the fuzzer starts from every record kind and every analog front
//    end; the samples/ folder adds larger, mixed captures.
//  - fuzz/corpus/settings: settings files as SaveSettings writes them (UTF-16LE), and the same
//    keys as UTF-8 with and without a byte order mark, as other editors leave them.
//  - fuzz/corpus/startup_args: command lines of the desktop program, as UTF-16LE text.
// Run: make_fuzz_corpus fuzz/corpus
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "capture_builder.h"
#include "pipeline/cvt_settings.h"
#include "pipeline/settings_file.h"

namespace {

using dtconv::test::Bytes;
using dtconv::test::CaptureBuilder;
using dtconv::test::FrameSpec;

constexpr uint8_t kData11 = 1, kRemote11 = 2, kData29 = 3, kRemote29 = 4, kError = 5;
constexpr uint8_t kFd11 = 17, kFd29 = 19;

Bytes Payload(size_t n, uint8_t seed) {
  Bytes d(n);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(seed + 7 * i);
  return d;
}

FrameSpec Frame(int line, uint64_t t, uint8_t format, uint32_t id, Bytes data, uint8_t dlc) {
  FrameSpec f;
  f.line = line;
  f.typeNibble = static_cast<uint8_t>(line);
  f.timestamp = t;
  f.format = format;
  f.id = id;
  f.data = std::move(data);
  f.dlc = dlc;
  f.fc = 0x1234;
  return f;
}

CaptureBuilder CanClassic() {
  CaptureBuilder b;
  b.Frame(Frame(1, 100, kData11, 0x123, Payload(8, 1), 8));
  b.Frame(Frame(2, 250, kData29, 0x18FEF100, Payload(3, 2), 3));
  b.Frame(Frame(1, 400, kRemote11, 0x3FF, {}, 4));
  b.Frame(Frame(2, 900, kRemote29, 0x1ABCDE0, {}, 8));
  FrameSpec err = Frame(1, 1500, kError, 0, {}, 0);
  err.status = 3;
  b.Frame(err);
  FrameSpec marked = Frame(2, 2000, kData11, 0x7E8, Payload(8, 3), 8);
  marked.trigger = true;
  b.Frame(marked);
  b.Marker(0x80, 2500).Marker(0x81, 3000);
  return b;
}

CaptureBuilder CanFd() {
  CaptureBuilder b;
  b.can[1].nonIso = true;
  FrameSpec a = Frame(1, 10, kFd11, 0x2A0, Payload(64, 4), 15);
  a.fdFlags = 1 << 4;  // BRS
  b.Frame(a);
  FrameSpec c = Frame(2, 20, kFd29, 0x18DAF110, Payload(12, 5), 9);
  c.fdFlags = 3 << 5;  // BRS and ESI
  b.Frame(c);
  b.Frame(Frame(1, 30, kFd11, 0x100, Payload(48, 6), 14));
  return b;
}

CaptureBuilder Analog(uint8_t port, bool eight) {
  CaptureBuilder b;
  b.analogPort = port;
  if (port == 3) {
    for (int i = 0; i < 8; ++i) b.calibration.push_back({true, 10 * i, 100000 + i, -100000, 41000});
  }
  for (uint64_t k = 0; k < 4; ++k) {
    dtconv::test::AnalogSpec a;
    a.timestamp = 1000 * k + 5;
    a.referenceTemp = 2150;
    for (uint32_t c = 0; c < 8; ++c) a.words[c] = (0x10000u * (c + 1) + 997u * k) & 0xFFFFFF;
    a.eightChannels = eight;
    b.Analog(a);
  }
  b.Marker(0x82, 5000);
  return b;
}

CaptureBuilder Gnss() {
  CaptureBuilder b;
  for (int s = 0; s < 4; ++s) {
    dtconv::test::FixSpec f;
    f.timestamp = 1000000ull * s + 4000;
    f.utc = {2026, 12, 6, 9, 30, s};
    f.quality = static_cast<uint8_t>(s);
    f.satellites = static_cast<uint8_t>(4 + s);
    f.latitude = 356543210 + 1000 * s;
    f.longitude = -1397012345 + 1000 * s;
    f.altitudeMm = -1200 + 300 * s;
    f.errorCm = 250;
    b.Fix(f);
  }
  return b;
}

CaptureBuilder Wave() {
  CaptureBuilder b;
  b.waveInfo = CaptureBuilder::WaveInfoBytes(1, 0, 1, 3, 0, -1, {true, 5, 100000, -100000, 0},
                                             {false, 0, 0, 0, 0});
  for (uint32_t i = 0; i < 16; ++i)
    b.waveSamples.push_back(i * 0x01000100u + 0x00FF00FFu * (i & 1));
  return b;
}

CaptureBuilder Mixed() {
  CaptureBuilder b = CanClassic();
  b.analogPort = 1;
  dtconv::test::AnalogSpec a;
  a.timestamp = 120;
  a.words = {0x0C3000, 0xF3D000};
  b.Analog(a);
  dtconv::test::FixSpec f;
  f.timestamp = 130;
  f.utc = {2026, 12, 6, 9, 30, 0};
  f.latitude = 356543210;
  f.longitude = 1397012345;
  b.Fix(f);
  b.Frame(Frame(1, 140, kData11, 0x0C9, Payload(8, 9), 8));
  b.waveInfo = CaptureBuilder::WaveInfoBytes(1, 2, 0, 9, 2, -1);
  b.waveSamples = {0x80007FFF, 0x00010001, 0x7FFF8000, 0x12345678};
  return b;
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

void WriteSettingsSeeds(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  dtconv::CvtOptions defaults;
  defaults.folder = u"C:\\Data\\Captures";
  dtconv::SaveSettings(dir / "defaults.ini", defaults);
  dtconv::CvtOptions all;
  all.folder = u"D:\\\u6E2C\u5B9A\\2026";  // a Japanese folder name
  all.fileFilter = 1;
  all.targetData = dtconv::kTargetCan;
  all.outputType = dtconv::kOutputCsv;
  all.canCsvSignalLine = 2;
  all.canCsvTimeStamp = dtconv::kStampMicro;
  all.canCsvRelTimeStamp = all.canCsvDiffTimeStamp = true;
  all.canCsvAddAnalog = all.canCsvAddGnss = true;
  all.additional = true;
  all.outCode = 2;
  all.lineFeed = 1;
  all.csvDelimit = u"\\t";
  dtconv::SaveSettings(dir / "can_csv_every_option.ini", all);
  const std::string keys =
      "[cvtSettings]\r\nfolder=/home/user/captures\r\nfileFilter=*.DT\r\n"
      "[cvtParams]\r\ntargetData=Analog\r\noutputType=Csv\r\n"
      "[anaCsvCvtParams]\r\ntimeStamp=Sec\r\nrelTimeStamp=True\r\naddGNSS=True\r\n"
      "[outputParams]\r\nadditional=True\r\noutCode=UTF-8\r\nlineFeed=CR\r\n"
      "csvDelimit=\"; \"\r\n";
  WriteText(dir / "analog_csv_plain.ini", keys);
  WriteText(dir / "analog_csv_utf8_bom.ini", "\xEF\xBB\xBF" + keys);
  WriteText(dir / "gnss_kml_lf.ini",
            "[cvtParams]\ntargetData=GPS\noutputType=Kml\n[outputParams]\nlineFeed=LF\n");
  // One small file for every target and format the panes offer, so that every converter is
  // reached from the start.
  const char* const pairs[][2] = {{"Can", "Text"},    {"Can", "Csv"},    {"Can", "Pcap"},
                                  {"Analog", "Text"}, {"Analog", "Csv"}, {"GPS", "Text"},
                                  {"GPS", "Csv"},     {"Wave", "Csv"}};
  for (const auto& pair : pairs) {
    WriteText(dir / (std::string("target_") + pair[0] + "_" + pair[1] + ".ini"),
              std::string("[cvtParams]\r\ntargetData=") + pair[0] + "\r\noutputType=" + pair[1] +
                  "\r\n[outputParams]\r\nadditional=True\r\noutCode=UTF-8\r\ncsvDelimit=\\t\r\n");
  }
}

// Command lines as GetCommandLineW gives them, UTF-16LE without a byte order mark.
void WriteStartupSeeds(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  const std::u16string lines[] = {
      u"dtconv_exbca.exe",
      u"\"C:\\Program Files\\dtconv\\dtconv_exbca.exe\" -l1041 -x \"D:\\My Captures\"",
      u"dtconv_exbca.exe -s\"C:\\Users\\me\\dtconv.ini\" -t\"Bench 2\" D:\\runs",
      u"\"dtconv_exbca.exe\"\t-l -t\"unterminated -x folder1 \"folder 2\"",
      u"dtconv_exbca.exe -\u6E2C -l99999999 - -s -tTitle -t\"second\" \"\u6E2C\u5B9A\"",
  };
  int n = 0;
  for (const std::u16string& line : lines) {
    std::string bytes;
    for (char16_t c : line) {
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>(c >> 8));
    }
    WriteText(dir / ("command_line_" + std::to_string(++n) + ".txt"), bytes);
  }
}

void Write(const std::filesystem::path& dir, const std::string& name, const Bytes& bytes) {
  dtconv::test::WriteFile(dir / (name + ".DT"), bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_corpus FOLDER\n");
    return 2;
  }
  WriteSettingsSeeds(std::filesystem::path(argv[1]) / "settings");
  WriteStartupSeeds(std::filesystem::path(argv[1]) / "startup_args");
  std::filesystem::path dir = std::filesystem::path(argv[1]) / "convert";
  std::filesystem::create_directories(dir);
  Write(dir, "signature_only", dtconv::test::AssembleFile({}));
  Write(dir, "no_records", CaptureBuilder().Build());
  Write(dir, "can_classic", CanClassic().Build());
  Write(dir, "can_fd", CanFd().Build());
  CaptureBuilder kind4 = CanClassic();
  kind4.recordingKind = 4;
  kind4.kindExtra = 2;
  Write(dir, "can_kind4", kind4.Build());
  CaptureBuilder kind16 = CanFd();
  kind16.recordingKind = 16;
  Write(dir, "can_kind16", kind16.Build());
  Write(dir, "analog_bnc", Analog(1, false).Build());
  Write(dir, "analog_xphv", Analog(2, true).Build());
  Write(dir, "analog_xptc", Analog(3, true).Build());
  Write(dir, "gnss", Gnss().Build());
  Write(dir, "wave", Wave().Build());
  Write(dir, "mixed", Mixed().Build());
  return 0;
}
