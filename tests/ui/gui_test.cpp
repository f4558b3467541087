// The desktop program driven through its real dialogs, under Wine: the whole program runs on a
// user-interface thread of its own, and the test works its controls with window messages, as a
// person would with the mouse, and reads back what they show; message boxes are recorded instead of
// shown. The rules behind the controls are ui_logic_test's; here they must reach the dialogs. Every
// wait is bounded. A message sent to the user-interface thread (SendMessage from the test's
// thread) is handled only between its messages, so when it returns, what the thread was doing is
// done.
//
// gui_test --screenshots OUTPUT_FOLDER CAPTURE_FOLDER en|ja writes pictures of the main dialog for
// each target and of the additional settings dialog instead, as BMP files (make screenshots).
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "capture_builder.h"
#include "platform/unicode.h"
#include "run_converter.h"
#include "table.h"
#include "test_files.h"
#include "ui/resource_ids.h"
#include "ui/ui_app.h"
#include "ui/ui_rules.h"

namespace dtconv::ui {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::wstring>;

// Polls `done` until it holds; false after a minute.
bool WaitUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 12000; ++i, Sleep(5)) {
    if (done()) return true;
  }
  return false;
}

std::wstring Text(HWND window) {
  std::wstring text(512, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), 512)));
  return text;
}

// The entries of a drop-down list, joined by ",".
std::wstring Entries(HWND combo) {
  std::wstring entries;
  for (WPARAM i = 0; i < static_cast<WPARAM>(SendMessageW(combo, CB_GETCOUNT, 0, 0)); ++i) {
    std::wstring text(256, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    entries += (i ? L"," : L"") + std::wstring(text.c_str());
  }
  return entries;
}

int Selection(HWND combo) { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

// The visible dialog of a thread that has a control `id`, or none.
HWND FindDialog(DWORD thread, int id) {
  HWND w = nullptr;
  while (
      (w = FindWindowExW(nullptr, w, L"#32770", nullptr)) &&
      !(GetWindowThreadProcessId(w, nullptr) == thread && IsWindowVisible(w) && GetDlgItem(w, id)))
    ;
  return w;
}

// The progress bar's positions, recorded by a subclass of the bar, which also tells when the
// user-interface thread has handled every message posted to it before a marker, and runs a
// function on that thread.
constexpr UINT kDrained = WM_APP + 0x300, kRun = WM_APP + 0x301;
std::vector<int> gPositions;
WNDPROC gBarProc = nullptr;
HANDLE gDrained = CreateEventW(nullptr, FALSE, FALSE, nullptr);
LRESULT CALLBACK RecordingBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kDrained) return SetEvent(gDrained);
  if (message == kRun) return (*reinterpret_cast<std::function<void()>*>(lParam))(), 0;
  if (message == PBM_SETPOS) gPositions.push_back(static_cast<int>(wParam));
  return CallWindowProcW(gBarProc, hwnd, message, wParam, lParam);
}

