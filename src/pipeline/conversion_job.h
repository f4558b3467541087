// The conversion job: works through a list of captures one after another, converting each into
// one output file beside it (or in a chosen folder) with the extension of its conversion type.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "input/monitor_data.h"
#include "output/text_output.h"
#include "pipeline/conversion_session.h"
#include "pipeline/cvt_settings.h"

namespace dtconv {

// Where the job finds its inputs. Next returns false when none is left.
class InputSource {
 public:
  virtual ~InputSource() = default;
  virtual bool Next(std::filesystem::path* input) = 0;
};

// What the job reports. The desktop program posts window messages from here; the command-line
// tool prints.
class JobObserver {
 public:
  virtual ~JobObserver() = default;
  virtual void OnProgress(int /*position*/) {}
  virtual void OnFileStart(const std::filesystem::path& /*input*/,
                           const std::filesystem::path& /*output*/) {}
  virtual void OnFileDone(const std::filesystem::path& /*input*/,
                          const std::filesystem::path& /*output*/, Result /*result*/) {}
  virtual void OnDone(Result /*result*/) {}
};

// The output path for an input: the input's name with the part from its last period replaced by
// the extension of `type` (appended when the name has none), in `outputDir` when given, else
// beside the input. Fails with kResultPathTooLong when it would not fit the platform's path
// limit.
Result DeriveOutputPath(const std::filesystem::path& input, int32_t type,
                        const std::filesystem::path& outputDir, std::filesystem::path* output);

// Converts the capture loaded into the session to `settings.outputPath`. The output is written
// under a temporary name and moved into place at the end, so an older file of that name is only
// replaced by a complete one; a cancelled or failed write leaves no partial file. Returns the
// result code. A set `stopRequested` cancels the file as soon as it is open.
Result ConvertFile(ConversionSession& session, const CvtSettings& settings,
                   const ConverterTable& table, const std::atomic<bool>* stopRequested = nullptr);

struct JobOptions {
  std::filesystem::path outputDir;  // empty: beside each input
};

// Converts every input of `source` in turn. Progress positions 2k+1 announce file k; after the
// last file, position 2N follows when it succeeded. `stopRequested` is read after each file: a
// stop ends the job after the file in flight (use the session's TextOutput::RequestCancel to cut
// that file short as well). Returns the result of the last file processed, which OnDone also
// receives.
Result ConversionJob(ConversionSession& session, CvtSettings settings, InputSource& source,
                     JobObserver& observer, const std::atomic<bool>& stopRequested,
                     const ConverterTable& table, const JobOptions& options = {});

// The user's message for a result code: "" for success and cancellation, otherwise
// "Cannot convert." or "The specified data file is unsupported or corrupt.".
const char* ResultMessage(Result result);
// The Japanese form of the same messages (UTF-8).
const char* ResultMessageJapanese(Result result);
// A short reason for a failure, for the command line ("file not found", "disk full", ...).
std::string ResultReason(Result result);

}  // namespace dtconv
