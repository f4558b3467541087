// Writes the large captures that scripts/bench converts, built with the tests' capture builder:
//   can.DT     1 000 000 frames of mixed CAN and CAN FD on both lines, with eight-channel analog
//              samples, GNSS fixes and a few overrun and lost-data markers in between;
//   can.log    the same data and remote frames as a candump log, for the other tools compared;
//   analog.DT  1 000 000 eight-channel analog samples (XP-HV) and a GNSS fix every second;
//   gnss.DT    200 000 GNSS fixes at 10 Hz;
//   wave.DT    a 32768-sample two-channel waveform;
//   signals.DT 10 000 000 frames of the four messages of signals.dbc, each carrying selected
//              signals, and signals_sample.csv, the first 20 000 of them for canmatrix;
//   big.DT     (with --big) CAN frames filling the largest capture accepted, 1 GiB.
// Records are produced in batches and streamed to the file, so even the 1 GiB capture needs
// little memory. Every value comes from a fixed-seed generator: the captures are identical on
// every run and every platform.
//
// Usage: make_bench_captures DIR [--scale F] [--big]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

#include "capture_builder.h"

namespace fs = std::filesystem;

namespace dtconv::bench {

namespace {

using test::Bytes;
using test::CaptureBuilder;

// SplitMix64: fully specified, so the captures are the same wherever they are generated.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
  bool Chance(uint32_t perMillion) { return Below(1000000) < perMillion; }

 private:
  uint64_t state_;
};

constexpr uint8_t kData11 = 1, kRemote11 = 2, kData29 = 3, kRemote29 = 4, kError = 5;
constexpr uint8_t kFd11 = 17, kFd29 = 19;
constexpr int kFdLengths[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};

// Streams one capture: the chunks of a record-less builder (information structure, wave), with
// the records chunk filled batch by batch in between.
class CaptureStream {
 public:
  CaptureStream(const fs::path& path, const CaptureBuilder& header) : out_(path, std::ios::binary) {
    if (!out_) throw std::runtime_error("cannot write " + path.string());
    std::vector<test::Chunk> chunks = header.Chunks();
    Bytes head = test::AssembleFile({chunks[0]});  // signature and "DINF"
    Write(head);
    for (size_t i = 2; i < chunks.size(); ++i) tail_.push_back(chunks[i]);  // "AWDI", "AWDT"
    Write(Bytes{'M', 'D', 'A', 'C', 0, 0, 0, 0});
    sizeAt_ = static_cast<std::streamoff>(head.size()) + 4;
  }

  // Appends the records of a batch builder and empties it.
  void Flush(CaptureBuilder& batch) {
    for (const Bytes& r : batch.records()) Write(r);
    recordBytes_ += 32 * batch.records().size();
    batch = CaptureBuilder{};
  }

  uint64_t recordBytes() const { return recordBytes_; }

  void Finish() {
    Bytes rest = test::AssembleFile(tail_);
    out_.write(reinterpret_cast<const char*>(rest.data()) + 16,
               static_cast<std::streamsize>(rest.size() - 16));
    out_.seekp(sizeAt_);
    Bytes size;
    test::PutU32(size, static_cast<uint32_t>(recordBytes_));
    Write(size);
    out_.close();
    if (!out_) throw std::runtime_error("write failed");
  }

 private:
  void Write(const Bytes& b) {
    out_.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  }