// One run of the program, from its command line (after the program path) to the close of its
// main dialog. Once constructed, the main dialog shows its filled file list.
struct App {
  explicit App(const std::wstring& arguments, const std::function<void(UiHooks&)>& hook = {}) {
    UiHooks hooks;
    hooks.messageBox = [this](HWND, const std::wstring& text, const std::wstring& caption,
                              UINT type) {
      bool warning = type == (MB_ICONWARNING | MB_OK);
      messages.push_back(text + L" | " + caption + (warning ? L"" : L" | not a warning"));
      return IDOK;
    };
    if (hook) hook(hooks);
    std::wstring line = L"\"C:\\dtconv\\dtconv_exbca.exe\" " + arguments;
    thread = std::thread([this, line, hooks] {
      threadId = GetCurrentThreadId();
      exitCode = RunApplication(std::u16string(line.begin(), line.end()), hooks);
      finished = true;
    });
    // The list is filled once the dialog is up: its header appears then.
    EXPECT_TRUE(WaitUntil([&] {
      return (main = FindDialog(threadId, IDC_START)) && IsWindow(List()) &&
             !(GetWindowLongPtrW(List(), GWL_STYLE) & LVS_NOCOLUMNHEADER);
    })) << "the main dialog did not show its file list";
    gPositions.clear();
    gBarProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        Item(IDC_PROGRESS), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingBarProc)));
  }
  ~App() { Close(); }
  // Closes the main dialog as the title-bar button does; returns the program's exit code. A
  // program that does not end ends the test process.
  int Close() {
    PostMessageW(main, WM_CLOSE, 0, 0);
    if (!WaitUntil([&] { return finished.load(); })) TerminateProcess(GetCurrentProcess(), 3);
    if (thread.joinable()) thread.join();
    return exitCode;
  }
  HWND Item(int id, int pane = 0) const { return GetDlgItem(pane ? Item(pane) : main, id); }
  HWND List() const { return Item(IDC_FILE_LIST, IDD_FILE_PANE); }
  // Waits for the end of a conversion: Start shown again by a handler that has returned.
  bool WaitIdle() const {
    bool idle = WaitUntil([&] { return IsWindowVisible(Item(IDC_START)); });
    return SendMessageW(main, WM_NULL, 0, 0), idle;
  }
  // Returns once the user-interface thread has handled every message posted to it so far.
  bool Drain() const {
    PostMessageW(Item(IDC_PROGRESS), kDrained, 0, 0);
    return WaitForSingleObject(gDrained, 30000) == WAIT_OBJECT_0;
  }
  void OnUiThread(std::function<void()> run) const {
    SendMessageW(Item(IDC_PROGRESS), kRun, 0, reinterpret_cast<LPARAM>(&run));
  }
  // The additional settings dialog, which is modal: the click is posted, the dialog looked for.
  HWND OpenAdditional() const {
    PostMessageW(main, WM_COMMAND, IDC_ADDITIONAL_OPEN, 0);
    HWND dialog = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (dialog = FindDialog(threadId, IDC_DELIMITER)); }));
    return dialog;
  }
  void CloseAdditional(HWND dialog) const {
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  }

  std::thread thread;
  std::atomic<DWORD> threadId{0};
  std::atomic<bool> finished{false};
  int exitCode = -2;
  HWND main = nullptr;
  Strings messages;  // "text | caption" of each message box shown (each a warning with OK)
};

