#include "pipeline/cvt_settings.h"

namespace dtconv {

const char* CvtTypeExtension(int32_t type) {
  switch (type) {
    case kCvtCanCsv:
    case kCvtAnalogCsv:
    case kCvtGnssCsv:
    case kCvtAnalogWave:
      return ".csv";
    case kCvtGnssKml:
      return ".kml";
    case kCvtCanPcap:
      return ".pcap";
    case kCvtCanPcapng:
      return ".pcapng";
    case kCvtCanAsc:
      return ".asc";
    case kCvtCanCandump:
      return ".log";
    case kCvtSignalsCsv:
      return ".signals.csv";
    case kCvtSignalsLong:
      return ".signals-long.csv";
    default:
      return ".txt";
  }
}

int32_t CvtTypeFor(int32_t target, int32_t format) {
  switch (target) {
    case kTargetCan:
      switch (format) {
        case kOutputCsv:
          return kCvtCanCsv;
        case kOutputPcap:
          return kCvtCanPcap;
        case kOutputPcapng:
          return kCvtCanPcapng;
        case kOutputAsc:
          return kCvtCanAsc;
        case kOutputCandump:
          return kCvtCanCandump;
        default:
          return kCvtCanText;
      }
    case kTargetAnalog:
      return format == kOutputCsv ? kCvtAnalogCsv : kCvtAnalogText;
    case kTargetGnss:
      return format == kOutputCsv ? kCvtGnssCsv : format == kOutputKml ? kCvtGnssKml : kCvtGnssText;
    case kTargetWave:
      return kCvtAnalogWave;
    case kTargetSignals:
      return format == kOutputLong ? kCvtSignalsLong : kCvtSignalsCsv;
    default:
      return kCvtCanText;
  }
}

std::u16string DecodeDelimiter(std::u16string_view typed) {
  std::u16string out;
  for (size_t i = 0; i < typed.size(); ++i) {
    if (typed[i] != u'\\') {
      out.push_back(typed[i]);
    } else if (i + 1 < typed.size()) {
      ++i;
      if (typed[i] == u't') out.push_back(u'\t');
      if (typed[i] == u'\\') out.push_back(u'\\');
    }
  }
  if (out.size() >= kDelimiterUnits) out.resize(kDelimiterUnits - 1);
  return out;
}

namespace {
// Text styles: microseconds 1, milliseconds 2, seconds 3, each plus 3 for relative time.
int32_t TextStyle(int32_t choice, bool relative) {
  int32_t base = choice == kStampMicro ? 1 : choice == kStampMilli ? 2 : 3;
  return base + (relative ? 3 : 0);
}
int32_t CsvStyle(int32_t choice) {
  return choice == kStampMicro ? 7 : choice == kStampMilli ? 8 : 9;
}
}  // namespace

CvtSettings BuildCvtSettings(const CvtOptions& o) {
  CvtSettings s;
  s.type = CvtTypeFor(o.targetData, o.outputType);
  switch (s.type) {
    case kCvtCanText:
      s.signalLine = o.canTxtSignalLine;
      s.timeStampStyle =
          o.canTxtTimeStamp == kStampDelta ? 0 : TextStyle(o.canTxtTimeStamp, o.canTxtRelTimeStamp);
      break;
    case kCvtAnalogText:
      s.timeStampStyle = TextStyle(o.anaTxtTimeStamp, o.anaTxtRelTimeStamp);
      break;
    case kCvtGnssText:
      s.timeStampStyle = 3;
      break;
    case kCvtCanCsv:
    case kCvtSignalsCsv:
    case kCvtSignalsLong:
      s.signalLine = o.canCsvSignalLine;
      s.timeStampStyle = CsvStyle(o.canCsvTimeStamp);
      s.optionBits = (o.canCsvRelTimeStamp ? kOptRelTimeStamp : 0) |
                     (o.canCsvDiffTimeStamp ? kOptDiffTimeStamp : 0) |
                     (o.canCsvAddAnalog ? kOptAddAnalog : 0) | (o.canCsvAddGnss ? kOptAddGnss : 0);
      break;
    case kCvtAnalogCsv:
      s.timeStampStyle = CsvStyle(o.anaCsvTimeStamp);
      s.optionBits =
          (o.anaCsvRelTimeStamp ? kOptRelTimeStamp : 0) | (o.anaCsvAddGnss ? kOptAddGnss : 0);
      break;
    case kCvtGnssCsv:
      s.timeStampStyle = 10;
      break;
    case kCvtCanPcap:
    case kCvtCanPcapng:
    case kCvtCanAsc:
    case kCvtCanCandump:
      s.signalLine = o.canTxtSignalLine;
      break;
    default:
      break;  // wave and KML: style 0, no options
  }
  if (s.type == kCvtCanPcapng || s.type == kCvtCanAsc || s.type == kCvtCanCandump) {
    // Plain ASCII without a byte order mark or delimiter. Only ASC has a choice of line end (CR LF
    // unless chosen otherwise); candump logs always end their lines with LF.
    s.delimiter = u",";
    s.outputBits = kOutCrLf;
    if (s.type == kCvtCanAsc && o.additional) {
      s.outputBits = o.lineFeed == 1 ? kOutLf : o.lineFeed == 2 ? kOutCr : kOutCrLf;
    }
    if (s.type == kCvtCanCandump) s.outputBits = kOutLf;
    return s;
  }
  bool additional = o.additional && s.type != kCvtGnssKml && s.type != kCvtCanPcap;
  s.delimiter = additional ? DecodeDelimiter(o.csvDelimit) : u",";
  if (o.additional && s.type != kCvtCanPcap) {
    if (o.outCode == 1) s.outputBits |= kOutUtf8 | kOutReserved4 | kOutReserved6;
    if (o.outCode == 2) s.outputBits |= kOutUtf8 | kOutBom | kOutReserved4 | kOutReserved6;
    s.outputBits |= o.lineFeed == 1 ? kOutLf : o.lineFeed == 2 ? kOutCr : kOutCrLf;
  } else {
    s.outputBits = kOutCrLf;
  }
  return s;
}

}  // namespace dtconv
