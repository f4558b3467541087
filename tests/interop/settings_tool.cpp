// Writes a fixed set of unusual choices to a settings file, or checks that a settings file loads
// as those choices. Built natively and for Windows, so that a file written by one build can be
// read by the other (scripts/check-interop).
#include <cstdio>
#include <cstring>

#include "pipeline/settings_file.h"

namespace {

using namespace dtconv;

CvtOptions Unusual() {
  CvtOptions o;
  o.folder = u"C:\\\u8a08\u6e2c\\\u30c7\u30fc\u30bf \u00e9\u00df \u0416";
  o.fileFilter = 1, o.targetData = kTargetAnalog, o.outputType = kOutputCsv;
  o.canTxtSignalLine = 2, o.canCsvSignalLine = 1;
  o.canTxtTimeStamp = kStampDelta, o.canCsvTimeStamp = kStampSec;
  o.anaTxtTimeStamp = kStampMicro, o.anaCsvTimeStamp = kStampSec;
  o.canTxtRelTimeStamp = o.anaCsvRelTimeStamp = o.canCsvAddGnss = o.additional = true;
  o.outCode = 2, o.lineFeed = 1, o.csvDelimit = u";\\t";
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  bool write = argc == 3 && std::strcmp(argv[1], "write") == 0;
  if (argc != 3 || (!write && std::strcmp(argv[1], "check") != 0)) {
    std::fprintf(stderr, "usage: settings_tool write|check FILE\n");
    return 2;
  }
  CvtOptions loaded = Unusual();
  Result result = write ? SaveSettings(argv[2], loaded) : LoadSettings(argv[2], loaded = {});
  if (result != kResultOk) std::fprintf(stderr, "settings_tool: failed: 0x%08X\n", result.code());
  if (!(loaded == Unusual())) std::fprintf(stderr, "settings_tool: other choices loaded\n");
  return result == kResultOk && loaded == Unusual() ? 0 : 1;
}