  std::ofstream out_;
  std::vector<test::Chunk> tail_;
  std::streamoff sizeAt_ = 0;
  uint64_t recordBytes_ = 0;
};

CaptureBuilder Header() {
  CaptureBuilder b;
  b.serial = "BENCH0001";
  b.timeBaseSeconds = 1796549400;  // 2026-12-06 09:30:00 UTC
  b.timeBaseNanoseconds = 123456789;
  return b;
}

// XP-HV with all seven ranges in use and a calibrated first channel.
void EightChannelPod(CaptureBuilder& b) {
  b.analogPort = 2;
  b.analogSetup = Bytes(36, 0);
  for (int ch = 0; ch < 8; ++ch) b.analogSetup[4 + 4 * ch] = static_cast<uint8_t>(ch % 7);
  b.calibration = {{true, 40, 1098000, -1097600, 15000000}};
}

test::AnalogSpec EightChannelSample(Random& r, uint64_t t) {
  test::AnalogSpec a;
  a.timestamp = t;
  a.referenceTemp = static_cast<int16_t>(2000 + r.Below(1000));
  a.eightChannels = true;
  for (uint32_t& w : a.words) w = static_cast<uint32_t>(r.Next()) & 0xFFFFFF;
  return a;
}

// A triangle wave between -1 and 1 with the given period, in integer steps: the same values on
// every platform (the C library's sine is not).
double Triangle(int64_t step, int64_t period) {
  int64_t k = step % period;
  double x = static_cast<double>(k) / static_cast<double>(period);  // 0 .. 1
  return x < 0.5 ? 4 * x - 1 : 3 - 4 * x;
}

// A GNSS fix around Tokyo with its UTC time taken from the record time.
test::FixSpec Fix(Random& r, const CaptureBuilder& header, uint64_t t, int64_t step) {
  test::FixSpec f;
  f.timestamp = t;
  int64_t utc = header.timeBaseSeconds + static_cast<int64_t>(t / 1000000);
  int64_t day = utc % 86400;
  f.utc = {2026,
           12,
           6 + static_cast<int>(utc / 86400 - 1796549400 / 86400),
           static_cast<int>(day / 3600),
           static_cast<int>(day / 60 % 60),
           static_cast<int>(day % 60)};
  uint32_t q = r.Below(1000);
  f.quality = static_cast<uint8_t>(q < 5 ? 0 : q < 15 ? 1 : q < 300 ? 3 : 2);
  f.satellites = static_cast<uint8_t>(4 + r.Below(17));
  f.latitude = static_cast<int32_t>(356543210 + 400000 * Triangle(step, 60000)) +
               static_cast<int32_t>(r.Below(2001)) - 1000;
  f.longitude = static_cast<int32_t>(1397012345 + 520000 * Triangle(step + 15000, 60000)) +
                static_cast<int32_t>(r.Below(2001)) - 1000;
  f.altitudeMm = static_cast<int32_t>(r.Below(90000)) - 5000;
  f.errorCm = static_cast<uint16_t>(r.Below(6000));
  return f;
}

struct Frame {
  int line;
  uint64_t t;
  uint8_t format;
  uint32_t id;
  uint8_t dlc;
  int length;  // data bytes stored
  uint8_t data[64];
  uint8_t status;
  bool brs, esi, trigger;
  uint32_t fc;
};

Frame RandomFrame(Random& r, uint64_t t) {
  Frame f{};
  f.line = 1 + static_cast<int>(r.Below(2));
  f.t = t;
  uint32_t k = r.Below(1000);
  f.format = k < 450   ? kData11
             : k < 650 ? kData29
             : k < 665 ? kRemote11
             : k < 680 ? kRemote29
             : k < 830 ? kFd11
             : k < 980 ? kFd29
                       : kError;
  bool fd = f.format == kFd11 || f.format == kFd29;
  f.id = f.format == kData11 || f.format == kRemote11 || f.format == kFd11
             ? r.Below(0x800)
             : static_cast<uint32_t>(r.Next()) & 0x1FFFFFFF;
  if (fd) {
    f.dlc = static_cast<uint8_t>(r.Below(16));
    f.length = kFdLengths[f.dlc];
    f.brs = r.Chance(800000);
    f.esi = r.Chance(10000);
  } else if (f.format != kError) {
    f.dlc = static_cast<uint8_t>(r.Below(9));
    f.length = f.format == kRemote11 || f.format == kRemote29 ? 0 : f.dlc;
  }
  for (int i = 0; i < f.length; ++i) f.data[i] = static_cast<uint8_t>(r.Next());
  f.status = f.format == kError ? static_cast<uint8_t>(1 + r.Below(6))
             : r.Chance(5000)   ? static_cast<uint8_t>(1 + r.Below(6))
                                : 0;
  f.trigger = r.Chance(1000);
  f.fc = static_cast<uint32_t>(r.Next()) & (fd ? 0x1FFFFF : 0x7FFF);
  return f;
}

void AddFrame(CaptureBuilder& b, const Frame& f) {
  test::FrameSpec s;
  s.line = f.line;
  s.typeNibble = static_cast<uint8_t>(f.line);
  s.timestamp = f.t;
  s.format = f.format;
  s.trigger = f.trigger;
  s.status = f.status;
  int shift = f.format == kFd29 ? 5 : 4;
  s.fdFlags = static_cast<uint8_t>((f.brs ? 1 << shift : 0) | (f.esi ? 2 << shift : 0));
  s.dlc = f.dlc;
  s.id = f.id;
  s.fc = f.fc;
  s.data.assign(f.data, f.data + f.length);
  b.Frame(s);
}

// One frame of a candump log (-L form): "(seconds.micros) canN id#data", CAN FD frames as
// "id##flags data", remote frames "id#R".
void LogFrame(std::FILE* log, const CaptureBuilder& header, const Frame& f) {
  if (f.format == kError) return;
  uint64_t us = static_cast<uint64_t>(header.timeBaseSeconds) * 1000000 +
                static_cast<uint64_t>(header.timeBaseNanoseconds / 1000) + f.t;
  char line[256];
  int n = std::snprintf(line, sizeof line, "(%llu.%06llu) can%d ",
                        static_cast<unsigned long long>(us / 1000000),
                        static_cast<unsigned long long>(us % 1000000), f.line - 1);
  bool extended = f.format == kData29 || f.format == kRemote29 || f.format == kFd29;
  n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), extended ? "%08X" : "%03X",
                     f.id);
  if (f.format == kRemote11 || f.format == kRemote29) {
    n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "#R");
  } else if (f.format == kFd11 || f.format == kFd29) {
    n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "##%X",
                       (f.brs ? 1 : 0) | (f.esi ? 2 : 0));
  } else {
    n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "#");
  }
  for (int i = 0; i < f.length; ++i) {
    n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%02X", f.data[i]);
  }
  line[n++] = '\n';
  std::fwrite(line, 1, static_cast<size_t>(n), log);
}

