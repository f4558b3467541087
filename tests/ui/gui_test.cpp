// The desktop program driven through its real dialogs (see gui_driver.h): what the controls show,
// the message boxes, the progress positions and the files written.
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "capture_builder.h"
#include "gui_driver.h"
#include "pipeline/settings_file.h"
#include "platform/unicode.h"
#include "run_converter.h"
#include "test_files.h"
#include "ui/resource_ids.h"
#include "ui/ui_app.h"
#include "ui/ui_rules.h"

namespace dtconv::ui {
namespace {

namespace fs = std::filesystem;
using test::CaptureBuilder;

using namespace driver;

const std::wstring kEnglishTitle = L"Text conversion [dtconv_exbca V1.01]";

std::string Utf8(const std::wstring& w) {
  return platform::Utf16ToUtf8(std::u16string(w.begin(), w.end()));
}

// A step the driver cannot do fails the test that asked for it.
const bool kFailuresReported = [] {
  SetFailureHandler([](const std::string& what) { ADD_FAILURE() << what; });
  return true;
}();

// A small CAN capture; `seed` varies its frames.
CaptureBuilder CanCapture(uint32_t seed) {
  CaptureBuilder b;
  b.Frame({.timestamp = 1000000 + seed, .dlc = 2, .id = 0x100 + seed, .data = {0x11, 0x22}});
  b.Frame({.line = 2, .timestamp = 1000500 + seed, .dlc = 1, .id = 0x200 + seed, .data = {0x33}});
  b.Marker(0x81, 1001000 + seed);
  return b;
}

// A capture that takes the converter a while: many frames on both lines.
CaptureBuilder LongCapture() {
  CaptureBuilder b;
  for (uint32_t i = 0; i < 200000; ++i) {
    b.Frame({.line = static_cast<int>(1 + i % 2),
             .timestamp = 1000000 + 100ull * i,
             .dlc = 8,
             .id = 0x100 + i % 64,
             .data = {1, 2, 3, 4, 5, 6, 7, 8}});
  }
  return b;
}

class Gui : public ::testing::Test {
 protected:
  void SetUp() override {
    test::SetTimeZone("UTC");
    SetEnvironmentVariableW(L"SOURCE_DATE_EPOCH", std::to_wstring(test::kBannerTime).c_str());
    settings_ = dir_ / "settings.ini";
    fs::create_directory(dir_ / "in");
  }
  fs::path In(const std::string& name) const { return dir_ / "in" / name; }
  std::wstring Args(const std::wstring& more = L"") const {
    return L"-s\"" + settings_.wstring() + L"\" \"" + (dir_ / "in").wstring() + L"\" " + more;
  }

  test::TempDir dir_;
  fs::path settings_;
};

TEST_F(Gui, StartIsEnabledOnlyWithASelection) {
  for (const char* name : {"b10.DT", "b2.DT", "A1.DT"}) CanCapture(1).WriteTo(In(name));
  RunningApp app(Args());
  ASSERT_TRUE(app.ok());
  HWND pane = app.Pane(IDD_FILE_PANE);
  // Natural order, upper and lower case together.
  ASSERT_EQ(Items(app.List()), 3);
  EXPECT_EQ(ItemText(app.List(), 0, 0), L"A1.DT");
  EXPECT_EQ(ItemText(app.List(), 1, 0), L"b2.DT");
  EXPECT_EQ(ItemText(app.List(), 2, 0), L"b10.DT");

  struct Step {
    const char* name;
    std::function<void()> act;
    bool start, all, none, inverse;
    int selected;
  };
  const Step steps[] = {
      {"after the list is filled", [] {}, false, true, false, true, 0},
      {"one file selected", [&] { SelectItems(app.List(), {1}); }, true, true, true, true, 1},
      {"Select all", [&] { Click(pane, IDC_SELECT_ALL); }, true, false, true, true, 3},
      {"Select inverse of all", [&] { Click(pane, IDC_SELECT_INVERSE); }, false, true, false, true,
       0},
      {"Select inverse of none", [&] { Click(pane, IDC_SELECT_INVERSE); }, true, false, true, true,
       3},
      {"No select", [&] { Click(pane, IDC_SELECT_NONE); }, false, true, false, true, 0},
      {"two selected, then Refresh",
       [&] {
         SelectItems(app.List(), {0, 2});
         Click(pane, IDC_REFRESH);
       },
       false, true, false, true, 0},
  };
  for (const Step& s : steps) {
    s.act();
    app.Sync();
    EXPECT_EQ(Selected(app.List()), s.selected) << s.name;
    EXPECT_EQ(IsWindowEnabled(app.Item(IDC_START)) != 0, s.start) << s.name;
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(pane, IDC_SELECT_ALL)) != 0, s.all) << s.name;
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(pane, IDC_SELECT_NONE)) != 0, s.none) << s.name;
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(pane, IDC_SELECT_INVERSE)) != 0, s.inverse) << s.name;
  }
}

