#include "robust_support.h"

#include <algorithm>

#include "run_converter.h"
#include "signals/cvt_signals.h"

namespace dtconv::test {

namespace {

constexpr uint8_t kData11 = 1, kData29 = 3, kFd11 = 17;

FrameSpec Frame(int line, uint64_t t, uint8_t format, uint32_t id, size_t bytes, uint8_t dlc,
                uint8_t seed = 0) {
  FrameSpec f;
  f.line = line;
  f.typeNibble = static_cast<uint8_t>(line);
  f.timestamp = t;
  f.format = format;
  f.id = id;
  f.dlc = dlc;
  f.fc = 0x2BCD;
  for (size_t i = 0; i < bytes; ++i) {
    f.data.push_back(static_cast<uint8_t>(0x11 * (i % 15) + i + seed));
  }
  return f;
}

}  // namespace

CaptureBuilder BaseCapture() {
  CaptureBuilder b;
  b.Frame(Frame(1, 100, kData11, 0x123, 8, 8));
  b.Frame(Frame(2, 200, kFd11, 0x2A0, 64, 15));
  b.Frame(Frame(1, 300, kData29, 0x18FEF100, 4, 4));
  b.Marker(0x81, 400);
  b.waveInfo = CaptureBuilder::WaveInfoBytes(1, 0, 1, 3, 0, 2);
  b.waveSamples = {0x00000000, 0x7FFF8000, 0x40000C00, 0xFFFF0001};
  return b;
}

CaptureBuilder BigCapture(int frames, uint8_t seed) {
  CaptureBuilder b;
  b.analogPort = 1;
  for (int i = 0; i < frames; ++i) {
    uint64_t t = 1000ull * static_cast<uint64_t>(i) + seed;
    b.Frame(Frame(1 + i % 2, t, kData11, 0x100 + static_cast<uint32_t>(i % 64), 8, 8,
                  static_cast<uint8_t>(i + seed)));
    if (i % 100 == 0) {
      AnalogSpec a;
      a.timestamp = t + 1;
      a.words = {static_cast<uint32_t>(i * 97) & 0xFFFFFF, 0x123456};
      b.Analog(a);
      FixSpec f;
      f.timestamp = t + 2;
      f.utc = {2026, 12, 6, 9, 30, (i / 1000) % 60};
      f.latitude = 356543210 + i;
      f.longitude = 1397012345 - i;
      b.Fix(f);
    }
  }
  return b;
}

bool ListSource::Next(std::filesystem::path* p) {
  if (paths_.empty()) return false;
  *p = paths_.front();
  paths_.pop_front();
  if (beforeEach_) beforeEach_(*p);
  return true;
}

CvtSettings DefaultSettingsFor(int32_t type) {
  int32_t style = type == kCvtCanText || type == kCvtAnalogText ? 2
                  : type == kCvtCanCsv || type == kCvtAnalogCsv ? 8
                  : type == kCvtGnssText                        ? 3
                  : type == kCvtGnssCsv                         ? 10
                                                                : 8;
  CvtSettings s = SettingsFor(type, style);
  if (type == kCvtSignalsCsv || type == kCvtSignalsLong) {
    // One signal over the whole of the frames of 0x100, which BigCapture has.
    auto setup = std::make_shared<signals::SignalSetup>();
    signals::Database db;
    std::string error;
    if (signals::ParseDbc("BO_ 256 Frame: 8 Node\n SG_ All : 0|64@1+ (1,0) [0|0] \"\" Node\n",
                          "robust.dbc", &db, &error) &&
        setup->databases.Add(std::move(db), signals::kBothLines, &error)) {
      setup->selection.Select(setup->databases, "", &error);
    }
    s.signals = std::move(setup);
  }
  return s;
}

Result RunJob(std::deque<std::filesystem::path> inputs, int32_t type, JobRecord& record,
              const JobOptions& options, const ConverterTable& table,
              std::function<void(const std::filesystem::path&)> beforeEach) {
  ConversionSession session;
  session.context.bannerTime = kBannerTime;
  ListSource source(std::move(inputs), std::move(beforeEach));
  std::atomic<bool> stop{false};
  return ConversionJob(session, DefaultSettingsFor(type), source, record, stop, table, options);
}

std::vector<std::string> FolderNames(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace dtconv::test
