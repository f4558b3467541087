// Fuzz target: arbitrary bytes as the settings file, read by LoadSettings.
//
// The bytes are written to a file (the reader's entry takes a path) and loaded. What the reader
// makes of them must survive the round trip through SaveSettings, and the job record built from
// them must convert a small capture: the free-form values (folder, CSV delimiter) reach the
// delimiter transcoding and every converter that writes a delimiter.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "input/monitor_data.h"
#include "pipeline/conversion_job.h"
#include "pipeline/conversion_session.h"
#include "pipeline/cvt_settings.h"
#include "pipeline/settings_file.h"

#ifndef DTCONV_FUZZ_CAPTURE
#error "DTCONV_FUZZ_CAPTURE names the capture converted with the loaded settings"
#endif

namespace {

namespace fs = std::filesystem;
using namespace dtconv;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_settings: %s\n", what);
    std::abort();
  }
}

// One output folder, one session and the loaded capture for the whole fuzzing process.
struct Harness {
  fs::path dir;
  ConversionSession session;

  Harness() {
    dir = fs::temp_directory_path() / ("dtconv-fuzz-settings-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    session.context.bannerTime = 1796519109;
    Check(LoadMonitorData(DTCONV_FUZZ_CAPTURE, session.data) == 0,
          "cannot load " DTCONV_FUZZ_CAPTURE);
  }
  ~Harness() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

// The enumerated choices and flags: what SaveSettings writes, LoadSettings reads back.
bool SameChoices(const CvtOptions& a, const CvtOptions& b) {
  return a.fileFilter == b.fileFilter && a.targetData == b.targetData &&
         a.outputType == b.outputType && a.canTxtSignalLine == b.canTxtSignalLine &&
         a.canCsvSignalLine == b.canCsvSignalLine && a.canTxtTimeStamp == b.canTxtTimeStamp &&
         a.canCsvTimeStamp == b.canCsvTimeStamp && a.anaTxtTimeStamp == b.anaTxtTimeStamp &&
         a.anaCsvTimeStamp == b.anaCsvTimeStamp && a.canTxtRelTimeStamp == b.canTxtRelTimeStamp &&
         a.canCsvRelTimeStamp == b.canCsvRelTimeStamp &&
         a.anaTxtRelTimeStamp == b.anaTxtRelTimeStamp &&
         a.anaCsvRelTimeStamp == b.anaCsvRelTimeStamp &&
         a.canCsvDiffTimeStamp == b.canCsvDiffTimeStamp && a.canCsvAddAnalog == b.canCsvAddAnalog &&
         a.canCsvAddGnss == b.canCsvAddGnss && a.anaCsvAddGnss == b.anaCsvAddGnss &&
         a.additional == b.additional && a.outCode == b.outCode && a.lineFeed == b.lineFeed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness harness;
  fs::path file = harness.dir / "dtconv_exbca.ini";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  CvtOptions options;
  std::vector<std::string> unrecognised;
  LoadSettings(file, options, &unrecognised);
  Check(options.csvDelimit.size() < kDelimiterUnits, "delimiter longer than its buffer");

  fs::path saved = harness.dir / "saved.ini";
  fs::remove(saved);
  Check(SaveSettings(saved, options) == 0, "the settings read cannot be saved");
  CvtOptions again;
  Check(LoadSettings(saved, again) == 0, "the settings saved cannot be read");
  Check(SameChoices(options, again), "a choice changed on its way through the settings file");

  // The job record from these choices, used on a small capture of every kind of record.
  CvtSettings settings = BuildCvtSettings(options);
  settings.outputPath = harness.dir / (std::string("out") + CvtTypeExtension(settings.type));
  Check(ConvertFile(harness.session, settings, DefaultConverterTable()) == 0,
        "the capture did not convert with these settings");
  return 0;
}
