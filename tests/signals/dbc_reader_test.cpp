// The DBC reader: the databases it refuses (bad_dbc.txt), what it reads over, encodings, bounds
// and the set of databases of both lines.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "case_table.h"
#include "signals/signals.h"
#include "test_files.h"

namespace dtconv::signals {
namespace {

using test::DataPath;

struct BadCase {
  int line;  // of the "===" line in bad_dbc.txt
  std::string expected;
  std::string text;
};

std::vector<BadCase> ReadBadCases() {
  std::vector<BadCase> cases;
  std::ifstream in(DataPath("bad_dbc.txt"), std::ios::binary);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.rfind("=== ", 0) == 0) {
      cases.push_back({number, line.substr(4), ""});
    } else if (!cases.empty()) {
      cases.back().text += line + "\n";
    }
  }
  return cases;
}

TEST(DbcReader, RefusesEachBadDatabaseWithItsPosition) {
  auto cases = ReadBadCases();
  EXPECT_GE(cases.size(), 40u);
  for (const BadCase& c : cases) {
    SCOPED_TRACE("bad_dbc.txt:" + std::to_string(c.line));
    Database db;
    db.file = "untouched";
    std::string error;
    EXPECT_FALSE(ParseDbc(c.text, "bad.dbc", &db, &error));
    EXPECT_EQ(error, "bad.dbc:" + c.expected);
    EXPECT_EQ(db.file, "untouched");
    EXPECT_TRUE(db.messages.empty());
  }
}

TEST(DbcReader, RefusesALineOfTenMegabytes) {
  std::string text = "BO_ 256 Msg: 8 Node\nCM_ \"" + std::string(10 << 20, 'x') + "\";\n";
  Database db;
  std::string error;
  EXPECT_FALSE(ParseDbc(text, "long.dbc", &db, &error));
  EXPECT_EQ(error,
            "long.dbc:2:4194305: expected a line of at most 4194304 bytes; a longer one "
            "is taken for a damaged file");
}

// Positions are found without counting again from the start of the file for each statement:
// 16000 value tables in 2 MB, which took minutes when they were, read in well under a second.
TEST(DbcReader, ReadsALargeDatabaseInLinearTime) {
  std::string text, values;
  for (int m = 0; m < 1000; ++m) {
    text += "BO_ " + std::to_string(m) + " M" + std::to_string(m) + ": 8 Node\n";
    for (int s = 0; s < 16; ++s) {
      std::string name = "S" + std::to_string(m) + "_" + std::to_string(s);
      text += " SG_ " + name + " : " + std::to_string(4 * s) + "|4@1+ (0.5,0) [0|0] \"\" Node\n";
      values += "VAL_ " + std::to_string(m) + " " + name + " 0 \"Zero\" 1 \"One\" ;\n";
    }
  }
  Database db;
  std::string error;
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(ParseDbc(text + values, "large.dbc", &db, &error)) << error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(ValueTableText(db.messages[999].signals[15], 1), "One");
}

TEST(DbcReader, FilesThatCannotBeRead) {
  dtconv::test::TempDir dir;
  Database db;
  std::string error;
  EXPECT_FALSE(LoadDbc(dir / "missing.dbc", &db, &error));
  EXPECT_EQ(error, (dir / "missing.dbc").string() + ": cannot be read: no such file");
  // A sparse file one byte over the bound is refused before it is read.
  std::filesystem::path big = dir / "big.dbc";
  std::ofstream(big).put(' ');
  std::filesystem::resize_file(big, kMaxDbcFileBytes + 1);
  EXPECT_FALSE(LoadDbc(big, &db, &error));
  EXPECT_EQ(error, big.string() + ": expected a database of at most 67108864 bytes, found " +
                       std::to_string(kMaxDbcFileBytes + 1));
}

const Signal* SignalNamed(const Database& db, const std::string& name) {
  for (const Message& m : db.messages) {
    for (const Signal& s : m.signals) {
      if (s.name == name) return &s;
    }
  }
  return nullptr;
}

// The sample database is Windows-1252 and uses every section the reader reads over.
TEST(DbcReader, ReadsTheSampleDatabase) {
  Database db;
  std::string error;
  ASSERT_TRUE(LoadDbc(std::string(DTCONV_SAMPLES_DIR) + "/vehicle.dbc", &db, &error)) << error;
  ASSERT_EQ(db.messages.size(), 6u);  // not VECTOR__INDEPENDENT_SIG_MSG
  EXPECT_EQ(db.messages[3].name, "GearboxInfo");
  EXPECT_TRUE(db.messages[3].extended);
  EXPECT_EQ(db.messages[3].id, 0x18FF0300u);
  EXPECT_EQ(db.messages[5].size, 64);
  EXPECT_EQ(SignalNamed(db, "EngineTemp")->unit, "\u00B0C");
  EXPECT_EQ(SignalNamed(db, "OutputTorque")->unit, "N\u00B7m");
  EXPECT_EQ(SignalNamed(db, "SpareSignal"), nullptr);
  EXPECT_EQ(SignalNamed(db, "YawRate")->type, ValueType::kFloat32);
  const Signal* gear = SignalNamed(db, "Gear");
  EXPECT_EQ(ValueTableText(*gear, ~uint64_t{0}), "Reverse");
  EXPECT_EQ(gear->values.size(), 8u);
}

