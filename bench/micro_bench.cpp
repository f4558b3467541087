// Micro-benchmarks of the hot paths: the record walk, frame assembly, the number texts, the time
// column and cells, the analog cell, the GNSS texts, the writer's line flush, and whole converters
// over captures held in memory with their output going to the null device. Items per second are
// records (or values) per second.
#include <benchmark/benchmark.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "analog/cvt_ana.h"
#include "analog/cvt_awave.h"
#include "can/can_frame.h"
#include "can/cvt_asc.h"
#include "can/cvt_can.h"
#include "can/cvt_candump.h"
#include "can/cvt_pcap.h"
#include "can/cvt_pcapng.h"
#include "capture_builder.h"
#include "gnss/cvt_gps.h"
#include "gnss/cvt_kml.h"
#include "gnss/gnss_fix.h"
#include "output/text.h"
#include "output/text_output.h"
#include "pipeline/cvt_settings.h"
#include "report/time_columns.h"

namespace dtconv::bench {
namespace {

#ifdef _WIN32
constexpr const char* kNullDevice = "NUL";
#else
constexpr const char* kNullDevice = "/dev/null";
#endif

// SplitMix64, for values that repeat from run to run.
struct Random {
  uint64_t state = 42;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
};

constexpr int kFrames = 100000;

uint8_t FdDlc(int n) {
  static constexpr int kSizes[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
  for (uint8_t d = 0; d < 16; ++d) {
    if (kSizes[d] >= n) return d;
  }
  return 15;
}

// Mixed classic and FD frames on both lines, an eight-channel analog sample every 50 frames and a
// GNSS fix every 1000.
test::CaptureBuilder MixedCapture() {
  test::CaptureBuilder b;
  b.analogPort = 2;
  b.analogSetup = test::Bytes(36, 0);
  for (int ch = 0; ch < 8; ++ch) b.analogSetup[4 + 4 * ch] = static_cast<uint8_t>(ch % 7);
  Random r;
  uint64_t t = 0;
  for (int i = 0; i < kFrames; ++i) {
    t += 20 + r.Next() % 380;
    test::FrameSpec f;
    f.line = 1 + static_cast<int>(r.Next() % 2);
    f.typeNibble = static_cast<uint8_t>(f.line);
    f.timestamp = t;
    uint64_t k = r.Next() % 10;
    int n = 0;
    if (k < 6) {
      f.format = k < 4 ? 1 : 3;
      n = static_cast<int>(r.Next() % 9);
      f.dlc = static_cast<uint8_t>(n);
    } else {
      f.format = k < 8 ? 17 : 19;
      static constexpr int kFd[] = {8, 12, 16, 20, 24, 32, 48, 64};
      n = kFd[r.Next() % 8];
      f.dlc = FdDlc(n);
      f.fdFlags = 0x10;
    }
    f.id = static_cast<uint32_t>(r.Next()) & (f.format == 3 || f.format == 19 ? 0x1FFFFFFF : 0x7FF);
    f.fc = static_cast<uint32_t>(r.Next()) & 0x7FFF;
    for (int j = 0; j < n; ++j) f.data.push_back(static_cast<uint8_t>(r.Next()));
    b.Frame(f);
    if (i % 50 == 25) {
      test::AnalogSpec a;
      a.timestamp = t + 1;
      a.eightChannels = true;
      for (uint32_t& w : a.words) w = static_cast<uint32_t>(r.Next()) & 0xFFFFFF;
      b.Analog(a);
    }
    if (i % 1000 == 500) {
      test::FixSpec fix;
      fix.timestamp = t + 2;
      fix.latitude = 356543210;
      fix.longitude = 1397012345;
      fix.altitudeMm = 38250;
      fix.errorCm = 250;
      fix.satellites = 9;
      fix.utc = {2026, 12, 6, 9, 30, 0};
      b.Fix(fix);
    }
  }
  return b;
}

test::CaptureBuilder AnalogCapture(int samples) {
  test::CaptureBuilder b;
  b.analogPort = 2;
  b.analogSetup = test::Bytes(36, 0);
  for (int ch = 0; ch < 8; ++ch) b.analogSetup[4 + 4 * ch] = static_cast<uint8_t>(ch % 7);
  Random r;
  for (int i = 0; i < samples; ++i) {
    test::AnalogSpec a;
    a.timestamp = static_cast<uint64_t>(i) * 1000;
    a.eightChannels = true;
    for (uint32_t& w : a.words) w = static_cast<uint32_t>(r.Next()) & 0xFFFFFF;
    b.Analog(a);
  }
  return b;
}

test::CaptureBuilder GnssCapture(int fixes) {
  test::CaptureBuilder b;
  Random r;
  for (int i = 0; i < fixes; ++i) {
    test::FixSpec f;
    f.timestamp = static_cast<uint64_t>(i) * 100000;
    f.quality = 2;
    f.satellites = 9;
    f.latitude = 356543210 + static_cast<int32_t>(r.Next() % 100000);
    f.longitude = 1397012345 + static_cast<int32_t>(r.Next() % 100000);
    f.altitudeMm = static_cast<int32_t>(r.Next() % 90000);
    f.errorCm = static_cast<uint16_t>(r.Next() % 6000);
    f.utc = {2026, 12, 6, 9, 30 + i / 600 % 30, i / 10 % 60};
    b.Fix(f);
  }
  return b;
}

// A capture parsed from memory, as the loader leaves it.
std::unique_ptr<MonitorData> Load(const test::CaptureBuilder& b) {
  test::Bytes bytes = b.Build();
  auto image = std::make_unique<uint8_t[]>(bytes.size());
  std::memcpy(image.get(), bytes.data(), bytes.size());
  auto data = std::make_unique<MonitorData>();
  ParseMonitorData(std::move(image), bytes.size(), *data);
  return data;
}

// A writer on the null device, set up as the job does.
struct NullOutput {
  TextOutput out;
  ConverterContext context;
  NullOutput(int32_t type, int32_t style, uint32_t options) {
    out.SetupOutput(kOutCrLf);
    out.OpenOutput(kNullDevice);
    context.type = type;
    context.timeStampStyle = style;
    context.optionBits = options;
    context.output = &out;
    context.bannerTime = 0;
  }
};

// ---- the record walk and frame assembly

void BM_RecordWalk(benchmark::State& state) {
  auto data = Load(MixedCapture());
  AcceptRule rule{.frames = true, .canOverrun = true, .lostData = true};
  for (auto _ : state) {
    RecordCursor c = data->Walk();
    int n = 0;
    for (RecordKind k = FirstRecord(c, rule); k != kKindEnd; k = NextRecord(c, rule)) ++n;
    benchmark::DoNotOptimize(n);
  }
  state.SetItemsProcessed(state.iterations() * data->recordCount);
}
BENCHMARK(BM_RecordWalk);

void BM_AssembleFrame(benchmark::State& state) {
  auto data = Load(MixedCapture());
  AcceptRule rule{.frames = true};
  std::vector<uint32_t> heads;
  RecordCursor c = data->Walk();
  for (RecordKind k = FirstRecord(c, rule); k != kKindEnd; k = NextRecord(c, rule)) {
    heads.push_back(c.index);
  }
  CanFrame f;
  for (auto _ : state) {
    for (uint32_t i : heads) {
      c.index = i;
      benchmark::DoNotOptimize(AssembleFrame(c, f));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(heads.size()));
}
BENCHMARK(BM_AssembleFrame);

// ---- number texts

void BM_PutFixed(benchmark::State& state) {
  int decimals = static_cast<int>(state.range(0));
  Random r;
  std::vector<double> values(4096);
  for (double& v : values)
    v = static_cast<double>(static_cast<int64_t>(r.Next() % 2000000) - 1000000) / 997.0;
  char text[64];
  for (auto _ : state) {
    for (double v : values) benchmark::DoNotOptimize(text::PutFixed(text, v, decimals));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_PutFixed)->Arg(2)->Arg(4)->Arg(7)->Arg(9);

void BM_SnprintfFixed(benchmark::State& state) {
  Random r;
  std::vector<double> values(4096);
  for (double& v : values)
    v = static_cast<double>(static_cast<int64_t>(r.Next() % 2000000) - 1000000) / 997.0;
  char text[64];
  for (auto _ : state) {
    for (double v : values) benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%.4f", v));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_SnprintfFixed);

void BM_ToCharsFixed(benchmark::State& state) {
  Random r;
  std::vector<double> values(4096);
  for (double& v : values) {
    v = static_cast<double>(static_cast<int64_t>(r.Next() % 2000000) - 1000000) / 997.0;
  }
  char text[64];
  for (auto _ : state) {
    for (double v : values) {
      benchmark::DoNotOptimize(
          std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 4));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_ToCharsFixed);

void BM_PutHexAndDecimal(benchmark::State& state) {
  Random r;
  std::vector<uint32_t> values(4096);
  for (uint32_t& v : values) v = static_cast<uint32_t>(r.Next());
  char text[64];
  for (auto _ : state) {
    for (uint32_t v : values) {
      char* p = text::PutHex(text, v & 0x1FFFFFFF, 8);
      p = text::PutZeroPadded(p, v % 1000000, 6);
      benchmark::DoNotOptimize(p);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_PutHexAndDecimal);

// ---- time texts (argument: timestamp style)

void BM_TimeColumn(benchmark::State& state) {
  auto data = Load(MixedCapture());
  TimeColumns columns;
  columns.Reset(static_cast<TimeStyle>(state.range(0)), data->info.TimeBaseSeconds(),
                data->info.TimeBaseNanoseconds());
  char text[64];
  for (auto _ : state) {
    for (uint32_t i = 0; i < data->recordCount; ++i) {
      benchmark::DoNotOptimize(columns.PutColumn(text, data->records[i]));
    }
  }
  state.SetItemsProcessed(state.iterations() * data->recordCount);
}
BENCHMARK(BM_TimeColumn)->DenseRange(0, 6)->Arg(10);

// The CSV time cells (argument: style 7 to 9), with the Elapsed and TimeDiff cells or, as CAN CSV
// rows usually write them, without.
void BM_TimeCells(benchmark::State& state) {
  auto data = Load(MixedCapture());
  bool extra = state.range(1) != 0;
  TimeColumns columns;
  columns.Reset(static_cast<TimeStyle>(state.range(0)), data->info.TimeBaseSeconds(),
                data->info.TimeBaseNanoseconds());
  text::Delimiter comma(",");
  char text[256];
  for (auto _ : state) {
    for (uint32_t i = 0; i < data->recordCount; ++i) {
      benchmark::DoNotOptimize(columns.PutCells(text, data->records[i], comma, extra, extra));
    }
  }
  state.SetItemsProcessed(state.iterations() * data->recordCount);
}
BENCHMARK(BM_TimeCells)->ArgsProduct({{7, 8, 9}, {0, 1}});

// ---- the analog cell texts

// The cell texts of the analog rows alone, on readings of an eight-volt range: "%.<d>f" (CSV) for
// arguments 0..9, "%+07.<d-10>f" (text) for 11..14.
void BM_AnalogCellText(benchmark::State& state) {
  auto arg = static_cast<int>(state.range(0));
  bool signed7 = arg > 10;
  int decimals = signed7 ? arg - 10 : arg;
  text::PlainFixedColumn plain(signed7 ? 0 : decimals);
  text::SignedFixed7Column fixed7(signed7 ? decimals : 1);
  Random r;
  std::vector<double> values(4096);
  for (double& v : values) {
    v = static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(r.Next()) << 8) >> 8) *
        (8.0 / 8388608.0);
  }
  char text[64 * 8];
  for (auto _ : state) {
    char* p = text;
    for (size_t i = 0; i < values.size(); ++i) {
      if (i % 8 == 0) p = text;
      if (signed7) {
        p = fixed7.PutAfterBlank(p, values[i]);
      } else {
        *p = ',';
        p = plain.Put(p + 1, values[i]);
      }
    }
    benchmark::DoNotOptimize(p);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_AnalogCellText)->Arg(2)->Arg(4)->Arg(5)->Arg(9)->Arg(11)->Arg(13)->Arg(14);

// ---- the writer

void BM_WriterFlushLine(benchmark::State& state) {
  NullOutput o(kCvtCanText, 2, 0);
  const char line[] =
      "  09:30:00.123  1      123 DATA     8 G  0011223344556677   1234                         ";
  for (auto _ : state) {
    o.out.AppendText(line);
    o.out.FlushLine();
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sizeof line));
}
BENCHMARK(BM_WriterFlushLine);

// ---- whole converters, rows of a capture in memory to the null device

void BM_ConvertCanText(benchmark::State& state) {
  auto data = Load(MixedCapture());
  NullOutput o(kCvtCanText, 2, 0);
  CTxtCvtCAN cv;
  for (auto _ : state) ConvertCan(cv, *data, o.context);
  state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_ConvertCanText)->Unit(benchmark::kMillisecond);

void BM_ConvertCanCsv(benchmark::State& state) {
  auto data = Load(MixedCapture());
  uint32_t options = state.range(0) != 0 ? kOptAddAnalog | kOptAddGnss : 0;
  NullOutput o(kCvtCanCsv, 8, options);
  CTxtCvtCAN cv;
  for (auto _ : state) ConvertCan(cv, *data, o.context);
  state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_ConvertCanCsv)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ConvertPcap(benchmark::State& state) {
  auto data = Load(MixedCapture());
  NullOutput o(kCvtCanPcap, 0, 0);
  CTxtCvtPcap cv;
  for (auto _ : state) ConvertPcap(cv, *data, o.context);
  state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_ConvertPcap)->Unit(benchmark::kMillisecond);

void BM_ConvertPcapng(benchmark::State& state) {
  auto data = Load(MixedCapture());
  NullOutput o(kCvtCanPcapng, 0, 0);
  CTxtCvtPcapng cv;
  for (auto _ : state) ConvertPcapng(cv, *data, o.context);
  state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_ConvertPcapng)->Unit(benchmark::kMillisecond);

void BM_ConvertAnalog(benchmark::State& state) {
  bool csv = state.range(0) != 0;
  auto data = Load(AnalogCapture(100000));
  NullOutput o(csv ? kCvtAnalogCsv : kCvtAnalogText, csv ? 8 : 2, 0);
  CTxtCvtANA cv;
  for (auto _ : state) ConvertAnalog(cv, *data, o.context);
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_ConvertAnalog)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The waveform of make_bench_captures: 32768 two-channel samples around a trigger.
void BM_ConvertWave(benchmark::State& state) {
  test::CaptureBuilder b;
  b.analogPort = 1;
  b.analogSetup = test::Bytes(36, 0);
  b.analogSetup[3] = 1;
  b.waveInfo = test::CaptureBuilder::WaveInfoBytes(1, 0, 1, 4, 2, 1024,
                                                   {true, -35, 399100, -399600, 1000000});
  Random r;
  for (int k = 0; k < 32768; ++k) {
    auto ai1 = static_cast<int16_t>(static_cast<int>(r.Next() % 24000) - 12000);
    auto ai2 = static_cast<int16_t>(static_cast<int>(r.Next() % 18000) - 9000);
    b.waveSamples.push_back(static_cast<uint16_t>(ai1) |
                            (static_cast<uint32_t>(static_cast<uint16_t>(ai2)) << 16));
  }
  auto data = Load(b);
  NullOutput o(kCvtAnalogWave, 8, 0);
  CTxtCvtAWave cv;
  for (auto _ : state) ConvertAnalogWave(cv, *data, o.context);
  state.SetItemsProcessed(state.iterations() * 32768);
}
BENCHMARK(BM_ConvertWave)->Unit(benchmark::kMillisecond);

void BM_ConvertGnss(benchmark::State& state) {
  int32_t type = state.range(0) == 0   ? kCvtGnssText
                 : state.range(0) == 1 ? kCvtGnssCsv
                                       : kCvtGnssKml;
  auto data = Load(GnssCapture(100000));
  NullOutput o(type, 0, 0);
  o.out.SetupOutput(kOutCrLf, u",");  // the CSV rows with their usual delimiter
  CTxtCvtGPS gps;
  CTxtCvtKML kml;
  for (auto _ : state) {
    if (type == kCvtGnssKml) {
      ConvertKml(kml, *data, o.context);
    } else {
      ConvertGnss(gps, *data, o.context);
    }
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_ConvertGnss)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// ---- the ASC and candump logs of the mixed capture

void BM_ConvertAsc(benchmark::State& state) {
  auto data = Load(MixedCapture());
  NullOutput o(kCvtCanAsc, 0, 0);
  CTxtCvtAsc cv;
  for (auto _ : state) ConvertAsc(cv, *data, o.context);
  state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_ConvertAsc)->Unit(benchmark::kMillisecond);

void BM_ConvertCandump(benchmark::State& state) {
  auto data = Load(MixedCapture());
  NullOutput o(kCvtCanCandump, 0, 0);
  CTxtCvtCandump cv;
  for (auto _ : state) ConvertCandump(cv, *data, o.context);
  state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_ConvertCandump)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dtconv::bench

BENCHMARK_MAIN();