TEST_F(Gui, FilterAndListing) {
  CanCapture(1).WriteTo(In("manual.DT"));
  CanCapture(2).WriteTo(In("#0001.DT"));
  CanCapture(3).WriteTo(In("hidden.DT"));
  SetFileAttributesW(In("hidden.DT").c_str(), FILE_ATTRIBUTE_HIDDEN);
  fs::create_directory(In("folder.DT"));
  test::WriteFile(In("sized.DT"), test::Bytes(1536, 0));
  RunningApp app(Args());
  ASSERT_TRUE(app.ok());
  HWND pane = app.Pane(IDD_FILE_PANE);
  ASSERT_EQ(Items(app.List()), 3) << "hidden files and folders are not listed";
  EXPECT_EQ(ItemText(app.List(), 0, 0), L"#0001.DT");
  EXPECT_EQ(ItemText(app.List(), 1, 0), L"manual.DT");
  EXPECT_EQ(ItemText(app.List(), 2, 0), L"sized.DT");
  wchar_t expectedSize[64] = {};
  StrFormatByteSizeW(1536, expectedSize, 64);
  EXPECT_EQ(ItemText(app.List(), 2, 2), expectedSize);
  EXPECT_FALSE(ItemText(app.List(), 2, 1).empty()) << "date modified";
  EXPECT_EQ(Text(app.Item(IDC_FOLDER)), (dir_ / "in").wstring());

  Choose(pane, IDC_FILTER, 1);
  app.Sync();
  ASSERT_EQ(Items(app.List()), 1);
  EXPECT_EQ(ItemText(app.List(), 0, 0), L"#0001.DT");
  // Choosing the active filter again does not refresh: a selection survives it.
  SelectItems(app.List(), {0});
  Choose(pane, IDC_FILTER, 1);
  app.Sync();
  EXPECT_EQ(Selected(app.List()), 1);
  Choose(pane, IDC_FILTER, 0);
  app.Sync();
  EXPECT_EQ(Items(app.List()), 3);
  EXPECT_EQ(Selected(app.List()), 0);
}

// The system's message font at `percent` % of its height while the object lives, so that the
// dialogs are rescaled. Wine keeps the change in its server only, which ends with the test.
class MessageFontHeight {
 public:
  explicit MessageFontHeight(int percent) {
    saved_.cbSize = sizeof saved_;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof saved_, &saved_, 0);
    NONCLIENTMETRICSW changed = saved_;
    changed.lfMessageFont.lfHeight = saved_.lfMessageFont.lfHeight * percent / 100;
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof changed, &changed, 0);
  }
  ~MessageFontHeight() {
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof saved_, &saved_, 0);
  }
  MessageFontHeight(const MessageFontHeight&) = delete;
  MessageFontHeight& operator=(const MessageFontHeight&) = delete;

 private:
  NONCLIENTMETRICSW saved_{};
};