TEST(DbcReader, TextEncodings) {
  const std::string body =
      "BO_ 256 Msg: 8 Node\n SG_ A : 0|8@1+ (1,0) [0|0] \"UNIT\" Node\n"
      "VAL_ 256 A 1 \"TEXT\" ;\n";
  struct Case {
    std::string unit, text;  // as bytes in the file
    std::string utf8Unit, utf8Text;
    bool bom;
  } cases[] = {
      {"\xB0"
       "C",
       "\x80 5", "\u00B0C", "\u20AC 5", false},  // Windows-1252
      {"\xC2\xB0"
       "C",
       "\xE2\x82\xAC 5", "\u00B0C", "\u20AC 5", false},  // UTF-8
      {"\xC2\xB0"
       "C",
       "ok", "\u00B0C", "ok", true},                          // UTF-8 with a BOM
      {"\x81\x8D", "\xC2", "\u0081\u008D", "\u00C2", false},  // not UTF-8: C1 controls
  };
  for (const Case& c : cases) {
    std::string text = body;
    text.replace(text.find("UNIT"), 4, c.unit);
    text.replace(text.find("TEXT"), 4, c.text);
    if (c.bom) text = "\xEF\xBB\xBF" + text;
    Database db;
    std::string error;
    ASSERT_TRUE(ParseDbc(text, "enc.dbc", &db, &error)) << error;
    const Signal& s = db.messages[0].signals[0];
    EXPECT_EQ(s.unit, c.utf8Unit);
    EXPECT_EQ(ValueTableText(s, 1), c.utf8Text);
  }
}

TEST(DbcReader, ReadsOverStringsThatSpanLinesAndHoldQuotes) {
  const std::string text =
      "BO_ 256 Msg: 8 Node\n"
      " SG_ A : 0|8@1+ (1,0) [0|0] \"say \"\"hi\"\"\" Node\n"
      "CM_ SG_ 256 A \"first line\n"
      "BO_ 257 NotAMessage: 8 Node\n"
      "a \"\"quoted\"\" word; and \\\"escaped\\\" ones\";\n"
      "BA_ \"Text\" BO_ 256 \"x;\n\";\n"
      "VAL_ 256 A 0 \"\"\"zero\"\"\" 1 \"back\\\\slash\" ;\n";
  Database db;
  std::string error;
  ASSERT_TRUE(ParseDbc(text, "q.dbc", &db, &error)) << error;
  ASSERT_EQ(db.messages.size(), 1u);
  const Signal& s = db.messages[0].signals[0];
  EXPECT_EQ(s.unit, "say \"hi\"");
  EXPECT_EQ(ValueTableText(s, 0), "\"zero\"");
  EXPECT_EQ(ValueTableText(s, 1), "back\\slash");
}

struct SetCase {
  uint8_t firstLines, secondLines;
  const char* error;  // empty where both are accepted
};

TEST(DatabaseSet, SameIdentifierOnTheSameLine) {
  const std::string a = "\nBO_ 256 EngineA: 8 Node\nBO_ 2147483904 ExtA: 8 Node\n";
  const std::string b = "BO_ 2147483904 ExtB: 8 Node\n\n\nBO_ 256 EngineB: 8 Node\n";
  const SetCase cases[] = {
      {kLine1, kLine2, ""},
      {kLine2, kLine1, ""},
      {kBothLines, kLine2,
       "b.dbc:1:1: message 0x100 (29-bit) ExtB on CH2 is already defined by a.dbc:3 (ExtA)"},
      {kLine1, kBothLines,
       "b.dbc:1:1: message 0x100 (29-bit) ExtB on CH1 is already defined by a.dbc:3 (ExtA)"},
      {kLine1, 0, "b.dbc: expected CH1, CH2 or both lines for the database"},
  };
  for (const SetCase& c : cases) {
    Database da, db;
    std::string error;
    ASSERT_TRUE(ParseDbc(a, "a.dbc", &da, &error)) << error;
    ASSERT_TRUE(ParseDbc(b, "b.dbc", &db, &error)) << error;
    DatabaseSet set;
    ASSERT_TRUE(set.Add(std::move(da), c.firstLines, &error)) << error;
    EXPECT_EQ(set.Add(std::move(db), c.secondLines, &error), *c.error == '\0');
    if (*c.error != '\0') {
      EXPECT_EQ(error, c.error);
      EXPECT_EQ(set.size(), 1u);
    } else {
      EXPECT_EQ(set.Find(c.secondLines, false, 256)->name, "EngineB");
      EXPECT_EQ(set.Find(c.firstLines, false, 256)->name, "EngineA");
    }
  }
}

}  // namespace
}  // namespace dtconv::signals
