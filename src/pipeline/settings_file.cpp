#include "pipeline/settings_file.h"

#include <array>
#include <optional>
#include <string_view>

#include "platform/profile.h"
#include "platform/unicode.h"

namespace dtconv {

namespace {

constexpr size_t kValueUnits = 256;

// One choice stored as text: the written spellings, in code order.
struct Choice {
  const char16_t* section;
  const char16_t* key;
  std::array<const char16_t*, 4> spellings;  // null after the last
  int32_t fallback;
  int32_t CvtOptions::*field;
};

const Choice kChoices[] = {
    {u"cvtSettings", u"fileFilter", {u"*.DT", u"#*.DT"}, 0, &CvtOptions::fileFilter},
    {u"cvtParams", u"targetData", {u"Can", u"Analog", u"GPS", u"Wave"}, 0, &CvtOptions::targetData},
    {u"cvtParams", u"outputType", {u"Text", u"Csv", u"Kml", u"Pcap"}, 0, &CvtOptions::outputType},
    {u"canTxtCvtParams",
     u"signalLine",
     {u"All", u"CH1 only", u"CH2 only"},
     0,
     &CvtOptions::canTxtSignalLine},
    {u"canCsvCvtParams",
     u"signalLine",
     {u"All", u"CH1 only", u"CH2 only"},
     0,
     &CvtOptions::canCsvSignalLine},
    {u"canTxtCvtParams",
     u"timeStamp",
     {u"uSec", u"mSec", u"Sec", u"Delta"},
     1,
     &CvtOptions::canTxtTimeStamp},
    {u"canCsvCvtParams", u"timeStamp", {u"uSec", u"mSec", u"Sec"}, 1, &CvtOptions::canCsvTimeStamp},
    {u"anaTxtCvtParams", u"timeStamp", {u"uSec", u"mSec", u"Sec"}, 1, &CvtOptions::anaTxtTimeStamp},
    {u"anaCsvCvtParams", u"timeStamp", {u"uSec", u"mSec", u"Sec"}, 1, &CvtOptions::anaCsvTimeStamp},
    {u"outputParams", u"outCode", {u"JIS", u"UTF-8", u"UTF-8 BOM"}, 0, &CvtOptions::outCode},
    {u"outputParams", u"lineFeed", {u"CRLF", u"LF", u"CR"}, 0, &CvtOptions::lineFeed},
};

struct Flag {
  const char16_t* section;
  const char16_t* key;
  bool CvtOptions::*field;
};

const Flag kFlags[] = {
    {u"canTxtCvtParams", u"relTimeStamp", &CvtOptions::canTxtRelTimeStamp},
    {u"canCsvCvtParams", u"relTimeStamp", &CvtOptions::canCsvRelTimeStamp},
    {u"anaTxtCvtParams", u"relTimeStamp", &CvtOptions::anaTxtRelTimeStamp},
    {u"anaCsvCvtParams", u"relTimeStamp", &CvtOptions::anaCsvRelTimeStamp},
    {u"canCsvCvtParams", u"diffTimeStamp", &CvtOptions::canCsvDiffTimeStamp},
    {u"canCsvCvtParams", u"addAnalog", &CvtOptions::canCsvAddAnalog},
    {u"canCsvCvtParams", u"addGNSS", &CvtOptions::canCsvAddGnss},
    {u"anaCsvCvtParams", u"addGNSS", &CvtOptions::anaCsvAddGnss},
    {u"outputParams", u"additional", &CvtOptions::additional},
};

constexpr const char16_t* kFolderSection = u"cvtSettings";
constexpr const char16_t* kFolderKey = u"folder";
constexpr const char16_t* kDelimitSection = u"outputParams";
constexpr const char16_t* kDelimitKey = u"csvDelimit";

// A missing key reads as this text, which no spelling equals, so it takes the default silently.
constexpr std::u16string_view kMissing = u"\x1F";

void Note(std::vector<std::string>* notes, const char16_t* section, const char16_t* key,
          const std::u16string& value) {
  if (notes == nullptr || value == kMissing) return;
  notes->push_back(platform::Utf16ToUtf8(section) + "/" + platform::Utf16ToUtf8(key) + "=" +
                   platform::Utf16ToUtf8(value));
}

// The format each target offers: CAN has no KML, analog neither KML nor PCAP, GNSS no PCAP and
// the analog wave only CSV.
int32_t LegalFormat(int32_t target, int32_t format) {
  switch (target) {
    case kTargetCan:
      return format == kOutputKml ? kOutputText : format;
    case kTargetAnalog:
      return format == kOutputKml || format == kOutputPcap ? kOutputText : format;
    case kTargetGnss:
      return format == kOutputPcap ? kOutputText : format;
    default:
      return kOutputCsv;
  }
}

}  // namespace

std::filesystem::path DefaultSettingsPath(const std::filesystem::path& programFile) {
  std::filesystem::path p = programFile;
  p.replace_extension(".ini");
  return p;
}

Result LoadSettings(const std::filesystem::path& file, CvtOptions& options,
                    std::vector<std::string>* unrecognised) {
  platform::ProfileFile profile(file);
  options = CvtOptions{};
  options.folder = profile.Read(kFolderSection, kFolderKey, u"", kFolderUnits);
  if (options.folder.empty()) options.folder = platform::CurrentDirectory();
  for (const Choice& c : kChoices) {
    std::u16string value = profile.Read(c.section, c.key, kMissing, kValueUnits);
    options.*c.field = c.fallback;
    int32_t code = 0;
    bool known = false;
    for (const char16_t* spelling : c.spellings) {
      if (spelling == nullptr) break;
      if (value == spelling) {
        options.*c.field = code;
        known = true;
        break;
      }
      ++code;
    }
    if (!known) Note(unrecognised, c.section, c.key, value);
  }
  for (const Flag& f : kFlags) {
    std::u16string value = profile.Read(f.section, f.key, kMissing, kValueUnits);
    options.*f.field = value == u"True";
    if (value != u"True" && value != u"False") Note(unrecognised, f.section, f.key, value);
  }
  options.outputType = LegalFormat(options.targetData, options.outputType);
  options.csvDelimit = profile.Read(kDelimitSection, kDelimitKey, u",", kDelimiterUnits);
  return profile.ReadStatus();
}

Result SaveSettings(const std::filesystem::path& file, const CvtOptions& options) {
  platform::ProfileFile profile(file);
  profile.Write(kFolderSection, kFolderKey, options.folder);
  for (const Choice& c : kChoices) {
    int32_t code = options.*c.field;
    if (code < 0 || code >= static_cast<int32_t>(c.spellings.size()) || !c.spellings[code]) {
      code = c.fallback;
    }
    profile.Write(c.section, c.key, c.spellings[code]);
  }
  for (const Flag& f : kFlags) {
    profile.Write(f.section, f.key, options.*f.field ? u"True" : u"False");
  }
  profile.Write(kDelimitSection, kDelimitKey, options.csvDelimit);
  return profile.Commit();
}

}  // namespace dtconv
