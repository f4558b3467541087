// The dialogs' rules that need no window: format lists, target and format changes, the visible
// setting pane, the selection buttons, the result messages, the selection limit and the file
// list's column widths.
#include "ui/ui_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/monitor_data.h"
#include "pipeline/conversion_job.h"

namespace dtconv::ui {
namespace {

TEST(UiRules, FormatListOfEachTarget) {
  struct Case {
    int32_t target;
    std::vector<int32_t> entries;
  };
  const Case cases[] = {
      {kTargetCan, {kOutputText, kOutputCsv, kOutputPcap}},
      {kTargetAnalog, {kOutputText, kOutputCsv}},
      {kTargetGnss, {kOutputText, kOutputCsv, kOutputKml}},
      {kTargetWave, {kOutputCsv}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatEntries(c.target), c.entries) << "target " << c.target;
    for (size_t i = 0; i < c.entries.size(); ++i) {
      EXPECT_EQ(FormatEntryFor(c.target, c.entries[i]), static_cast<int>(i)) << c.target;
      EXPECT_EQ(FormatOfEntry(c.target, static_cast<int>(i)), c.entries[i]) << c.target;
    }
  }
}

TEST(UiRules, SelectedFormatEntry) {
  struct Case {
    int32_t target, format;
    int entry;
  };
  const Case cases[] = {
      {kTargetCan, kOutputText, 0},   {kTargetCan, kOutputCsv, 1},
      {kTargetCan, kOutputPcap, 2},   {kTargetAnalog, kOutputText, 0},
      {kTargetAnalog, kOutputCsv, 1}, {kTargetAnalog, kOutputKml, 0},
      {kTargetGnss, kOutputKml, 2},   {kTargetGnss, kOutputPcap, 0},
      {kTargetWave, kOutputCsv, 0},   {kTargetWave, kOutputText, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatEntryFor(c.target, c.format), c.entry) << c.target << "/" << c.format;
  }
  EXPECT_EQ(FormatOfEntry(kTargetCan, 3), kOutputText);
  EXPECT_EQ(FormatOfEntry(kTargetCan, -1), kOutputText);
}

TEST(UiRules, TargetChangeKeepsALegalFormat) {
  struct Case {
    const char* name;
    int32_t fromTarget, fromFormat, toTarget;
    bool changed;
    int32_t format;
  };
  const Case cases[] = {
      {"GNSS kml to CAN gives text", kTargetGnss, kOutputKml, kTargetCan, true, kOutputText},
      {"CAN pcap to analog gives text", kTargetCan, kOutputPcap, kTargetAnalog, true, kOutputText},
      {"CAN pcap to GNSS gives text", kTargetCan, kOutputPcap, kTargetGnss, true, kOutputText},
      {"GNSS kml to analog gives text", kTargetGnss, kOutputKml, kTargetAnalog, true, kOutputText},
      {"CAN csv to analog keeps csv", kTargetCan, kOutputCsv, kTargetAnalog, true, kOutputCsv},
      {"analog csv to GNSS keeps csv", kTargetAnalog, kOutputCsv, kTargetGnss, true, kOutputCsv},
      {"GNSS csv to CAN keeps csv", kTargetGnss, kOutputCsv, kTargetCan, true, kOutputCsv},
      {"CAN text to GNSS keeps text", kTargetCan, kOutputText, kTargetGnss, true, kOutputText},
      {"any to wave gives csv", kTargetCan, kOutputText, kTargetWave, true, kOutputCsv},
      {"GNSS kml to wave gives csv", kTargetGnss, kOutputKml, kTargetWave, true, kOutputCsv},
      {"wave to CAN keeps csv", kTargetWave, kOutputCsv, kTargetCan, true, kOutputCsv},
      {"same target changes nothing", kTargetGnss, kOutputKml, kTargetGnss, false, kOutputKml},
      {"same target CAN pcap", kTargetCan, kOutputPcap, kTargetCan, false, kOutputPcap},
  };
  for (const Case& c : cases) {
    CvtOptions o;
    o.targetData = c.fromTarget;
    o.outputType = c.fromFormat;
    EXPECT_EQ(ChangeTarget(o, c.toTarget), c.changed) << c.name;
    EXPECT_EQ(o.targetData, c.toTarget) << c.name;
    EXPECT_EQ(o.outputType, c.format) << c.name;
  }
}

TEST(UiRules, FormatChange) {
  struct Case {
    int32_t target, fromFormat;
    int entry;
    bool changed;
    int32_t format;
  };
  const Case cases[] = {
      {kTargetCan, kOutputText, 2, true, kOutputPcap},
      {kTargetCan, kOutputPcap, 1, true, kOutputCsv},
      {kTargetCan, kOutputCsv, 1, false, kOutputCsv},
      {kTargetGnss, kOutputText, 2, true, kOutputKml},
      {kTargetAnalog, kOutputCsv, 0, true, kOutputText},
      {kTargetWave, kOutputCsv, 0, false, kOutputCsv},
  };
  for (const Case& c : cases) {
    CvtOptions o;
    o.targetData = c.target;
    o.outputType = c.fromFormat;
    EXPECT_EQ(ChangeFormat(o, c.entry), c.changed) << c.target << "/" << c.entry;
    EXPECT_EQ(o.outputType, c.format) << c.target << "/" << c.entry;
  }
}

TEST(UiRules, VisiblePaneForEveryTargetAndFormat) {
  struct Case {
    int32_t target, format;
    int pane;
  };
  const Case cases[] = {
      {kTargetCan, kOutputText, 115},   {kTargetCan, kOutputCsv, 116},
      {kTargetCan, kOutputPcap, 119},   {kTargetAnalog, kOutputText, 117},
      {kTargetAnalog, kOutputCsv, 118}, {kTargetGnss, kOutputText, 0},
      {kTargetGnss, kOutputCsv, 0},     {kTargetGnss, kOutputKml, 0},
      {kTargetWave, kOutputCsv, 0},     {kTargetWave, kOutputText, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VisiblePane(c.target, c.format), c.pane) << c.target << "/" << c.format;
  }
}

TEST(UiRules, SelectionButtonEnabling) {
  struct Case {
    const char* name;
    int items, selected;
    SelectButtons expected;
  };
  const Case cases[] = {
      {"no items", 0, 0, {false, false, false}},
      {"items, none selected", 5, 0, {true, false, true}},
      {"items, all selected", 5, 5, {false, true, true}},
      {"items, some selected", 5, 2, {true, true, true}},
      {"one item selected", 1, 1, {false, true, true}},
  };
  for (const Case& c : cases) {
    SelectButtons b = SelectButtonStates(c.items, c.selected);
    EXPECT_EQ(b.selectAll, c.expected.selectAll) << c.name;
    EXPECT_EQ(b.selectNone, c.expected.selectNone) << c.name;
    EXPECT_EQ(b.selectInverse, c.expected.selectInverse) << c.name;
  }
}

TEST(UiRules, ResultMessages) {
  struct Case {
    Result result;
    int message;
  };
  const Case cases[] = {
      {kResultOk, 0},
      {kResultCancelled, 0},
      {kResultInvalidData, 139},
      {kResultNotSupported, 139},
      {kResultWorkerFailed, 137},
      {kResultOutOfMemory, 137},
      {Result::System(2), 137},
      {Result::Output(28), 137},
      {kResultPathTooLong, 137},
      {kResultOutputIsInput, 137},
      {Result(0x12345678), 137},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResultMessageId(c.result), c.message) << std::hex << c.result.code();
    // The command-line tool prints the same message for the same result.
    std::string text = ResultMessage(c.result);
    const char* expected = c.message == 0     ? ""
                           : c.message == 139 ? "The specified data file is unsupported or corrupt."
                                              : "Cannot convert.";
    EXPECT_EQ(text, expected) << std::hex << c.result.code();
  }
}

TEST(UiRules, SelectionLimit) {
  struct Case {
    int selected;
    bool noLimit, exceeds;
  };
  const Case cases[] = {{0, false, false},  {3, false, false}, {4, false, true},
                        {100, false, true}, {4, true, false},  {100, true, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(ExceedsSelectionLimit(c.selected, c.noLimit), c.exceeds)
        << c.selected << (c.noLimit ? " -x" : "");
  }
}

TEST(UiRules, FileListColumnWidths) {
  struct Case {
    int client, scroll;
    std::array<int, 3> widths;
  };
  const Case cases[] = {
      {408, 17, {146, 157, 80}},  // (383 × 38 + 50) / 100, (383 × 41 + 50) / 100, the rest
      {108, 0, {38, 41, 21}},
      {25, 17, {0, 0, 0}},
      {10, 17, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileListColumnWidths(c.client, c.scroll), c.widths) << c.client;
  }
}

}  // namespace
}  // namespace dtconv::ui