TEST_F(Gui, FileListColumnsKeepTheirSharesOfTheList) {
  // Names longer than their column: the columns are never fitted to their texts.
  for (const char* name : {"analog_onboard_bnc_long_name.DT", "b.DT", "c.DT"}) {
    CanCapture(1).WriteTo(In(name));
  }
  struct Case {
    const char* name;
    const wchar_t* language;
    int fontPercent;
  };
  const Case cases[] = {{"English", L"-l1033", 100},
                        {"English, message font 150 %", L"-l1033", 150},
                        {"Japanese", L"-l1041", 100}};
  int unscaledWidth = 0;
  for (const Case& c : cases) {
    MessageFontHeight font(c.fontPercent);
    RunningApp app(Args(c.language));
    ASSERT_TRUE(app.ok()) << c.name;
    for (bool refresh : {false, true}) {
      std::string what = std::string(c.name) + (refresh ? ", after Refresh" : ", first fill");
      if (refresh) Click(app.Pane(IDD_FILE_PANE), IDC_REFRESH);
      app.Sync();
      ASSERT_EQ(Items(app.List()), 3) << what;
      ASSERT_EQ(GetWindowLongPtrW(app.List(), GWL_STYLE) & WS_VSCROLL, 0) << what;
      RECT client;
      GetClientRect(app.List(), &client);
      if (unscaledWidth == 0) unscaledWidth = client.right;
      if (c.fontPercent != 100) {
        EXPECT_GT(client.right, unscaledWidth * 5 / 4) << what << ": the dialog is rescaled";
      }
      // What the scroll bar and 8 pixels leave: 38 %, 41 % and the rest.
      double room = client.right - client.left - GetSystemMetrics(SM_CXVSCROLL) - 8;
      const double shares[3] = {0.38, 0.41, 0.21};
      for (int column = 0; column < 3; ++column) {
        auto width = static_cast<double>(SendMessageW(app.List(), LVM_GETCOLUMNWIDTH, column, 0));
        EXPECT_NEAR(width, room * shares[column], 1.0) << what << ", column " << column;
      }
    }
  }
}

TEST_F(Gui, FourFilesNeedTheNoLimitSwitch) {
  for (const char* name : {"a.DT", "b.DT", "c.DT", "d.DT"}) CanCapture(2).WriteTo(In(name));
  {
    RunningApp app(Args());
    ASSERT_TRUE(app.ok());
    Click(app.Pane(IDD_FILE_PANE), IDC_SELECT_ALL);
    Click(app.main(), IDC_START);
    app.Sync();
    auto messages = app.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, L"You have exceeded the upper limit of 3 that you can select.");
    EXPECT_EQ(messages[0].caption, kEnglishTitle);
    EXPECT_EQ(messages[0].type, static_cast<UINT>(MB_ICONWARNING | MB_OK));
    EXPECT_FALSE(app.Converting());
    EXPECT_TRUE(IsWindowVisible(app.Item(IDC_START)));
    EXPECT_FALSE(fs::exists(In("a.txt")));
  }
  {
    RunningApp app(Args(L"-x"));
    ASSERT_TRUE(app.ok());
    Click(app.Pane(IDD_FILE_PANE), IDC_SELECT_ALL);
    Click(app.main(), IDC_START);
    ASSERT_TRUE(app.WaitIdle());
    EXPECT_TRUE(app.Messages().empty());
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
      EXPECT_TRUE(fs::exists(In(name))) << name;
    }
  }
}

