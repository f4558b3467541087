// The DBC reader, the decoder and signal selection through the signals library, against the
// tables of data/: bad_dbc.txt, decode_cases.tsv (over decode_cases.dbc) and select_cases.tsv.
// The signal tables themselves are rows of tests/cases/conversions/signals.tsv.
#include "signals/signals.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "capture_recipe.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "run_converter.h"
#include "signals/cvt_signals.h"
#include "test_files.h"

namespace dtconv::signals {
namespace {

std::string DataPath(const std::string& name) {
  return std::string(DTCONV_SIGNALS_DATA) + "/" + name;
}

// bad_dbc.txt: "=== LINE:COLUMN: message" and the database text up to the next "===" line.
TEST(DbcReader, RefusesEachBadDatabaseWithItsPosition) {
  std::ifstream in(DataPath("bad_dbc.txt"), std::ios::binary);
  std::vector<std::pair<std::string, std::string>> cases;  // the error, the database
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("=== ", 0) == 0) {
      cases.push_back({"bad.dbc:" + line.substr(4), ""});
    } else if (!cases.empty()) {
      cases.back().second += line + "\n";
    }
  }
  EXPECT_GE(cases.size(), 40u);
  for (const auto& [expected, text] : cases) {
    Database db;
    db.file = "untouched";
    std::string error;
    EXPECT_FALSE(ParseDbc(text, "bad.dbc", &db, &error));
    EXPECT_EQ(error, expected);
    EXPECT_EQ(db.file, "untouched");
    EXPECT_TRUE(db.messages.empty());
  }
}

// A line of 10 MB is refused, a file past the bound is not read, and 16000 value tables in 2 MB
// are read in linear time (counting positions from the start of the file took minutes).
TEST(DbcReader, Bounds) {
  Database db;
  std::string error;
  EXPECT_FALSE(ParseDbc("BO_ 256 M: 8 N\nCM_ \"" + std::string(10 << 20, 'x') + "\";\n", "l.dbc",
                        &db, &error));
  EXPECT_EQ(error,
            "l.dbc:2:4194305: expected a line of at most 4194304 bytes; a longer one is "
            "taken for a damaged file");
  test::TempDir dir;
  std::filesystem::path big = dir / "big.dbc";
  std::ofstream(big).put(' ');
  std::filesystem::resize_file(big, kMaxDbcFileBytes + 1);
  EXPECT_FALSE(LoadDbc(big, &db, &error));
  EXPECT_EQ(error,
            big.string() + ": expected a database of at most 67108864 bytes, found 67108865");
  std::string text, values;
  for (int m = 0; m < 1000; ++m) {
    text += "BO_ " + std::to_string(m) + " M" + std::to_string(m) + ": 8 Node\n";
    for (int s = 0; s < 16; ++s) {
      std::string name = "S" + std::to_string(m) + "_" + std::to_string(s);
      text += " SG_ " + name + " : " + std::to_string(4 * s) + "|4@1+ (0.5,0) [0|0] \"\" Node\n";
      values += "VAL_ " + std::to_string(m) + " " + name + " 0 \"Zero\" 1 \"One\" ;\n";
    }
  }
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(ParseDbc(text + values, "large.dbc", &db, &error)) << error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(ValueTableText(db.messages[999].signals[15], 1), "One");
}

