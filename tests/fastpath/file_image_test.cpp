// The file image: a capture is mapped rather than copied, pages given back stay readable with
// the same bytes, and a walk that gives back the pages behind it still converts records it
// reaches through pointers it kept (the last GNSS fix, the first and last fix of a KML track).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "analog/cvt_ana.h"
#include "can/cvt_can.h"
#include "gnss/cvt_gps.h"
#include "gnss/cvt_kml.h"
#include "input/monitor_data.h"
#include "platform/platform.h"
#include "random_capture.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

using test::CaptureBuilder;

// A fix, then enough CH2 frames to pass the release point of the walk, then a few
// CH1 frames and a second fix.
CaptureBuilder LongCapture() {
  CaptureBuilder b;
  b.Fix({.timestamp = 10,
         .satellites = 7,
         .utc = {2026, 12, 6, 9, 30, 0},
         .quality = 2,
         .latitude = 356543210,
         .longitude = 1397012345,
         .altitudeMm = 12345,
         .errorCm = 250});
  uint64_t t = 100;
  for (uint32_t i = 0; i < kReleaseStride + 1000; ++i) {
    b.Frame({.line = 2, .timestamp = t += 50, .format = 1, .dlc = 2, .id = 0x123, .data = {1, 2}});
  }
  for (int i = 0; i < 3; ++i) {
    b.Frame({.line = 1, .timestamp = t += 50, .format = 1, .dlc = 1, .id = 0x7FF, .data = {9}});
  }
  b.Fix({.timestamp = t + 10,
         .satellites = 8,
         .utc = {2026, 12, 6, 9, 31, 0},
         .quality = 3,
         .latitude = -123456789,
         .longitude = -1397012345,
         .altitudeMm = -200,
         .errorCm = 60000});
  return b;
}

// The same conversion of a mapped capture (the loader) and of one read into memory.
std::string InMemory(const CaptureBuilder& b, const CvtSettings& s,
                     const test::ConverterCall& call) {
  MonitorData data = test::ParseCapture(b);
  test::TempDir dir;
  TextOutput out;
  out.SetupOutput(s.outputBits, s.delimiter);
  EXPECT_EQ(out.OpenOutput(dir / "out"), 0u);
  ConverterContext ctx;
  ctx.type = s.type;
  ctx.signalLine = s.signalLine;
  ctx.timeStampStyle = s.timeStampStyle;
  ctx.optionBits = s.optionBits;
  ctx.output = &out;
  ctx.bannerTime = test::kBannerTime;
  call(data, ctx);
  out.CloseOutput();
  return test::ReadFileBytes(dir / "out");
}

TEST(FileImage, PagesGivenBackReadTheSameBytes) {
  test::TempDir dir;
  test::Bytes bytes(3 * 1024 * 1024 + 123);
  test::Random r(5);
  for (uint8_t& x : bytes) x = static_cast<uint8_t>(r.Next());
  test::WriteFile(dir / "f.bin", bytes);
  platform::InputFile file;
  ASSERT_EQ(file.Open(dir / "f.bin"), 0u);
  platform::FileImage image;
  ASSERT_EQ(image.Load(file, bytes.size()), 0u);
  ASSERT_TRUE(image.mapped());
  ASSERT_EQ(std::memcmp(image.data(), bytes.data(), bytes.size()), 0);
  // Ranges on and off page boundaries, the whole image, and an empty and a reversed range.
  image.ReleaseRange(0, 1);
  image.ReleaseRange(100, 70000);
  image.ReleaseRange(4096, 2 * 1024 * 1024);
  image.ReleaseRange(0, bytes.size());
  image.ReleaseRange(500, 500);
  image.ReleaseRange(9000, 10);
  EXPECT_EQ(std::memcmp(image.data(), bytes.data(), bytes.size()), 0);
  // Moving the image keeps the mapping.
  const uint8_t* at = image.data();
  platform::FileImage moved = std::move(image);
  EXPECT_EQ(moved.data(), at);
  EXPECT_EQ(image.data(), nullptr);
  EXPECT_EQ(std::memcmp(moved.data(), bytes.data(), bytes.size()), 0);
}