TEST_F(Gui, ConvertsThreeCaptures) {
  CanCapture(1).WriteTo(In("first.DT"));
  CanCapture(2).WriteTo(In("second.DT"));
  CanCapture(3).WriteTo(In("third.DT"));
  // What the controls show while the worker runs, read from the worker before its first file.
  struct Seen {
    bool stopVisible, startVisible, targetEnabled, formatEnabled, browseEnabled, paneEnabled,
        settingPaneEnabled, additionalEnabled;
  };
  std::atomic<bool> seenOnce{false};
  Seen seen{};
  HWND mainWindow = nullptr;
  RunningApp app(Args(), [&](UiHooks& hooks) {
    hooks.beforeFile = [&](const fs::path&) {
      if (seenOnce.load()) return;
      HWND m = mainWindow;
      seen = {IsWindowVisible(GetDlgItem(m, IDC_STOP)) != 0,
              IsWindowVisible(GetDlgItem(m, IDC_START)) != 0,
              IsWindowEnabled(GetDlgItem(m, IDC_TARGET)) != 0,
              IsWindowEnabled(GetDlgItem(m, IDC_FORMAT)) != 0,
              IsWindowEnabled(GetDlgItem(m, IDC_BROWSE)) != 0,
              IsWindowEnabled(GetDlgItem(m, IDD_FILE_PANE)) != 0,
              IsWindowEnabled(GetDlgItem(GetDlgItem(m, IDD_PANE_CAN_TEXT), IDC_TIMESTAMP)) != 0,
              IsWindowEnabled(GetDlgItem(m, IDC_ADDITIONAL)) != 0};
      seenOnce.store(true);
    };
  });
  ASSERT_TRUE(app.ok());
  mainWindow = app.main();
  Click(app.Pane(IDD_FILE_PANE), IDC_SELECT_ALL);
  Click(app.main(), IDC_START);
  ASSERT_TRUE(app.WaitIdle());
  app.Sync();

  ASSERT_TRUE(seenOnce.load());
  EXPECT_TRUE(seen.stopVisible);
  EXPECT_FALSE(seen.startVisible);
  EXPECT_FALSE(seen.targetEnabled);
  EXPECT_FALSE(seen.formatEnabled);
  EXPECT_FALSE(seen.browseEnabled);
  EXPECT_FALSE(seen.paneEnabled);
  EXPECT_FALSE(seen.settingPaneEnabled);
  EXPECT_TRUE(seen.additionalEnabled) << "the Additional opt. box stays usable";

  EXPECT_EQ(app.Progress(), (std::vector<int>{0, 1, 3, 5, 6, 0}));
  EXPECT_TRUE(app.Messages().empty());
  for (const char* name : {"first", "second", "third"}) {
    std::string golden = std::string("ui/") + name + ".txt";
    EXPECT_EQ(test::CompareGolden(golden, test::ReadFileBytes(In(std::string(name) + ".txt"))), "");
  }
  EXPECT_TRUE(IsWindowEnabled(app.Item(IDC_START)));
  EXPECT_TRUE(IsWindowEnabled(app.Item(IDC_TARGET)));
  EXPECT_TRUE(IsWindowEnabled(app.Item(IDC_BROWSE)));
  EXPECT_TRUE(IsWindowEnabled(app.Item(IDD_PANE_CAN_TEXT, IDC_TIMESTAMP)));
  EXPECT_TRUE(IsWindowEnabled(app.Item(IDD_FILE_PANE, IDC_SELECT_NONE)));
  EXPECT_EQ(SendMessageW(app.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);
}

TEST_F(Gui, ResultMessages) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> write;
    std::wstring message;
  };
  const Case cases[] = {
      {"a corrupt capture",
       [](const fs::path& p) {
         CaptureBuilder b = CanCapture(4);
         b.formatCode = 30;
         b.WriteTo(p);
       },
       L"The specified data file is unsupported or corrupt."},
      {"a capture that is not one",
       [](const fs::path& p) {
         auto chunks = CanCapture(5).Chunks();
         chunks[0].tag = "NOPE";
         test::WriteFile(p, test::AssembleFile(chunks));
       },
       L"The specified data file is unsupported or corrupt."},
      {"a capture whose output cannot be written",
       [](const fs::path& p) {
         CanCapture(6).WriteTo(p);
         fs::path txt = p;
         txt.replace_extension(".txt");
         fs::create_directory(txt);
       },
       L"Cannot convert."},
      {"a good capture", [](const fs::path& p) { CanCapture(7).WriteTo(p); }, L""},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    c.write(dir / "capture.DT");
    RunningApp app(L"-s\"" + settings_.wstring() + L"\" \"" + dir.path().wstring() + L"\"");
    ASSERT_TRUE(app.ok()) << c.name;
    SelectItems(app.List(), {0});
    Click(app.main(), IDC_START);
    ASSERT_TRUE(app.WaitIdle()) << c.name;
    app.Sync();
    auto messages = app.Messages();
    if (c.message.empty()) {
      EXPECT_TRUE(messages.empty()) << c.name;
      continue;
    }
    ASSERT_EQ(messages.size(), 1u) << c.name;
    EXPECT_EQ(messages[0].text, c.message) << c.name;
    EXPECT_EQ(messages[0].caption, kEnglishTitle) << c.name;
    EXPECT_EQ(messages[0].type, static_cast<UINT>(MB_ICONWARNING | MB_OK)) << c.name;
    EXPECT_EQ(SendMessageW(app.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0), 0) << c.name;
  }
}

