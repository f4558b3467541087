// The dtconv command line: parsing into the user's choices, the same CvtOptions the desktop
// program stores, so both faces build the same job record and write the same bytes.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "input/record_filter.h"
#include "pipeline/cvt_settings.h"
#include "signals/cvt_signals.h"

namespace dtconv::cli {

enum class Command { kConvert, kInfo, kExit };

struct CliRequest {
  Command command = Command::kConvert;
  int exitCode = 0;     // for kExit: 0 after --help/--version, 2 for a usage error
  std::string message;  // for kExit: what to print (help text or the error)
  CvtOptions options;
  std::vector<std::string> paths;     // UTF-8
  std::string outputDir;              // UTF-8, empty: beside each input
  std::string settingsFile;           // UTF-8, empty: the defaults
  std::vector<std::string> warnings;  // printed before converting (values a settings file had)
  int jobs = 0;                       // 0: one per core
  bool quiet = false;
  bool json = false;
  std::array<std::string, 2> interfaceNames{"can0", "can1"};  // candump logs: CH1, CH2
  RecordSelection selection;                                  // --ids, --from, --to
  // The databases and signals read for --target signals (or for info --dbc), once per run.
  std::shared_ptr<const signals::SignalSetup> signals;
};

// Parses the arguments after the program name (UTF-8).
CliRequest ParseCommandLine(const std::vector<std::string>& args);

// Formats a target has, e.g. "text, csv, pcap" for "can".
std::string FormatsOf(const std::string& target);

// One output of the command line: target and format names, the output's extension and what it is.
struct ConversionFormat {
  std::string target;
  std::string format;
  std::string extension;
  std::string description;
};
// Every target and format, in the order of the help text.
std::vector<ConversionFormat> ConversionFormats();

}  // namespace dtconv::cli
