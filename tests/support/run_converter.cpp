#include "run_converter.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "output/text_output.h"
#include "pipeline/conversion_job.h"
#include "report/time_window.h"
#include "test_files.h"

namespace dtconv::test {

RunResult RunConverter(const Bytes& capture, const CvtSettings& settings,
                       const ConverterCall& call) {
  TempDir dir;
  WriteFile(dir / "in.DT", capture);
  MonitorData data;
  if (Result loaded = LoadMonitorData(dir / "in.DT", data); loaded.failed()) return {"", loaded};
  TextOutput out;
  out.SetupOutput(settings.outputBits, settings.delimiter);
  if (out.OpenOutput(dir / "out").failed()) return {"", out.result()};
  ConverterContext ctx;
  ctx.type = settings.type;
  ctx.signalLine = settings.signalLine;
  ctx.timeStampStyle = settings.timeStampStyle;
  ctx.optionBits = settings.optionBits;
  ctx.output = &out;
  ctx.filter = MakeRecordFilter(settings.selection, data.info.TimeBaseSeconds(),
                                data.info.TimeBaseNanoseconds());
  ctx.bannerTime = kBannerTime;
  call(data, ctx);
  out.CloseOutput();
  return {ReadFileBytes(dir / "out"), out.result()};
}

RunResult RunConversion(const Bytes& capture, CvtSettings settings) {
  TempDir dir;
  WriteFile(dir / "in.DT", capture);
  ConversionSession session;
  session.context.bannerTime = kBannerTime;
  RunResult r;
  r.result = LoadMonitorData(dir / "in.DT", session.data);
  if (r.result.failed()) return r;
  settings.outputPath = dir / "out";
  r.result = ConvertFile(session, settings, DefaultConverterTable());
  ReleaseMonitorData(session.data);
  if (std::filesystem::exists(dir / "out")) r.bytes = ReadFileBytes(dir / "out");
  return r;
}

CvtSettings SettingsFor(int32_t type, int32_t style, uint32_t optionBits, uint32_t outputBits,
                        std::u16string delimiter, int32_t signalLine) {
  CvtSettings s;
  s.type = type;
  s.timeStampStyle = style;
  s.optionBits = optionBits;
  s.outputBits = outputBits;
  s.delimiter = std::move(delimiter);
  s.signalLine = signalLine;
  return s;
}

MonitorData ParseCapture(const CaptureBuilder& b) {
  Bytes bytes = b.Build();
  auto image = std::make_unique<uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), image.get());
  MonitorData data;
  ParseMonitorData(std::move(image), bytes.size(), data);
  return data;
}

void SetTimeZone(const char* tz) {
#ifdef _WIN32
  std::string setting = std::string("TZ=") + tz;
  _putenv(setting.c_str());
  _tzset();
#else
  setenv("TZ", tz, 1);
  tzset();
#endif
}

}  // namespace dtconv::test