// A worker held before its first file until the Stop button has been pressed, so that the stop
// meets a file in flight.
struct HeldWorker {
  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~HeldWorker() {
    CloseHandle(started);
    CloseHandle(release);
  }
  void Install(UiHooks& hooks) {
    hooks.beforeFile = [this](const fs::path&) {
      SetEvent(started);
      WaitForSingleObject(release, 30000);
    };
    hooks.onStop = [this] { SetEvent(release); };
  }
};

TEST_F(Gui, StopCutsTheFileInFlightAndReturnsToIdle) {
  LongCapture().WriteTo(In("a_long.DT"));
  CanCapture(8).WriteTo(In("b_short.DT"));
  HeldWorker held;
  RunningApp app(Args(), [&](UiHooks& hooks) { held.Install(hooks); });
  ASSERT_TRUE(app.ok());
  Click(app.Pane(IDD_FILE_PANE), IDC_SELECT_ALL);
  Click(app.main(), IDC_START);
  ASSERT_EQ(WaitForSingleObject(held.started, 30000), WAIT_OBJECT_0);
  EXPECT_TRUE(app.Converting());
  Click(app.main(), IDC_STOP);
  // The Stop button returns only after the worker has ended.
  EXPECT_FALSE(app.Converting());
  EXPECT_TRUE(IsWindowVisible(app.Item(IDC_START)));
  EXPECT_EQ(SendMessageW(app.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);
  // The worker's own end arrives later and changes nothing visible.
  Sleep(200);
  app.Sync();
  EXPECT_FALSE(app.Converting());
  EXPECT_EQ(SendMessageW(app.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);
  EXPECT_TRUE(app.Messages().empty()) << Utf8(app.Messages()[0].text);
  EXPECT_FALSE(fs::exists(In("a_long.txt"))) << "the cut file's partial output is removed";
  EXPECT_FALSE(fs::exists(In("b_short.txt"))) << "no file is started after a stop";
  EXPECT_TRUE(fs::directory_iterator(dir_ / "in") != fs::directory_iterator());
  for (const auto& e : fs::directory_iterator(dir_ / "in")) {
    EXPECT_EQ(e.path().extension(), ".DT") << e.path().string();
  }
  // The next conversion runs normally.
  Click(app.Pane(IDD_FILE_PANE), IDC_SELECT_NONE);
  SelectItems(app.List(), {1});
  Click(app.main(), IDC_START);
  SetEvent(held.release);
  ASSERT_TRUE(app.WaitIdle());
  EXPECT_TRUE(fs::exists(In("b_short.txt")));
}

TEST_F(Gui, ClosingDuringAConversionStopsItFirst) {
  LongCapture().WriteTo(In("long.DT"));
  HeldWorker held;
  RunningApp app(Args(), [&](UiHooks& hooks) { held.Install(hooks); });
  ASSERT_TRUE(app.ok());
  Choose(app.Pane(IDD_PANE_CAN_TEXT), IDC_TIMESTAMP, 0);  // remembered at exit
  SelectItems(app.List(), {0});
  Click(app.main(), IDC_START);
  ASSERT_EQ(WaitForSingleObject(held.started, 30000), WAIT_OBJECT_0);
  EXPECT_EQ(app.Close(), 0);
  EXPECT_FALSE(fs::exists(In("long.txt")));
  EXPECT_TRUE(fs::exists(settings_));
  CvtOptions saved;
  LoadSettings(settings_, saved);
  EXPECT_EQ(saved.canTxtTimeStamp, kStampMicro);
}

TEST_F(Gui, EachTargetAndFormatShowsItsPane) {
  RunningApp app(Args());
  ASSERT_TRUE(app.ok());
  struct Case {
    int target;
    int format;  // entry of the format list
    std::vector<std::wstring> formats;
    int pane;  // 0: none
  };
  const Case cases[] = {
      {0, 0, {L".txt", L".csv", L".pcap"}, IDD_PANE_CAN_TEXT},
      {0, 1, {L".txt", L".csv", L".pcap"}, IDD_PANE_CAN_CSV},
      {0, 2, {L".txt", L".csv", L".pcap"}, IDD_PANE_CAN_PCAP},
      {1, 0, {L".txt", L".csv"}, IDD_PANE_ANALOG_TEXT},
      {1, 1, {L".txt", L".csv"}, IDD_PANE_ANALOG_CSV},
      {2, 0, {L".txt", L".csv", L".kml"}, 0},
      {2, 1, {L".txt", L".csv", L".kml"}, 0},
      {2, 2, {L".txt", L".csv", L".kml"}, 0},
      {3, 0, {L".csv"}, 0},
  };
  for (const Case& c : cases) {
    Choose(app.main(), IDC_TARGET, c.target);
    Choose(app.main(), IDC_FORMAT, c.format);
    std::string name = std::to_string(c.target) + "/" + std::to_string(c.format);
    EXPECT_EQ(ComboEntries(app.Item(IDC_FORMAT)), c.formats) << name;
    EXPECT_EQ(ComboSelection(app.Item(IDC_FORMAT)), c.format) << name;
    for (int pane : kSettingPanes) {
      EXPECT_EQ(IsWindowVisible(app.Pane(pane)) != 0, pane == c.pane) << name << " pane " << pane;
    }
  }
  // Format fall-backs on a target change.
  struct Switch {
    int fromTarget, fromFormat, toTarget, format;
  };
  const Switch switches[] = {
      {2, 2, 0, 0},  // GNSS .kml to CAN: .txt
      {0, 2, 1, 0},  // CAN .pcap to Analog: .txt
      {0, 1, 2, 1},  // CAN .csv to GNSS: .csv
      {2, 1, 1, 1},  // GNSS .csv to Analog: .csv
  };
  for (const Switch& s : switches) {
    Choose(app.main(), IDC_TARGET, s.fromTarget);
    Choose(app.main(), IDC_FORMAT, s.fromFormat);
    Choose(app.main(), IDC_TARGET, s.toTarget);
    EXPECT_EQ(ComboSelection(app.Item(IDC_FORMAT)), s.format)
        << s.fromTarget << "/" << s.fromFormat << " to " << s.toTarget;
  }
}

TEST_F(Gui, PaneControlsEditTheChoices) {
  RunningApp app(Args());
  ASSERT_TRUE(app.ok());
  HWND csv = app.Pane(IDD_PANE_CAN_CSV);
  Choose(app.main(), IDC_FORMAT, 1);
  // Check boxes are toggled by the program: two clicks bring the mark back.
  for (int id : {IDC_ELAPSED, IDC_DELTA, IDC_ADD_ANALOG, IDC_ADD_GNSS}) {
    EXPECT_EQ(IsDlgButtonChecked(csv, id), BST_UNCHECKED) << id;
    Click(csv, id);
    EXPECT_EQ(IsDlgButtonChecked(csv, id), BST_CHECKED) << id;
    Click(csv, id);
    EXPECT_EQ(IsDlgButtonChecked(csv, id), BST_UNCHECKED) << id;
  }
  // The CAN text and PCAP panes share their signal line.
  Choose(app.main(), IDC_FORMAT, 2);
  Choose(app.Pane(IDD_PANE_CAN_PCAP), IDC_SIGNAL_LINE, 2);
  Choose(app.main(), IDC_FORMAT, 0);
  EXPECT_EQ(ComboSelection(app.Item(IDD_PANE_CAN_TEXT, IDC_SIGNAL_LINE)), 2);
  EXPECT_EQ(ComboEntries(app.Item(IDD_PANE_CAN_TEXT, IDC_TIMESTAMP)),
            (std::vector<std::wstring>{L"Micro sec", L"Milli sec", L"Second", L"Delta time"}));
  EXPECT_EQ(ComboEntries(app.Item(IDD_PANE_CAN_CSV, IDC_TIMESTAMP)),
            (std::vector<std::wstring>{L"Micro sec", L"Milli sec", L"Second"}));
}

TEST_F(Gui, AdditionalSettingsReachTheWrittenBytes) {
  CanCapture(9).WriteTo(In("extra.DT"));
  RunningApp app(Args());
  ASSERT_TRUE(app.ok());
  Choose(app.main(), IDC_FORMAT, 1);  // CAN .csv
  EXPECT_FALSE(IsWindowEnabled(app.Item(IDC_ADDITIONAL_OPEN)));
  Click(app.main(), IDC_ADDITIONAL);
  EXPECT_EQ(IsDlgButtonChecked(app.main(), IDC_ADDITIONAL), BST_CHECKED);
  EXPECT_TRUE(IsWindowEnabled(app.Item(IDC_ADDITIONAL_OPEN)));

  auto open = [&] {
    // The dialog is modal: the click is posted, and the dialog is looked for.
    PostMessageW(app.main(), WM_COMMAND, MAKEWPARAM(IDC_ADDITIONAL_OPEN, BN_CLICKED),
                 reinterpret_cast<LPARAM>(app.Item(IDC_ADDITIONAL_OPEN)));
    HWND dialog = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (dialog = FindDialog(app.thread(), IDC_DELIMITER)); }));
    return dialog;
  };
  HWND dialog = open();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Text(dialog), L"Conversion additional setting");
  EXPECT_EQ(ComboEntries(GetDlgItem(dialog, IDC_OUT_CODE)),
            (std::vector<std::wstring>{L"ASCII/JIS", L"UTF-8 (without BOM)", L"UTF-8 (with BOM)"}));
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_DELIMITER)), L",");
  // Centred over the main dialog.
  RECT outer, inner;
  GetWindowRect(app.main(), &outer);
  GetWindowRect(dialog, &inner);
  EXPECT_LE(std::abs((outer.left + outer.right) - (inner.left + inner.right)), 1);
  EXPECT_LE(std::abs((outer.top + outer.bottom) - (inner.top + inner.bottom)), 1);

  Choose(dialog, IDC_OUT_CODE, 2);
  Choose(dialog, IDC_LINE_FEED, 1);
  // A delimiter typed and left with Enter (the Close button) is kept.
  SetWindowTextW(GetDlgItem(dialog, IDC_DELIMITER), L";");
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));

  dialog = open();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ComboSelection(GetDlgItem(dialog, IDC_OUT_CODE)), 2);
  EXPECT_EQ(ComboSelection(GetDlgItem(dialog, IDC_LINE_FEED)), 1);
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_DELIMITER)), L";");
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));

  SelectItems(app.List(), {0});
  Click(app.main(), IDC_START);
  ASSERT_TRUE(app.WaitIdle());
  std::string bytes = test::ReadFileBytes(In("extra.csv"));
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF") << "UTF-8 with byte order mark";
  EXPECT_EQ(bytes.find('\r'), std::string::npos) << "LF line ends";
  EXPECT_NE(bytes.find(';'), std::string::npos) << "the delimiter";
  EXPECT_EQ(test::CompareGolden("ui/extra_utf8_bom_lf_semicolon.csv", bytes), "");
}

