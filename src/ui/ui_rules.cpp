#include "ui/ui_rules.h"

#include "input/monitor_data.h"

namespace dtconv::ui {

std::vector<int32_t> FormatEntries(int32_t targetData) {
  switch (targetData) {
    case kTargetCan:
      return {kOutputText, kOutputCsv, kOutputPcap};
    case kTargetAnalog:
      return {kOutputText, kOutputCsv};
    case kTargetGnss:
      return {kOutputText, kOutputCsv, kOutputKml};
    case kTargetWave:
      return {kOutputCsv};
    default:
      return {kOutputText};
  }
}

int FormatEntryFor(int32_t targetData, int32_t outputType) {
  std::vector<int32_t> entries = FormatEntries(targetData);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] == outputType) return static_cast<int>(i);
  }
  return 0;
}

int32_t FormatOfEntry(int32_t targetData, int entry) {
  std::vector<int32_t> entries = FormatEntries(targetData);
  if (entry < 0 || static_cast<size_t>(entry) >= entries.size()) return kOutputText;
  return entries[static_cast<size_t>(entry)];
}

bool ChangeTarget(CvtOptions& options, int32_t newTarget) {
  if (newTarget == options.targetData) return false;
  options.targetData = newTarget;
  if (newTarget == kTargetWave) {
    options.outputType = kOutputCsv;
  } else if ((options.outputType == kOutputKml && newTarget != kTargetGnss) ||
             (options.outputType == kOutputPcap && newTarget != kTargetCan) ||
             (options.outputType != kOutputCsv && options.outputType != kOutputKml &&
              options.outputType != kOutputPcap)) {
    options.outputType = kOutputText;
  }
  return true;
}

bool ChangeFormat(CvtOptions& options, int entry) {
  int32_t format = FormatOfEntry(options.targetData, entry);
  if (format == options.outputType) return false;
  options.outputType = format;
  return true;
}

int VisiblePane(int32_t targetData, int32_t outputType) {
  switch (CvtTypeFor(targetData, outputType)) {
    case kCvtCanText:
      return 115;
    case kCvtCanCsv:
      return 116;
    case kCvtAnalogText:
      return 117;
    case kCvtAnalogCsv:
      return 118;
    case kCvtCanPcap:
      return 119;
    default:
      return 0;
  }
}

SelectButtons SelectButtonStates(int itemCount, int selectedCount) {
  if (itemCount <= 0) return {};
  return {selectedCount<itemCount, selectedCount> 0, true};
}

int ResultMessageId(Result result) {
  if (result.ok() || result == kResultCancelled) return 0;
  if (result == kResultInvalidData || result == kResultNotSupported) return 139;
  return 137;
}

bool ExceedsSelectionLimit(int selected, bool noLimit) {
  return !noLimit && selected > kSelectionLimit;
}

std::array<int, 3> FileListColumnWidths(int clientWidth, int scrollBarWidth) {
  int w = clientWidth - scrollBarWidth - 8;
  if (w < 0) w = 0;
  int name = (w * 38 + 50) / 100;
  int date = (w * 41 + 50) / 100;
  return {name, date, w - name - date};
}

}  // namespace dtconv::ui
