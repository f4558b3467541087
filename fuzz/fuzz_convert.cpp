// Fuzz target: arbitrary bytes as a capture file image, through the loader and every conversion
// type.
//
// The image goes through ParseMonitorData, the loader's own core (LoadMonitorData reads the file
// and hands its image there), and then through ConvertFile once per conversion type, writing into
// a private temporary folder the way the job does. The other values of the job record come from a
// hash of the image and range a little beyond what the settings panes offer, because a settings
// file can hold any number. Besides the sanitizers' findings the target stops on a broken
// promise of the loader: records or samples outside the image, or records left after a failure.
#include <bit>
#include <cstring>
#include <memory>

#include "fuzz_common.h"
#include "pipeline/conversion_job.h"
#include "signals/cvt_signals.h"

namespace {

using namespace dtconv;
using fuzz::Check;

// The loader's promises about what it leaves in MonitorData: nothing after a failure, and records
// and samples inside the image.
void CheckLoaded(Result result, const MonitorData& d, size_t size) {
  auto inside = [&](const void* first, uint64_t count, uint64_t unit) {  // of a loaded image
    const uint8_t *p = static_cast<const uint8_t*>(first), *begin = d.image.data();
    return count == 0 ||
           (p >= begin && p <= begin + size && count * unit <= uint64_t(begin + size - p));
  };
  Check(result == kResultOk
            ? inside(d.records, d.recordCount, 32) && inside(d.samples, d.sampleCount, 4)
            : !d.recordCount && !d.records && !d.sampleCount && !d.samples,
        "records or samples outside the file image, or left after a failed load");
}

// The signal tables' database (signals.dbc): standard and extended identifiers, both byte orders,
// multiplexing, IEEE floats, a 64-byte message and value-table texts that need quoting.
std::shared_ptr<const signals::SignalSetup> Signals() {
  auto setup = std::make_shared<signals::SignalSetup>();
  signals::Database db;
  std::string error;
  Check(signals::LoadDbc(DTCONV_FUZZ_DBC, &db, &error) &&
            setup->databases.Add(std::move(db), signals::kBothLines, &error) &&
            setup->selection.Select(setup->databases, "", &error),
        "the signal tables' database is not read");
  return setup;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Harness harness;
  static const auto signals = Signals();
  ConversionSession& session = harness.session;

  // An exact-size copy: the loader owns its image, and a read past it is caught.
  std::unique_ptr<uint8_t[]> image(new uint8_t[size]);
  if (size != 0) std::memcpy(image.get(), data, size);
  Result loaded = ParseMonitorData(std::move(image), size, session.data);
  CheckLoaded(loaded, session.data, size);
  if (loaded != kResultOk) return 0;

  uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
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
    settings.signals = signals;
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