TEST_F(Gui, CaptionAndLanguage) {
  struct Case {
    const char* name;
    std::wstring arguments;
    std::wstring caption, start, secondTarget, limit;
  };
  const Case cases[] = {
      {"English", L"", kEnglishTitle, L"Start &convert", L"Analog",
       L"You have exceeded the upper limit of 3 that you can select."},
      {"title suffix", L"-t\"Bench 1\"", L"Text conversion - Bench 1", L"Start &convert", L"Analog",
       L"You have exceeded the upper limit of 3 that you can select."},
      {"Japanese", L"-l1041", L"テキスト変換 [dtconv_exbca V1.01]", L"変換開始(&C)", L"アナログ",
       L"選択できる上限数 3 を超えています。"},
      {"Japanese with a title suffix", L"-l1041 -tA", L"テキスト変換 - A", L"変換開始(&C)",
       L"アナログ", L"選択できる上限数 3 を超えています。"},
      {"French falls back to English", L"-l1036", kEnglishTitle, L"Start &convert", L"Analog",
       L"You have exceeded the upper limit of 3 that you can select."},
  };
  for (const char* name : {"1.DT", "2.DT", "3.DT", "4.DT"}) CanCapture(2).WriteTo(In(name));
  for (const Case& c : cases) {
    RunningApp app(Args(c.arguments));
    ASSERT_TRUE(app.ok()) << c.name;
    EXPECT_EQ(Text(app.main()), c.caption) << c.name;
    EXPECT_EQ(Text(app.Item(IDC_START)), c.start) << c.name;
    // Stop lies exactly over Start, whatever the font and scaling.
    RECT start, stop;
    GetWindowRect(app.Item(IDC_START), &start);
    GetWindowRect(app.Item(IDC_STOP), &stop);
    EXPECT_TRUE(EqualRect(&start, &stop)) << c.name;
    EXPECT_EQ(ComboEntries(app.Item(IDC_TARGET)).at(1), c.secondTarget) << c.name;
    Click(app.Pane(IDD_FILE_PANE), IDC_SELECT_ALL);
    Click(app.main(), IDC_START);
    app.Sync();
    auto messages = app.Messages();
    ASSERT_EQ(messages.size(), 1u) << c.name;
    EXPECT_EQ(messages[0].text, c.limit) << c.name;
    EXPECT_EQ(messages[0].caption, c.caption) << c.name;
  }
}

