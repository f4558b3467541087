// Captures and job plumbing shared by the robustness tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <vector>

#include "capture_builder.h"
#include "pipeline/conversion_job.h"

namespace dtconv::test {

// A classic frame, a 64-byte CAN FD frame (a head and two continuation records), a 29-bit frame
// and an overrun marker, then a short analog waveform. Chunks: DINF, MDAC, AWDI, AWDT.
CaptureBuilder BaseCapture();

// A capture of `frames` classic frames on both lines, a millisecond apart, with an analog sample
// and a GNSS fix with every hundredth frame (the first included): its CAN text report takes about
// 70 bytes a frame.
CaptureBuilder BigCapture(int frames, uint8_t seed = 0);

// The job's inputs in a fixed order; `beforeEach` runs just before an input is handed out.
class ListSource : public InputSource {
 public:
  explicit ListSource(std::deque<std::filesystem::path> paths,
                      std::function<void(const std::filesystem::path&)> beforeEach = {})
      : paths_(std::move(paths)), beforeEach_(std::move(beforeEach)) {}
  bool Next(std::filesystem::path* p) override;

 private:
  std::deque<std::filesystem::path> paths_;
  std::function<void(const std::filesystem::path&)> beforeEach_;
};

// Everything the job reported.
struct JobRecord : JobObserver {
  std::vector<int> positions;
  std::vector<Result> fileResults;
  Result done{0xFFFFFFFF};
  void OnProgress(int p) override { positions.push_back(p); }
  void OnFileDone(const std::filesystem::path&, const std::filesystem::path&, Result r) override {
    fileResults.push_back(r);
  }
  void OnDone(Result r) override { done = r; }
};

// The job record the settings panes give a conversion type by default.
CvtSettings DefaultSettingsFor(int32_t type);

// Runs the conversion job over `inputs` with the product's converters and a fixed banner time.
Result RunJob(std::deque<std::filesystem::path> inputs, int32_t type, JobRecord& record,
              const JobOptions& options = {}, const ConverterTable& table = DefaultConverterTable(),
              std::function<void(const std::filesystem::path&)> beforeEach = {});

// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::filesystem::path& dir);

}  // namespace dtconv::test
