#include "cli/info.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "analog/channel_scale.h"
#include "can/can_frame.h"
#include "cli/inputs.h"
#include "input/monitor_data.h"
#include "pipeline/conversion_job.h"
#include "report/cvt_base.h"
#include "report/time_columns.h"

namespace dtconv::cli {

namespace {

struct Counts {
  uint64_t classic[2] = {}, fd[2] = {}, remote[2] = {}, error[2] = {}, other[2] = {};
  uint64_t analog = 0, fixes[8] = {}, overrunCan = 0, overrunAnalog = 0, lostData = 0;
};

Counts Count(const MonitorData& d) {
  Counts c;
  for (uint32_t i = 0; i < d.recordCount; ++i) {
    const MonitorRecord& r = d.records[i];
    if (!r.IsHead()) continue;
    uint8_t t = r.Type();
    if (t < 0x20) {
      int line = t >> 4;
      switch (r.bytes[10]) {
        case 1:
        case 3:
          ++c.classic[line];
          break;
        case 2:
        case 4:
          ++c.remote[line];
          break;
        case 5:
        case 21:
        case 37:
          ++c.error[line];
          break;
        case 17:
        case 19:
        case 33:
        case 35:
          ++c.fd[line];
          break;
        default:
          ++c.other[line];
          break;
      }
    } else if (t < 0x30) {
      ++c.fixes[r.bytes[15] & 7];
    } else if (t <= 0x32) {
      ++c.analog;
    } else if (t == kRecordLostData) {
      ++c.lostData;
    } else if (t == kRecordCanOverrun) {
      ++c.overrunCan;
    } else if (t == kRecordAnalogOverrun) {
      ++c.overrunAnalog;
    }
  }
  return c;
}

std::string Json(const std::string& s) {
  std::string out = "\"";
  for (unsigned char ch : s) {
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += static_cast<char>(ch);
    } else if (ch < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", ch);
      out += buf;
    } else {
      out += static_cast<char>(ch);
    }
  }
  return out + "\"";
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The recorder's clock time as the capture stores it, in the summary's form or in ISO 8601
// without an offset (the capture does not say which zone the clock was set to).
std::string TimeText(const CaptureTime& t, bool iso) {
  char buf[64];
  std::snprintf(buf, sizeof buf,
                iso ? "%04d-%02d-%02dT%02d:%02d:%02d" : "%04d-%02d-%02d %02d:%02d:%02d", t.year,
                t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

// Division rounding down and its remainder (0 to b - 1), for b > 0, without overflow.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }
int64_t FloorMod(int64_t a, int64_t b) { return a % b < 0 ? a % b + b : a % b; }

// Seconds and nanoseconds since 1970-01-01 00:00:00 UTC in ISO 8601 UTC, with nine fraction
// digits. Any pair of 64-bit values converts: the nanoseconds carry into the seconds, and a year
// outside 0000-9999 is written with its sign.
std::string UtcText(int64_t seconds, int64_t nanoseconds) {
  constexpr int64_t kDay = 86400, kBillion = 1000000000;
  int64_t fraction = FloorMod(nanoseconds, kBillion);
  int64_t secondOfDay = FloorMod(seconds, kDay) + FloorDiv(nanoseconds, kBillion);
  int64_t days = FloorDiv(seconds, kDay) + FloorDiv(secondOfDay, kDay);
  secondOfDay = FloorMod(secondOfDay, kDay);
  // Days to the proleptic Gregorian calendar, in eras of 400 years from 0000-03-01.
  int64_t z = days + 719468;
  int64_t era = FloorDiv(z, 146097);
  int64_t dayOfEra = z - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char buf[96];
  std::snprintf(buf, sizeof buf,
                year >= 0 && year <= 9999 ? "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%09lldZ"
                                          : "%+05lld-%02lld-%02lldT%02lld:%02lld:%02lld.%09lldZ",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(secondOfDay / 3600),
                static_cast<long long>(secondOfDay / 60 % 60),
                static_cast<long long>(secondOfDay % 60), static_cast<long long>(fraction));
  return buf;
}

const char* PortName(int port) {
  switch (port) {
    case 1:
      return "on-board";
    case 2:
      return "XP-HV";
    case 3:
      return "XP-TC";
    default:
      return "none";
  }
}

// Key/value pairs printed either as aligned text or as one JSON object. Each value has both
// forms: the summary's text and its JSON value (a number, a boolean, or null where the text
// says the capture does not hold it).
class Report {
 public:
  void Add(const std::string& key, const std::string& value) { Put(key, Json(value), value); }
  void Num(const std::string& key, uint64_t v) { Put(key, std::to_string(v), std::to_string(v)); }
  void Bool(const std::string& key, bool v) { Put(key, v ? "true" : "false", v ? "yes" : "no"); }
  // A value the capture does not hold: null, and `text` in the summary.
  void Absent(const std::string& key, const std::string& text) { Put(key, "null", text); }
  void Put(const std::string& key, const std::string& json, const std::string& text) {
    items_.push_back({key, json, text});
  }
  void Print(bool json, const std::string& file) const {
    if (json) {
      std::string out = "{\"file\": " + Json(file);
      for (const auto& i : items_) out += ", " + Json(i.key) + ": " + i.json;
      std::printf("%s}\n", out.c_str());
    } else {
      std::printf("%s\n", file.c_str());
      for (const auto& i : items_)
        std::printf("  %-24s %s\n", (i.key + ":").c_str(), i.text.c_str());
    }
  }

 private:
  struct Item {
    std::string key, json, text;
  };
  std::vector<Item> items_;
};

constexpr const char* kUnrecorded = "Unrecorded";

// Every target and format with its output's extension: a table, or one JSON object.
void PrintFormats(bool json) {
  std::vector<ConversionFormat> formats = ConversionFormats();
  if (json) {
    std::string out = "{\"formats\": [";
    for (size_t i = 0; i < formats.size(); ++i) {
      const ConversionFormat& f = formats[i];
      out += (i == 0 ? "{" : ", {") + Json("target") + ": " + Json(f.target) + ", " +
             Json("format") + ": " + Json(f.format) + ", " + Json("extension") + ": " +
             Json(f.extension) + ", " + Json("description") + ": " + Json(f.description) + "}";
    }
    std::printf("%s]}\n", out.c_str());
    return;
  }
  std::printf("%-8s %-8s %-9s %s\n", "TARGET", "FORMAT", "EXTENSION", "OUTPUT");
  for (const ConversionFormat& f : formats) {
    std::printf("%-8s %-8s %-9s %s\n", f.target.c_str(), f.format.c_str(), f.extension.c_str(),
                f.description.c_str());
  }
}

// The recorder, its firmware and serial number, the capture's start, stop and time base.
void AddRecorder(Report& rep, const MonitorData& d) {
  const DataInfo& info = d.info;
  char text[64];
  if (info.ModelCode() == 0) {
    rep.Absent("model", kUnrecorded);
  } else {
    rep.Add("model", ModelName(info.ModelCode()));
  }
  FormatVersion(info.FirmwareVersion(), text);
  if (info.FirmwareVersion() == 0) {
    rep.Absent("firmware", text);
  } else {
    rep.Add("firmware", text);
  }
  const char* board = BoardName(info);
  rep.Add("board", board ? board : "Unknown");
  FormatSerial(info, text, sizeof text);
  if (info.Serial()[0] == 0) {
    rep.Absent("serial", text);
  } else {
    rep.Add("serial", text);
  }
  for (const auto& [key, time] :
       {std::pair{"start", info.StartTime()}, {"stop", info.StopTime()}}) {
    if (time.year == 0) {
      rep.Absent(key, kUnrecorded);
    } else {
      rep.Put(key, Json(TimeText(time, true)), TimeText(time, false));
    }
  }
  rep.Add("time_base", UtcText(info.TimeBaseSeconds(), info.TimeBaseNanoseconds()));
  rep.Num("recording_kind", static_cast<uint64_t>(d.recordingKind));
}

// The set-up of both CAN lines: bit rates in bit/s (the summary keeps the recorder's short form,
// "500k", "2M") and protocol.
void AddCanLines(Report& rep, const DataInfo& info) {
  for (int line = 1; line <= 2; ++line) {
    CanChannelSetup ch = info.CanChannel(line);
    std::string prefix = "ch" + std::to_string(line) + "_";
    const std::pair<const char*, uint32_t> rates[] = {{"bit_rate", ch.nominalBitRate},
                                                      {"data_bit_rate", ch.dataBitRate}};
    for (const auto& [name, rate] : rates) {
      char shortForm[32];
      FormatBitRate(static_cast<int32_t>(rate), shortForm);
      if (rate == 0) {
        rep.Absent(prefix + name, shortForm);
      } else {
        rep.Put(prefix + name, std::to_string(static_cast<int32_t>(rate)), shortForm);
      }
    }
    rep.Add(prefix + "protocol", ch.nonIso == 1 ? "CAN FD (non-ISO)" : "CAN FD (ISO)");
  }
}

// The analog front end, its sampling period and the range and unit of each channel.
void AddAnalog(Report& rep, const MonitorData& d) {
  rep.Add("analog_front_end", PortName(d.info.analogPort));
  AnalogState analog;
  SetupChannelScales(d, false, analog);
  rep.Num("analog_channels", static_cast<uint64_t>(analog.channelCount));
  for (const AnalogSetting& item : AnalogSettings(d, analog, true)) {
    if (item.unit != nullptr) {
      std::string key = "analog_" + Lower(item.name);
      rep.Add(key + "_range", item.value);
      if (*item.unit == '\0') {
        rep.Absent(key + "_unit", "--");  // a range the program does not know
      } else {
        rep.Add(key + "_unit", item.unit);
      }
    } else if (item.name == "SAMPL.PERIOD") {
      rep.Add("analog_sampling_period", item.value);
    } else if (item.name == "IMPEDANCE") {
      rep.Add("analog_impedance", item.value);
    } else if (item.name == "INPUT PORT") {
      rep.Add("analog_input", item.value);
    }
  }
}

// What the capture holds: frames of each kind per line, samples, fixes by quality, markers.
void AddCounts(Report& rep, const MonitorData& d) {
  Counts c = Count(d);
  for (int line = 0; line < 2; ++line) {
    std::string prefix = "ch" + std::to_string(line + 1) + "_";
    rep.Num(prefix + "classic_frames", c.classic[line]);
    rep.Num(prefix + "fd_frames", c.fd[line]);
    rep.Num(prefix + "remote_frames", c.remote[line]);
    rep.Num(prefix + "error_frames", c.error[line]);
    rep.Num(prefix + "other_frames", c.other[line]);
  }
  rep.Num("analog_samples", c.analog);
  rep.Num("gnss_fixes_time_only", c.fixes[1]);
  rep.Num("gnss_fixes_gnss", c.fixes[2]);
  rep.Num("gnss_fixes_dgnss", c.fixes[3]);
  rep.Num("gnss_fixes_invalid", c.fixes[0] + c.fixes[4] + c.fixes[5] + c.fixes[6] + c.fixes[7]);
  rep.Num("can_overruns", c.overrunCan);
  rep.Num("analog_overruns", c.overrunAnalog);
  rep.Num("lost_data_markers", c.lostData);
  rep.Num("wave_samples", d.wave.Present() ? d.sampleCount : 0);
}

// Per message of the databases of --dbc, how many data frames (classic or CAN FD) of its
// identifier and format the capture holds on the lines the database applies to.
void AddMessageCounts(Report& rep, const MonitorData& d, const signals::DatabaseSet& set) {
  std::unordered_map<const signals::Message*, uint64_t> frames;
  for (uint32_t i = 0; i < d.recordCount; ++i) {
    const MonitorRecord& r = d.records[i];
    if (!r.IsHead() || r.Type() >= 0x20) continue;
    FrameFormat format = DecodeFrameFormat(r.bytes[10]);
    if (format.frameClass != FrameClass::Data && format.frameClass != FrameClass::FdData) continue;
    bool extended = format.idBits == 29;
    uint32_t id = LoadU32(r.bytes + 16) & (extended ? kCanEffMask : kCanSffMask);
    const signals::Message* m = set.Find(1 + (r.Type() >> 4), extended, id);
    if (m != nullptr) ++frames[m];
  }
  std::string json = "[", text;
  size_t count = 0;
  for (size_t e = 0; e < set.size(); ++e) {
    const signals::DatabaseSet::Entry& entry = set.entry(e);
    for (const signals::Message& m : entry.db.messages) {
      char id[16];
      std::snprintf(id, sizeof id, m.extended ? "0x%08X" : "0x%03X", static_cast<unsigned>(m.id));
      uint64_t n = frames[&m];
      json += std::string(count++ == 0 ? "" : ", ") + "{\"database\": " + Json(entry.label) +
              ", \"message\": " + Json(m.name) + ", \"id\": " + std::to_string(m.id) +
              ", \"extended\": " + (m.extended ? "true" : "false") +
              ", \"frames\": " + std::to_string(n) + "}";
      text += "\n    " + entry.label + " " + m.name + " (" + id + "): " + std::to_string(n);
    }
  }
  rep.Put("dbc_messages", json + "]", std::to_string(count) + " messages, frames of each:" + text);
}

}  // namespace

int RunInfo(const CliRequest& req) {
  if (req.paths.empty()) {
    PrintFormats(req.json);
    return 0;
  }
  bool anyError = false;
  int status = 0;
  for (const std::filesystem::path& path : ExpandInputs(req.paths, &anyError)) {
    MonitorData d;
    Result r = LoadMonitorData(path, d);
    if (r.ok() && d.formatCode != static_cast<int32_t>(kFormatCode)) r = kResultInvalidData;
    Report rep;
    rep.Bool("valid", r.ok());
    if (r.failed()) {
      rep.Add("error", std::string(ResultMessage(r)) + " (" + ResultReason(r) + ")");
      status = 1;
    } else {
      AddRecorder(rep, d);
      AddCanLines(rep, d.info);
      AddAnalog(rep, d);
      AddCounts(rep, d);
      if (req.signals != nullptr) AddMessageCounts(rep, d, req.signals->databases);
    }
    rep.Print(req.json, Utf8(path));
  }
  return status != 0 || anyError ? 1 : 0;
}

}  // namespace dtconv::cli