constexpr size_t kBatch = 65536;

void WriteCan(const fs::path& dir, uint64_t frames) {
  CaptureBuilder header = Header();
  EightChannelPod(header);
  CaptureStream out(dir / "can.DT", header);
  std::FILE* log = std::fopen((dir / "can.log").string().c_str(), "wb");
  if (log == nullptr) throw std::runtime_error("cannot write can.log");
  Random r(1);
  CaptureBuilder batch;
  uint64_t t = 0;
  for (uint64_t i = 0; i < frames; ++i) {
    t += 20 + r.Below(380);
    Frame f = RandomFrame(r, t);
    AddFrame(batch, f);
    LogFrame(log, header, f);
    if (i % 50 == 25) batch.Analog(EightChannelSample(r, t + 5));
    if (i % 1000 == 500) batch.Fix(Fix(r, header, t + 7, static_cast<int64_t>(i / 1000)));
    if (i % 100000 == 99999) batch.Marker(0x81, t + 9);
    if (i % 250000 == 200000) batch.Marker(0x80, t + 11);
    if (batch.records().size() >= kBatch) out.Flush(batch);
  }
  out.Flush(batch);
  out.Finish();
  std::fclose(log);
}

void WriteAnalog(const fs::path& dir, uint64_t samples) {
  CaptureBuilder header = Header();
  EightChannelPod(header);
  CaptureStream out(dir / "analog.DT", header);
  Random r(2);
  CaptureBuilder batch;
  for (uint64_t i = 0; i < samples; ++i) {
    uint64_t t = i * 1000 + 3;
    batch.Analog(EightChannelSample(r, t));
    if (i % 1000 == 0) batch.Fix(Fix(r, header, t + 1, static_cast<int64_t>(i / 1000)));
    if (i % 200000 == 199999) batch.Marker(0x82, t + 2);
    if (batch.records().size() >= kBatch) out.Flush(batch);
  }
  out.Flush(batch);
  out.Finish();
}

