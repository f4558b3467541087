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

const std::map<std::string, int32_t> kTargets = {
    {"can", kTargetCan}, {"analog", kTargetAnalog}, {"gnss", kTargetGnss}, {"wave", kTargetWave}};
const std::map<std::string, int32_t> kFormats = {{"text", kOutputText},      {"csv", kOutputCsv},
                                                 {"kml", kOutputKml},        {"pcap", kOutputPcap},
                                                 {"pcapng", kOutputPcapng},  {"asc", kOutputAsc},
                                                 {"candump", kOutputCandump}};
const std::map<std::string, std::string> kFormatDescriptions = {
    {"text", "text report"},
    {"csv", "CSV table"},
    {"kml", "KML track"},
    {"pcap", "PCAP, SocketCAN (Wireshark)"},
    {"pcapng", "pcapng, SocketCAN, one interface per CAN line (Wireshark)"},
    {"asc", "Vector ASC log, channel 1 and 2 for CH1 and CH2"},
    {"candump", "SocketCAN candump log (canplayer), one interface name per CAN line"}};
const std::vector<std::string> kTargetOrder = {"can", "analog", "gnss", "wave"};
const std::map<std::string, std::vector<std::string>> kFormatsByTarget = {
    {"can", {"text", "csv", "pcap", "pcapng", "asc", "candump"}},
    {"analog", {"text", "csv"}},
    {"gnss", {"text", "csv", "kml"}},
    {"wave", {"csv"}}};

const char* kDescription =
    "Converts capture files (*.DT) of the CAN/CAN FD analyzer with the EXB-CA board into text\n"
    "reports, CSV tables, PCAP and pcapng (Wireshark, SocketCAN), Vector ASC and candump logs,\n"
    "and KML tracks. Each input gives one output with the same base name and the extension of its\n"
    "format (.txt .csv .pcap .pcapng .asc .log .kml), beside the input or in --output-dir. A\n"
    "folder converts every *.DT file in it.\n"
    "  dtconv [convert] [OPTIONS] PATH...   convert (the default command)\n"
    "  dtconv info [--json] PATH...         summarise captures\n"
    "  dtconv info [--json]                 list every target and format\n";

const char* kFooter =
    "\nWhich options apply:\n"
    "  --line                        can (every format)\n"
    "  --timestamp us|ms|s           can text/csv, analog text/csv; delta: can text only\n"
    "  --elapsed                     can and analog: elapsed time (text), Elapsed column (csv)\n"
    "  --diff, --add-analog          can csv\n"
    "  --add-gnss                    can csv, analog csv\n"
    "  --encoding, --eol, --delimiter  every text and csv output (kml: encoding and eol;\n"
    "                                asc: eol only; pcap, pcapng, candump: none)\n"
    "  --iface-names                 can candump\n"
    "Options that a conversion does not use are accepted and have no effect.\n"
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
    "  dtconv -f csv --delimiter '\\t' capture.DT  tab-separated\n"
    "  dtconv --settings dtconv_exbca.ini logs/  the desktop program's last choices\n"
    "  dtconv --settings dtconv_exbca.ini -f csv logs/   the same, as CSV\n"
    "  dtconv info capture.DT                     what a capture holds (see dtconv info --help)\n"
    "  dtconv info --json capture.DT              the same for scripts\n"
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
      all.push_back({target, format, CvtTypeExtension(type), kFormatDescriptions.at(format)});
    }
  }
  return all;
}