TEST_F(Gui, SettingsAreSavedAtExitAndLoadedAtTheNextStart) {
  CanCapture(1).WriteTo(In("one.DT"));
  {
    RunningApp app(Args());
    ASSERT_TRUE(app.ok());
    Choose(app.main(), IDC_TARGET, 2);
    Choose(app.main(), IDC_FORMAT, 2);
    Click(app.main(), IDC_ADDITIONAL);
    Choose(app.Pane(IDD_FILE_PANE), IDC_FILTER, 1);
    EXPECT_EQ(app.Close(), 0);
  }
  ASSERT_TRUE(fs::exists(settings_));
  {
    // No folder on the command line: the saved one is shown.
    RunningApp app(L"-s\"" + settings_.wstring() + L"\"");
    ASSERT_TRUE(app.ok());
    EXPECT_EQ(Text(app.Item(IDC_FOLDER)), (dir_ / "in").wstring());
    EXPECT_EQ(ComboSelection(app.Item(IDC_TARGET)), 2);
    EXPECT_EQ(ComboSelection(app.Item(IDC_FORMAT)), 2);
    EXPECT_EQ(IsDlgButtonChecked(app.main(), IDC_ADDITIONAL), BST_CHECKED);
    EXPECT_TRUE(IsWindowEnabled(app.Item(IDC_ADDITIONAL_OPEN)));
    EXPECT_EQ(ComboSelection(app.Item(IDD_FILE_PANE, IDC_FILTER)), 1);
    EXPECT_EQ(app.Close(), 0);
  }
}

}  // namespace
}  // namespace dtconv::ui
