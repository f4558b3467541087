// Choosing signals by name: select_cases.tsv over the sample database and trailer.dbc.
#include <gtest/gtest.h>

#include <string>

#include "case_table.h"
#include "signals/signals.h"

namespace dtconv::signals {
namespace {

std::string Describe(const SignalSelection& selection) {
  std::string text;
  for (const SelectedSignal& s : selection.signals()) {
    if (!text.empty()) text += ' ';
    if (!s.qualifier.empty()) text += std::string(s.qualifier) + ":";
    text += s.message->name + "." + s.signal->name;
  }
  return text;
}

TEST(SignalSelection, EveryRowOfTheTable) {
  DatabaseSet set;
  std::string error;
  ASSERT_TRUE(set.Load(std::string(DTCONV_SAMPLES_DIR) + "/vehicle.dbc", kBothLines, &error))
      << error;
  ASSERT_TRUE(set.Load(test::DataPath("trailer.dbc"), kLine2, &error)) << error;
  auto rows = test::ReadTable(test::DataPath("select_cases.tsv"));
  EXPECT_GE(rows.size(), 15u);
  for (const auto& row : rows) {
    SCOPED_TRACE("select_cases.tsv:" + std::to_string(row.line));
    ASSERT_EQ(row.cells.size(), 2u);
    std::string list = row.cells[0] == "(empty)" ? "" : row.cells[0];
    SignalSelection selection;
    bool ok = selection.Select(set, list, &error);
    if (row.cells[1].rfind("error: ", 0) == 0) {
      EXPECT_FALSE(ok);
      EXPECT_EQ("error: " + error, row.cells[1]);
    } else {
      EXPECT_TRUE(ok) << error;
      EXPECT_EQ(Describe(selection), row.cells[1]);
    }
  }
}

// Each line finds the plans of the databases that apply to it.
TEST(SignalSelection, PlansFollowTheLinesOfTheirDatabase) {
  DatabaseSet set;
  std::string error;
  ASSERT_TRUE(set.Load(std::string(DTCONV_SAMPLES_DIR) + "/vehicle.dbc", kLine1, &error));
  ASSERT_TRUE(set.Load(test::DataPath("trailer.dbc"), kLine2, &error));
  SignalSelection selection;
  ASSERT_TRUE(selection.Select(set, "BrakePressed", &error)) << error;
  ASSERT_NE(selection.Find(1, false, 0x300), nullptr);
  EXPECT_EQ(selection.Find(2, false, 0x300), nullptr);
  ASSERT_NE(selection.Find(2, false, 0x310), nullptr);
  EXPECT_EQ(selection.Find(1, false, 0x310), nullptr);
  EXPECT_EQ(selection.Find(1, false, 0x100), nullptr);  // EngineData: nothing selected
  EXPECT_EQ(set.Find(1, false, 0x100)->name, "EngineData");
  EXPECT_EQ(selection.plans().size(), 2u);
}

}  // namespace
}  // namespace dtconv::signals