std::string FormatsOf(const std::string& target) {
  std::string out;
  for (const auto& f : kFormatsByTarget.at(target)) out += (out.empty() ? "" : ", ") + f;
  return out;
}

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
  std::string target, format, line, timestamp, encoding, eol, delimiter, ifaceNames;
  bool elapsed = false, diff = false, addAnalog = false, addGnss = false;
  bool noElapsed = false, noDiff = false, noAnalog = false, noGnss = false;
  app.set_version_flag("--version", "dtconv " DTCONV_VERSION);
  CLI::Option* optTarget = nullptr;
  CLI::Option* optFormat = nullptr;
  CLI::Option* optLine = nullptr;
  CLI::Option* optStamp = nullptr;
  CLI::Option* optElapsed = nullptr;
  CLI::Option* optDiff = nullptr;
  CLI::Option* optAnalog = nullptr;
  CLI::Option* optGnss = nullptr;
  CLI::Option* optEncoding = nullptr;
  CLI::Option* optEol = nullptr;
  CLI::Option* optDelimiter = nullptr;
  if (info) {
    app.description(
        "Prints a summary of each capture: recorder, capture times, CAN line set-up,\n"
        "analog front end and what the capture holds.");
    app.add_flag("--json", req.json, "One JSON object per file, for scripts");
    app.footer("\nWithout PATH: every target and format with the extension of its output.");
  } else {
    app.footer(kFooter);
    app.add_option("--settings", req.settingsFile,
                   "Start from the choices the desktop program saved in this\n"
                   "settings file (dtconv_exbca.ini); options given here override them")
        ->option_text("FILE");
    optTarget = app.add_option("-t,--target", target,
                               "What to convert: can, analog, gnss, wave [default: can]")
                    ->check(CLI::IsMember({"can", "analog", "gnss", "wave"}))
                    ->option_text("TARGET");
    optFormat =
        app.add_option("-f,--format", format,
                       "Output format: text, csv, kml, pcap, pcapng, asc,\n"
                       "candump [default: text; wave: csv]")
            ->check(CLI::IsMember({"text", "csv", "kml", "pcap", "pcapng", "asc", "candump"}))
            ->option_text("FORMAT");
    optLine = app.add_option("--line", line, "CAN signal line: both, ch1, ch2 [default: both]")
                  ->check(CLI::IsMember({"both", "ch1", "ch2"}))
                  ->option_text("LINE");
    optStamp = app.add_option("--timestamp", timestamp,
                              "Time column: us, ms, s, or delta (the time since the\n"
                              "previous frame, CAN text only) [default: ms]")
                   ->check(CLI::IsMember({"us", "ms", "s", "delta"}))
                   ->option_text("UNIT");
    optElapsed = app.add_flag("--elapsed", elapsed,
                              "Elapsed time since the capture start instead of the time\n"
                              "of day (text), an Elapsed column (csv) [default: off]");
    optDiff = app.add_flag("--diff", diff,
                           "TimeDiff column: time since the previous frame (CAN csv)\n"
                           "[default: off]");
    optAnalog = app.add_flag("--add-analog", addAnalog,
                             "The latest analog sample on every frame row (CAN csv)\n"
                             "[default: off]");
    optGnss = app.add_flag("--add-gnss", addGnss,
                           "The latest GNSS fix on every row (CAN and analog csv)\n"
                           "[default: off]");
    optEncoding = app.add_option("--encoding", encoding,
                                 "Character code: ansi (the system's code page), utf8,\n"
                                 "utf8-bom [default: ansi]")
                      ->check(CLI::IsMember({"ansi", "utf8", "utf8-bom"}))
                      ->option_text("CODE");
    optEol = app.add_option("--eol", eol, "Line end: crlf, lf, cr [default: crlf]")
                 ->check(CLI::IsMember({"crlf", "lf", "cr"}))
                 ->option_text("EOL");
    optDelimiter = app.add_option("--delimiter", delimiter,
                                  "CSV delimiter, at most 15 characters; \\t is a tab,\n"
                                  "\\\\ a backslash; empty: none [default: ,]")
                       ->option_text("TEXT");
    app.add_option("--iface-names", ifaceNames,
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
    // Each switch can be turned off again, for a choice that --settings turned on.
    for (auto [on, off, name] : {std::tuple{optElapsed, &noElapsed, "--no-elapsed"},
                                 {optDiff, &noDiff, "--no-diff"},
                                 {optAnalog, &noAnalog, "--no-add-analog"},
                                 {optGnss, &noGnss, "--no-add-gnss"}}) {
      app.add_flag(name, *off, "Turns " + on->get_name() + " off (a choice of --settings)");
    }
  }
  CLI::Option* paths =
      app.add_option("PATH", req.paths, "Capture files (*.DT) or folders")->option_text("...");
  if (!info) paths->required();

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    req.command = Command::kExit;
    req.message = app.help();
    return req;
  } catch (const CLI::CallForVersion&) {
    req.command = Command::kExit;
    req.message = "dtconv " DTCONV_VERSION "\n";
    return req;
  } catch (const CLI::ParseError& e) {
    req.command = Command::kExit;
    req.exitCode = 2;
    req.message = std::string("dtconv: ") + e.what() + "\nRun 'dtconv --help' for the options.\n";
    return req;
  }
  if (info) return req;

  auto usage = [&](const std::string& text) {
    req.command = Command::kExit;
    req.exitCode = 2;
    req.message = "dtconv: " + text + "\n";
    return req;
  };
  CvtOptions& o = req.options;
  if (!req.settingsFile.empty()) {
    std::vector<std::string> unrecognised;
    Result result = LoadSettings(PathFromUtf8(req.settingsFile), o, &unrecognised);
    if (result.failed()) {
      return usage(req.settingsFile + ": cannot read the settings file: " + ResultReason(result));
    }
    for (const std::string& u : unrecognised) {
      req.warnings.push_back(req.settingsFile + ": " + u +
                             " is not a value the desktop program writes; the default applies");
    }
  }
  // The target and format: the ones given, else the stored ones; a stored format the new target
  // does not offer gives way to the target's first format.
  std::string storedTarget = TargetName(o.targetData);
  std::string storedFormat = FormatName(o.outputType);
  if (optTarget->count() == 0) target = storedTarget;
  if (optFormat->count() == 0) {
    const auto& offered = kFormatsByTarget.at(target);
    bool keep = std::find(offered.begin(), offered.end(), storedFormat) != offered.end();
    format = keep ? storedFormat : offered.front();
  }
  const auto& allowed = kFormatsByTarget.at(target);
  if (std::find(allowed.begin(), allowed.end(), format) == allowed.end()) {
    return usage("--target " + target + " has no format " + format + "; it has " +
                 FormatsOf(target));
  }
  if (optStamp->count() > 0 && timestamp == "delta" && !(target == "can" && format == "text")) {
    return usage("--timestamp delta is only for --target can --format text");
  }
  if (app.count("--iface-names") > 0) {
    size_t comma = ifaceNames.find(',');
    std::string first = ifaceNames.substr(0, comma);
    std::string second = comma == std::string::npos ? "" : ifaceNames.substr(comma + 1);
    if (!IsInterfaceName(first) || !IsInterfaceName(second)) {
      return usage(
          "--iface-names takes two interface names separated by a comma (CH1,CH2), "
          "each 1 to 15 characters without blanks, '/' or ':'");
    }
    req.interfaceNames = {first, second};
  }
  o.targetData = kTargets.at(target);
  o.outputType = kFormats.at(format);
  if (optLine->count() > 0) {
    o.canTxtSignalLine = o.canCsvSignalLine = line == "ch1" ? 1 : line == "ch2" ? 2 : 0;
  }
  if (optStamp->count() > 0) {
    int32_t stamp = timestamp == "us"   ? kStampMicro
                    : timestamp == "ms" ? kStampMilli
                    : timestamp == "s"  ? kStampSec
                                        : kStampDelta;
    o.canTxtTimeStamp = stamp;
    if (stamp != kStampDelta) o.canCsvTimeStamp = o.anaTxtTimeStamp = o.anaCsvTimeStamp = stamp;
  }
  for (auto [on, off, name] : {std::tuple{elapsed, noElapsed, "elapsed"},
                               {diff, noDiff, "diff"},
                               {addAnalog, noAnalog, "add-analog"},
                               {addGnss, noGnss, "add-gnss"}}) {
    if (on && off) return usage(std::string("--") + name + " and --no-" + name + " contradict");
  }
  if (elapsed || noElapsed) {
    o.canTxtRelTimeStamp = o.canCsvRelTimeStamp = o.anaTxtRelTimeStamp = o.anaCsvRelTimeStamp =
        elapsed;
  }
  if (diff || noDiff) o.canCsvDiffTimeStamp = diff;
  if (addAnalog || noAnalog) o.canCsvAddAnalog = addAnalog;
  if (addGnss || noGnss) o.canCsvAddGnss = o.anaCsvAddGnss = addGnss;
  bool encodingGiven = optEncoding->count() > 0;
  bool eolGiven = optEol->count() > 0;
  bool delimiterGiven = optDelimiter->count() > 0;
  if (encodingGiven || eolGiven || delimiterGiven) {
    // Any of the three switches the output parameters on; the others keep what the settings file
    // had when its parameters were on, and take the defaults otherwise.
    if (!o.additional) {
      o.outCode = 0;
      o.lineFeed = 0;
      o.csvDelimit = u",";
    }
    o.additional = true;
    if (encodingGiven) o.outCode = encoding == "utf8" ? 1 : encoding == "utf8-bom" ? 2 : 0;
    if (eolGiven) o.lineFeed = eol == "lf" ? 1 : eol == "cr" ? 2 : 0;
    if (delimiterGiven) {
      std::u16string typed = platform::Utf8ToUtf16(delimiter);
      if (typed.size() > kDelimiterUnits - 1) {
        return usage("--delimiter takes at most 15 characters");
      }
      o.csvDelimit = typed;
    }
  }
  return req;
}

}  // namespace dtconv::cli