// a.dbc defines 0x100 as an 11-bit message (line 2) and a 29-bit one (line 3), b.dbc as a 29-bit
// one (line 1) and an 11-bit one (line 4): no line may have both. (Apart on CH1 and CH2 they are
// a conversion row.)
TEST(DatabaseSet, RefusesAMessageTwiceOnALine) {
  const struct {
    uint8_t first, second;
    const char* error;
  } cases[] = {
      {kBothLines, kLine2,
       "b.dbc:1:1: message 0x100 (29-bit) ExtB on CH2 is already defined by "
       "a.dbc:3 (ExtA)"},
      {kLine1, kBothLines,
       "b.dbc:1:1: message 0x100 (29-bit) ExtB on CH1 is already defined by "
       "a.dbc:3 (ExtA)"},
      {kLine1, 0, "b.dbc: expected CH1, CH2 or both lines for the database"},
  };
  for (const auto& c : cases) {
    Database a, b;
    std::string error;
    ASSERT_TRUE(
        ParseDbc("\nBO_ 256 EngineA: 8 N\nBO_ 2147483904 ExtA: 8 N\n", "a.dbc", &a, &error));
    ASSERT_TRUE(
        ParseDbc("BO_ 2147483904 ExtB: 8 N\n\n\nBO_ 256 EngineB: 8 N\n", "b.dbc", &b, &error));
    DatabaseSet set;
    ASSERT_TRUE(set.Add(std::move(a), c.first, &error)) << error;
    EXPECT_FALSE(set.Add(std::move(b), c.second, &error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(set.size(), 1u);
  }
}

// Each row: message, frame bytes (hex, "XX*N" for N bytes XX, "-" for none), signal, its value
// text or "absent", its value-table text; decoded on both lines with every signal selected.
TEST(Decoder, EveryRowOfTheTable) {
  DatabaseSet set;
  SignalSelection all;
  std::string error;
  ASSERT_TRUE(set.Load(DataPath("decode_cases.dbc"), kBothLines, &error)) << error;
  ASSERT_TRUE(all.Select(set, "", &error)) << error;
  for (const test::Row& cells : test::ReadTable("../signals/data/decode_cases.tsv")) {
    SCOPED_TRACE(testing::PrintToString(cells));
    ASSERT_GE(cells.size(), 4u);
    const Message* m = nullptr;
    for (const Message& each : set.entry(0).db.messages) m = each.name == cells[0] ? &each : m;
    ASSERT_NE(m, nullptr);
    std::vector<uint8_t> frame;
    std::istringstream bytes(cells[1] == "-" ? "" : cells[1]);
    for (std::string t; bytes >> t;) {
      frame.insert(frame.end(), t.size() > 3 ? std::stoul(t.substr(3)) : 1,
                   static_cast<uint8_t>(std::stoul(t, 0, 16)));
    }
    for (int ch = 1; ch <= 2; ++ch) {
      const MessagePlan* plan = all.Find(ch, m->extended, m->id);
      ASSERT_TRUE(plan != nullptr && &plan->message() == m);
      std::vector<DecodedValue> values(plan->maxValues());
      size_t n = SignalSelection::Decode(*plan, frame.data(), frame.size(), values.data());
      std::string got = "absent", valueText;
      double physical = 0;
      for (size_t i = 0; i < n; ++i) {
        const Signal& s = *all.signals()[values[i].column].signal;
        if (s.name != cells[2]) continue;
        char text[kMaxSignalValueChars + 32];
        got.assign(text, PutSignalValue(text, s, values[i].raw));
        valueText = ValueTableText(s, values[i].raw);
        physical = PhysicalValue(s, values[i].raw);
      }
      EXPECT_EQ(got, cells[3]);
      EXPECT_EQ(valueText, cells.size() > 4 ? cells[4] : "");
      // The double of the text, to the last bits, or for IEEE singles the single it reads as.
      double fromText = std::strtod(cells[3].c_str(), nullptr);
      if (std::isnan(fromText)) {
        EXPECT_TRUE(std::isnan(physical));
      } else if (physical != fromText && physical != std::strtof(cells[3].c_str(), nullptr)) {
        EXPECT_NEAR(physical / fromText, 1.0, 1e-15) << physical;
      }
    }
  }
}

// Each row: a signal list over samples/vehicle.dbc (both lines) and trailer.dbc (CH2), and the
// signals selected ("label:Message.Signal") or "error: " and the error.
TEST(SignalSelection, EveryRowOfTheTable) {
  DatabaseSet set;
  std::string error;
  ASSERT_TRUE(set.Load(std::string(DTCONV_SAMPLES_DIR) + "/vehicle.dbc", kBothLines, &error));
  ASSERT_TRUE(set.Load(DataPath("trailer.dbc"), kLine2, &error)) << error;
  for (const test::Row& cells : test::ReadTable("../signals/data/select_cases.tsv")) {
    SCOPED_TRACE(testing::PrintToString(cells));
    SignalSelection selection;
    std::string got = selection.Select(set, cells[0] == "(empty)" ? "" : cells[0], &error)
                          ? ""
                          : "error: " + error;
    for (const SelectedSignal& s : selection.signals()) {
      got += (got.empty() ? "" : " ") + std::string(s.qualifier) +
             (s.qualifier.empty() ? "" : ":") + s.message->name + "." + s.signal->name;
    }
    EXPECT_EQ(got, cells.at(1));
  }
}

// In the system's code page the table is the UTF-8 one with each database text (and nothing
// else) narrowed as the platform narrows it.
TEST(SignalTables, AnsiOutputIsTheUtf8OutputInTheCodePage) {
  test::SetTimeZone("UTC");
  auto setup = std::make_shared<SignalSetup>();
  std::string error;
  ASSERT_TRUE(setup->databases.Load(DataPath("tables.dbc"), kBothLines, &error)) << error;
  ASSERT_TRUE(setup->selection.Select(setup->databases, "", &error)) << error;
  std::string out[2];
  for (uint32_t utf8 : {kOutUtf8, 0u}) {
    CvtSettings s = test::SettingsFor(kCvtSignalsCsv, 9, 0, kOutCrLf | utf8);
    s.signals = setup;
    out[utf8 ? 0 : 1] = test::RunConversion(test::BuildRecipe("use signal_tables"), s).bytes;
  }
  EXPECT_NE(out[0].find("\xC2\xB0"), std::string::npos);
  EXPECT_EQ(out[1], platform::NarrowText(platform::Utf8ToUtf16(out[0]), false));
}

}  // namespace
}  // namespace dtconv::signals