TEST(FileImage, ConverterWalksGiveBackThePagesTheyPass) {
  test::TempDir dir;
  CaptureBuilder b = LongCapture();
  b.WriteTo(dir / "long.DT");
  MonitorData data;
  ASSERT_EQ(LoadMonitorData(dir / "long.DT", data), 0u);
  ConverterContext context;
  CTxtCvtKML kml;
  kml.Bind(data, context, false, TimeStyle::kFullDate);
  RecordCursor cursor = kml.StartCursor();
  EXPECT_EQ(cursor.image, &data.image);
  int fixes = 0;
  for (RecordKind k = kml.FirstRecord(cursor); k != kKindEnd; k = kml.NextRecord(cursor)) {
    fixes += k == kKindGnss ? 1 : 0;
  }
  EXPECT_EQ(fixes, 2);
  EXPECT_EQ(cursor.released, kReleaseStride);
  EXPECT_EQ(cursor.index, data.recordCount);
}

// The analog converter reads each sample with its continuation and passes over the
// continuation, so its walk does not stop on every index. A marker record halfway moves the heads
// from odd to even indices: the walk passes one release point a record late and the next one on
// the dot. It still gives back its pages every release stride, never a checkpoint later.
TEST(FileImage, WalksThatPassOverContinuationsGiveBackPagesEveryStride) {
  test::TempDir dir;
  CaptureBuilder b;
  uint64_t t = 0;
  for (int half = 0; half < 2; ++half) {
    b.Marker(kRecordLostData, t += 10);
    for (uint32_t i = 0; i < 150000; ++i) {
      b.Analog({.timestamp = t += 10, .words = {1, 2, 3, 4, 5, 6, 7, 8}, .eightChannels = true});
    }
  }
  b.WriteTo(dir / "samples.DT");
  MonitorData data;
  ASSERT_EQ(LoadMonitorData(dir / "samples.DT", data), 0u);
  ConverterContext context;
  CTxtCvtANA cv;
  cv.Bind(data, context, true, TimeStyle::kCsvMilliseconds);
  RecordCursor cursor = cv.StartCursor();
  ASSERT_EQ(cursor.image, &data.image);
  std::vector<uint32_t> releases;
  for (RecordKind k = cv.FirstRecord(cursor); k != kKindEnd; k = cv.NextRecord(cursor)) {
    if (k == kKindAnalog && ContinuationOf(cursor, 1) != nullptr) PassContinuations(cursor, 1);
    if (releases.empty() ? cursor.released != 0 : cursor.released != releases.back()) {
      releases.push_back(cursor.released);
    }
  }
  ASSERT_EQ(releases.size(), 2u);
  EXPECT_EQ(releases[0], kReleaseStride + 1);
  EXPECT_EQ(releases[1], 2 * kReleaseStride);
}

TEST(FileImage, RowsAfterTheWalkGaveBackAFixStillShowIt) {
  CaptureBuilder b = LongCapture();
  CvtSettings s = test::SettingsFor(kCvtCanCsv, 8, kOptAddGnss, 1, u",", 1);
  CTxtCvtCAN cv;
  auto call = [&](const MonitorData& d, ConverterContext& c) { ConvertCan(cv, d, c); };
  test::RunResult mapped = test::RunConverter(b.Build(), s, call);
  ASSERT_EQ(mapped.result, 0u);
  EXPECT_EQ(mapped.bytes, InMemory(b, s, call));
  // Three CH1 rows, each ending with the first fix.
  EXPECT_NE(mapped.bytes.find(",1,7FF,DATA,1,G, 09,"), std::string::npos);
  EXPECT_NE(mapped.bytes.find("2026/12/06,09:30:00,GNSS,7,N35 39.25926,E139 42.07407,2.50,12.35\n"),
            std::string::npos)
      << test::Visible(mapped.bytes.substr(0, 400));
}

TEST(FileImage, KmlTrackEndsWithFixesTheWalkHasPassed) {
  CaptureBuilder b = LongCapture();
  CvtSettings s = test::SettingsFor(kCvtGnssKml, 0, 0, 1);
  CTxtCvtKML cv;
  auto call = [&](const MonitorData& d, ConverterContext& c) { ConvertKml(cv, d, c); };
  test::RunResult mapped = test::RunConverter(b.Build(), s, call);
  ASSERT_EQ(mapped.result, 0u);
  EXPECT_EQ(mapped.bytes, InMemory(b, s, call));
  EXPECT_NE(mapped.bytes.find("<name>First</name>\n<styleUrl>#msn_ylw-pushpin</styleUrl>\n<Point>\n"
                              "\t<altitudeMode>absolute</altitudeMode>\n\t<coordinates>\n"
                              "\t\t139.7012345,35.6543210,12.35\n"),
            std::string::npos);
  EXPECT_NE(mapped.bytes.find("\t\t-139.7012345,-12.3456789,-0.20\n\t</coordinates>\n</Point>\n"
                              "</Placemark>\n</Document>"),
            std::string::npos);
}

}  // namespace
}  // namespace dtconv
