// The decoder against the case table decode_cases.tsv over decode_cases.dbc.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "case_table.h"
#include "signals/signals.h"

namespace dtconv::signals {
namespace {

using test::DataPath;

const Message* MessageNamed(const Database& db, const std::string& name) {
  for (const Message& m : db.messages) {
    if (m.name == name) return &m;
  }
  return nullptr;
}

struct Decoded {
  bool present = false;
  std::string text;
  std::string valueText;
  double physical = 0;
};

// Decodes `frame` on `line` with every signal selected and returns what `signal` got.
Decoded DecodeOne(const SignalSelection& selection, const Message& m, int line,
                  const std::vector<uint8_t>& frame, const std::string& signal) {
  Decoded d;
  const MessagePlan* plan = selection.Find(line, m.extended, m.id);
  if (plan == nullptr || &plan->message() != &m) {
    ADD_FAILURE() << "line " << line << " finds no plan for message " << m.name;
    return d;
  }
  std::vector<DecodedValue> values(plan->maxValues());
  size_t n = SignalSelection::Decode(*plan, frame.data(), frame.size(), values.data());
  for (size_t i = 0; i < n; ++i) {
    const Signal& s = *selection.signals()[values[i].column].signal;
    if (s.name != signal) continue;
    char text[kMaxSignalValueChars];
    d.present = true;
    d.text.assign(text, PutSignalValue(text, s, values[i].raw));
    d.valueText = std::string(ValueTableText(s, values[i].raw));
    d.physical = PhysicalValue(s, values[i].raw);
  }
  return d;
}

class DecodeCases : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    Database db;
    ASSERT_TRUE(LoadDbc(DataPath("decode_cases.dbc"), &db, &error)) << error;
    ASSERT_TRUE(set_.Add(std::move(db), kBothLines, &error)) << error;
    ASSERT_TRUE(selection_.Select(set_, "", &error)) << error;
  }

  DatabaseSet set_;
  SignalSelection selection_;
};

TEST_F(DecodeCases, EveryRowOfTheTable) {
  auto rows = test::ReadTable(DataPath("decode_cases.tsv"));
  EXPECT_GE(rows.size(), 140u);
  for (const auto& row : rows) {
    SCOPED_TRACE("decode_cases.tsv:" + std::to_string(row.line));
    ASSERT_GE(row.cells.size(), 4u);
    const Message* m = MessageNamed(set_.entry(0).db, row.cells[0]);
    ASSERT_NE(m, nullptr) << "no message " << row.cells[0];
    std::vector<uint8_t> frame;
    ASSERT_TRUE(test::ParseFrameBytes(row.cells[1], &frame)) << row.cells[1];
    const std::string& expected = row.cells[3];
    std::string expectedText = row.cells.size() > 4 ? row.cells[4] : "";
    for (int line = 1; line <= 2; ++line) {
      Decoded d = DecodeOne(selection_, *m, line, frame, row.cells[2]);
      if (expected == "absent") {
        EXPECT_FALSE(d.present) << row.cells[2] << " decoded as " << d.text;
        continue;
      }
      ASSERT_TRUE(d.present) << row.cells[2] << " not decoded";
      EXPECT_EQ(d.text, expected);
      EXPECT_EQ(d.valueText, expectedText);
      // The double agrees with the text to the last bits of a double, or, for IEEE singles, is
      // the single the text reads back as.
      double fromText = std::strtod(expected.c_str(), nullptr);
      if (std::isnan(fromText)) {
        EXPECT_TRUE(std::isnan(d.physical));
      } else if (std::isinf(fromText) || fromText == 0) {
        EXPECT_EQ(d.physical, fromText);
      } else if (static_cast<float>(d.physical) != std::strtof(expected.c_str(), nullptr)) {
        EXPECT_NEAR(d.physical / fromText, 1.0, 1e-15) << d.physical;
      }
    }
  }
}

TEST_F(DecodeCases, FramesOfUnknownMessagesFindNoPlan) {
  // 0x115 exists as an 11-bit and a 29-bit message; 0x18FEF115 only as a 29-bit one.
  EXPECT_EQ(selection_.Find(1, false, 0x18FEF115), nullptr);
  EXPECT_EQ(selection_.Find(1, false, 0x7FF), nullptr);
  EXPECT_EQ(selection_.Find(2, true, 0x100), nullptr);
  EXPECT_EQ(selection_.Find(3, false, 0x100), nullptr);
  ASSERT_NE(selection_.Find(2, true, 0x18FEF115), nullptr);
  EXPECT_EQ(selection_.Find(2, true, 0x18FEF115)->message().name, "ExtId");
  EXPECT_EQ(set_.Find(1, true, 0x115)->name, "ExtSame");
  EXPECT_EQ(set_.Find(1, false, 0x115)->name, "StdSame");
}

TEST_F(DecodeCases, OnlySelectedSignalsAndTheirMultiplexorsAreDecoded) {
  // X alone: Top and Sub are decoded to switch it, but only X is given.
  SignalSelection only;
  std::string error;
  ASSERT_TRUE(only.Select(set_, "ExtMux.X", &error)) << error;
  const MessagePlan* plan = only.Find(1, false, 264);
  ASSERT_NE(plan, nullptr);
  EXPECT_EQ(plan->maxValues(), 1u);
  const uint8_t on[8] = {0x21, 0xAA}, off[8] = {0x22, 0xAA};
  DecodedValue v[1];
  ASSERT_EQ(SignalSelection::Decode(*plan, on, sizeof on, v), 1u);
  EXPECT_EQ(v[0].column, 0u);
  EXPECT_EQ(v[0].raw, 0xAAu);
  EXPECT_EQ(SignalSelection::Decode(*plan, off, sizeof off, v), 0u);
  EXPECT_EQ(only.Find(1, false, 256), nullptr);  // no selected signal in LittleEndian
}

}  // namespace
}  // namespace dtconv::signals