void WriteGnss(const fs::path& dir, uint64_t fixes) {
  CaptureBuilder header = Header();
  CaptureStream out(dir / "gnss.DT", header);
  Random r(3);
  CaptureBuilder batch;
  for (uint64_t i = 0; i < fixes; ++i) {
    batch.Fix(Fix(r, header, i * 100000 + 40, static_cast<int64_t>(i)));
    if (i % 50000 == 49999) batch.Marker(0x80, i * 100000 + 90);
    if (batch.records().size() >= kBatch) out.Flush(batch);
  }
  out.Flush(batch);
  out.Finish();
}

void WriteWave(const fs::path& dir) {
  CaptureBuilder b = Header();
  b.analogPort = 1;
  b.analogSetup = Bytes(36, 0);
  b.analogSetup[3] = 1;
  b.waveInfo =
      CaptureBuilder::WaveInfoBytes(1, 0, 1, 4, 2, 1024, {true, -35, 399100, -399600, 1000000});
  Random r(4);
  for (int k = 0; k < 32768; ++k) {
    double s = Triangle(k, 628);
    auto ai1 = static_cast<int16_t>(12000 * s + static_cast<int>(r.Below(200)) - 100);
    auto ai2 = static_cast<int16_t>(-9000 * s + static_cast<int>(r.Below(200)) - 100);
    b.waveSamples.push_back(static_cast<uint16_t>(ai1) |
                            (static_cast<uint32_t>(static_cast<uint16_t>(ai2)) << 16));
  }
  b.WriteTo(dir / "wave.DT");
}

// CAN frames up to the largest capture the loader accepts.
void WriteBig(const fs::path& dir) {
  CaptureBuilder header = Header();
  CaptureStream out(dir / "big.DT", header);
  uint64_t headBytes = test::AssembleFile({header.Chunks()[0]}).size() + 8;
  uint64_t room = 0x40000000 - headBytes;
  Random r(5);
  CaptureBuilder batch;
  uint64_t t = 0;
  while (true) {
    t += 20 + r.Below(380);
    Frame f = RandomFrame(r, t);
    // Frames of at most 8 bytes: one record each, so the file ends exactly at the limit.
    if (f.length > 8) f.length = 8, f.dlc = 8;
    if (out.recordBytes() + 32 * (batch.records().size() + 1) > room) break;
    AddFrame(batch, f);
    if (batch.records().size() >= kBatch) out.Flush(batch);
  }
  out.Flush(batch);
  out.Finish();
}

// The database of signals.DT: four messages of eight signals, five of them named Sel<k>_<n>
// (--signals 'Sel*' selects 20): decimal and integer scaling, both byte orders, signed values, a
// value table and an IEEE single, on an 11- or 29-bit identifier.
constexpr uint32_t kSignalIds[4] = {0x100, 0x101, 0x18FF0102, 0x103};

