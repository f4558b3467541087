#include "reference_format.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analog/thermocouple.h"
#include "gnss/gnss_fix.h"
#include "report/time_columns.h"

namespace dtconv::ref {

namespace {

constexpr int64_t kMicro = 1000000;
constexpr int64_t kMaxDifference = 100000 * kMicro;

void Dashes(std::string& text) {
  for (char& c : text) {
    if (c >= '0' && c <= '9') c = '-';
  }
}

bool Difference(int64_t* previous, int64_t t, int64_t* d) {
  bool has = false;
  if (*previous != -1) {
    *d = t - *previous;
    has = *d >= 0 && *d < kMaxDifference;
  }
  *previous = t;
  return has;
}

// Lines as the writer builds them: cells, trailing blanks trimmed, the line end.
class Lines {
 public:
  Lines(std::string eol, std::string delimiter, bool csv)
      : eol_(std::move(eol)), delimiter_(std::move(delimiter)), csv_(csv) {}
  void Text(const std::string& text) { line_ += text; }
  void Cell(const std::string& text) {
    if (csv_) {
      if (field_) line_ += delimiter_;
    } else {
      line_ += ' ';
    }
    line_ += text;
    field_ = true;
  }
  void End() {
    while (!line_.empty() && line_.back() == ' ') line_.pop_back();
    out_ += line_;
    out_ += eol_;
    line_.clear();
    field_ = false;
  }
  bool field() const { return field_; }
  std::string& out() { return out_; }