// A click on a push button or check box, which only a visible, enabled control accepts.
void Click(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  ASSERT_TRUE(IsWindowVisible(control) && IsWindowEnabled(control)) << id << " cannot be clicked";
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

// Chooses entry `entry` of an enabled drop-down list.
void Choose(HWND dialog, int id, int entry) {
  HWND combo = GetDlgItem(dialog, id);
  ASSERT_TRUE(IsWindowEnabled(combo)) << id << " cannot be chosen from";
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void Select(HWND list, std::initializer_list<int> items) {
  for (int item : items) ListView_SetItemState(list, item, LVIS_SELECTED, LVIS_SELECTED);
}

std::wstring ItemText(HWND list, int item, int column) {
  wchar_t text[260] = {};
  ListView_GetItemText(list, item, column, text, 260);
  return text;
}

// For each control (its id, its pane or 0, a letter): the letter where the control is enabled,
// or, for a capital letter, visible; "-" where it is not.
std::string Show(const App& app, std::initializer_list<std::tuple<int, int, char>> controls) {
  std::string shown;
  for (auto [id, pane, letter] : controls) {
    HWND w = app.Item(id, pane);
    shown += (isupper(letter) ? IsWindowVisible(w) : IsWindowEnabled(w)) ? letter : '-';
  }
  return shown;
}
// Stop and Start visible (S, C); the target and format lists, the folder button, the file pane
// and its No select button, the CAN text pane's timestamp list and Additional opt. enabled.
std::string States(const App& app) {
  return Show(app, {{IDC_STOP, 0, 'S'},
                    {IDC_START, 0, 'C'},
                    {IDC_TARGET, 0, 't'},
                    {IDC_FORMAT, 0, 'f'},
                    {IDC_BROWSE, 0, 'b'},
                    {IDD_FILE_PANE, 0, 'p'},
                    {IDC_SELECT_NONE, IDD_FILE_PANE, 'n'},
                    {IDC_TIMESTAMP, IDD_PANE_CAN_TEXT, 'c'},
                    {IDC_ADDITIONAL, 0, 'a'}});
}
const std::string kIdle = "-Ctfbpnca";

// A worker held before its first file until a stop has been requested: the stop always meets a
// file that the worker has taken and not yet written.
struct HeldWorker {
  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  void operator()(UiHooks& hooks) const {
    hooks.beforeFile = [started = started, release = release](const fs::path&) {
      SetEvent(started), WaitForSingleObject(release, 30000);
    };
    hooks.onStop = [release = release] { SetEvent(release); };
  }
  bool Started() const { return WaitForSingleObject(started, 30000) == WAIT_OBJECT_0; }
};

std::wstring W(const std::string& utf8) {
  std::u16string text = platform::Utf8ToUtf16(utf8);
  return {text.begin(), text.end()};
}

const std::wstring kTitle = L"Text conversion [dtconv_exbca V1.01]";

class Gui : public ::testing::Test {
 protected:
  void SetUp() override {
    test::SetTimeZone("UTC");
    SetEnvironmentVariableW(L"SOURCE_DATE_EPOCH", std::to_wstring(test::kBannerTime).c_str());
    fs::create_directory(in_);
  }
  std::wstring Args(const std::wstring& more = L"") const {
    return L"-s\"" + settings_.wstring() + L"\" \"" + in_.wstring() + L"\" " + more;
  }
  // A small CAN capture; `seed` varies its frames.
  void Capture(const std::string& name, uint32_t seed, bool corrupt = false) const {
    test::CaptureBuilder b;
    b.formatCode += corrupt ? 1 : 0;
    b.Frame({.timestamp = 1000000 + seed, .dlc = 2, .id = 0x100 + seed, .data = {0x11, 0x22}})
        .Frame(
            {.line = 2, .timestamp = 1000500 + seed, .dlc = 1, .id = 0x200 + seed, .data = {0x33}})
        .Marker(0x81, 1001000 + seed)
        .WriteTo(in_ / name);
  }
  // The names in the input folder, each followed by a blank.
  std::string Listing() const {
    std::string names;
    for (const auto& e : fs::directory_iterator(in_)) names += e.path().filename().string() + " ";
    return names;
  }

  test::TempDir dir_;
  fs::path settings_ = dir_ / "settings.ini", in_ = dir_ / "in";
};

TEST_F(Gui, FileListAndSelectionButtons) {
  for (const char* name : {"b10.DT", "b2.DT", "A1.DT", "#0001.DT", "hidden.DT"}) Capture(name, 1);
  SetFileAttributesW((in_ / "hidden.DT").c_str(), FILE_ATTRIBUTE_HIDDEN);
  fs::create_directory(in_ / "folder.DT");
  std::ofstream(in_ / "sized.DT") << std::string(1536, 'x');
  App app(Args());
  HWND pane = app.Item(IDD_FILE_PANE), list = app.List();
  // No hidden file, no folder; natural order, upper and lower case together.
  std::wstring names;
  for (int i = 0; i < ListView_GetItemCount(list); ++i) names += ItemText(list, i, 0) + L" ";
  EXPECT_EQ(names, L"#0001.DT A1.DT b2.DT b10.DT sized.DT ");
  EXPECT_EQ(ItemText(list, 4, 2), L"1.50 KB");
  EXPECT_NE(ItemText(list, 4, 1), L"") << "date modified";
  EXPECT_EQ(Text(app.Item(IDC_FOLDER)), in_.wstring());
  // After each step: files selected / listed, and Start, Select all, No select and Select inverse
  // enabled (s, a, n, v). Choosing the filter already chosen does not refresh the list.
  const std::pair<std::function<void()>, std::string> steps[] = {
      {[] {}, "0/5 -a-v"},
      {[&] { Select(list, {1}); }, "1/5 sanv"},
      {[&] { Click(pane, IDC_SELECT_ALL); }, "5/5 s-nv"},
      {[&] { Click(pane, IDC_SELECT_INVERSE); }, "0/5 -a-v"},
      {[&] { Click(pane, IDC_SELECT_INVERSE); }, "5/5 s-nv"},
      {[&] { Click(pane, IDC_SELECT_NONE); }, "0/5 -a-v"},
      {[&] {
         Select(list, {0, 2}), Click(pane, IDC_REFRESH);
       },
       "0/5 -a-v"},
      {[&] { Choose(pane, IDC_FILTER, 1); }, "0/1 -a-v"},
      {[&] { Select(list, {0}), Choose(pane, IDC_FILTER, 1); }, "1/1 s-nv"},
      {[&] { Choose(pane, IDC_FILTER, 0); }, "0/5 -a-v"},
  };
  for (const auto& [step, expected] : steps) {
    step();
    EXPECT_EQ(std::to_string(ListView_GetSelectedCount(list)) + "/" +
                  std::to_string(ListView_GetItemCount(list)) + " " +
                  Show(app, {{IDC_START, 0, 's'},
                             {IDC_SELECT_ALL, IDD_FILE_PANE, 'a'},
                             {IDC_SELECT_NONE, IDD_FILE_PANE, 'n'},
                             {IDC_SELECT_INVERSE, IDD_FILE_PANE, 'v'}}),
              expected);
  }
}

TEST_F(Gui, LanguagesColumnsAndTheSelectionLimit) {
  // A name longer than its column: the columns are never fitted to their texts.
  for (const char* name : {"a_name_longer_than_its_column.DT", "b.DT", "c.DT", "d.DT"}) {
    Capture(name, 2);
  }
  NONCLIENTMETRICSW system{sizeof system};
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof system, &system, 0);
  int unscaled = 0;
  for (const test::Row& row : test::ReadTable("gui_languages.txt")) {
    // The message font at the row's share of its height, so that the dialogs are rescaled; Wine
    // keeps the change in its server, which ends with the test.
    NONCLIENTMETRICSW metrics = system;
    metrics.lfMessageFont.lfHeight = system.lfMessageFont.lfHeight * std::stoi(row[1]) / 100;
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    App app(Args(W(row[0])));
    EXPECT_EQ(Text(app.main) + L" | " + Text(app.Item(IDC_START)) + L" | " +
                  Entries(app.Item(IDC_TARGET)),
              W(row[2] + " | " + row[3] + " | " + row[4]));
    // Stop lies exactly over Start, whatever the language and the font.
    RECT start, stop;
    GetWindowRect(app.Item(IDC_START), &start), GetWindowRect(app.Item(IDC_STOP), &stop);
    EXPECT_TRUE(EqualRect(&start, &stop)) << row[0];
    for (bool refresh : {false, true}) {
      if (refresh) Click(app.Item(IDD_FILE_PANE), IDC_REFRESH);
      RECT client;
      GetClientRect(app.List(), &client);
      unscaled = unscaled ? unscaled : client.right;
      EXPECT_EQ(client.right > unscaled * 5 / 4, row[1] != "100") << "rescaled";
      // What the scroll bar and 8 pixels leave: 38 %, 41 % and the rest.
      double room = client.right - GetSystemMetrics(SM_CXVSCROLL) - 8;
      for (auto [column, share] : {std::pair{0, 0.38}, {1, 0.41}, {2, 0.21}}) {
        EXPECT_NEAR(ListView_GetColumnWidth(app.List(), column), room * share, 1.0) << row[0];
      }
    }
    Click(app.Item(IDD_FILE_PANE), IDC_SELECT_ALL);
    Click(app.main, IDC_START);
    EXPECT_TRUE(app.WaitIdle());
    Strings shown = {W(row[5]) + L" | " + W(row[2])};
    EXPECT_EQ(app.messages, row[5] == "-" ? Strings{} : shown);
    EXPECT_EQ(std::distance(fs::directory_iterator(in_), {}), row[5] == "-" ? 8 : 4);
  }
  SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof system, &system, 0);
}

