// Hostile captures: malformed files built with the capture builder, each converted by the
// conversion job as a user's batch would convert it, with the result code and the output it must
// give. A capture the loader rejects leaves no output; one that loads without an information
// structure leaves an empty output; everything else is compared with its golden file.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture_builder.h"
#include "pipeline/conversion_job.h"
#include "robust_support.h"
#include "run_converter.h"
#include "test_files.h"

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace dtconv {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::CaptureBuilder;
using test::Chunk;
using test::DataInfoParts;
using test::Rec;

constexpr uint8_t kData11 = 1, kFd11 = 17;

test::FrameSpec Frame(int line, uint64_t t, uint8_t format, uint32_t id, size_t bytes,
                      uint8_t dlc) {
  test::FrameSpec f;
  f.line = line;
  f.typeNibble = static_cast<uint8_t>(line);
  f.timestamp = t;
  f.format = format;
  f.id = id;
  f.dlc = dlc;
  f.fc = 0x2BCD;
  for (size_t i = 0; i < bytes; ++i) f.data.push_back(static_cast<uint8_t>(0x11 * (i % 15) + i));
  return f;
}

// The capture every case breaks (chunks DINF, MDAC, AWDI, AWDT).
CaptureBuilder Base() { return test::BaseCapture(); }

Bytes WithParts(const std::function<void(DataInfoParts&)>& edit) {
  CaptureBuilder b = Base();
  DataInfoParts p = b.Parts();
  edit(p);
  return test::AssembleFile(b.Chunks(p));
}

Bytes WithChunks(const std::function<void(std::vector<Chunk>&)>& edit) {
  std::vector<Chunk> chunks = Base().Chunks();
  edit(chunks);
  return test::AssembleFile(chunks);
}

Bytes WithRecords(const std::function<void(CaptureBuilder&)>& add) {
  CaptureBuilder b;
  add(b);
  return b.Build();
}

// The length word a record writes by default.
uint32_t LengthOf(const Rec& r) { return static_cast<uint32_t>(r.body.size() + 4); }

// Sets the length word of the inner record held in an outer record's body.
void SetInnerLength(Rec& outer, uint32_t length) {
  for (int i = 0; i < 4; ++i) outer.body[i] = static_cast<uint8_t>(length >> (8 * i));
}

Bytes CountedBody(uint32_t count, size_t entryBytes) {
  Bytes body;
  test::PutU32(body, count);
  test::PutZeros(body, entryBytes);
  return body;
}

Bytes Head(uint8_t type, uint8_t continuations, uint64_t t) {
  return test::HeadRecord(type, continuations, t);
}

Bytes Continuation(uint8_t type, uint8_t sequence, uint8_t fill) {
  Bytes r(32, fill);
  r[0] = type;
  r[1] = sequence;
  return r;
}

// A CH1 CAN FD head with 64 stored bytes (two continuations expected) at time t.
Bytes FdHead(uint64_t t) {
  Bytes r = Head(0x01, 2, t);
  r[10] = kFd11;
  r[12] = 64;
  r[15] = 15;
  r[16] = 0x55;
  for (int i = 24; i < 32; ++i) r[i] = static_cast<uint8_t>(i);
  return r;
}

// What a case must leave behind.
constexpr const char* kNoOutput = nullptr;
constexpr const char* kEmptyOutput = "";

struct Case {
  const char* name;
  std::function<Bytes()> make;
  int32_t type;
  Result result;
  const char* golden;  // kNoOutput, kEmptyOutput or a golden file under robust/
};

std::vector<Case> Cases() {
  const Result bad = kResultInvalidData;
  std::vector<Case> c = {
      // The file as a whole.
      {"base capture", [] { return Base().Build(); }, kCvtCanText, kResultOk, "robust/base.txt"},
      {"base capture wave", [] { return Base().Build(); }, kCvtAnalogWave, kResultOk,
       "robust/base_wave.csv"},
      {"zero-length file", [] { return Bytes{}; }, kCvtCanText, bad, kNoOutput},
      {"fifteen bytes of signature",
       [] {
         Bytes b = test::AssembleFile({});
         b.pop_back();
         return b;
       },
       kCvtCanText, bad, kNoOutput},
      {"signature only", [] { return test::AssembleFile({}); }, kCvtCanText, bad, kEmptyOutput},
      {"signature only as PCAP", [] { return test::AssembleFile({}); }, kCvtCanPcap, bad,
       kEmptyOutput},
      {"signature with a blank for its NUL",
       [] {
         Bytes b = Base().Build();
         b[15] = ' ';
         return b;
       },
       kCvtCanText, bad, kNoOutput},
      {"signature and seven bytes of a chunk head",
       [] {
         Bytes b = test::AssembleFile({});
         b.insert(b.end(), {'D', 'I', 'N', 'F', 9, 0, 0});
         return b;
       },
       kCvtCanText, bad, kEmptyOutput},

      // Length words of the information structure.
      {"information length 3", [] { return WithParts([](DataInfoParts& p) { p.infoLength = 3; }); },
       kCvtCanText, bad, kNoOutput},
      {"information length one short",
       [] {
         return WithParts([](DataInfoParts& p) {
           p.infoLength = static_cast<uint32_t>(test::AssembleDataInfo(p).size() - 1);
         });
       },
       kCvtCanText, bad, kNoOutput},
      {"information length one over the chunk",
       [] {
         return WithParts([](DataInfoParts& p) {
           p.infoLength = static_cast<uint32_t>(test::AssembleDataInfo(p).size() + 1);
         });
       },
       kCvtCanText, bad, kNoOutput},
      {"information length 0xFFFFFFFF",
       [] { return WithParts([](DataInfoParts& p) { p.infoLength = 0xFFFFFFFF; }); }, kCvtCanText,
       bad, kNoOutput},
      {"set-up block length 7",
       [] { return WithParts([](DataInfoParts& p) { p.setupLength = 7; }); }, kCvtCanText, bad,
       kNoOutput},
      {"set-up block length one short",
       [] {
         return WithParts([](DataInfoParts& p) {
           uint32_t n = 8;
           for (const Rec& r : p.setup) n += LengthOf(r);
           p.setupLength = n - 1;
         });
       },
       kCvtCanText, bad, kNoOutput},
      {"set-up block length one over",
       [] {
         return WithParts([](DataInfoParts& p) {
           uint32_t n = 8;
           for (const Rec& r : p.setup) n += LengthOf(r);
           p.setupLength = n + 1;
         });
       },
       kCvtCanText, bad, kNoOutput},
      {"kind record length 3",
       [] { return WithParts([](DataInfoParts& p) { p.setup[0].length = 3; }); }, kCvtCanText, bad,
       kNoOutput},
      {"kind record length 0",
       [] { return WithParts([](DataInfoParts& p) { p.setup[0].length = 0; }); }, kCvtCanText, bad,
       kNoOutput},
      {"port record length past the block",
       [] { return WithParts([](DataInfoParts& p) { p.setup[1].length = 0x7FFFFFFF; }); },
       kCvtCanText, bad, kNoOutput},
      {"CAN set-up outer length 3",
       [] { return WithParts([](DataInfoParts& p) { p.setup[2].length = 3; }); }, kCvtCanText, bad,
       kNoOutput},
      {"CAN set-up inner length one over its outer record",
       [] {
         return WithParts([](DataInfoParts& p) {
           SetInnerLength(p.setup[2], static_cast<uint32_t>(p.setup[2].body.size() + 1));
         });
       },
       kCvtCanText, bad, kNoOutput},
      {"CAN set-up inner length one short",
       [] {
         return WithParts([](DataInfoParts& p) {
           SetInnerLength(p.setup[2], static_cast<uint32_t>(p.setup[2].body.size() - 1));
         });
       },
       kCvtCanText, kResultOk, "robust/base.txt"},
      {"CAN set-up inner length 2",
       [] { return WithParts([](DataInfoParts& p) { SetInnerLength(p.setup[2], 2); }); },
       kCvtCanText, bad, kNoOutput},
      {"kind-specific record with an inner length over its record",
       [] { return WithParts([](DataInfoParts& p) { SetInnerLength(p.setup[3], 5); }); },
       kCvtCanText, bad, kNoOutput},
      {"reserved record length past the block",
       [] { return WithParts([](DataInfoParts& p) { p.setup[4].length = 1000; }); }, kCvtCanText,
       bad, kNoOutput},
      {"revision record under set-up revision 0x2A",
       [] { return WithParts([](DataInfoParts& p) { p.setupRevision = 0x2A; }); }, kCvtCanText, bad,
       kNoOutput},
      {"XP-TC analog set-up inner length over its record",
       [] {
         CaptureBuilder b = Base();
         b.analogPort = 3;
         DataInfoParts p = b.Parts();
         SetInnerLength(p.setup[6], static_cast<uint32_t>(p.setup[6].body.size() + 1));
         return test::AssembleFile(b.Chunks(p));
       },
       kCvtCanText, bad, kNoOutput},
      {"unknown analog port with a broken analog set-up",
       [] {
         return WithParts([](DataInfoParts& p) {
           p.setup[1].body[6] = 9;
           p.setup[6].body = {0xFF, 0xFF, 0xFF, 0xFF, 1, 2};
         });
       },
       kCvtCanText, kResultOk, "robust/base.txt"},
      {"legacy identity length 3",
       [] { return WithParts([](DataInfoParts& p) { p.recorder[0].length = 3; }); }, kCvtCanText,
       bad, kNoOutput},
      {"identity length one short",
       [] {
         return WithParts(
             [](DataInfoParts& p) { p.recorder[1].length = LengthOf(p.recorder[1]) - 1; });
       },
       kCvtCanText, bad, kNoOutput},
      {"identity length one over",
       [] {
         return WithParts(
             [](DataInfoParts& p) { p.recorder[1].length = LengthOf(p.recorder[1]) + 1; });
       },
       kCvtCanText, bad, kNoOutput},
      {"recorder records end after the identity",
       [] {
         return WithParts([](DataInfoParts& p) {
           p.recorder.resize(2);
           p.calibration.present = false;
         });
       },
       kCvtCanText, bad, kNoOutput},
      {"calibration table missing",
       [] { return WithParts([](DataInfoParts& p) { p.calibration.present = false; }); },
       kCvtCanText, bad, kNoOutput},
      {"calibration table length one over",
       [] {
         return WithParts(
             [](DataInfoParts& p) { p.calibration.length = LengthOf(p.calibration) + 1; });
       },
       kCvtCanText, bad, kNoOutput},
      {"calibration table without its count word",
       [] { return WithParts([](DataInfoParts& p) {
              p.calibration.body = {7, 7, 7};
            }); },
       kCvtCanText, kResultOk, "robust/base.txt"},

      // Counts whose n x size overflows 32 bits, and counts one too large.
      {"calibration count 0x06666667 (x40 wraps to 24)",
       [] {
         return WithParts(
             [](DataInfoParts& p) { p.calibration.body = CountedBody(0x06666667, 24); });
       },
       kCvtCanText, bad, kNoOutput},
      {"calibration count 0xFFFFFFFF",
       [] {
         return WithParts(
             [](DataInfoParts& p) { p.calibration.body = CountedBody(0xFFFFFFFF, 40); });
       },
       kCvtCanText, bad, kNoOutput},
      {"calibration count one more than stored",
       [] { return WithParts([](DataInfoParts& p) { p.calibration.body = CountedBody(2, 79); }); },
       kCvtCanText, bad, kNoOutput},
      {"recorder record 4 count 0x10000001 (x16 wraps to 16)",
       [] {
         return WithParts(
             [](DataInfoParts& p) { p.recorder[3].body = CountedBody(0x10000001, 16); });
       },
       kCvtCanText, bad, kNoOutput},
      {"recorder record 5 count 0x15555556 (x12 wraps to 8)",
       [] {
         return WithParts(
             [](DataInfoParts& p) { p.recorder[4].body = CountedBody(0x15555556, 8); });
       },
       kCvtCanText, bad, kNoOutput},
      {"recorder record 5 count one more than stored",
       [] { return WithParts([](DataInfoParts& p) { p.recorder[4].body = CountedBody(3, 35); }); },
       kCvtCanText, bad, kNoOutput},

      // Chunk size words.
      {"information chunk of 3 bytes",
       [] { return WithChunks([](std::vector<Chunk>& c) { c[0].payload.resize(3); }); },
       kCvtCanText, bad, kNoOutput},
      {"information chunk size one short",
       [] {
         return WithChunks([](std::vector<Chunk>& c) {
           c[0].size = static_cast<uint32_t>(c[0].payload.size() - 1);
         });
       },
       kCvtCanText, bad, kNoOutput},
      {"information chunk size one over",
       [] {
         return WithChunks([](std::vector<Chunk>& c) {
           c[0].size = static_cast<uint32_t>(c[0].payload.size() + 1);
         });
       },
       kCvtCanText, kResultOk, "robust/header_only.txt"},
      {"information chunk size past the end",
       [] { return WithChunks([](std::vector<Chunk>& c) { c[0].size = 0xFFFFFFFF; }); },
       kCvtCanText, bad, kEmptyOutput},
      {"record chunk size past the end",
       [] { return WithChunks([](std::vector<Chunk>& c) { c[1].size = 0xFFFFFFF0; }); },
       kCvtCanText, kResultOk, "robust/header_only.txt"},
      {"record chunk size one short of whole records",
       [] {
         return WithChunks([](std::vector<Chunk>& c) {
           c[1].payload.pop_back();
           c.resize(2);
         });
       },
       kCvtCanText, kResultOk, "robust/last_record_cut.txt"},
      {"record chunk size with 31 spare bytes",
       [] {
         return WithChunks(
             [](std::vector<Chunk>& c) { c[1].payload.insert(c[1].payload.end(), 31, 0xEE); });
       },
       kCvtCanText, kResultOk, "robust/base.txt"},
      {"records before the information chunk",
       [] { return WithChunks([](std::vector<Chunk>& c) { std::swap(c[0], c[1]); }); }, kCvtCanText,
       kResultOk, "robust/header_only.txt"},
      {"a second, broken information chunk",
       [] {
         return WithChunks([](std::vector<Chunk>& c) {
           c.insert(c.begin() + 1, Chunk{"DINF", {1, 0, 0, 0}, {}});
         });
       },
       kCvtCanText, kResultOk, "robust/base.txt"},
      {"unknown chunk claiming 4 GiB at the end",
       [] {
         return WithChunks([](std::vector<Chunk>& c) {
           c.push_back(Chunk{"JUNK", Bytes(12, 0xAA), 0xFFFFFFFF});
         });
       },
       kCvtCanText, kResultOk, "robust/base.txt"},
      {"empty unknown chunk first",
       [] {
         return WithChunks([](std::vector<Chunk>& c) {
           c.insert(c.begin(), Chunk{std::string("\0\0\0\0", 4), {}, {}});
         });
       },
       kCvtCanText, kResultOk, "robust/base.txt"},
      {"wave samples before the wave information",
       [] { return WithChunks([](std::vector<Chunk>& c) { std::swap(c[2], c[3]); }); },
       kCvtAnalogWave, kResultOk, "robust/no_wave.csv"},
      {"wave information length 3",
       [] { return WithChunks([](std::vector<Chunk>& c) {
              c[2].payload = {3, 0, 0, 0, 1};
            }); },
       kCvtAnalogWave, kResultOk, "robust/no_wave.csv"},
      {"wave information length one over its chunk",
       [] {
         return WithChunks([](std::vector<Chunk>& c) {
           c[2].payload[0] = static_cast<uint8_t>(c[2].payload.size() + 1);
         });
       },
       kCvtAnalogWave, kResultOk, "robust/no_wave.csv"},
      {"wave information of 2 bytes",
       [] { return WithChunks([](std::vector<Chunk>& c) {
              c[2].payload = {0x88, 0};
            }); },
       kCvtAnalogWave, kResultOk, "robust/no_wave.csv"},
      {"wave samples with 3 spare bytes",
       [] {
         return WithChunks([](std::vector<Chunk>& c) {
           c[3].payload.insert(c[3].payload.end(), {9, 9, 9});
         });
       },
       kCvtAnalogWave, kResultOk, "robust/base_wave.csv"},
      {"wave sample chunk size past the end",
       [] { return WithChunks([](std::vector<Chunk>& c) { c[3].size = 0x40000000; }); },
       kCvtAnalogWave, kResultOk, "robust/no_wave.csv"},

      // Continuation records of a 64-byte CAN FD frame: missing, out of order, of the wrong type.
      {"FD frame with its second continuation missing",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.Raw(FdHead(10)).Raw(Continuation(0x01, 1, 0xA1));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanText, kResultOk, "robust/continuation_fd_skipped.txt"},
      {"FD frame as the last record, without continuations",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
           b.Raw(FdHead(30));
         });
       },
       kCvtCanText, kResultOk, "robust/continuation_fd_last.txt"},
      {"FD frame with its continuations out of order",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.Raw(FdHead(10)).Raw(Continuation(0x01, 2, 0xA2)).Raw(Continuation(0x01, 1, 0xA1));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanText, kResultOk, "robust/continuation_fd_skipped.txt"},
      {"FD frame with a continuation of the other line",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.Raw(FdHead(10)).Raw(Continuation(0x11, 1, 0xA1)).Raw(Continuation(0x01, 2, 0xA2));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanText, kResultOk, "robust/continuation_fd_skipped.txt"},
      {"FD frame whose continuation has the head flag",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           Bytes c1 = Continuation(0x01, 1, 0xA1);
           c1[1] |= 0x80;
           b.Raw(FdHead(10)).Raw(c1).Raw(Continuation(0x01, 2, 0xA2));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanText, kResultOk, "robust/continuation_head_flag.txt"},
      {"FD frame whose continuations both say 1",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.Raw(FdHead(10)).Raw(Continuation(0x01, 1, 0xA1)).Raw(Continuation(0x01, 1, 0xA2));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanText, kResultOk, "robust/continuation_fd_skipped.txt"},
      {"FD frame head claiming 200 stored bytes",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           Bytes h = FdHead(10);
           h[12] = 200;
           b.Raw(h).Raw(Continuation(0x01, 1, 0xA1)).Raw(Continuation(0x01, 2, 0xA2));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanText, kResultOk, "robust/continuation_fd_complete.txt"},
      {"continuation records without a head",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.Raw(Continuation(0x01, 1, 0xA1)).Raw(Continuation(0x01, 2, 0xA2));
           b.Raw(Continuation(0x30, 1, 0xA3));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanText, kResultOk, "robust/continuation_orphans.txt"},
      {"FD frame with a missing continuation as CSV",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.Raw(FdHead(10)).Raw(Continuation(0x01, 1, 0xA1));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanCsv, kResultOk, "robust/continuation_fd_skipped.csv"},
      {"FD frame with a missing continuation as PCAP",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.Raw(FdHead(10)).Raw(Continuation(0x01, 1, 0xA1));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanPcap, kResultOk, "robust/continuation_fd_skipped.pcap"},
      {"FD frame with a missing continuation as pcapng",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.Raw(FdHead(10)).Raw(Continuation(0x01, 1, 0xA1));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanPcapng, kResultOk, "robust/continuation_fd_skipped.pcapng"},
      {"FD frame with a missing continuation as ASC",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.Raw(FdHead(10)).Raw(Continuation(0x01, 1, 0xA1));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanAsc, kResultOk, "robust/continuation_fd_skipped.asc"},
      {"FD frame with a missing continuation as candump",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.Raw(FdHead(10)).Raw(Continuation(0x01, 1, 0xA1));
           b.Frame(Frame(1, 20, kData11, 0x100, 1, 1));
         });
       },
       kCvtCanCandump, kResultOk, "robust/continuation_fd_skipped.log"},
      {"base capture as ASC", [] { return Base().Build(); }, kCvtCanAsc, kResultOk,
       "robust/base.asc"},
      {"signature only as candump", [] { return test::AssembleFile({}); }, kCvtCanCandump, bad,
       kEmptyOutput},
      {"eight-channel analog sample without its continuation",
       [] {
         return WithRecords([](CaptureBuilder& b) {
           b.analogPort = 2;
           b.Raw(Head(0x30, 1, 10));
           test::AnalogSpec a;
           a.timestamp = 20;
           a.words = {0x100000, 0x200000, 0x300000, 0x400000,
                      0x500000, 0x600000, 0x700000, 0x080000};
           a.eightChannels = true;
           b.Analog(a);
         });
       },
       kCvtAnalogText, kResultOk, "robust/analog_continuation_missing.txt"},
  };
  return c;
}