std::string SignalsDbc() {
  std::string dbc = "VERSION \"bench\"\n\nNS_ :\n\nBS_:\n\nBU_: Bench\n";
  std::string tail;
  for (int k = 0; k < 4; ++k) {
    bool extended = kSignalIds[k] > 0x7FF;
    uint32_t dbcId = kSignalIds[k] | (extended ? 0x80000000u : 0);
    std::string m = std::to_string(k), id = std::to_string(dbcId);
    dbc += "\nBO_ " + id + " Message" + m + ": 8 Bench\n";
    dbc += " SG_ Sel" + m + "_0 : 0|16@1+ (0.25,0) [0|16383.75] \"rpm\" Bench\n";
    dbc += " SG_ Sel" + m + "_1 : 16|8@1- (1,-40) [-168|87] \"degC\" Bench\n";
    dbc += " SG_ Sel" + m + "_2 : 31|12@0+ (0.1,0) [0|409.5] \"bar\" Bench\n";
    dbc += " SG_ Sel" + m + "_3 : 36|4@1+ (1,0) [0|15] \"\" Bench\n";
    if (k == 3) {
      dbc += " SG_ Sel" + m + "_4 : 32|32@1- (1,0) [0|0] \"A\" Bench\n";
      tail += "SIG_VALTYPE_ " + id + " Sel" + m + "_4 : 1;\n";
    } else {
      dbc += " SG_ Sel" + m + "_4 : 40|16@1- (0.01,-100) [-427.68|227.67] \"V\" Bench\n";
    }
    dbc += " SG_ Other" + m + "_0 : 56|8@1+ (1,0) [0|255] \"\" Bench\n";
    dbc += " SG_ Other" + m + "_1 : 20|4@1+ (1,0) [0|15] \"\" Bench\n";
    dbc += " SG_ Other" + m + "_2 : 48|8@1+ (0.5,0) [0|127.5] \"\" Bench\n";
    tail += "VAL_ " + id + " Sel" + m + "_3 0 \"Off\" 1 \"Idle\" 2 \"Run\" 3 \"Fault\" ;\n";
  }
  return dbc + "\n" + tail;
}

// `frames` frames of the four messages in turn (two on each line), 50 us apart, with random
// bytes, and the first 20000 of them as a frame list (index,line,extended,id,data) for
// canmatrix.
void WriteSignals(const fs::path& dir, uint64_t frames) {
  std::ofstream(dir / "signals.dbc", std::ios::binary) << SignalsDbc();
  CaptureStream out(dir / "signals.DT", Header());
  std::FILE* sample = std::fopen((dir / "signals_sample.csv").string().c_str(), "wb");
  if (sample == nullptr) throw std::runtime_error("cannot write signals_sample.csv");
  Random r(6);
  CaptureBuilder batch;
  for (uint64_t i = 0; i < frames; ++i) {
    int k = static_cast<int>(i % 4);
    test::FrameSpec f;
    f.line = k < 2 ? 1 : 2;
    f.typeNibble = static_cast<uint8_t>(f.line);
    f.timestamp = i * 50 + 7;
    f.format = kSignalIds[k] > 0x7FF ? kData29 : kData11;
    f.dlc = 8;
    f.id = kSignalIds[k];
    uint64_t bytes = r.Next();
    for (int b = 0; b < 8; ++b) f.data.push_back(static_cast<uint8_t>(bytes >> (8 * b)));
    if (i < 20000) {
      std::fprintf(sample, "%llu,%d,%d,%X,%016llX\n", static_cast<unsigned long long>(i), f.line,
                   f.format == kData29 ? 1 : 0, f.id,
                   static_cast<unsigned long long>(__builtin_bswap64(bytes)));
    }
    batch.Frame(f);
    if (batch.records().size() >= kBatch) out.Flush(batch);
  }
  out.Flush(batch);
  out.Finish();
  std::fclose(sample);
}

}  // namespace
}  // namespace dtconv::bench

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_bench_captures DIR [--scale F] [--only KIND] [--big]\n");
    return 2;
  }
  fs::path dir = argv[1];
  double scale = 1;
  bool big = false;
  std::string only;  // can, analog, gnss, wave or signals: that capture alone
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--scale" && i + 1 < argc) {
      scale = std::atof(argv[++i]);
    } else if (a == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (a == "--big") {
      big = true;
    }
  }
  fs::create_directories(dir);
  auto count = [&](double n) { return static_cast<uint64_t>(std::max(1.0, n * scale)); };
  using namespace dtconv::bench;
  auto wanted = [&](const char* kind) { return only.empty() || only == kind; };
  if (wanted("can")) WriteCan(dir, count(1000000));
  if (wanted("analog")) WriteAnalog(dir, count(1000000));
  if (wanted("gnss")) WriteGnss(dir, count(200000));
  if (wanted("wave")) WriteWave(dir);
  if (wanted("signals")) WriteSignals(dir, count(10000000));
  if (big) WriteBig(dir);
  std::printf("captures written to %s\n", dir.string().c_str());
  return 0;
}