TEST_F(Gui, ConversionDisablesTheSettingsAndWritesEachFile) {
  const std::string names[] = {"first", "second", "third"};
  for (uint32_t i = 0; i < 3; ++i) Capture(names[i] + ".DT", i + 1);
  // What the controls show while the worker runs, read by the worker before each file.
  std::string during;
  App app(Args(), [&](UiHooks& hooks) {
    hooks.beforeFile = [&](const fs::path&) { during += States(app) + " "; };
  });
  Click(app.Item(IDD_FILE_PANE), IDC_SELECT_ALL);
  Click(app.main, IDC_START);
  ASSERT_TRUE(app.WaitIdle());
  EXPECT_EQ(during, "S-------a S-------a S-------a ") << "only Additional opt. stays usable";
  EXPECT_EQ(States(app), kIdle);
  EXPECT_EQ(gPositions, (std::vector<int>{0, 1, 3, 5, 6, 0}));
  EXPECT_EQ(app.messages, Strings{});
  for (const std::string& name : names) {
    std::string bytes = test::ReadFileBytes(in_ / (name + ".txt"));
    EXPECT_EQ(test::CompareGolden("ui/" + name + ".txt", bytes), "");
  }
}

TEST_F(Gui, StopCutsTheFileInFlightAndFailuresShowTheirMessage) {
  Capture("a.DT", 8), Capture("b.DT", 9), Capture("c.DT", 4, true), Capture("d.DT", 6);
  fs::create_directory(in_ / "d.txt");
  HeldWorker held;
  App app(Args(), held);
  Select(app.List(), {0, 1});
  Click(app.main, IDC_START);
  ASSERT_TRUE(held.Started());
  Click(app.main, IDC_STOP);
  // The Stop button returns only after the worker has ended.
  EXPECT_EQ(States(app), kIdle);
  // The worker posted its own end before it ended; once that is handled, the bar has been reset
  // by Start, by Stop and once more by that end, nothing else has changed and no message shown.
  // (The position the worker posted for its file came after the stop and is dropped.)
  ASSERT_TRUE(app.Drain());
  EXPECT_EQ(gPositions, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(States(app), kIdle);
  EXPECT_EQ(app.messages, Strings{});
  EXPECT_EQ(Listing(), "a.DT b.DT c.DT d.DT d.txt ") << "no partial output, no second file";
  // The next conversions run: a corrupt capture, one whose output cannot be written, a good one.
  for (int item : {2, 3, 1}) {
    Click(app.Item(IDD_FILE_PANE), IDC_SELECT_NONE);
    Select(app.List(), {item});
    Click(app.main, IDC_START);
    ASSERT_TRUE(app.WaitIdle());
  }
  EXPECT_EQ(gPositions.back(), 0);
  EXPECT_EQ(app.messages,
            (Strings{L"The specified data file is unsupported or corrupt. | " + kTitle,
                     L"Cannot convert. | " + kTitle}));
  EXPECT_EQ(Listing(), "a.DT b.DT b.txt c.DT d.DT d.txt ");
}

TEST_F(Gui, ClosingStopsTheConversionAndTheChoicesAreKept) {
  Capture("#1.DT", 1);
  HeldWorker held;
  App app(Args(), held);
  Choose(app.Item(IDD_PANE_CAN_TEXT), IDC_TIMESTAMP, 0);
  Choose(app.main, IDC_TARGET, 1);
  Choose(app.main, IDC_FORMAT, 1);
  Click(app.main, IDC_ADDITIONAL);
  Choose(app.Item(IDD_FILE_PANE), IDC_FILTER, 1);
  Select(app.List(), {0});
  Click(app.main, IDC_START);
  ASSERT_TRUE(held.Started());
  EXPECT_EQ(app.Close(), 0);
  EXPECT_EQ(Listing(), "#1.DT ");
  // No folder on the command line: the saved one is shown, with every saved choice (filter,
  // target, format, the CAN text pane's timestamp; Additional opt. on, its "..." enabled).
  App again(L"-s\"" + settings_.wstring() + L"\"");
  EXPECT_EQ(Text(again.Item(IDC_FOLDER)), in_.wstring());
  EXPECT_EQ(std::to_string(Selection(again.Item(IDC_FILTER, IDD_FILE_PANE))) +
                std::to_string(Selection(again.Item(IDC_TARGET))) +
                std::to_string(Selection(again.Item(IDC_FORMAT))) +
                std::to_string(Selection(again.Item(IDC_TIMESTAMP, IDD_PANE_CAN_TEXT))) +
                Show(again, {{IDC_ADDITIONAL_OPEN, 0, 'o'}}),
            "1110o");
  EXPECT_EQ(IsDlgButtonChecked(again.main, IDC_ADDITIONAL), BST_CHECKED);
}

TEST_F(Gui, SettingControlsAndTheAdditionalSettings) {
  Capture("extra.DT", 9);
  App app(Args());
  // Target, then format: the format list and its entry, and the setting pane shown.
  for (const test::Row& row : test::ReadTable("gui_panes.txt")) {
    Choose(app.main, IDC_TARGET, std::stoi(row[0]));
    std::wstring shown = Entries(app.Item(IDC_FORMAT)) + L" " +
                         std::to_wstring(Selection(app.Item(IDC_FORMAT))) + L" ";
    Choose(app.main, IDC_FORMAT, std::stoi(row[3]));
    for (int pane : kSettingPanes) shown += IsWindowVisible(app.Item(pane)) ? L"+" : L"-";
    EXPECT_EQ(shown, W(row[1] + " " + row[2] + " " + row[4]));
  }
  // Check boxes are toggled by the program: two clicks bring the mark back.
  for (int id : {IDC_ELAPSED, IDC_DELTA, IDC_ADD_ANALOG, IDC_ADD_GNSS}) {
    for (UINT mark : {BST_CHECKED, BST_UNCHECKED}) {
      Click(app.Item(IDD_PANE_CAN_CSV), id);
      EXPECT_EQ(IsDlgButtonChecked(app.Item(IDD_PANE_CAN_CSV), id), mark) << id;
    }
  }
  // The CAN text and PCAP panes share their signal line.
  Choose(app.main, IDC_FORMAT, 2);
  Choose(app.Item(IDD_PANE_CAN_PCAP), IDC_SIGNAL_LINE, 2);
  Choose(app.main, IDC_FORMAT, 0);
  EXPECT_EQ(Selection(app.Item(IDC_SIGNAL_LINE, IDD_PANE_CAN_TEXT)), 2);
  EXPECT_EQ(Entries(app.Item(IDC_TIMESTAMP, IDD_PANE_CAN_TEXT)) + L" | " +
                Entries(app.Item(IDC_TIMESTAMP, IDD_PANE_CAN_CSV)),
            L"Micro sec,Milli sec,Second,Delta time | Micro sec,Milli sec,Second");
  // The additional settings: the "..." button only with Additional opt. on.
  Choose(app.main, IDC_FORMAT, 1);  // CAN .csv
  EXPECT_EQ(Show(app, {{IDC_ADDITIONAL_OPEN, 0, 'o'}}), "-");
  Click(app.main, IDC_ADDITIONAL);
  HWND dialog = app.OpenAdditional();
  EXPECT_EQ(Text(dialog) + L" | " + Entries(GetDlgItem(dialog, IDC_OUT_CODE)) + L" | " +
                Text(GetDlgItem(dialog, IDC_DELIMITER)),
            L"Conversion additional setting | ASCII/JIS,UTF-8 (without BOM),UTF-8 (with BOM) | ,");
  // Centred over the main dialog.
  RECT outer, inner;
  GetWindowRect(app.main, &outer), GetWindowRect(dialog, &inner);
  EXPECT_LE(std::abs(outer.left + outer.right - inner.left - inner.right), 1);
  EXPECT_LE(std::abs(outer.top + outer.bottom - inner.top - inner.bottom), 1);
  Choose(dialog, IDC_OUT_CODE, 2);
  Choose(dialog, IDC_LINE_FEED, 1);
  // A delimiter typed and left with the Close button is kept; reopened, the dialog shows it all.
  SetWindowTextW(GetDlgItem(dialog, IDC_DELIMITER), L";");
  app.CloseAdditional(dialog);
  dialog = app.OpenAdditional();
  EXPECT_EQ(std::to_wstring(Selection(GetDlgItem(dialog, IDC_OUT_CODE))) +
                std::to_wstring(Selection(GetDlgItem(dialog, IDC_LINE_FEED))) +
                Text(GetDlgItem(dialog, IDC_DELIMITER)),
            L"21;");
  app.CloseAdditional(dialog);
  Select(app.List(), {0});
  Click(app.main, IDC_START);
  ASSERT_TRUE(app.WaitIdle());
  // UTF-8 with byte order mark, LF line ends, ";" between the cells.
  std::string bytes = test::ReadFileBytes(in_ / "extra.csv");
  EXPECT_EQ(test::CompareGolden("ui/extra_utf8_bom_lf_semicolon.csv", bytes), "");
}

// The window as it shows itself, frame included, as a BMP file: painted and copied on the
// user-interface thread, so that every control has painted before the copy.
void Picture(const App& app, HWND window, const fs::path& path) {
  RECT r;
  GetWindowRect(window, &r);
  BITMAPINFOHEADER info{
      sizeof info, r.right - r.left, r.bottom - r.top, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::string pixels((info.biWidth * 3 + 3) / 4 * 4 * info.biHeight, '\0');
  app.OnUiThread([&] {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HDC dc = GetWindowDC(window), memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, info.biWidth, info.biHeight);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, info.biWidth, info.biHeight, dc, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    EXPECT_EQ(GetDIBits(memory, bitmap, 0, info.biHeight, pixels.data(),
                        reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS),
              info.biHeight);
    DeleteObject(bitmap), DeleteDC(memory), ReleaseDC(window, dc);
  });
  BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof info + pixels.size()), 0, 0,
                        sizeof file + sizeof info};
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<char*>(&file), sizeof file)
          .write(reinterpret_cast<char*>(&info), sizeof info)
      << pixels;
  EXPECT_TRUE(out.good()) << path;
}

