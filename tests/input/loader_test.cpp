// The capture loader: what it accepts, what it rejects, and what it keeps.
#include <gtest/gtest.h>

#include <functional>

#include "capture_builder.h"
#include "input/monitor_data.h"
#include "test_files.h"

namespace dtconv {
namespace {

using test::Bytes;
using test::CaptureBuilder;
using test::Chunk;
using test::DataInfoParts;
using test::Rec;

Result LoadBytes(const Bytes& bytes, MonitorData& data) {
  test::TempDir dir;
  test::WriteFile(dir / "c.DT", bytes);
  return LoadMonitorData(dir / "c.DT", data);
}

Bytes WithParts(const std::function<void(DataInfoParts&)>& edit) {
  CaptureBuilder b;
  b.Marker(0x80, 1);
  DataInfoParts p = b.Parts();
  edit(p);
  return test::AssembleFile(b.Chunks(p));
}

struct Case {
  const char* name;
  std::function<Bytes()> make;
  Result expected;
};

Bytes U32Rec(uint32_t count, size_t entryBytes) {
  Bytes body;
  test::PutU32(body, count);
  test::PutZeros(body, entryBytes);
  return body;
}

std::vector<Case> Cases() {
  return {
      {"valid capture", [] { return CaptureBuilder().Marker(0x80, 0).Build(); }, kResultOk},
      {"signature only", [] { return test::AssembleFile({}); }, kResultOk},
      {"fifteen bytes",
       [] {
         Bytes b = test::AssembleFile({});
         b.pop_back();
         return b;
       },
       kResultInvalidData},
      {"signature without trailing NUL",
       [] {
         Bytes b = test::AssembleFile({});
         b[15] = ' ';
         return b;
       },
       kResultInvalidData},
      {"signature with a tab for a blank",
       [] {
         Bytes b = test::AssembleFile({});
         b[13] = '\t';
         return b;
       },
       kResultInvalidData},
      {"signature in lower case",
       [] {
         Bytes b = test::AssembleFile({});
         b[0] = 't';
         return b;
       },
       kResultInvalidData},
      {"format code 28",
       [] {
         CaptureBuilder b;
         b.formatCode = 28;
         return b.Build();
       },
       kResultInvalidData},
      {"recording kind 8",
       [] {
         CaptureBuilder b;
         b.recordingKind = 8;
         return b.Build();
       },
       kResultInvalidData},
      {"recording kind 4",
       [] {
         CaptureBuilder b;
         b.recordingKind = 4;
         return b.Build();
       },
       kResultOk},
      {"recording kind 16",
       [] {
         CaptureBuilder b;
         b.recordingKind = 16;
         return b.Build();
       },
       kResultOk},
      {"information length over the chunk",
       [] { return WithParts([](DataInfoParts& p) { p.infoLength = 100000; }); },
       kResultInvalidData},
      {"information length below 4",
       [] { return WithParts([](DataInfoParts& p) { p.infoLength = 3; }); }, kResultInvalidData},
      {"set-up block length 7",
       [] { return WithParts([](DataInfoParts& p) { p.setupLength = 7; }); }, kResultInvalidData},
      {"set-up block longer than the information",
       [] { return WithParts([](DataInfoParts& p) { p.setupLength = 5000; }); },
       kResultInvalidData},
      {"kind record missing", [] { return WithParts([](DataInfoParts& p) { p.setup.clear(); }); },
       kResultInvalidData},
      {"kind record length 3",
       [] { return WithParts([](DataInfoParts& p) { p.setup[0].length = 3; }); },
       kResultInvalidData},
      {"kind record without the format code",
       [] { return WithParts([](DataInfoParts& p) { p.setup[0].body = {0}; }); },
       kResultInvalidData},
      {"port record runs past the block",
       [] { return WithParts([](DataInfoParts& p) { p.setup[1].length = 400; }); },
       kResultInvalidData},
      {"block ends after the kind record",
       [] { return WithParts([](DataInfoParts& p) { p.setup.resize(1); }); }, kResultOk},
      {"block ends after the CAN set-up",
       [] { return WithParts([](DataInfoParts& p) { p.setup.resize(3); }); }, kResultOk},
      {"inner CAN record longer than its outer record",
       [] { return WithParts([](DataInfoParts& p) { p.setup[2].body[0] = 200; }); },
       kResultInvalidData},
      {"revision record with set-up revision 0x2A",
       [] { return WithParts([](DataInfoParts& p) { p.setupRevision = 0x2A; }); },
       kResultInvalidData},
      {"set-up revision 0x2A without revision record",
       [] {
         return WithParts([](DataInfoParts& p) {
           p.setupRevision = 0x2A;
           p.setup.resize(5);
         });
       },
       kResultOk},
      {"identity missing",
       [] {
         return WithParts([](DataInfoParts& p) {
           p.recorder.resize(1);
           p.calibration.present = false;
         });
       },
       kResultInvalidData},
      {"calibration table missing",
       [] { return WithParts([](DataInfoParts& p) { p.calibration.present = false; }); },
       kResultInvalidData},
      {"calibration table without count word",
       [] { return WithParts([](DataInfoParts& p) {
              p.calibration.body = {1, 2};
            }); }, kResultOk},
      {"calibration count larger than the table",
       [] { return WithParts([](DataInfoParts& p) { p.calibration.body = U32Rec(2, 79); }); },
       kResultInvalidData},
      {"calibration count that overflows 32 bits",
       [] {
         return WithParts([](DataInfoParts& p) { p.calibration.body = U32Rec(0x06666667, 40); });
       },
       kResultInvalidData},
      {"recorder record 4 count too large",
       [] { return WithParts([](DataInfoParts& p) { p.recorder[3].body = U32Rec(2, 31); }); },
       kResultInvalidData},
      {"recorder record 4 count that overflows 32 bits",
       [] {
         return WithParts([](DataInfoParts& p) { p.recorder[3].body = U32Rec(0x10000001, 16); });
       },
       kResultInvalidData},
      {"recorder record 5 count too large",
       [] { return WithParts([](DataInfoParts& p) { p.recorder[4].body = U32Rec(3, 35); }); },
       kResultInvalidData},
      {"recorder record 5 of six bytes",
       [] { return WithParts([](DataInfoParts& p) {
              p.recorder[4].body = {0, 0};
            }); }, kResultOk},
      {"recorder record 4 with six entries",
       [] { return WithParts([](DataInfoParts& p) { p.recorder[3].body = U32Rec(6, 96); }); },
       kResultOk},
      {"identity length word over the information",
       [] { return WithParts([](DataInfoParts& p) { p.recorder[1].length = 10000; }); },
       kResultInvalidData},
      {"DINF chunk truncated by the file end",
       [] {
         CaptureBuilder b;
         auto chunks = b.Chunks();
         chunks[0].size = 100000;
         return test::AssembleFile(chunks);
       },
       kResultOk},
  };
}

class LoaderCase : public ::testing::TestWithParam<Case> {};

TEST_P(LoaderCase, GivesItsResult) {
  MonitorData data;
  EXPECT_EQ(LoadBytes(GetParam().make(), data), GetParam().expected);
  if (GetParam().expected != 0) {
    EXPECT_EQ(data.recordCount, 0u);
    EXPECT_EQ(data.records, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(All, LoaderCase, ::testing::ValuesIn(Cases()), [](const auto& info) {
  std::string n = info.param.name;
  for (char& c : n)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
});

TEST(Loader, SignatureOnlyLoadsWithoutFormatCode) {
  MonitorData data;
  ASSERT_EQ(LoadBytes(test::AssembleFile({}), data), 0u);
  EXPECT_EQ(data.formatCode, 0);
  EXPECT_EQ(data.recordCount, 0u);
}

// The signature is compared over all sixteen bytes: a change to any one of them, in any bit, is
// refused, and a capture that is otherwise valid does not rescue it.
TEST(Loader, EverySignatureByteCounts) {
  const Bytes valid = CaptureBuilder().Marker(0x80, 0).Build();
  for (size_t i = 0; i < 16; ++i) {
    for (uint8_t bit = 1; bit != 0; bit = static_cast<uint8_t>(bit << 1)) {
      Bytes b = valid;
      b[i] ^= bit;
      MonitorData data;
      EXPECT_EQ(LoadBytes(b, data), kResultInvalidData) << "byte " << i << " bit " << int(bit);
    }
  }
}

TEST(Loader, MissingFileGivesSystemErrorTwo) {
  test::TempDir dir;
  MonitorData data;
  EXPECT_EQ(LoadMonitorData(dir / "absent.DT", data), 0x80070002u);
}

TEST(Loader, FolderIsNotACapture) {
  test::TempDir dir;
  MonitorData data;
  Result r = LoadMonitorData(dir.path(), data);
  EXPECT_TRUE(r.IsSystemError());
}

TEST(Loader, KeepsIdentityTimeBaseAndChannelSetups) {
  CaptureBuilder b;
  b.timeBaseSeconds = -5;
  b.timeBaseNanoseconds = 999999000;
  b.can[1].nonIso = true;
  b.can[1].nominalBitRate = 1000000;
  b.recordingKind = 4;
  b.kindExtra = 7;
  MonitorData data;
  ASSERT_EQ(LoadBytes(b.Build(), data), 0u);
  EXPECT_EQ(data.recordingKind, 4);
  EXPECT_EQ(data.formatCode, 29);
  EXPECT_EQ(data.info.TimeBaseSeconds(), -5);
  EXPECT_EQ(data.info.TimeBaseNanoseconds(), 999999000);
  EXPECT_EQ(data.info.ModelCode(), 0x30105u);
  EXPECT_EQ(data.info.StartTime().year, 2026);
  EXPECT_EQ(data.info.StopTime().minute, 45);
  EXPECT_EQ(data.info.CanChannel(1).nominalBitRate, 500000u);
  EXPECT_EQ(data.info.CanChannel(2).nominalBitRate, 1000000u);
  EXPECT_EQ(data.info.CanChannel(2).nonIso, 1);
  EXPECT_EQ(data.info.kindExtra.U8(0), 7);
}

TEST(Loader, CanSetupWithOnlyTheFirstChannelKeepsDefaultsForTheSecond) {
  CaptureBuilder b;
  DataInfoParts p = b.Parts();
  // Inner record: 4 bytes not interpreted plus the 44-byte CH1 entry.
  Rec& can = p.setup[2];
  can.body.resize(4 + 4 + 44);
  can.body[0] = 52;
  MonitorData data;
  ASSERT_EQ(LoadBytes(test::AssembleFile(b.Chunks(p)), data), 0u);
  CanChannelSetup ch2 = data.info.CanChannel(2);
  EXPECT_EQ(ch2.nominalBitRate, 125000u);
  EXPECT_EQ(ch2.dataBitRate, 2000000u);
  EXPECT_EQ(ch2.nominalSamplePoint, 75);
  EXPECT_EQ(ch2.dataSamplePoint, 75);
  EXPECT_EQ(ch2.nonIso, 0);
  EXPECT_EQ(data.info.CanChannel(1).nominalBitRate, 500000u);
}

TEST(Loader, CalibrationKeepsAtMostEightEntries) {
  CaptureBuilder b;
  for (int i = 0; i < 9; ++i) b.calibration.push_back({true, i, 100 + i, -100 - i, 1000});
  MonitorData data;
  ASSERT_EQ(LoadBytes(b.Build(), data), 0u);
  EXPECT_EQ(data.info.calibrationCount, 8u);
  EXPECT_EQ(data.info.Calibration(7).zero, 7);
  EXPECT_FALSE(data.info.Calibration(8).valid);
}

TEST(Loader, AnalogSetupDefaultsByPort) {
  CaptureBuilder b;
  b.analogPort = 3;
  DataInfoParts p = b.Parts();
  Rec& analog = p.setup[6];
  analog.body = {};
  test::PutU32(analog.body, 5);
  analog.body.push_back(3);  // three channels; everything else keeps its default
  MonitorData data;
  ASSERT_EQ(LoadBytes(test::AssembleFile(b.Chunks(p)), data), 0u);
  EXPECT_EQ(data.info.analogPort, 3);
  EXPECT_EQ(data.info.analogSetup.U8(0), 3);
  EXPECT_EQ(data.info.analogSetup.U8(1), 9);       // period code default
  EXPECT_EQ(data.info.analogSetup.U8(4), 1);       // channel 1 range default
  EXPECT_EQ(data.info.analogSetup.U8(9 + 56), 1);  // channel 8 burnout default
}

TEST(Loader, ChunkOrderRules) {
  CaptureBuilder b;
  b.Marker(0x80, 1).Marker(0x81, 2);
  b.waveInfo = CaptureBuilder::WaveInfoBytes(1, 0, 0, 4, 0, 10);
  b.waveSamples = {1, 2, 3};
  auto chunks = b.Chunks();  // DINF, MDAC, AWDI, AWDT
  Chunk early{"MOND", Bytes(64, 0), {}};
  Chunk earlyWave{"AWDT", Bytes(8, 0), {}};
  Chunk unknown{"XTRA", Bytes(5, 0), {}};
  Chunk secondInfo{"DINF", Bytes(3, 0), {}};  // would be malformed, but is skipped
  std::vector<Chunk> order = {early,      earlyWave, unknown,   chunks[0],
                              secondInfo, chunks[1], chunks[2], chunks[3]};
  MonitorData data;
  ASSERT_EQ(LoadBytes(test::AssembleFile(order), data), 0u);
  EXPECT_EQ(data.recordCount, 2u);
  EXPECT_EQ(data.records[1].Type(), 0x81);
  EXPECT_EQ(data.sampleCount, 3u);
  EXPECT_EQ(data.Sample(2), 3u);
  EXPECT_EQ(data.wave.IntervalCode(), 4);
}

TEST(Loader, RecordChunkSizeNotAMultipleOf32) {
  CaptureBuilder b;
  b.Marker(0x80, 1);
  auto chunks = b.Chunks();
  chunks[1].payload.resize(32 + 31, 0);
  MonitorData data;
  ASSERT_EQ(LoadBytes(test::AssembleFile(chunks), data), 0u);
  EXPECT_EQ(data.recordCount, 1u);
}

TEST(Loader, LaterRecordChunkReplacesEarlier) {
  CaptureBuilder b;
  auto chunks = b.Chunks();
  chunks[1].payload = Bytes(96, 0);
  chunks.push_back(Chunk{"MOND", Bytes(32, 0), {}});
  MonitorData data;
  ASSERT_EQ(LoadBytes(test::AssembleFile(chunks), data), 0u);
  EXPECT_EQ(data.recordCount, 1u);
}

TEST(Loader, ChunkRunningPastTheEndStopsTheWalkKeepingEarlierChunks) {
  CaptureBuilder b;
  b.Marker(0x80, 1);
  auto chunks = b.Chunks();
  chunks.push_back(Chunk{"MOND", Bytes(64, 0), 65});
  MonitorData data;
  ASSERT_EQ(LoadBytes(test::AssembleFile(chunks), data), 0u);
  EXPECT_EQ(data.recordCount, 1u);
}

TEST(Loader, MalformedWaveInfoLeavesWaveUnfilled) {
  CaptureBuilder b;
  auto chunks = b.Chunks();
  chunks.push_back(Chunk{"AWDI", {200, 0, 0, 0, 1}, {}});
  chunks.push_back(Chunk{"AWDT", Bytes(8, 0), {}});
  MonitorData data;
  ASSERT_EQ(LoadBytes(test::AssembleFile(chunks), data), 0u);
  EXPECT_FALSE(data.wave.filled);
  EXPECT_EQ(data.wave.Present(), 0);
  EXPECT_EQ(data.sampleCount, 2u);
}

TEST(Loader, ReloadForgetsThePreviousFile) {
  MonitorData data;
  CaptureBuilder b;
  b.Marker(0x80, 1).Marker(0x80, 2);
  ASSERT_EQ(LoadBytes(b.Build(), data), 0u);
  ASSERT_EQ(data.recordCount, 2u);
  EXPECT_EQ(LoadBytes(test::AssembleFile({}), data), 0u);
  EXPECT_EQ(data.recordCount, 0u);
  EXPECT_EQ(data.formatCode, 0);
}

}  // namespace
}  // namespace dtconv
