// Fuzz target: arbitrary bytes as a capture file image, through the loader and every conversion
// type.
//
// The image goes through ParseMonitorData, the loader's own core (LoadMonitorData reads the file
// and hands its image there), and then through ConvertFile once per conversion type, writing into
// a private temporary folder the way the job does. The other values of the job record come from a
// hash of the image and range a little beyond what the settings panes offer, because a settings
// file can hold any number. Besides the sanitizers' findings the target stops on a broken
// promise of the loader: records or samples outside the image, or records left after a failure.
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "input/monitor_data.h"
#include "pipeline/conversion_job.h"
#include "pipeline/conversion_session.h"
#include "pipeline/cvt_settings.h"
#include "signals/cvt_signals.h"

namespace {

namespace fs = std::filesystem;
using namespace dtconv;

uint64_t Fnv1a(const uint8_t* data, size_t size) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
  return h;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_convert: %s\n", what);
    std::abort();
  }
}

// The loader's promises about what it leaves in MonitorData.
void CheckLoaded(Result result, const MonitorData& d, size_t size) {
  if (result != kResultOk) {
    Check(d.recordCount == 0 && d.records == nullptr, "records left after a failed load");
    Check(d.sampleCount == 0 && d.samples == nullptr, "samples left after a failed load");
    return;
  }
  const uint8_t* begin = d.image.data();
  const uint8_t* end = begin + size;
  if (d.recordCount != 0) {
    auto* first = reinterpret_cast<const uint8_t*>(d.records);
    Check(first >= begin && first <= end &&
              static_cast<uint64_t>(d.recordCount) * 32 <= static_cast<uint64_t>(end - first),
          "records outside the file image");
  }
  if (d.sampleCount != 0) {
    Check(d.samples >= begin && d.samples <= end &&
              static_cast<uint64_t>(d.sampleCount) * 4 <= static_cast<uint64_t>(end - d.samples),
          "samples outside the file image");
  }
}

// The database of the signal tables: standard and extended identifiers, both byte orders,
// multiplexing, IEEE floats, a 64-byte message and value-table texts that need quoting.
constexpr const char* kDbc =
    "BO_ 256 A: 8 N\n"
    " SG_ S M : 0|8@1+ (1,0) [0|0] \"\" N\n"
    " SG_ X m1 : 15|16@0- (0.1,-5) [0|0] \"u,\" N\n"
    " SG_ Y : 24|40@1+ (1,0) [0|0] \"\" N\n"
    "BO_ 2147484160 B: 64 N\n"
    " SG_ F : 0|32@1- (1,0) [0|0] \"\" N\n"
    " SG_ D : 64|64@1- (2,0.5) [0|0] \"\" N\n"
    " SG_ V : 500|12@1+ (0.0625,0) [0|0] \"\" N\n"
    "SIG_VALTYPE_ 2147484160 F : 1;\n"
    "SIG_VALTYPE_ 2147484160 D : 2;\n"
    "VAL_ 256 S 1 \"one, \"\"1\"\"\" 2 \"two\" ;\n";

std::shared_ptr<const signals::SignalSetup> Signals() {
  auto setup = std::make_shared<signals::SignalSetup>();
  signals::Database db;
  std::string error;
  Check(signals::ParseDbc(kDbc, "fuzz.dbc", &db, &error) &&
            setup->databases.Add(std::move(db), signals::kBothLines, &error) &&
            setup->selection.Select(setup->databases, "", &error),
        "the signal tables' database is not read");
  return setup;
}

// One session and one output folder for the whole fuzzing process.
struct Harness {
  ConversionSession session;
  fs::path dir;
  std::shared_ptr<const signals::SignalSetup> signals = Signals();

  Harness() {
    dir = fs::temp_directory_path() / ("dtconv-fuzz-convert-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // A fixed banner time: the same input always writes the same bytes.
    session.context.bannerTime = 1796519109;
  }
  ~Harness() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness harness;
  ConversionSession& session = harness.session;

  // An exact-size copy: the loader owns its image, and a read past it is caught.
  std::unique_ptr<uint8_t[]> image(new uint8_t[size]);
  if (size != 0) std::memcpy(image.get(), data, size);
  Result loaded = ParseMonitorData(std::move(image), size, session.data);
  CheckLoaded(loaded, session.data, size);
  if (loaded != kResultOk) return 0;

  uint64_t h = Fnv1a(data, size);
  static const char16_t* const kDelimiters[] = {
      u",", u"\t", u";", u"", u"<->", u"\u00B5\u03A9", u"123456789012345"};
  for (int32_t type = 0; type < kCvtTypeCount; ++type) {
    uint64_t v = std::rotr(h, type * 7);
    CvtSettings settings;
    settings.type = type;
    settings.signalLine = static_cast<int32_t>(v % 4);  // 3 is beyond the panes' choices
    settings.timeStampStyle = static_cast<int32_t>((v >> 2) % 13) - 1;  // -1 .. 11
    settings.optionBits = static_cast<uint32_t>(v >> 6) & 0xF;
    settings.outputBits = static_cast<uint32_t>(v >> 10) & 0x5F;
    settings.delimiter = kDelimiters[(v >> 17) % std::size(kDelimiters)];
    settings.outputPath = harness.dir / (std::string("out") + CvtTypeExtension(type));
    settings.signals = harness.signals;
    // Now and then a time window and an identifier list.
    if ((v >> 20) % 4 == 0) {
      settings.selection.from = {TimeBound::Kind::kElapsed, (v >> 24) % 2000000};
      settings.selection.to = {TimeBound::Kind::kClock, (v >> 32) % 86400000000};
      settings.selection.ids = {{0x100, 0x100, true, false}, {0x200, 0x1FFFFFFF, false, true}};
    }
    Result r = ConvertFile(session, settings, DefaultConverterTable());
    Check(r == kResultOk || r == kResultInvalidData, "conversion failed for a loaded capture");
  }
  ReleaseMonitorData(session.data);
  return 0;
}