// The main dialog for each target, in a realistic state (two captures selected, the additional
// output options in use), and the additional settings dialog.
void Pictures(const fs::path& folder, const std::wstring& captures, const std::wstring& tag) {
  App app(L"-s\"" + (folder / "screenshots.ini").wstring() + L"\" -l" +
          (tag == L"ja" ? L"1041" : L"1033") + L" \"" + captures + L"\"");
  Select(app.List(), {0, 5});
  Click(app.main, IDC_ADDITIONAL);
  // Drawn as the active window (its default button framed), once the window manager made it so.
  EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == app.main; }));
  for (auto [name, target, format] :
       {std::tuple{L"can", 0, 1}, {L"analog", 1, 1}, {L"gnss", 2, 2}, {L"wave", 3, 0}}) {
    Choose(app.main, IDC_TARGET, target);
    Choose(app.main, IDC_FORMAT, format);
    Picture(app, app.main, folder / (L"main_" + tag + L"_" + name + L".bmp"));
  }
  HWND dialog = app.OpenAdditional();
  Picture(app, dialog, folder / (L"additional_" + tag + L".bmp"));
  app.CloseAdditional(dialog);
  EXPECT_EQ(app.Close(), 0);
  fs::remove(folder / "screenshots.ini");
}

}  // namespace
}  // namespace dtconv::ui

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && argv[1] == std::wstring(L"--screenshots")) {
    dtconv::ui::Pictures(argv[2], argv[3], argv[4]);
    return testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed() ? 1 : 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
