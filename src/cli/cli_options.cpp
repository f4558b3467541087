#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <map>
#include <tuple>

#include "pipeline/conversion_job.h"
#include "pipeline/settings_file.h"
#include "platform/unicode.h"

namespace dtconv::cli {

namespace {

namespace fs = std::filesystem;

const std::map<std::string, int32_t> kTargets = {{"can", kTargetCan},
                                                 {"analog", kTargetAnalog},
                                                 {"gnss", kTargetGnss},
                                                 {"wave", kTargetWave},
                                                 {"signals", kTargetSignals}};
const std::map<std::string, int32_t> kFormats = {
    {"text", kOutputText},       {"csv", kOutputCsv},       {"kml", kOutputKml},
    {"pcap", kOutputPcap},       {"pcapng", kOutputPcapng}, {"asc", kOutputAsc},
    {"candump", kOutputCandump}, {"long", kOutputLong}};
const std::map<std::string, std::string> kFormatDescriptions = {
    {"text", "text report"},
    {"csv", "CSV table"},
    {"kml", "KML track"},
    {"pcap", "PCAP, SocketCAN (Wireshark)"},
    {"pcapng", "pcapng, SocketCAN, one interface per CAN line (Wireshark)"},
    {"asc", "Vector ASC log, channel 1 and 2 for CH1 and CH2"},
    {"candump", "SocketCAN candump log (canplayer), one interface name per CAN line"},
    {"long", "signal table, one row per decoded signal value (CSV)"}};
const std::vector<std::string> kTargetOrder = {"can", "analog", "gnss", "wave", "signals"};
const std::map<std::string, std::vector<std::string>> kFormatsByTarget = {
    {"can", {"text", "csv", "pcap", "pcapng", "asc", "candump"}},
    {"analog", {"text", "csv"}},
    {"gnss", {"text", "csv", "kml"}},
    {"wave", {"csv"}},
    {"signals", {"csv", "long"}}};

const char* kDescription =
    "Converts capture files (*.DT) of the CAN/CAN FD analyzer with the EXB-CA board into text\n"
    "reports, CSV tables, PCAP and pcapng (Wireshark, SocketCAN), Vector ASC and candump logs,\n"
    "KML tracks, and tables of physical signals decoded with DBC databases. Each input gives one\n"
    "output with the same base name and the extension of its format (.txt .csv .pcap .pcapng\n"
    ".asc .log .kml .signals.csv .signals-long.csv), beside the input or in --output-dir. A\n"
    "folder converts every *.DT file in it.\n"
    "  dtconv [convert] [OPTIONS] PATH...   convert (the default command)\n"
    "  dtconv info [--json] [--dbc FILE] PATH...  summarise captures\n"
    "  dtconv info [--json]                 list every target and format\n";

const char* kFooter =
    "\nWhich options apply:\n"
    "  --line                        can (every format), signals\n"
    "  --timestamp us|ms|s           can text/csv, analog text/csv, signals; delta: can text\n"
    "  --elapsed                     can, analog and signals: elapsed time (text), Elapsed\n"
    "                                column (csv)\n"
    "  --diff                        can csv, signals: TimeDiff since the previous row written\n"
    "  --add-analog                  can csv, signals csv\n"
    "  --add-gnss                    can csv, analog csv, signals csv\n"
    "  --encoding, --eol, --delimiter  every text and csv output (kml: encoding and eol;\n"
    "                                asc: eol only; pcap, pcapng, candump: none)\n"
    "  --iface-names                 can candump\n"
    "  --dbc, --signals              signals (--dbc also info)\n"
    "  --ids                         can (every format), signals; error frames and overrun and\n"
    "                                lost-data markers are always kept, frames of unknown format\n"
    "                                left out\n"
    "  --from, --to                  every target but wave: rows from --from up to (not\n"
    "                                including) --to; the latest analog sample and GNSS fix\n"
    "                                before the window still show on its first rows; --elapsed\n"
    "                                counts from the capture's start, --diff from the previous\n"
    "                                row written. A clock time earlier than the capture's start\n"
    "                                means the next day; one that summer time passes twice, its\n"
    "                                first occurrence\n"
    "Options that a conversion does not use are accepted and have no effect.\n"
    "\nSignal tables (-t signals): --dbc FILE for both lines, ch1=FILE or ch2=FILE for one. csv:\n"
    "a row per decoded frame, a column per signal (Message.Signal[unit]) with its latest value,\n"
    "CH1./CH2. columns for a message decoded on both lines; long: a row per value with Ch, ID,\n"
    "Message, Signal, Value, Unit and the value-table Text. Values: an exact integer where factor\n"
    "and offset are integers; otherwise exactly as many decimals as factor and offset are\n"
    "written with (0.1: one, 0.0625: four), computed exactly; IEEE float and double signals as\n"
    "the shortest text that reads back as the same value; nan, inf, -inf.\n"
    "\nExamples:\n"
    "  dtconv capture.DT                          CAN frames to capture.txt\n"
    "  dtconv -f csv --add-analog --add-gnss -o out/ logs/   every capture in logs/ to CSV\n"
    "  dtconv -f pcap --line ch1 capture.DT       CH1 frames for Wireshark\n"
    "  dtconv -f pcapng capture.DT                both lines for Wireshark, one interface each\n"
    "  dtconv -f asc capture.DT                   Vector ASC log, CH1 and CH2 as channels 1, 2\n"
    "  dtconv -f candump --iface-names vcan0,vcan1 capture.DT\n"
    "                                             candump log (capture.log) for canplayer\n"
    "  dtconv -t analog -f csv --encoding utf8-bom capture.DT\n"
    "  dtconv -t gnss -f kml drive.DT             the GNSS track for a map viewer\n"
    "  dtconv -t wave capture.DT                  the analog waveform as CSV\n"
    "  dtconv -t signals --dbc vehicle.dbc --signals 'Engine*,WheelSpeeds.*' capture.DT\n"
    "                                             signal table (capture.signals.csv)\n"
    "  dtconv -t signals -f long --dbc ch1=a.dbc --dbc ch2=b.dbc capture.DT\n"
    "                                             a row per value (capture.signals-long.csv)\n"
    "  dtconv -f csv --ids 0x100-0x1FF,x:0x18DAF110 --from 09:31 --to 09:32 capture.DT\n"
    "                                             one minute of some frames\n"
    "  dtconv -f csv --delimiter '\\t' capture.DT  tab-separated\n"
    "  dtconv --settings dtconv_exbca.ini logs/  the desktop program's last choices\n"
    "  dtconv --settings dtconv_exbca.ini -f csv logs/   the same, as CSV\n"
    "  dtconv info capture.DT                     what a capture holds (see dtconv info --help)\n"
    "  dtconv info --json capture.DT              the same for scripts\n"
    "  dtconv info --dbc vehicle.dbc capture.DT   frames of each message of the database\n"
    "  dtconv info                                every target and format\n"
    "\nExit status: 0 every file converted, 1 a file failed, 2 a usage error.";

std::string TargetName(int32_t code) {
  for (const auto& [name, c] : kTargets) {
    if (c == code) return name;
  }
  return "can";
}

std::string FormatName(int32_t code) {
  for (const auto& [name, c] : kFormats) {
    if (c == code) return name;
  }
  return "text";
}

fs::path PathFromUtf8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

// A Linux interface name, as candump logs carry it: 1 to 15 printable ASCII characters without
// blanks, "/" or ":" (nor the "," that separates the two), and not "." or "..".
bool IsInterfaceName(const std::string& name) {
  if (name.empty() || name.size() > 15 || name == "." || name == "..") return false;
  for (char c : name) {
    if (c <= ' ' || c > '~' || c == '/' || c == ':' || c == ',') return false;
  }
  return true;
}

}  // namespace

std::vector<ConversionFormat> ConversionFormats() {
  std::vector<ConversionFormat> all;
  for (const std::string& target : kTargetOrder) {
    for (const std::string& format : kFormatsByTarget.at(target)) {
      int32_t type = CvtTypeFor(kTargets.at(target), kFormats.at(format));
      std::string description = kFormatDescriptions.at(format);
      if (target == "signals" && format == "csv") {
        description = "signal table, one row per decoded frame, one column per signal (CSV)";
      }
      all.push_back({target, format, CvtTypeExtension(type), description});
    }
  }
  return all;
}

std::string FormatsOf(const std::string& target) {
  std::string out;
  for (const auto& f : kFormatsByTarget.at(target)) out += (out.empty() ? "" : ", ") + f;
  return out;
}

namespace {

// What the options of the convert command hold once parsed, before they are mapped onto the
// user's choices; a choice option counts only when it was given.
struct ConvertOptions {
  std::string target, format, line, timestamp, encoding, eol, delimiter, ifaceNames;
  std::string ids, from, to, signalList;
  std::vector<std::string> dbc;
  bool elapsed = false, diff = false, addAnalog = false, addGnss = false;
  bool noElapsed = false, noDiff = false, noAnalog = false, noGnss = false;
  CLI::Option* targetGiven = nullptr;
  CLI::Option* formatGiven = nullptr;
  CLI::Option* lineGiven = nullptr;
  CLI::Option* timestampGiven = nullptr;
  CLI::Option* encodingGiven = nullptr;
  CLI::Option* eolGiven = nullptr;
  CLI::Option* delimiterGiven = nullptr;
  CLI::Option* ifaceNamesGiven = nullptr;
  CLI::Option* idsGiven = nullptr;
  CLI::Option* fromGiven = nullptr;
  CLI::Option* toGiven = nullptr;
  CLI::Option* signalsGiven = nullptr;
};

// --dbc, repeatable: a database for both lines, or with "ch1=" or "ch2=" for one.
void AddDbcOption(CLI::App& app, std::vector<std::string>& dbc) {
  app.add_option("--dbc", dbc,
                 "DBC database for -t signals (and info), for both lines\n"
                 "or with ch1= or ch2= for one; repeatable")
      ->option_text("[ch1=|ch2=]FILE")
      ->allow_extra_args(false);
}

// Reads the databases of --dbc and selects the signals of --signals (every one for an empty
// list). False with the reader's or the selection's message.
bool LoadSignals(const std::vector<std::string>& dbc, const std::string& list,
                 std::shared_ptr<const signals::SignalSetup>* out, std::string* error) {
  auto setup = std::make_shared<signals::SignalSetup>();
  for (const std::string& arg : dbc) {
    uint8_t lines = signals::kBothLines;
    std::string file = arg;
    if (arg.rfind("ch1=", 0) == 0 || arg.rfind("ch2=", 0) == 0) {
      lines = arg[2] == '1' ? signals::kLine1 : signals::kLine2;
      file = arg.substr(4);
    }
    if (!setup->databases.Load(PathFromUtf8(file), lines, error)) return false;
  }
  if (!setup->selection.Select(setup->databases, list, error)) {
    *error = "--signals: " + *error;
    return false;
  }
  *out = std::move(setup);
  return true;
}

// The options that choose what to convert and how its rows look.
void AddConversionOptions(CLI::App& app, ConvertOptions& o) {
  o.targetGiven =
      app.add_option("-t,--target", o.target,
                     "What to convert: can, analog, gnss, wave, signals\n[default: can]")
          ->check(CLI::IsMember({"can", "analog", "gnss", "wave", "signals"}))
          ->option_text("TARGET");
  o.formatGiven =
      app.add_option("-f,--format", o.format,
                     "Output format: text, csv, kml, pcap, pcapng, asc,\n"
                     "candump, long [default: text; wave, signals: csv]")
          ->check(CLI::IsMember({"text", "csv", "kml", "pcap", "pcapng", "asc", "candump", "long"}))
          ->option_text("FORMAT");
  AddDbcOption(app, o.dbc);
  o.signalsGiven = app.add_option("--signals", o.signalList,
                                  "Signals of -t signals: names with * wildcards, or\n"
                                  "Message.Signal, separated by commas [default: all]")
                       ->option_text("LIST");
  o.lineGiven = app.add_option("--line", o.line, "CAN signal line: both, ch1, ch2 [default: both]")
                    ->check(CLI::IsMember({"both", "ch1", "ch2"}))
                    ->option_text("LINE");
  o.timestampGiven = app.add_option("--timestamp", o.timestamp,
                                    "Time column: us, ms, s, or delta (the time since the\n"
                                    "previous frame, CAN text only) [default: ms]")
                         ->check(CLI::IsMember({"us", "ms", "s", "delta"}))
                         ->option_text("UNIT");
  CLI::Option* elapsed = app.add_flag("--elapsed", o.elapsed,
                                      "Elapsed time since the capture start instead of the time\n"
                                      "of day (text), an Elapsed column (csv) [default: off]");
  CLI::Option* diff = app.add_flag("--diff", o.diff,
                                   "TimeDiff column: time since the previous row (CAN csv,\n"
                                   "signals) [default: off]");
  CLI::Option* analog = app.add_flag("--add-analog", o.addAnalog,
                                     "The latest analog sample on every frame row (CAN csv,\n"
                                     "signals csv) [default: off]");
  CLI::Option* gnss = app.add_flag("--add-gnss", o.addGnss,
                                   "The latest GNSS fix on every row (CAN, analog and\n"
                                   "signals csv) [default: off]");
  o.idsGiven = app.add_option("--ids", o.ids,
                              "CAN identifiers to keep, hexadecimal, 0x optional:\n"
                              "0x100-0x1FF,0x7E8; s: or x: before an entry limits it to\n"
                              "11- or 29-bit frames (every CAN format and signals)")
                   ->option_text("LIST");
  o.fromGiven = app.add_option("--from", o.from,
                               "Keep records from this time: seconds from the capture's\n"
                               "start (12.5) or a clock time (09:31:00) in the zone of\n"
                               "the time columns (every target but wave)")
                    ->option_text("TIME");
  o.toGiven = app.add_option("--to", o.to, "Keep records before this time, given as for --from")
                  ->option_text("TIME");
  // Each switch can be turned off again, for a choice that --settings turned on.
  for (auto [on, off, name] : {std::tuple{elapsed, &o.noElapsed, "--no-elapsed"},
                               {diff, &o.noDiff, "--no-diff"},
                               {analog, &o.noAnalog, "--no-add-analog"},
                               {gnss, &o.noGnss, "--no-add-gnss"}}) {
    app.add_flag(name, *off, "Turns " + on->get_name() + " off (a choice of --settings)");
  }
}

// The options of the output files and of the run.
void AddOutputOptions(CLI::App& app, CliRequest& req, ConvertOptions& o) {
  o.encodingGiven = app.add_option("--encoding", o.encoding,
                                   "Character code: ansi (the system's code page), utf8,\n"
                                   "utf8-bom [default: ansi]")
                        ->check(CLI::IsMember({"ansi", "utf8", "utf8-bom"}))
                        ->option_text("CODE");
  o.eolGiven = app.add_option("--eol", o.eol, "Line end: crlf, lf, cr [default: crlf]")
                   ->check(CLI::IsMember({"crlf", "lf", "cr"}))
                   ->option_text("EOL");
  o.delimiterGiven = app.add_option("--delimiter", o.delimiter,
                                    "CSV delimiter, at most 15 characters; \\t is a tab,\n"
                                    "\\\\ a backslash; empty: none [default: ,]")
                         ->option_text("TEXT");
  o.ifaceNamesGiven =
      app.add_option("--iface-names", o.ifaceNames,
                     "Interface names of CH1 and CH2 in candump logs\n[default: can0,can1]")
          ->option_text("CH1,CH2");
  app.add_option("-o,--output-dir", req.outputDir,
                 "Write the outputs here (created if missing)\n"
                 "[default: beside each input]")
      ->option_text("DIR");
  app.add_option("-j,--jobs", req.jobs, "Files converted in parallel [default: one per core]")
      ->check(CLI::Range(1, 256))
      ->option_text("N");
  app.add_flag("-q,--quiet", req.quiet, "No progress and no per-file lines");
}

// Starts from the choices of the settings file, when one is given; a value the desktop program
// does not write becomes a warning. False with a message when the file cannot be read.
bool ApplySettingsFile(CliRequest& req, std::string* error) {
  if (req.settingsFile.empty()) return true;
  std::vector<std::string> unrecognised;
  Result result = LoadSettings(PathFromUtf8(req.settingsFile), req.options, &unrecognised);
  if (result.failed()) {
    *error = req.settingsFile + ": cannot read the settings file: " + ResultReason(result);
    return false;
  }
  for (const std::string& u : unrecognised) {
    req.warnings.push_back(req.settingsFile + ": " + u +
                           " is not a value the desktop program writes; the default applies");
  }
  return true;
}

// The target and format: the ones given, else the stored ones; a stored format the new target
// does not offer gives way to the target's first format.
bool MapTargetAndFormat(ConvertOptions& o, CvtOptions& options, std::string* error) {
  std::string storedFormat = FormatName(options.outputType);
  if (o.targetGiven->count() == 0) o.target = TargetName(options.targetData);
  const auto& offered = kFormatsByTarget.at(o.target);
  if (o.formatGiven->count() == 0) {
    bool keep = std::find(offered.begin(), offered.end(), storedFormat) != offered.end();
    o.format = keep ? storedFormat : offered.front();
  }
  if (std::find(offered.begin(), offered.end(), o.format) == offered.end()) {
    *error =
        "--target " + o.target + " has no format " + o.format + "; it has " + FormatsOf(o.target);
    return false;
  }
  if (o.timestampGiven->count() > 0 && o.timestamp == "delta" &&
      !(o.target == "can" && o.format == "text")) {
    *error = "--timestamp delta is only for --target can --format text";
    return false;
  }
  options.targetData = kTargets.at(o.target);
  options.outputType = kFormats.at(o.format);
  return true;
}

// The line, the time column and the switches given, over the stored choices.
bool MapRowOptions(const ConvertOptions& o, CvtOptions& options, std::string* error) {
  if (o.lineGiven->count() > 0) {
    options.canTxtSignalLine = options.canCsvSignalLine = o.line == "ch1"   ? 1
                                                          : o.line == "ch2" ? 2
                                                                            : 0;
  }
  if (o.timestampGiven->count() > 0) {
    int32_t stamp = o.timestamp == "us"   ? kStampMicro
                    : o.timestamp == "ms" ? kStampMilli
                    : o.timestamp == "s"  ? kStampSec
                                          : kStampDelta;
    options.canTxtTimeStamp = stamp;
    if (stamp != kStampDelta) {
      options.canCsvTimeStamp = options.anaTxtTimeStamp = options.anaCsvTimeStamp = stamp;
    }
  }
  for (auto [on, off, name] : {std::tuple{o.elapsed, o.noElapsed, "elapsed"},
                               {o.diff, o.noDiff, "diff"},
                               {o.addAnalog, o.noAnalog, "add-analog"},
                               {o.addGnss, o.noGnss, "add-gnss"}}) {
    if (on && off) {
      *error = std::string("--") + name + " and --no-" + name + " contradict";
      return false;
    }
  }
  if (o.elapsed || o.noElapsed) {
    options.canTxtRelTimeStamp = options.canCsvRelTimeStamp = options.anaTxtRelTimeStamp =
        options.anaCsvRelTimeStamp = o.elapsed;
  }
  if (o.diff || o.noDiff) options.canCsvDiffTimeStamp = o.diff;
  if (o.addAnalog || o.noAnalog) options.canCsvAddAnalog = o.addAnalog;
  if (o.addGnss || o.noGnss) options.canCsvAddGnss = options.anaCsvAddGnss = o.addGnss;
  return true;
}

// The character code, line end and delimiter given: any of them switches the additional output
// parameters on; the others keep what the settings file had when its parameters were on, and
// take the defaults otherwise.
bool MapOutputOptions(const ConvertOptions& o, CvtOptions& options, std::string* error) {
  bool encoding = o.encodingGiven->count() > 0, eol = o.eolGiven->count() > 0;
  bool delimiter = o.delimiterGiven->count() > 0;
  if (!encoding && !eol && !delimiter) return true;
  if (!options.additional) {
    options.outCode = 0;
    options.lineFeed = 0;
    options.csvDelimit = u",";
  }
  options.additional = true;
  if (encoding) options.outCode = o.encoding == "utf8" ? 1 : o.encoding == "utf8-bom" ? 2 : 0;
  if (eol) options.lineFeed = o.eol == "lf" ? 1 : o.eol == "cr" ? 2 : 0;
  if (delimiter) {
    std::u16string typed = platform::Utf8ToUtf16(o.delimiter);
    if (typed.size() > kDelimiterUnits - 1) {
      *error = "--delimiter takes at most 15 characters";
      return false;
    }
    options.csvDelimit = typed;
  }
  return true;
}

// The interface names of candump logs, when given.
bool MapInterfaceNames(const ConvertOptions& o, CliRequest& req, std::string* error) {
  if (o.ifaceNamesGiven->count() == 0) return true;
  size_t comma = o.ifaceNames.find(',');
  std::string first = o.ifaceNames.substr(0, comma);
  std::string second = comma == std::string::npos ? "" : o.ifaceNames.substr(comma + 1);
  if (!IsInterfaceName(first) || !IsInterfaceName(second)) {
    *error =
        "--iface-names takes two interface names separated by a comma (CH1,CH2), "
        "each 1 to 15 characters without blanks, '/' or ':'";
    return false;
  }
  req.interfaceNames = {first, second};
  return true;
}

// The databases and signals of the signal tables, read before anything is converted so that a
// database that cannot be read is a usage error that leaves no output.
bool MapSignals(const ConvertOptions& o, CliRequest& req, std::string* error) {
  if (req.options.targetData != kTargetSignals) return true;
  if (o.dbc.empty()) {
    *error = "--target signals needs a database: --dbc FILE";
    return false;
  }
  return LoadSignals(o.dbc, o.signalList, &req.signals, error);
}

// The identifiers and the time window: parsed here, so that a mistake is a usage error before
// anything is converted. The waveform has no clock: a window there is a mistake too.
bool MapSelection(const ConvertOptions& o, CliRequest& req, std::string* error) {
  RecordSelection& sel = req.selection;
  if (o.idsGiven->count() > 0 && !ParseIdList(o.ids, &sel.ids, error)) {
    *error = "--ids: " + *error;
    return false;
  }
  for (auto [given, text, bound, name] : {std::tuple{o.fromGiven, &o.from, &sel.from, "--from"},
                                          {o.toGiven, &o.to, &sel.to, "--to"}}) {
    if (given->count() > 0 && !ParseTimeBound(*text, bound, error)) {
      *error = std::string(name) + ": " + *error;
      return false;
    }
  }
  if ((sel.from.given() || sel.to.given()) && req.options.targetData == kTargetWave) {
    *error = "--from and --to do not apply to --target wave: the waveform has no clock";
    return false;
  }
  if (sel.from.kind == sel.to.kind && sel.from.given() && sel.to.micros <= sel.from.micros &&
      sel.from.kind == TimeBound::Kind::kElapsed) {
    *error = "--to must come after --from";
    return false;
  }
  return true;
}

CliRequest Exit(CliRequest req, int exitCode, std::string message) {
  req.command = Command::kExit;
  req.exitCode = exitCode;
  req.message = std::move(message);
  return req;
}

}  // namespace

CliRequest ParseCommandLine(const std::vector<std::string>& argsIn) {
  CliRequest req;
  std::vector<std::string> args = argsIn;
  if (!args.empty() && (args[0] == "info" || args[0] == "convert")) {
    if (args[0] == "info") req.command = Command::kInfo;
    args.erase(args.begin());
  }
  bool info = req.command == Command::kInfo;
  CLI::App app(kDescription, info ? "dtconv info" : "dtconv");
  app.get_formatter()->column_width(34);
  app.set_version_flag("--version", "dtconv " DTCONV_VERSION);
  ConvertOptions o;
  if (info) {
    app.description(
        "Prints a summary of each capture: recorder, capture times, CAN line set-up,\n"
        "analog front end and what the capture holds.");
    app.add_flag("--json", req.json, "One JSON object per file, for scripts");
    AddDbcOption(app, o.dbc);
    app.footer("\nWithout PATH: every target and format with the extension of its output.");
  } else {
    app.footer(kFooter);
    app.add_option("--settings", req.settingsFile,
                   "Start from the choices the desktop program saved in this\n"
                   "settings file (dtconv_exbca.ini); options given here override them")
        ->option_text("FILE");
    AddConversionOptions(app, o);
    AddOutputOptions(app, req, o);
  }
  CLI::Option* paths =
      app.add_option("PATH", req.paths, "Capture files (*.DT) or folders")->option_text("...");
  if (!info) paths->required();

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return Exit(req, 0, app.help());
  } catch (const CLI::CallForVersion&) {
    return Exit(req, 0, "dtconv " DTCONV_VERSION "\n");
  } catch (const CLI::ParseError& e) {
    return Exit(req, 2,
                std::string("dtconv: ") + e.what() + "\nRun 'dtconv --help' for the options.\n");
  }
  std::string error;
  if (info) {
    if (!o.dbc.empty() && !LoadSignals(o.dbc, "", &req.signals, &error)) {
      return Exit(req, 2, "dtconv: " + error + "\n");
    }
    return req;
  }
  if (!ApplySettingsFile(req, &error) || !MapTargetAndFormat(o, req.options, &error) ||
      !MapInterfaceNames(o, req, &error) || !MapRowOptions(o, req.options, &error) ||
      !MapOutputOptions(o, req.options, &error) || !MapSelection(o, req, &error) ||
      !MapSignals(o, req, &error)) {
    return Exit(req, 2, "dtconv: " + error + "\n");
  }
  return req;
}

}  // namespace dtconv::cli
