// Builds capture files (*.DT) for tests, benchmarks, fuzz seeds and the sample generator: valid
// ones from a few high-level calls, and broken ones by editing the named pieces before assembly.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace dtconv::test {

using Bytes = std::vector<uint8_t>;

// Little-endian: `n` bytes of `v` written at `at`, or four appended.
void SetLE(Bytes& b, size_t at, uint64_t v, int n = 4);
void PutU32(Bytes& b, uint32_t v);
void Append(Bytes& b, const Bytes& more);

// `n` data bytes counting up from `first` (wrapping at 256): easy to recognise in any output.
Bytes Counting(size_t n, uint8_t first = 0);

// A length-prefixed record: its length word counts itself. `length` overrides the word written;
// a record that is not `present` is left out altogether.
struct Rec {
  Bytes body;
  std::optional<uint32_t> length;
  bool present = true;
};

// A chunk: tag, u32 size, payload. `size` overrides the size word written.
struct Chunk {
  std::string tag;
  Bytes payload;
  std::optional<uint32_t> size;
};

struct CanLineSetup {
  uint32_t nominalBitRate = 500000;
  uint32_t dataBitRate = 2000000;
  uint16_t nominalSamplePoint = 80;
  uint16_t dataSamplePoint = 75;
  bool nonIso = false;
};

struct DateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct Calibration {
  bool valid = false;
  int32_t zero = 0, plus = 0, minus = 0, referenceMicrovolts = 0;
};
void SetCalibration(Bytes& b, size_t at, const Calibration& c);  // a 40-byte entry

// The pieces of the "DINF" payload, in file order.
struct DataInfoParts {
  std::optional<uint32_t> infoLength;  // overrides the first word
  uint8_t setupRevision = 0x2B;
  std::optional<uint32_t> setupLength;  // overrides the set-up block's length word
  std::vector<Rec> setup;               // records 1..7 of the set-up block
  std::vector<Rec> recorder;            // LegacyIdentity, Identity, recorder records 3, 4, 5
  Rec calibration;
};
Bytes AssembleDataInfo(const DataInfoParts& parts);
Bytes AssembleFile(const std::vector<Chunk>& chunks);

struct FrameSpec {
  int line = 1;            // 1 or 2
  uint8_t typeNibble = 0;  // low nibble of the record type
  uint64_t timestamp = 0;  // microseconds
  uint8_t format = 1;      // frame format code
  bool trigger = false;
  uint8_t status = 0;
  uint8_t fdFlags = 0;  // byte 14
  uint8_t dlc = 0;
  uint32_t id = 0;
  uint32_t fc = 0;
  Bytes data = {};                                // stored data bytes
  std::optional<uint8_t> storedCount = {};        // byte 12 override
  std::optional<uint8_t> continuationCount = {};  // head continuation count override
};

struct FixSpec {
  uint64_t timestamp = 0;
  uint8_t typeNibble = 0;
  uint8_t satellites = 0;
  DateTime utc;  // year as a full year
  uint8_t quality = 2;
  int32_t latitude = 0;    // 1e-7 degree
  int32_t longitude = 0;   // 1e-7 degree
  int32_t altitudeMm = 0;  // stored as 24 bits
  uint16_t errorCm = 0;
};

struct AnalogSpec {
  uint64_t timestamp = 0;
  uint8_t type = 0x30;
  int16_t referenceTemp = 0;        // hundredths of a degree
  std::array<uint32_t, 8> words{};  // raw words of channels 1..8
  bool eightChannels = false;       // adds the continuation record with channels 5..8
};

// A 32-byte head record with a timestamp.
Bytes HeadRecord(uint8_t type, uint8_t continuations, uint64_t timestamp);
void WriteFile(const std::filesystem::path& path, const Bytes& bytes);

class CaptureBuilder {
 public:
  // Set-up block.
  uint8_t recordingKind = 0;
  uint8_t formatCode = 29;
  uint8_t analogPort = 0;
  CanLineSetup can[2];
  Bytes analogSetup;  // stored inner bytes of the analog set-up (layout by port)
  uint8_t kindExtra = 0;
  // Identity.
  uint32_t model = 0x30105;
  uint32_t board = 37;
  uint32_t firmware = 0x00102A03;
  std::string serial = "A1234567";
  DateTime start{2026, 12, 6, 9, 30, 0};
  DateTime stop{2026, 12, 6, 9, 45, 30};
  int64_t timeBaseSeconds = 1796549400;  // 2026-12-06 09:30:00 UTC
  int64_t timeBaseNanoseconds = 0;
  std::vector<Calibration> calibration;
  // Wave.
  std::optional<Bytes> waveInfo;  // stored bytes after the length word (up to 132)
  std::vector<uint32_t> waveSamples;

  CaptureBuilder& Frame(const FrameSpec& f);
  CaptureBuilder& Fix(const FixSpec& f);
  CaptureBuilder& Analog(const AnalogSpec& a);
  CaptureBuilder& Marker(uint8_t type, uint64_t timestamp);
  CaptureBuilder& Raw(const Bytes& record32);

  const std::vector<Bytes>& records() const { return records_; }

  // The information structure as editable pieces, and the chunks of the whole file.
  DataInfoParts Parts() const;
  std::vector<Chunk> Chunks(const DataInfoParts& parts) const;
  std::vector<Chunk> Chunks() const { return Chunks(Parts()); }
  Bytes Build() const { return AssembleFile(Chunks()); }
  void WriteTo(const std::filesystem::path& path) const { WriteFile(path, Build()); }

  // The wave information bytes with the given fields set (the rest zero).
  static Bytes WaveInfoBytes(uint8_t present, uint8_t range1, uint8_t range2, uint8_t interval,
                             uint8_t preTriggerMode, int32_t preTriggerCount,
                             const Calibration& ai1 = {}, const Calibration& ai2 = {});

 private:
  std::vector<Bytes> records_;
};

}  // namespace dtconv::test