// One case's capture converted by the job, as one file of a batch.
class HostileCapture : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { test::SetTimeZone("UTC"); }
};

Result ConvertOne(const fs::path& input, int32_t type, fs::path* output) {
  test::JobRecord record;
  Result r = test::RunJob({input}, type, record);
  EXPECT_EQ(DeriveOutputPath(input, type, {}, output), 0u);
  return r;
}

TEST_P(HostileCapture, GivesItsResultAndOutput) {
  const Case& c = GetParam();
  test::TempDir dir;
  fs::path input = dir / "hostile.DT";
  test::WriteFile(input, c.make());
  fs::path output;
  EXPECT_EQ(ConvertOne(input, c.type, &output), c.result) << std::hex << c.result;
  if (c.golden == kNoOutput) {
    EXPECT_FALSE(fs::exists(output));
  } else {
    ASSERT_TRUE(fs::exists(output));
    std::string bytes = test::ReadFileBytes(output);
    if (std::string(c.golden).empty()) {
      EXPECT_EQ(bytes, "");
    } else {
      EXPECT_EQ(test::CompareGolden(c.golden, bytes), "");
    }
  }
  // Nothing but the input and its output is left in the folder.
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, c.golden == kNoOutput ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(All, HostileCapture, ::testing::ValuesIn(Cases()), [](const auto& info) {
  std::string n = info.param.name;
  for (char& ch : n) {
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return n;
});

// A file truncated at every chunk boundary, inside every chunk head and inside every payload.
// What survives follows from the chunk that is cut: before the information chunk is whole the
// capture has no information structure (an empty output); a cut record chunk leaves the report
// without records; a cut wave chunk leaves the CSV without its waveform.
struct Truncation {
  std::string name;
  size_t length;
  int32_t type;
  Result result;
  std::string golden;  // empty: an empty output
};

std::vector<Truncation> Truncations() {
  std::vector<Chunk> chunks = Base().Chunks();
  Bytes whole = test::AssembleFile(chunks);
  std::vector<Truncation> t;
  size_t start = 16;
  const char* names[] = {"information", "record", "wave information", "wave sample"};
  for (size_t k = 0; k < chunks.size(); ++k) {
    size_t end = start + 8 + chunks[k].payload.size();
    // Conversion type and expectation for a file cut inside chunk k.
    int32_t type = k < 2 ? kCvtCanText : kCvtAnalogWave;
    Result result = k == 0 ? kResultInvalidData : kResultOk;
    std::string golden = k == 0 ? "" : k == 1 ? "robust/header_only.txt" : "robust/no_wave.csv";
    std::string what = names[k];
    for (size_t cut :
         {start, start + 1, start + 4, start + 7, start + 8, (start + 8 + end) / 2, end - 1}) {
      t.push_back(
          {what + " chunk cut at " + std::to_string(cut - start), cut, type, result, golden});
    }
    start = end;
  }
  t.push_back({"whole file", whole.size(), kCvtAnalogWave, kResultOk, "robust/base_wave.csv"});
  return t;
}

class TruncatedCapture : public ::testing::TestWithParam<Truncation> {
 protected:
  void SetUp() override { test::SetTimeZone("UTC"); }
};

TEST_P(TruncatedCapture, KeepsWhatCameBeforeTheCut) {
  const Truncation& c = GetParam();
  Bytes b = Base().Build();
  ASSERT_LE(c.length, b.size());
  b.resize(c.length);
  test::TempDir dir;
  test::WriteFile(dir / "cut.DT", b);
  fs::path output;
  EXPECT_EQ(ConvertOne(dir / "cut.DT", c.type, &output), c.result);
  ASSERT_TRUE(fs::exists(output));
  std::string bytes = test::ReadFileBytes(output);
  if (c.golden.empty()) {
    EXPECT_EQ(bytes, "");
  } else {
    EXPECT_EQ(test::CompareGolden(c.golden, bytes), "");
  }
}

INSTANTIATE_TEST_SUITE_P(All, TruncatedCapture, ::testing::ValuesIn(Truncations()),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n) {
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return n;
                         });

// Sizes the loader refuses before it allocates or reads anything: just over 1 GiB, and 4 GiB and
// more. The files are sparse, so they take no room on the disk.
struct Oversize {
  const char* name;
  uint64_t size;
};

class OversizedCapture : public ::testing::TestWithParam<Oversize> {};

TEST_P(OversizedCapture, IsRejectedWithoutBeingRead) {
  test::TempDir dir;
  fs::path input = dir / "huge.DT";
  test::WriteFile(input, Base().Build());
  std::error_code ec;
  fs::resize_file(input, GetParam().size, ec);
  if (ec)
    GTEST_SKIP() << "no sparse file of " << GetParam().size << " bytes here: " << ec.message();
#ifdef __linux__
  // Any read of the file would queue an access event.
  int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, input.c_str(), IN_ACCESS), 0);
#endif
  fs::path output;
  EXPECT_EQ(ConvertOne(input, kCvtCanText, &output), kResultInvalidData);
  EXPECT_FALSE(fs::exists(output));
#ifdef __linux__
  alignas(inotify_event) char events[4096];
  EXPECT_LT(read(watch, events, sizeof events), 0) << "the oversized capture was read";
  close(watch);
#endif
}

INSTANTIATE_TEST_SUITE_P(All, OversizedCapture,
                         ::testing::Values(Oversize{"one_byte_over_1_GiB", 0x40000001ull},
                                           Oversize{"exactly_4_GiB", 0x100000000ull},
                                           Oversize{"4_GiB_and_16_bytes", 0x100000010ull}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dtconv
