// Fuzz target: arbitrary bytes as the settings file, read by LoadSettings.
//
// The bytes are written to a file (the reader's entry takes a path) and loaded. What the reader
// makes of them must survive the round trip through SaveSettings, and the job record built from
// them must convert a small capture: the free-form values (folder, CSV delimiter) reach the
// delimiter transcoding and every converter that writes a delimiter.
#include <fstream>
#include <vector>

#include "fuzz_common.h"
#include "pipeline/conversion_job.h"
#include "pipeline/settings_file.h"

#ifndef DTCONV_FUZZ_CAPTURE
#error "DTCONV_FUZZ_CAPTURE names the capture converted with the loaded settings"
#endif

using namespace dtconv;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Harness harness(DTCONV_FUZZ_CAPTURE);
  std::filesystem::path file = harness.dir / "dtconv_exbca.ini", saved = harness.dir / "saved.ini";
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  CvtOptions options;
  std::vector<std::string> unrecognised;
  LoadSettings(file, options, &unrecognised);
  Check(options.csvDelimit.size() < kDelimiterUnits, "delimiter longer than its buffer");

  std::filesystem::remove(saved);
  Check(SaveSettings(saved, options) == 0, "the settings read cannot be saved");
  // The enumerated choices and flags: what SaveSettings writes, LoadSettings reads back.
  CvtOptions again;
  Check(LoadSettings(saved, again) == 0, "the settings saved cannot be read");
  again.folder = options.folder, again.csvDelimit = options.csvDelimit;
  Check(again == options, "a choice changed on its way through the settings file");

  // The job record from these choices, used on a small capture of every kind of record.
  CvtSettings settings = BuildCvtSettings(options);
  settings.outputPath = harness.dir / (std::string("out") + CvtTypeExtension(settings.type));
  Check(ConvertFile(harness.session, settings, DefaultConverterTable()) == 0,
        "the capture did not convert with these settings");
  return 0;
}