 private:
  std::string eol_, delimiter_;
  bool csv_;
  bool field_ = false;
  std::string line_, out_;
};

// ---- CAN frames, decoded with a plain switch

enum class Class { Data, Remote, Error, FdData, Other };

struct Frame {
  Class cls = Class::Other;
  int idBits = 0;
  bool trigger = false;
  uint8_t status = 0, dlc = 0;
  uint32_t id = 0, fc = 0;
  bool brs = false, esi = false;
  int count = 0;
  uint8_t data[64] = {};
};

void Decode(uint8_t code, Class* c, int* bits) {
  switch (code) {
    case 1:
      *c = Class::Data, *bits = 11;
      break;
    case 2:
      *c = Class::Remote, *bits = 11;
      break;
    case 3:
      *c = Class::Data, *bits = 29;
      break;
    case 4:
      *c = Class::Remote, *bits = 29;
      break;
    case 5:
    case 21:
    case 37:
      *c = Class::Error, *bits = 0;
      break;
    case 17:
    case 33:
      *c = Class::FdData, *bits = 11;
      break;
    case 19:
    case 35:
      *c = Class::FdData, *bits = 29;
      break;
    default:
      *c = Class::Other, *bits = 0;
      break;
  }
}

int FdLength(uint8_t dlc) {
  static const int kLengths[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
  return kLengths[dlc > 15 ? 15 : dlc];
}

bool Assemble(const MonitorData& d, uint32_t i, Frame* f) {
  const uint8_t* b = d.records[i].bytes;
  Decode(b[10], &f->cls, &f->idBits);
  f->trigger = (b[11] & 0x80) != 0;
  f->count = b[12] > 64 ? 64 : b[12];
  f->status = b[13];
  f->dlc = b[15];
  f->id = LoadU32(b + 16);
  f->fc = LoadU32(b + 20);
  int shift = f->idBits == 29 ? 5 : 4;
  bool fd = f->cls == Class::FdData;
  f->brs = fd && ((b[14] >> shift) & 1) != 0;
  f->esi = fd && ((b[14] >> (shift + 1)) & 1) != 0;
  std::memcpy(f->data, b + 24, 8);
  RecordCursor c{i, d.recordCount, d.records};
  if (f->count > 8) {
    const MonitorRecord* first = ContinuationOf(c, 1);
    if (first == nullptr) return false;
    std::memcpy(f->data + 8, first->bytes + 4, 28);
  }
  if (f->count > 36) {
    const MonitorRecord* second = ContinuationOf(c, 2);
    if (d.records[i].Continuation() < 1 || second == nullptr) return false;
    std::memcpy(f->data + 36, second->bytes + 4, 28);
  }
  return true;
}

struct Fields {
  std::string id, type, dl, st;
};

Fields FieldsOf(const Frame& f) {
  Fields t;
  if (f.cls == Class::Other) return t;
  if (f.idBits == 11) t.id = Piece(16, "%03X", f.id);
  if (f.idBits == 29) t.id = Piece(16, "%08X", f.id);
  switch (f.cls) {
    case Class::Data:
      t.type = "DATA";
      break;
    case Class::Remote:
      t.type = "REMOTE";
      break;
    case Class::Error:
      t.type = "ERROR";
      break;
    default:
      t.type = Piece(16, "FDATA%s%s", f.brs ? "*" : "", f.esi ? "!" : "");
      break;
  }
  if (f.cls == Class::Data || f.cls == Class::Remote) t.dl = Piece(16, "%d", f.dlc > 8 ? 8 : f.dlc);
  if (f.cls == Class::FdData) t.dl = Piece(16, "%d", FdLength(f.dlc));
  static const char* kStatus[7] = {"G", "A", "F", "C", "F", "E", "F"};
  if (f.status <= 6) t.st = kStatus[f.status];
  return t;
}

bool HasData(const Frame& f) {
  return f.cls == Class::Data || f.cls == Class::Remote || f.cls == Class::FdData;
}

// ---- GNSS columns and analog cells

void GnssColumns(Lines& l, const MonitorRecord* fix) {
  if (fix == nullptr) {
    for (int i = 0; i < 8; ++i) l.Cell("");
    return;
  }
  int q = FixQuality(*fix);
  std::string date, time;
  FixDateTime(*fix, FixTimeValid(q), &date, &time);
  l.Cell(date);
  l.Cell(time);
  l.Cell(std::string(FixQualityText(q, true)));
  if (FixPositionValid(q)) {
    GnssTexts t = GnssFix(*fix, true, false);
    for (const std::string& s : {t.satellites, t.latitude, t.longitude, t.error, t.altitude}) {
      l.Cell(s);
    }
  } else {
    for (int i = 0; i < 5; ++i) l.Cell("");
  }
}

// The channel scaling with the latest sample.
struct RefAnalog : AnalogState {
  uint32_t raw[8] = {};
  int16_t referenceTemp = 0;
  bool valuesPresent = false;
};

void AnalogCell(Lines& l, const RefAnalog& a, int index, const uint32_t* raw, int16_t temp) {
  l.Cell(a.valuesPresent ? AnalogNumber(a, index, raw, temp) : std::string());
}

void TimeCellsOf(Lines& l, const MonitorRecord& r, const CvtSettings& s, int64_t bs, int64_t bn,
                 int64_t* previous, bool elapsed, bool diff) {
  TimeCells c = Cells(r, s.timeStampStyle, bs, bn, previous);
  if (elapsed) l.Cell(c.elapsed);
  l.Cell(c.date);
  l.Cell(c.time);
  if (s.timeStampStyle == 7 || s.timeStampStyle == 8) l.Cell(c.subSecond);
  if (diff) l.Cell(c.difference);
}

bool AnyReported(const MonitorData& d, const AcceptRule& rule) {
  for (uint32_t i = 0; i < d.recordCount; ++i) {
    if (ClassifyRecord(d.records[i], rule) != kKindEnd) return true;
  }
  return false;
}

constexpr int16_t kJunctionCorrection[8] = {35, 30, 25, 20, 15, 10, 5, 0};

}  // namespace

std::string Piece(size_t size, const char* format, ...) {
  std::vector<char> buffer(size);
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer.data(), size, format, args);
  va_end(args);
  return buffer.data();
}

std::string TimeColumn(const MonitorRecord& record, int32_t style, int64_t baseSeconds,
                       int64_t baseNanoseconds, int64_t* previous) {
  auto t = static_cast<int64_t>(record.Timestamp());
  switch (style) {
    case 0: {
      int64_t d = 0;
      if (Difference(previous, t, &d)) {
        return Piece(64, " %05d.%06d ", static_cast<int>(d / kMicro), static_cast<int>(d % kMicro));
      }
      return "   --------   ";
    }
    case 4:
      return Piece(64, " %05d.%06d ", static_cast<int>((t / kMicro) % 100000),
                   static_cast<int>(t % kMicro));
    case 6: {
      int64_t s = t / kMicro;
      return Piece(64, " %03d %02d:%02d:%02d ", static_cast<int>((s / 86400) % 1000),
                   static_cast<int>((s / 3600) % 24), static_cast<int>((s / 60) % 60),
                   static_cast<int>(s % 60));
    }
    case 1:
    case 2:
    case 3:
    case 10: {
      AbsoluteTime at = RecordTime(record.Timestamp(), baseSeconds, baseNanoseconds);
      platform::LocalTime lt{};
      bool ok = RecordLocalTime(at.seconds, &lt);
      int f = static_cast<int>(at.nanoseconds);
      std::string text;
      if (style == 1) {
        text = Piece(64, " %02d:%02d.%06d ", lt.minute, lt.second, f / 1000);
      } else if (style == 2) {
        text = Piece(64, " %02d:%02d:%02d.%03d ", lt.hour, lt.minute, lt.second, f / 1000000);
      } else if (style == 3) {
        text =
            Piece(64, "%02d/%02d %02d:%02d:%02d", lt.month, lt.day, lt.hour, lt.minute, lt.second);
      } else {
        text = Piece(64, "%04d/%02d/%02d %02d:%02d:%02d", lt.year, lt.month, lt.day, lt.hour,
                     lt.minute, lt.second);
      }
      if (!ok) Dashes(text);
      return text;
    }
    default:
      return Piece(64, " %08d.%03d ", static_cast<int>((t / kMicro) % 100000000),
                   static_cast<int>((t / 1000) % 1000));
  }
}

TimeCells Cells(const MonitorRecord& record, int32_t style, int64_t baseSeconds,
                int64_t baseNanoseconds, int64_t* previous) {
  TimeCells c;
  auto t = static_cast<int64_t>(record.Timestamp());
  AbsoluteTime at = RecordTime(record.Timestamp(), baseSeconds, baseNanoseconds);
  platform::LocalTime lt{};
  bool ok = RecordLocalTime(at.seconds, &lt);
  c.date = Piece(32, "%04d/%02d/%02d", lt.year, lt.month, lt.day);
  c.time = Piece(32, "%02d:%02d:%02d", lt.hour, lt.minute, lt.second);
  int f = static_cast<int>(at.nanoseconds);
  if (style == 7) c.subSecond = Piece(32, "%d", f / 1000);
  if (style == 8) c.subSecond = Piece(32, "%d", f / 1000000);
  if (!ok) {
    Dashes(c.date);
    Dashes(c.time);
    if (!c.subSecond.empty()) c.subSecond = "-";
  }
  int64_t d = 0;
  if (Difference(previous, t, &d)) {
    c.difference = Piece(32, "%d.%06d", static_cast<int>(d / kMicro), static_cast<int>(d % kMicro));
  } else {
    c.difference = "--------";
  }
  c.elapsed =
      Piece(32, " %d.%06d ", static_cast<int>((t / kMicro) % 100000), static_cast<int>(t % kMicro));
  return c;
}

void FixDateTime(const MonitorRecord& fix, bool valid, std::string* date, std::string* time) {
  if (!valid) {
    *date = *time = "--------";
    return;
  }
  const uint8_t* b = fix.bytes;
  *date = Piece(32, "%04d/%02d/%02d", b[14] + 1900, b[13], b[12]);
  *time = Piece(32, "%02d:%02d:%02d", b[11], b[10], b[9]);
}

GnssTexts GnssFix(const MonitorRecord& fix, bool csv, bool kml) {
  GnssTexts t;
  const uint8_t* b = fix.bytes;
  t.satellites = Piece(16, csv ? "%d" : "%2d", b[8]);
  int32_t lat = LoadI32(b + 16);
  int32_t lon = LoadI32(b + 20);
  auto minutes = [](int32_t value, char positive, char negative, const char* format) {
    int64_t magnitude = std::llabs(static_cast<int64_t>(value));
    return Piece(32, format, value >= 0 ? positive : negative,
                 static_cast<int>(magnitude / 10000000),
                 static_cast<double>(magnitude % 10000000) * 6e-6);
  };
  if (kml) {
    t.latitude = Piece(32, "%.7f", lat * 1e-7);
    t.longitude = Piece(32, "%.7f", lon * 1e-7);
  } else {
    t.latitude = minutes(lat, 'N', 'S', "%c%2d %08.5f");
    t.longitude = minutes(lon, 'E', 'W', "%c%3d %08.5f");
  }
  unsigned error = LoadU16(b + 28);
  if (error >= 50000) error = 99999;
  t.error = Piece(32, csv ? "%.2f" : "%6.2f", error * 0.01);
  int32_t alt =
      static_cast<int32_t>(static_cast<uint32_t>(b[24] | (b[25] << 8) | (b[26] << 16)) << 8) >> 8;
  t.altitude = Piece(32, (!csv && !kml) ? "%8.2f" : "%.2f", alt * 0.001);
  return t;
}

std::string AnalogNumber(const AnalogState& state, int index, const uint32_t* raw,
                         int16_t referenceTemp) {
  const ChannelScale& scale = state.scales[index];
  double v = ScaleSample(scale, raw[index < 8 ? index : index - 8]);
  if (scale.thermocouple && index < 8) {
    auto reference = static_cast<int16_t>(referenceTemp + kJunctionCorrection[index]);
    v = ThermocoupleToCelsius(v, scale.tcType, scale.burnoutDetect, scale.junctionCompensation,
                              reference);
    if (v > 9999) return "BURNOUT";
  }
  int d = scale.decimals;
  if (d >= -4 && d <= -1) return Piece(32, "%.*f", 1 - d, v);
  return Piece(32, "%+07.*f", d >= 1 && d <= 4 ? d : 1, v);
}

std::string CanRows(const MonitorData& data, const CvtSettings& s, bool utf8,
                    const std::string& eol, const std::string& delimiter) {
  bool csv = s.type == kCvtCanCsv;
  uint32_t options = csv ? s.optionBits : 0;
  bool rel = (options & kOptRelTimeStamp) != 0, diff = (options & kOptDiffTimeStamp) != 0;
  bool addAnalog = (options & kOptAddAnalog) != 0, addGnss = (options & kOptAddGnss) != 0;
  RefAnalog analog;
  SetupChannelScales(data, csv, analog);
  AcceptRule rule{
      .frames = true, .gnss = addGnss, .analog = addAnalog, .canOverrun = true, .lostData = true};
  if (data.recordCount == 0 || !AnyReported(data, rule)) return "";
  int64_t bs = data.info.TimeBaseSeconds(), bn = data.info.TimeBaseNanoseconds();
  int32_t style = s.timeStampStyle;
  Lines l(eol, delimiter, csv);
  if (csv) {
    if (rel) l.Cell("Elapsed(sec.)");
    l.Cell("Date(YYYY/MM/DD)");
    l.Cell("Time(HH:mm:ss)");
    if (style == 7) l.Cell(utf8 ? "Time(\xC2\xB5s)" : "Time(us)");
    if (style == 8) l.Cell("Time(ms)");
    if (diff) l.Cell("TimeDiff(sec.)");
    for (const char* t : {"Ch", "ID", "Type", "DL", "St", "Data", "FC", "Trig"}) l.Cell(t);
    if (addAnalog) {
      for (int i = 1; i <= analog.channelCount; ++i) l.Cell(Piece(16, "AI%d", i));
    }
    if (addGnss) {
      for (const char* t : {"UTC Date", "UTC Time", "Quality", "N", "Lattitude", "Longitude",
                            "Estimated Error[m]", "Altitude[m]"}) {
        l.Cell(t);
      }
    }
  } else {
    l.Text(Piece(128, "--%s-CH-----ID--TYPE----DL-ST-DATA---------------FC--",
                 TimeColumnTitle(static_cast<TimeStyle>(style))));
  }
  l.End();
  int64_t previous = -1;
  const MonitorRecord* lastGnss = nullptr;
  auto marker = [&](const char* text, const char* line) {
    if (!csv) {
      l.Text(line);
      l.End();
      return;
    }
    int cells = 2 + (rel ? 1 : 0) + (diff ? 1 : 0) + (style == 7 || style == 8 ? 1 : 0);
    for (int i = 0; i < cells; ++i) l.Cell("");
    l.Cell(text);
    for (int i = 0; i < 7; ++i) l.Cell("");
    if (addAnalog) {
      for (int i = 0; i < analog.channelCount; ++i) l.Cell("");
    }
    if (addGnss) GnssColumns(l, nullptr);
    l.End();
  };
  for (uint32_t i = 0; i < data.recordCount; ++i) {
    const MonitorRecord& r = data.records[i];
    RecordKind kind = ClassifyRecord(r, rule);
    if (kind == kKindCh1Frame || kind == kKindCh2Frame) {
      int channel = kind == kKindCh1Frame ? 1 : 2;
      if ((channel == 1 && s.signalLine == 2) || (channel == 2 && s.signalLine == 1)) continue;
      Frame f;
      if (!Assemble(data, i, &f)) continue;
      Fields t = FieldsOf(f);
      int shown = f.cls == Class::Remote ? 0 : f.count;
      if (!csv) {
        std::string time = TimeColumn(r, style, bs, bn, &previous);
        l.Text(Piece(160, "%c %s %d %8s %-7s %2s %-2s ", f.trigger ? 'T' : ' ', time.c_str(),
                     channel, t.id.c_str(), t.type.c_str(), t.dl.c_str(), t.st.c_str()));
        if (HasData(f)) {
          for (int k = 0; k < 8; ++k) l.Text(k < shown ? Piece(160, "%02X", f.data[k]) : "  ");
          l.Text(f.cls == Class::FdData ? Piece(160, " %06X", f.fc & 0xFFFFFF)
                                        : Piece(160, "   %04X", f.fc & 0xFFFF));
        }
        l.End();
        if (f.cls != Class::FdData) continue;
        for (int offset = 8; offset < f.count; offset += 16) {
          l.Text(Piece(160, "                    %+3d:", offset));
          for (int k = 0; k < 16 && offset + k < f.count; ++k) {
            l.Text(Piece(160, k % 8 == 0 ? " %02X" : "%02X", f.data[offset + k]));
          }
          l.End();
        }
        continue;
      }
      TimeCellsOf(l, r, s, bs, bn, &previous, rel, diff);
      l.Cell(channel == 1 ? "1" : "2");
      for (const std::string& x : {t.id, t.type, t.dl, t.st}) l.Cell(x);
      std::string bytes;
      for (int k = 0; k < (HasData(f) ? shown : 0); ++k) bytes += Piece(8, " %02X", f.data[k]);
      l.Cell(bytes);
      if (f.cls == Class::FdData) {
        l.Cell(Piece(16, " %02X %02X %02X", (f.fc >> 16) & 0xFF, (f.fc >> 8) & 0xFF, f.fc & 0xFF));
      } else if (HasData(f)) {
        l.Cell(Piece(16, " %02X %02X", (f.fc >> 8) & 0xFF, f.fc & 0xFF));
      } else {
        l.Cell("");
      }
      l.Cell(f.trigger ? "T" : "");
      if (addAnalog) {
        for (int k = 0; k < analog.channelCount; ++k) {
          AnalogCell(l, analog, k, analog.raw, analog.referenceTemp);
        }
      }
      if (addGnss) GnssColumns(l, lastGnss);
      l.End();
    } else if (kind == kKindOverrun) {
      marker("Overrun", "                         == Overrun ==");
    } else if (kind == kKindLostData) {
      marker("Lost data", "                         == Lost data ==");
    } else if (kind == kKindAnalog) {
      analog.referenceTemp = static_cast<int16_t>(LoadU16(r.bytes + 10));
      for (int k = 0; k < 4; ++k) analog.raw[k] = LoadU32(r.bytes + 16 + 4 * k);
      if (analog.channelCount > 4) {
        RecordCursor c{i, data.recordCount, data.records};
        const MonitorRecord* next = ContinuationOf(c, 1);
        if (r.Continuation() < 1 || next == nullptr) continue;
        for (int k = 0; k < 4; ++k) analog.raw[4 + k] = LoadU32(next->bytes + 4 + 4 * k);
      }
      analog.valuesPresent = true;
    } else if (kind == kKindGnss) {
      lastGnss = &r;
    }
  }
  return l.out();
}

std::string AnalogRows(const MonitorData& data, const CvtSettings& s, bool utf8,
                       const std::string& eol, const std::string& delimiter) {
  bool csv = s.type == kCvtAnalogCsv;
  bool elapsed = csv && (s.optionBits & kOptRelTimeStamp) != 0;
  bool addGnss = csv && (s.optionBits & kOptAddGnss) != 0;
  RefAnalog analog;
  SetupChannelScales(data, csv, analog);
  AcceptRule rule{.gnss = addGnss, .analog = true, .analogOverrun = true, .lostData = true};
  if (data.recordCount == 0 || !AnyReported(data, rule)) return "";
  int64_t bs = data.info.TimeBaseSeconds(), bn = data.info.TimeBaseNanoseconds();
  int32_t style = s.timeStampStyle;
  Lines l(eol, delimiter, csv);
  if (csv) {
    if (elapsed) l.Cell("Elapsed(sec.)");
    l.Cell("Date(YYYY/MM/DD)");
    l.Cell("Time(HH:mm:ss)");
    if (style == 7) l.Cell(utf8 ? "Time(\xC2\xB5s)" : "Time(us)");
    if (style == 8) l.Cell("Time(ms)");
    for (int ch = 0; ch < analog.channelCount; ++ch) l.Cell(Piece(32, "AI%d", ch + 1));
    if (addGnss) {
      for (const char* t : {"UTC Date", "UTC Time", "Quality", "N", "Lattitude", "Longitude",
                            "Estimated Error[m]", "Altitude[m]"}) {
        l.Cell(t);
      }
    }
  } else {
    l.Text("-");
    l.Text(TimeColumnTitle(static_cast<TimeStyle>(style)));
    for (int ch = 0; ch < analog.channelCount; ++ch) l.Text(Piece(32, "---AI%d--", ch + 1));
  }
  l.End();
  int64_t previous = -1;
  const MonitorRecord* lastGnss = nullptr;
  for (uint32_t i = 0; i < data.recordCount; ++i) {
    const MonitorRecord& r = data.records[i];
    RecordKind kind = ClassifyRecord(r, rule);
    if (kind == kKindOverrun && !csv) {
      l.Text("                         == Overrun ==");
      l.End();
    } else if (kind == kKindLostData && !csv) {
      l.Text("                         == Lost data ==");
      l.End();
    } else if (kind == kKindGnss) {
      lastGnss = &r;
    } else if (kind == kKindAnalog) {
      analog.referenceTemp = LoadI16(r.bytes + 10);
      for (int k = 0; k < 4; ++k) analog.raw[k] = LoadU32(r.bytes + 16 + 4 * k);
      if (analog.channelCount > 4) {
        RecordCursor c{i, data.recordCount, data.records};
        const MonitorRecord* next = r.Continuation() != 0 ? ContinuationOf(c, 1) : nullptr;
        if (next == nullptr) continue;
        for (int k = 0; k < 4; ++k) analog.raw[4 + k] = LoadU32(next->bytes + 4 + 4 * k);
      }
      if (csv) {
        TimeCellsOf(l, r, s, bs, bn, &previous, elapsed, false);
      } else {
        l.Cell(TimeColumn(r, style, bs, bn, &previous));
      }
      analog.valuesPresent = true;
      for (int ch = 0; ch < analog.channelCount; ++ch) {
        AnalogCell(l, analog, ch, analog.raw, analog.referenceTemp);
      }
      if (csv && addGnss) GnssColumns(l, lastGnss);
      l.End();
    }
  }
  return l.out();
}

std::string GnssRows(const MonitorData& data, const CvtSettings& s, const std::string& eol,
                     const std::string& delimiter) {
  bool csv = s.type == kCvtGnssCsv;
  int32_t style = csv ? 10 : 3;
  AcceptRule rule{.gnss = true, .lostData = true};
  if (data.recordCount == 0 || !AnyReported(data, rule)) return "";
  int64_t bs = data.info.TimeBaseSeconds(), bn = data.info.TimeBaseNanoseconds();
  Lines l(eol, delimiter, csv);
  if (csv) {
    for (const char* t : {"Timestamp", "UTC Date", "UTC Time", "Quality", "N", "Lattitude",
                          "Longitude", "Estimated Error[m]", "Altitude[m]"}) {
      l.Cell(t);
    }
  } else {
    l.Text(Piece(256, "-%s----UTC---Q--N---LATITUDE-----LONGITUDE---ERR[m]--ALT[m]-",
                 TimeColumnTitle(TimeStyle::kDateSeconds)));
  }
  l.End();
  int64_t previous = -1;
  for (uint32_t i = 0; i < data.recordCount; ++i) {
    const MonitorRecord& r = data.records[i];
    RecordKind kind = ClassifyRecord(r, rule);
    if (kind == kKindLostData && !csv) {
      l.Text("                         == Lost data ==");
      l.End();
    } else if (kind == kKindGnss) {
      std::string stamp = TimeColumn(r, style, bs, bn, &previous);
      int q = FixQuality(r);
      std::string date, time;
      FixDateTime(r, FixTimeValid(q), &date, &time);
      l.Cell(stamp);
      if (csv) l.Cell(date);
      l.Cell(time);
      l.Cell(std::string(FixQualityText(q, csv)));
      if (FixPositionValid(q)) {
        GnssTexts t = GnssFix(r, csv, false);
        for (const std::string& x : {t.satellites, t.latitude, t.longitude, t.error, t.altitude}) {
          l.Cell(x);
        }
      } else if (csv) {
        for (int k = 0; k < 5; ++k) l.Cell("");
      }
      l.End();
    }
  }
  return l.out();
}

std::string KmlDocument(const MonitorData& data, const std::string& eol) {
  AcceptRule rule{.gnss = true, .lostData = true};
  if (data.recordCount == 0 || !AnyReported(data, rule)) return "";
  Lines l(eol, ",", false);
  auto line = [&](const std::string& text) {
    l.Text(text);
    l.End();
  };
  for (const char* t : {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">", "<Document>",
                        "<name>EXB-CA position data</name>"}) {
    line(t);
  }
  for (const char* scale : {"1.3", "1.1"}) {
    line(Piece(64, "<Style id=\"%s\">", scale[2] == '3' ? "sh_ylw-pushpin" : "sn_ylw-pushpin"));
    line("\t<IconStyle>");
    line(Piece(64, "\t\t<scale>%s</scale>", scale));
    line(
        "\t\t<Icon><href>http://maps.google.com/mapfiles/kml/pushpin/ylw-pushpin.png</href>"
        "</Icon>");
    line("\t\t<hotSpot x=\"20\" y=\"2\" xunits=\"pixels\" yunits=\"pixels\"/>");
    line("\t</IconStyle>");
    line("\t<LineStyle>");
    line("\t\t<color>ff0000ff</color>");
    line("\t\t<width>2</width>");
    line("\t</LineStyle>");
    line("</Style>");
  }
  for (const char* t :
       {"<StyleMap id=\"msn_ylw-pushpin\">", "\t<Pair>", "\t\t<key>normal</key>",
        "\t\t<styleUrl>#sn_ylw-pushpin</styleUrl>", "\t</Pair>", "\t<Pair>",
        "\t\t<key>highlight</key>", "\t\t<styleUrl>#sh_ylw-pushpin</styleUrl>", "\t</Pair>",
        "</StyleMap>", "<Placemark>\n<name>Path</name>", "<styleUrl>#msn_ylw-pushpin</styleUrl>",
        "<LineString>", "\t<tessellate>1</tessellate>", "\t<altitudeMode>absolute</altitudeMode>",
        "\t<coordinates>"}) {
    line(t);
  }
  auto coordinates = [&](const MonitorRecord& fix) {
    GnssTexts t = GnssFix(fix, false, true);
    line(Piece(256, "\t\t%s,%s,%s", t.longitude.c_str(), t.latitude.c_str(), t.altitude.c_str()));
  };
  const MonitorRecord* first = nullptr;
  const MonitorRecord* last = nullptr;
  for (uint32_t i = 0; i < data.recordCount; ++i) {
    const MonitorRecord& r = data.records[i];
    if (ClassifyRecord(r, rule) == kKindGnss && FixPositionValid(FixQuality(r))) {
      coordinates(r);
      if (first == nullptr) first = &r;
      last = &r;
    }
  }
  for (const char* t : {"\t</coordinates>", "</LineString>", "</Placemark>"}) line(t);
  if (first != nullptr) {
    for (const auto& [name, fix] :
         {std::pair{"<name>First</name>", first}, std::pair{"<name>Last</name>", last}}) {
      line("<Placemark>");
      line(name);
      line("<styleUrl>#msn_ylw-pushpin</styleUrl>");
      line("<Point>");
      line("\t<altitudeMode>absolute</altitudeMode>");
      line("\t<coordinates>");
      coordinates(*fix);
      line("\t</coordinates>");
      line("</Point>");
      line("</Placemark>");
    }
  }
  line("</Document>");
  line("</kml>");
  return l.out();
}

std::string WaveRows(const MonitorData& data, const std::string& eol,
                     const std::string& delimiter) {
  RefAnalog analog;
  SetupChannelScales(data, true, analog);
  if (data.samples == nullptr || data.sampleCount == 0 || data.wave.Present() == 0) return "";
  uint32_t rows = std::min<uint32_t>(data.sampleCount, 32768);
  int64_t pre = data.wave.PreTriggerCount();
  if (pre < 0)
    pre = data.wave.PreTriggerMode() == 0 ? 31744 : data.wave.PreTriggerMode() == 2 ? 1024 : 16384;
  static const int64_t kIntervals[] = {50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000};
  unsigned code = data.wave.IntervalCode();
  int64_t interval = code < 10 ? kIntervals[code] : code == 15 ? 10 : code == 16 ? 20 : 1000;
  Lines l(eol, delimiter, true);
  l.Cell("Time[s]");
  l.Cell("AI1[V]");
  l.Cell("AI2[V]");
  l.End();
  analog.valuesPresent = true;
  for (uint32_t k = 0; k < rows; ++k) {
    l.Cell(Piece(64, "%.9f", static_cast<double>(k - pre) * 1e-9 * static_cast<double>(interval)));
    uint32_t sample = data.Sample(k);
    uint32_t raw[2] = {static_cast<uint32_t>(int32_t{static_cast<int16_t>(sample & 0xFFFF)}),
                       static_cast<uint32_t>(int32_t{static_cast<int16_t>(sample >> 16)})};
    AnalogCell(l, analog, 8, raw, 0);
    AnalogCell(l, analog, 9, raw, 0);
    l.End();
  }
  return l.out();
}

std::string PcapFile(const MonitorData& data, int32_t signalLine) {
  std::string out;
  auto le = [&](uint32_t v, int width) {
    for (int i = 0; i < width; ++i) out += static_cast<char>(v >> (8 * i));
  };
  auto be = [&](uint32_t v) {
    for (int i = 3; i >= 0; --i) out += static_cast<char>(v >> (8 * i));
  };
  le(0xA1B2C3D4, 4), le(2, 2), le(4, 2), le(0, 4), le(0, 4), le(65535, 4), le(227, 4);
  int64_t bs = data.info.TimeBaseSeconds(), bn = data.info.TimeBaseNanoseconds();
  auto packet = [&](uint64_t t, uint32_t id, uint8_t flags, uint8_t byte7, const uint8_t* bytes,
                    int n) {
    le(static_cast<uint32_t>(static_cast<int64_t>(t) / 1000000), 4);
    le(static_cast<uint32_t>(static_cast<int64_t>(t) % 1000000), 4);
    le(static_cast<uint32_t>(8 + n), 4);
    le(static_cast<uint32_t>(8 + n), 4);
    be(id);
    out += static_cast<char>(n);
    out += static_cast<char>(flags);
    out += '\0';
    out += static_cast<char>(byte7);
    out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n));
  };
  auto error = [&](uint64_t t, uint8_t status) {
    static const uint32_t kId[6] = {0x20000020, 0x20000008, 0x20000008,
                                    0x20000008, 0x20000008, 0x20000008};
    static const uint8_t kType[6] = {0, 0x02, 0, 0x04, 0x40, 0x02};
    static const uint8_t kWhere[6] = {0, 0x18, 0x08, 0, 0, 0x1B};
    if (status < 1 || status > 6) return;
    uint8_t bytes[8] = {0, 0, kType[status - 1], kWhere[status - 1], 0, 0, 0, 0};
    packet(t, kId[status - 1], 0, 0, bytes, 8);
  };
  AcceptRule rule{.frames = true};
  for (uint32_t i = 0; i < data.recordCount; ++i) {
    RecordKind kind = ClassifyRecord(data.records[i], rule);
    if (kind == kKindEnd || (kind == kKindCh1Frame && signalLine == 2) ||
        (kind == kKindCh2Frame && signalLine == 1)) {
      continue;
    }
    Frame f;
    if (!Assemble(data, i, &f)) continue;
    uint64_t t = static_cast<uint64_t>(bn / 1000) + static_cast<uint64_t>(bs) * 1000000u +
                 data.records[i].Timestamp();
    if (f.count == 0 && f.status != 0) {
      error(t, f.status);
      continue;
    }
    uint32_t id = f.idBits == 29 ? 0x80000000u | (f.id & 0x1FFFFFFF) : f.id & 0x7FF;
    uint8_t flags = 0;
    if (f.cls == Class::Remote) id |= 0x40000000;
    if (f.cls == Class::FdData) flags = static_cast<uint8_t>(4 | (f.brs ? 1 : 0) | (f.esi ? 2 : 0));
    if (f.cls != Class::Data && f.cls != Class::Remote && f.cls != Class::FdData) {
      error(t, f.status);
      continue;
    }
    packet(t, id, flags, flags == 0 ? f.dlc : 0, f.data, f.count);
    if (f.count > 0 && f.status != 0) error(t, f.status);
  }
  return out;
}

}  // namespace dtconv::ref
