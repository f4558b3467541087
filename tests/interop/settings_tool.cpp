// Writes a fixed set of unusual choices to a settings file, or prints the choices a settings
// file loads as. Built natively and for Windows, so that a file written by one build can be
// read by the other (scripts/check-interop).
#include <cstdio>
#include <cstring>
#include <string>

#include "pipeline/settings_file.h"
#include "platform/unicode.h"

namespace {

using namespace dtconv;

CvtOptions Unusual() {
  CvtOptions o;
  o.folder = u"C:\\\u8a08\u6e2c\\\u30c7\u30fc\u30bf \u00e9\u00df \u0416";
  o.fileFilter = 1;
  o.targetData = kTargetAnalog;
  o.outputType = kOutputCsv;
  o.canTxtSignalLine = 2;
  o.canCsvSignalLine = 1;
  o.canTxtTimeStamp = kStampDelta;
  o.canCsvTimeStamp = kStampSec;
  o.anaTxtTimeStamp = kStampMicro;
  o.anaCsvTimeStamp = kStampSec;
  o.canTxtRelTimeStamp = o.anaCsvRelTimeStamp = o.canCsvAddGnss = o.additional = true;
  o.outCode = 2;
  o.lineFeed = 1;
  o.csvDelimit = u";\\t";
  return o;
}

void Dump(const CvtOptions& o) {
  std::printf("folder=%s\n", platform::Utf16ToUtf8(o.folder).c_str());
  std::printf("csvDelimit=%s\n", platform::Utf16ToUtf8(o.csvDelimit).c_str());
  const int values[] = {o.fileFilter,
                        o.targetData,
                        o.outputType,
                        o.canTxtSignalLine,
                        o.canCsvSignalLine,
                        o.canTxtTimeStamp,
                        o.canCsvTimeStamp,
                        o.anaTxtTimeStamp,
                        o.anaCsvTimeStamp,
                        o.canTxtRelTimeStamp,
                        o.canCsvRelTimeStamp,
                        o.anaTxtRelTimeStamp,
                        o.anaCsvRelTimeStamp,
                        o.canCsvDiffTimeStamp,
                        o.canCsvAddAnalog,
                        o.canCsvAddGnss,
                        o.anaCsvAddGnss,
                        o.additional,
                        o.outCode,
                        o.lineFeed};
  std::printf("codes=");
  for (int v : values) std::printf("%d ", v);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "expected") == 0) {
    Dump(Unusual());
    return 0;
  }
  if (argc != 3 || (std::strcmp(argv[1], "write") != 0 && std::strcmp(argv[1], "dump") != 0)) {
    std::fprintf(stderr, "usage: settings_tool write|dump FILE, or settings_tool expected\n");
    return 2;
  }
  std::filesystem::path file = argv[2];
  if (std::strcmp(argv[1], "write") == 0) {
    uint32_t result = SaveSettings(file, Unusual()).code();
    if (result != 0) std::fprintf(stderr, "settings_tool: save failed: 0x%08X\n", result);
    return result == 0 ? 0 : 1;
  }
  CvtOptions loaded;
  uint32_t result = LoadSettings(file, loaded).code();
  if (result != 0) {
    std::fprintf(stderr, "settings_tool: load failed: 0x%08X\n", result);
    return 1;
  }
  Dump(loaded);
  return 0;
}
