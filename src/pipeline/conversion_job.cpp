#include "pipeline/conversion_job.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/unicode.h"
#include "report/time_window.h"

namespace dtconv {

namespace {

size_t PathUnits(const std::filesystem::path& p) {
#ifdef _WIN32
  return p.native().size();
#else
  return platform::Utf8ToUtf16(p.native()).size();
#endif
}

// The temporary names an output may be written under before it is moved into place:
// "<output>.dtconv-part", then "<output>.<n>.dtconv-part" for n = 1 to kTemporaryNames - 1.
constexpr int kTemporaryNames = 100;

std::filesystem::path TemporaryPath(const std::filesystem::path& output, int n) {
  std::filesystem::path tmp = output;
  if (n > 0) tmp += "." + std::to_string(n);
  tmp += ".dtconv-part";
  return tmp;
}

// Creates the temporary file of an output under the first free name. A name already taken is
// never opened: it may be the file of another program converting to the same output right now,
// what an interrupted run left behind, or a link that would lead the write into another file.
Result CreateTemporary(TextOutput& out, const std::filesystem::path& output,
                       std::filesystem::path* tmp) {
  Result r = Result::Output(EEXIST);
  for (int n = 0; n < kTemporaryNames && r == Result::Output(EEXIST); ++n) {
    *tmp = TemporaryPath(output, n);
    r = out.CreateOutput(*tmp);
  }
  return r;
}

// Results whose output is incomplete: it is removed, and an older output stays.
bool IsWriteFailure(Result result) {
  return result == kResultCancelled || result == kResultInputCut || result.IsOutputError();
}

}  // namespace

Result DeriveOutputPath(const std::filesystem::path& input, int32_t type,
                        const std::filesystem::path& outputDir, std::filesystem::path* output) {
  std::filesystem::path name = input.filename();
  auto native = name.native();
  auto dot = native.rfind(static_cast<std::filesystem::path::value_type>('.'));
  if (dot != decltype(native)::npos) native.resize(dot);
  std::filesystem::path renamed(native);
  renamed += CvtTypeExtension(type);
  *output = outputDir.empty() ? input.parent_path() / renamed : outputDir / renamed;
  // The longest temporary name is the longest path the job writes.
  if (PathUnits(TemporaryPath(*output, kTemporaryNames - 1)) > platform::kMaxPathUnits) {
    return kResultPathTooLong;
  }
  return kResultOk;
}

Result ConvertFile(ConversionSession& session, const CvtSettings& settings,
                   const ConverterTable& table, const std::atomic<bool>* stopRequested) {
  TextOutput& out = session.output;
  out.SetupOutput(settings.outputBits, settings.delimiter);
  session.context.type = settings.type;
  session.context.signalLine = settings.signalLine;
  session.context.timeStampStyle = settings.timeStampStyle;
  session.context.optionBits = settings.optionBits;
  session.context.interfaceNames = settings.interfaceNames;
  session.context.output = &out;
  session.signals = settings.signals.get();
  session.context.filter = MakeRecordFilter(settings.selection, session.data.info.TimeBaseSeconds(),
                                            session.data.info.TimeBaseNanoseconds());
  std::filesystem::path tmp;
  if (CreateTemporary(out, settings.outputPath, &tmp).failed()) return out.result();
  // Opening clears the cancel flag; a stop requested before that must still cut this file short.
  if (stopRequested != nullptr && stopRequested->load()) out.RequestCancel();
  if (session.data.formatCode != static_cast<int32_t>(kFormatCode)) {
    out.Fail(kResultInvalidData);
  } else {
    int32_t type = settings.type >= 0 && settings.type < kCvtTypeCount ? settings.type : 0;
    ConverterEntry entry = table.entries[static_cast<size_t>(type)];
    if (entry == nullptr) {
      out.Fail(kResultNotSupported);
    } else {
      entry(session);
    }
  }
  // The input was cut short by another program while it was converted: the rest read as zeros.
  if (session.data.image.cut()) out.Fail(kResultInputCut);
  out.CloseOutput();
  Result result = out.result();
  if (IsWriteFailure(result)) {
    platform::RemoveFile(tmp);
    return result;
  }
  // A capture rejected for its contents still leaves its (empty) output, as the job always has;
  // only a complete write replaces an older file.
  if (int err = platform::MoveIntoPlace(tmp, settings.outputPath); err != 0) {
    platform::RemoveFile(tmp);
    return result.failed() ? result : Result::Output(err);
  }
  return result;
}

Result ConversionJob(ConversionSession& session, CvtSettings settings, InputSource& source,
                     JobObserver& observer, const std::atomic<bool>& stopRequested,
                     const ConverterTable& table, const JobOptions& options) {
  if (stopRequested.load()) {
    observer.OnProgress(0);
    observer.OnDone(kResultOk);
    return kResultOk;
  }
  int files = 0;
  int position = 1;
  Result result;
  std::filesystem::path input;
  while (source.Next(&input)) {
    observer.OnProgress(position);
    ++files;
    position += 2;
    std::filesystem::path output;
    result = DeriveOutputPath(input, settings.type, options.outputDir, &output);
    if (result.ok() && (output == input || platform::SameFile(output, input))) {
      // Never write over the capture being read.
      result = kResultOutputIsInput;
    }
    observer.OnFileStart(input, output);
    if (result.ok()) {
      settings.outputPath = output;
      result = LoadMonitorData(input, session.data);
      if (result.ok()) {
        result = ConvertFile(session, settings, table, &stopRequested);
        ReleaseMonitorData(session.data);
      }
    }
    observer.OnFileDone(input, output, result);
    if (stopRequested.load()) break;
  }
  if (result.ok()) observer.OnProgress(2 * files);
  observer.OnDone(result);
  return result;
}

const char* ResultMessage(Result result) {
  if (result.ok() || result == kResultCancelled) return "";
  if (result == kResultInvalidData || result == kResultNotSupported) {
    return "The specified data file is unsupported or corrupt.";
  }
  return "Cannot convert.";
}

const char* ResultMessageJapanese(Result result) {
  if (result.ok() || result == kResultCancelled) return "";
  if (result == kResultInvalidData || result == kResultNotSupported) {
    return "指定されたデータファイルはサポートされていないか破損しています。";
  }
  return "変換できませんでした。";
}

std::string ResultReason(Result result) {
  static constexpr struct {
    Result result;
    const char* reason;
  } kReasons[] = {
      {kResultOk, "converted"},
      {kResultInvalidData, "not a valid capture file"},
      {kResultNotSupported, "not supported"},
      {kResultOutOfMemory, "not enough memory for the file image"},
      {kResultCancelled, "cancelled"},
      {kResultWorkerFailed, "the conversion could not be started"},
      {kResultPathTooLong, "the output path is too long"},
      {kResultOutputIsInput, "the output would overwrite the input"},
  };
  for (const auto& r : kReasons) {
    if (r.result == result) return r.reason;
  }
  if (result.IsOutputError()) {
    return std::string("cannot write the output: ") +
           std::strerror(static_cast<int>(result.detail()));
  }
  if (result.IsSystemError()) {
    switch (result.detail()) {
      case 2:
        return "file not found";
      case 3:
        return "folder not found";
      case 5:
        return "access denied";
      case 8:
        return "not enough memory";
      case 32:
        return "the file is in use";
      case 38:
        return "the file ended early while it was read";
      case 112:
        return "disk full";
      case 206:
        return "the file name is too long";
      default:
        break;
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "cannot read the input (system error %u)", result.detail());
    return buf;
  }
  char buf[48];
  std::snprintf(buf, sizeof buf, "error 0x%08X", result.code());
  return buf;
}

}  // namespace dtconv
