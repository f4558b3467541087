// The desktop program driven through its real dialogs, under Wine: the whole program runs on a
// user-interface thread of its own, and the test works its controls with window messages, as a
// person would with the mouse, and reads back what they show (as UTF-8); message boxes are recorded
// instead of shown. The rules behind the controls are ui_logic_test's; here they must reach the
// dialogs. Every wait is bounded. A message sent to the user-interface thread (SendMessage from the
// test's thread) is handled only between its messages, so when it returns, what the thread was
// doing is done.
//
// gui_test --screenshots OUTPUT_FOLDER CAPTURE_FOLDER en|ja writes pictures of the main dialog for
// each target and of the additional settings dialog instead, as BMP files (make screenshots).
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <windowsx.h>

#include <future>

#include "platform/unicode.h"
#include "run_converter.h"
#include "table.h"
#include "test_files.h"
#include "ui/resource_ids.h"
#include "ui/ui_app.h"

namespace dtconv::ui {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// Polls `done` until it holds; false after a minute.
bool Await(const std::function<bool()>& done) {
  for (int i = 0; i < 12000 && !done(); ++i) Sleep(5);
  return done();
}

std::string U8(const std::wstring& text) {
  return platform::Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

// A window's text or, with an item, the text of one of its cells in a list view.
std::string Text(HWND window, int item = -1, int column = 0) {
  wchar_t text[512] = {};
  if (item < 0)
    GetWindowTextW(window, text, 512);
  else
    ListView_GetItemText(window, item, column, text, 512);
  return U8(text);
}

// The entries of a drop-down list, joined by ",".
std::string Entries(HWND combo) {
  std::string entries;
  wchar_t text[256];
  for (int i = 0; ComboBox_GetLBText(combo, i, text) >= 0; ++i)
    entries += (i ? "," : "") + U8(text);
  return entries;
}

// The visible dialog that has a control `id`, or none.
HWND FindDialog(int id) {
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", nullptr));)
    if (IsWindowVisible(w) && GetDlgItem(w, id)) return w;
  return nullptr;
}

// The progress bar's positions, recorded by a subclass of the bar, which also runs functions
// posted to it on the user-interface thread.
constexpr UINT kRun = WM_APP + 0x300, kWarning = MB_ICONWARNING | MB_OK;
std::vector<int> gPositions;
WNDPROC gBarProc = nullptr;
HANDLE gRan = CreateEventW(nullptr, FALSE, FALSE, nullptr);
LRESULT CALLBACK RecordingBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRun) return (*reinterpret_cast<std::function<void()>*>(lParam))(), SetEvent(gRan);
  if (message == PBM_SETPOS) gPositions.push_back(static_cast<int>(wParam));
  return CallWindowProcW(gBarProc, hwnd, message, wParam, lParam);
}

HWND Item(HWND main, int id, int pane = 0) {
  return GetDlgItem(pane ? GetDlgItem(main, pane) : main, id);
}

// For each control, its letter where the control is enabled or, for a capital letter, visible;
// "-" where it is not.
std::string Show(std::initializer_list<HWND> controls, std::string letters) {
  for (auto [w, c] = std::pair{controls.begin(), letters.begin()}; c != letters.end(); ++w, ++c)
    *c = (isupper(*c) ? IsWindowVisible(*w) : IsWindowEnabled(*w)) ? *c : '-';
  return letters;
}
// Stop and Start visible (S, C); Start, the target and format lists, the folder button, the file
// pane and its No select button, the CAN text pane's timestamp list and Additional opt. enabled.
std::string States(HWND m) {
  return Show({Item(m, IDC_STOP), Item(m, IDC_START), Item(m, IDC_START), Item(m, IDC_TARGET),
               Item(m, IDC_FORMAT), Item(m, IDC_BROWSE), Item(m, IDD_FILE_PANE),
               Item(m, IDC_SELECT_NONE, IDD_FILE_PANE), Item(m, IDC_TIMESTAMP, IDD_PANE_CAN_TEXT),
               Item(m, IDC_ADDITIONAL)},
              "SCstfbpnca");
}
const std::string kIdle = "-Cstfbpnca";

// One run of the program, from its command line (after the program path) to the close of its
// main dialog. Once constructed, the main dialog shows its filled file list. A held worker waits
// before its first file until a stop has been requested: the stop then always meets a file that
// the worker has taken and not yet written.
struct App {
  explicit App(const std::string& arguments, bool hold = false) {
    UiHooks hooks;
    hooks.messageBox = [this](HWND, const std::wstring& text, const std::wstring& caption, UINT t) {
      messages.push_back(U8(text) + " | " + U8(caption) + (t == kWarning ? "" : " | no warning"));
      return IDOK;
    };
    hooks.beforeFile = [this, hold](const std::filesystem::path&) {
      during += States(main) + " ";
      if (SetEvent(started) && hold) WaitForSingleObject(release, 30000);
    };
    hooks.onStop = [this] { SetEvent(release); };
    std::u16string line = platform::Utf8ToUtf16("\"C:\\dtconv\\dtconv_exbca.exe\" " + arguments);
    exit = std::async(std::launch::async, [line, hooks] { return RunApplication(line, hooks); });
    // The list is filled once the dialog is up: its header appears then.
    EXPECT_TRUE(Await([&] {
      return (main = FindDialog(IDC_START)) && IsWindow(List()) &&
             !(GetWindowLongPtrW(List(), GWL_STYLE) & LVS_NOCOLUMNHEADER);
    })) << "the main dialog did not show its file list";
    gPositions.clear();
    gBarProc = SubclassWindow(Item(IDC_PROGRESS), RecordingBarProc);
  }
  ~App() { Close(), CloseHandle(started), CloseHandle(release); }
  // Closes the main dialog as the title-bar button does; returns the program's exit code (-2
  // once it has been returned). A program that does not end ends the test process (status 3).
  int Close() {
    PostMessageW(main, WM_CLOSE, 0, 0);
    if (!exit.valid()) return -2;
    if (exit.wait_for(std::chrono::minutes(1)) != std::future_status::ready) ExitProcess(3);
    return exit.get();
  }
  HWND Item(int id, int pane = 0) const { return ui::Item(main, id, pane); }
  HWND List() const { return Item(IDC_FILE_LIST, IDD_FILE_PANE); }
  // Runs `run` on the user-interface thread once it has handled every message posted to it so
  // far; returns once it has run.
  bool OnUiThread(std::function<void()> run = [] {}) {
    job = std::move(run);
    PostMessageW(Item(IDC_PROGRESS), kRun, 0, reinterpret_cast<LPARAM>(&job));
    return WaitForSingleObject(gRan, 30000) == WAIT_OBJECT_0;
  }
  // Waits for the end of a conversion: Start shown again by a handler that has returned.
  bool WaitIdle() {
    return Await([&] { return IsWindowVisible(Item(IDC_START)); }) && OnUiThread();
  }
  // Start clicked, and the conversion waited for.
  bool Convert();
  // The additional settings dialog, which is modal: the click is posted, the dialog looked for.
  HWND OpenAdditional() const {
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_ADDITIONAL_OPEN)));
    PostMessageW(main, WM_COMMAND, IDC_ADDITIONAL_OPEN, 0);
    EXPECT_TRUE(Await([] { return FindDialog(IDC_DELIMITER) != nullptr; }));
    return FindDialog(IDC_DELIMITER);
  }
  void CloseAdditional(HWND dialog) const {
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(Await([&] { return !IsWindow(dialog); }));
  }

  bool Started() const { return WaitForSingleObject(started, 30000) == WAIT_OBJECT_0; }

  std::future<int> exit;
  HWND main = nullptr;
  Strings messages;  // "text | caption" of each message box shown (each a warning with OK)
  std::function<void()> job;
  std::string during;  // what the controls show each time the worker begins a file
  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

// A click on a push button or check box or, with an entry, the choice of that entry of a
// drop-down list, as a person can make them: only on a visible, enabled control.
void Click(HWND dialog, int id, int entry = -1) {
  HWND control = GetDlgItem(dialog, id);
  ASSERT_TRUE(IsWindowVisible(control) && IsWindowEnabled(control)) << id << " cannot be used";
  if (entry >= 0) ComboBox_SetCurSel(control, entry);
  FORWARD_WM_COMMAND(dialog, id, control, entry >= 0 ? CBN_SELCHANGE : BN_CLICKED, SendMessageW);
}

bool App::Convert() { return Click(main, IDC_START), WaitIdle(); }

void Select(HWND list, auto... items) {
  for (int item : {items...}) ListView_SetItemState(list, item, LVIS_SELECTED, LVIS_SELECTED);
}

const std::string kTitle = "Text conversion [dtconv_exbca V1.01]";

struct Gui : ::testing::Test {
  void SetUp() override {
    test::SetTimeZone("UTC");
    SetEnvironmentVariableW(L"SOURCE_DATE_EPOCH", std::to_wstring(test::kBannerTime).c_str());
    fs::create_directory(in_);
  }
  std::string Args(const std::string& more = "") const {
    return "-s\"" + settings_.string() + "\" \"" + in_.string() + "\" " + more;
  }
  // A small CAN capture; the seed `s` varies its frames.
  void Capture(const std::string& name, uint32_t s, bool corrupt = false) const {
    test::CaptureBuilder b;
    b.formatCode += corrupt ? 1 : 0;
    b.Frame({.timestamp = 1000000 + s, .dlc = 2, .id = 0x100 + s, .data = {0x11, 0x22}})
        .Frame({.line = 2, .timestamp = 1000500 + s, .dlc = 1, .id = 0x200 + s, .data = {0x33}})
        .Marker(0x81, 1001000 + s)
        .WriteTo(in_ / name);
  }
  // The number of files and folders in the input folder.
  long Count() const { return std::distance(fs::directory_iterator(in_), {}); }

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
  // No hidden file, no folder; natural order, upper and lower case together; a date is shown.
  std::string names;
  for (int i = 0; i < ListView_GetItemCount(list); ++i) names += Text(list, i, 0) + " ";
  EXPECT_EQ(names + Text(list, 4, 2), "#0001.DT A1.DT b2.DT b10.DT sized.DT 1.50 KB");
  EXPECT_NE(Text(list, 4, 1), "");
  EXPECT_EQ(Text(app.Item(IDC_FOLDER)), in_.string());
  // After each step: files selected / listed, and Start, Select all, No select and Select inverse
  // enabled (s, a, n, v). Choosing the filter already chosen does not refresh the list.
  const std::pair<std::function<void()>, std::string> steps[] = {
      {[] {}, "0/5 -a-v"},
      {[&] { Select(list, 1); }, "1/5 sanv"},
      {[&] { Click(pane, IDC_SELECT_ALL); }, "5/5 s-nv"},
      {[&] { Click(pane, IDC_SELECT_INVERSE); }, "0/5 -a-v"},
      {[&] { Click(pane, IDC_SELECT_INVERSE); }, "5/5 s-nv"},
      {[&] { Click(pane, IDC_SELECT_NONE); }, "0/5 -a-v"},
      {[&] { Select(list, 0, 2); }, "2/5 sanv"},
      {[&] { Click(pane, IDC_REFRESH); }, "0/5 -a-v"},
      {[&] { Click(pane, IDC_FILTER, 1); }, "0/1 -a-v"},
      {[&] { Select(list, 0), Click(pane, IDC_FILTER, 1); }, "1/1 s-nv"},
      {[&] { Click(pane, IDC_FILTER, 0); }, "0/5 -a-v"},
  };
  for (const auto& [step, expected] : steps) {
    step();
    EXPECT_EQ(std::to_string(ListView_GetSelectedCount(list)) + "/" +
                  std::to_string(ListView_GetItemCount(list)) + " " +
                  Show({app.Item(IDC_START), GetDlgItem(pane, IDC_SELECT_ALL),
                        GetDlgItem(pane, IDC_SELECT_NONE), GetDlgItem(pane, IDC_SELECT_INVERSE)},
                       "sanv"),
              expected);
  }
}

TEST_F(Gui, LanguagesColumnsAndTheSelectionLimit) {
  // A name longer than its column: the columns are never fitted to their texts.
  for (const char* name : {"a_name_longer_than_its_column.DT", "b.DT", "c.DT", "d.DT"})
    Capture(name, 2);
  NONCLIENTMETRICSW system{sizeof system};
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof system, &system, 0);
  int unscaled = 0;
  for (const test::Row& row : test::ReadUiTable("gui_languages.txt")) {
    // The message font at the row's share of its height, so that the dialogs are rescaled; Wine
    // keeps the change in its server, which ends with the test.
    NONCLIENTMETRICSW metrics = system;
    metrics.lfMessageFont.lfHeight = system.lfMessageFont.lfHeight * std::stoi(row[1]) / 100;
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    App app(Args(row[0]));
    EXPECT_EQ(
        Text(app.main) + " | " + Text(app.Item(IDC_START)) + " | " + Entries(app.Item(IDC_TARGET)),
        row[2] + " | " + row[3] + " | " + row[4]);
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
      for (auto [column, share] : {std::pair{0, 0.38}, {1, 0.41}, {2, 0.21}})
        EXPECT_NEAR(ListView_GetColumnWidth(app.List(), column), room * share, 1.0) << row[0];
    }
    Click(app.Item(IDD_FILE_PANE), IDC_SELECT_ALL);
    EXPECT_TRUE(app.Convert());
    EXPECT_EQ(app.messages, row[5] == "-" ? Strings{} : Strings{row[5] + " | " + row[2]});
    EXPECT_EQ(Count(), row[5] == "-" ? 8 : 4);
  }
}

TEST_F(Gui, StopAndCloseCutTheFileInFlightFailuresShowTheirMessageChoicesAreKept) {
  Capture("#a.DT", 8), Capture("b.DT", 9), Capture("c.DT", 4, true), Capture("d.DT", 6);
  fs::create_directory(in_ / "d.txt");
  App app(Args(), true);
  Select(app.List(), 0, 1), Click(app.main, IDC_START);
  ASSERT_TRUE(app.Started());
  Click(app.main, IDC_STOP);
  // The Stop button returns only after the worker has ended.
  EXPECT_EQ(States(app.main), kIdle);
  // The worker posted its own end before it ended; once that is handled, the bar has been reset
  // by Start, by Stop and once more by that end, nothing else has changed and no message shown.
  // (The position the worker posted for its file came after the stop and is dropped.)
  ASSERT_TRUE(app.OnUiThread());
  EXPECT_EQ(gPositions, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(States(app.main), kIdle);
  EXPECT_EQ(app.messages, Strings{});
  EXPECT_EQ(Count(), 5) << "no partial output, no second file";
  // The next conversions run: a corrupt capture, one whose output cannot be written, a good one.
  for (int item : {2, 3, 1}) {
    Click(app.Item(IDD_FILE_PANE), IDC_SELECT_NONE), Select(app.List(), item);
    ASSERT_TRUE(app.Convert());
    EXPECT_EQ(gPositions.back(), 0);
  }
  EXPECT_EQ(app.messages, (Strings{"The specified data file is unsupported or corrupt. | " + kTitle,
                                   "Cannot convert. | " + kTitle}));
  EXPECT_EQ(Count(), 6);
  EXPECT_TRUE(fs::exists(in_ / "b.txt"));
  // Other choices, and a held conversion that closing the dialog stops.
  ResetEvent(app.started), ResetEvent(app.release);
  Click(app.Item(IDD_PANE_CAN_TEXT), IDC_TIMESTAMP, 0), Click(app.main, IDC_TARGET, 1);
  Click(app.main, IDC_FORMAT, 1), Click(app.main, IDC_ADDITIONAL);
  Click(app.Item(IDD_FILE_PANE), IDC_FILTER, 1), Select(app.List(), 0), Click(app.main, IDC_START);
  ASSERT_TRUE(app.Started());
  EXPECT_EQ(app.Close(), 0);
  EXPECT_EQ(Count(), 6);
  // No folder on the command line: the saved one is shown, with every saved choice (filter,
  // target, format, the CAN text pane's timestamp; Additional opt. on, its "..." enabled).
  App again("-s\"" + settings_.string() + "\"");
  EXPECT_EQ(Text(again.Item(IDC_FOLDER)), in_.string());
  auto selected = [&](int id, int pane = 0) { return ComboBox_GetCurSel(again.Item(id, pane)); };
  EXPECT_EQ(Show({again.Item(IDC_ADDITIONAL_OPEN)}, "o") +
                std::to_string(IsDlgButtonChecked(again.main, IDC_ADDITIONAL)),
            "o1");
  EXPECT_EQ((std::vector{selected(IDC_FILTER, IDD_FILE_PANE), selected(IDC_TARGET),
                         selected(IDC_FORMAT), selected(IDC_TIMESTAMP, IDD_PANE_CAN_TEXT)}),
            (std::vector{1, 1, 1, 0}));
}

TEST_F(Gui, ConversionDisablesTheSettingsThenTheSettingControlsAndTheAdditionalSettings) {
  const std::string names[] = {"first", "second", "third"};
  for (uint32_t i = 0; i < 3; ++i) Capture(names[i] + ".DT", i + 1);
  Capture("extra.DT", 9);
  App app(Args());
  Select(app.List(), 1, 2, 3);
  ASSERT_TRUE(app.Convert());
  // Stop shown, Start hidden; of the rest, only Additional opt. is usable.
  EXPECT_EQ(app.during, "S-s------a S-s------a S-s------a ");
  EXPECT_EQ(States(app.main), kIdle);
  EXPECT_EQ(gPositions, (std::vector<int>{0, 1, 3, 5, 6, 0}));
  EXPECT_EQ(app.messages, Strings{});
  for (const std::string& name : names) {
    std::string bytes = test::ReadFileBytes(in_ / (name + ".txt"));
    EXPECT_EQ(test::CompareGolden("ui/" + name + ".txt", bytes), "");
  }
  // Target, then format: the format list and its entry, and the setting panes shown.
  for (const test::Row& row : test::ReadUiTable("gui_panes.txt")) {
    Click(app.main, IDC_TARGET, std::stoi(row[0]));
    HWND format = app.Item(IDC_FORMAT);
    std::string shown = Entries(format) + " " + std::to_string(ComboBox_GetCurSel(format)) + " ";
    Click(app.main, IDC_FORMAT, std::stoi(row[3]));
    for (int pane = IDD_PANE_CAN_TEXT; pane <= IDD_PANE_CAN_PCAP; ++pane)
      shown += IsWindowVisible(app.Item(pane)) ? "+" : "-";
    EXPECT_EQ(shown, row[1] + " " + row[2] + " " + row[4]);
  }
  // Check boxes are toggled by the program: two clicks bring the mark back.
  for (int id : {IDC_ELAPSED, IDC_DELTA, IDC_ADD_ANALOG, IDC_ADD_GNSS}) {
    for (UINT mark : {BST_CHECKED, BST_UNCHECKED}) {
      Click(app.Item(IDD_PANE_CAN_CSV), id);
      EXPECT_EQ(IsDlgButtonChecked(app.Item(IDD_PANE_CAN_CSV), id), mark) << id;
    }
  }
  // The CAN text and PCAP panes share their signal line.
  Click(app.main, IDC_FORMAT, 2), Click(app.Item(IDD_PANE_CAN_PCAP), IDC_SIGNAL_LINE, 2);
  Click(app.main, IDC_FORMAT, 0);
  EXPECT_EQ(ComboBox_GetCurSel(app.Item(IDC_SIGNAL_LINE, IDD_PANE_CAN_TEXT)), 2);
  EXPECT_EQ(Entries(app.Item(IDC_TIMESTAMP, IDD_PANE_CAN_TEXT)) + " | " +
                Entries(app.Item(IDC_TIMESTAMP, IDD_PANE_CAN_CSV)),
            "Micro sec,Milli sec,Second,Delta time | Micro sec,Milli sec,Second");
  // Additional opt.: the program marks the box, and enables "..." only while it is on.
  Click(app.main, IDC_FORMAT, 1);  // CAN .csv
  std::string marks;
  for (int i = 0; i < 3; ++i, Click(app.main, IDC_ADDITIONAL)) {
    marks += std::to_string(IsDlgButtonChecked(app.main, IDC_ADDITIONAL));
    marks += Show({app.Item(IDC_ADDITIONAL_OPEN)}, "o");
  }
  EXPECT_EQ(marks, "0-1o0-");
  HWND dialog = app.OpenAdditional();
  EXPECT_EQ(Text(dialog) + " | " + Entries(GetDlgItem(dialog, IDC_OUT_CODE)) + " | " +
                Text(GetDlgItem(dialog, IDC_DELIMITER)),
            "Conversion additional setting | ASCII/JIS,UTF-8 (without BOM),UTF-8 (with BOM) | ,");
  // Centred over the main dialog.
  RECT outer, inner;
  GetWindowRect(app.main, &outer), GetWindowRect(dialog, &inner);
  EXPECT_LE(std::abs(outer.left + outer.right - inner.left - inner.right), 1);
  EXPECT_LE(std::abs(outer.top + outer.bottom - inner.top - inner.bottom), 1);
  Click(dialog, IDC_OUT_CODE, 2), Click(dialog, IDC_LINE_FEED, 1);
  // A delimiter typed and left with the Close button is kept; reopened, the dialog shows it all.
  SetWindowTextW(GetDlgItem(dialog, IDC_DELIMITER), L";");
  app.CloseAdditional(dialog);
  dialog = app.OpenAdditional();
  EXPECT_EQ(std::to_string(ComboBox_GetCurSel(GetDlgItem(dialog, IDC_OUT_CODE))) +
                std::to_string(ComboBox_GetCurSel(GetDlgItem(dialog, IDC_LINE_FEED))) +
                Text(GetDlgItem(dialog, IDC_DELIMITER)),
            "21;");
  app.CloseAdditional(dialog), Click(app.Item(IDD_FILE_PANE), IDC_SELECT_NONE);
  Select(app.List(), 0);
  ASSERT_TRUE(app.Convert());
  // UTF-8 with byte order mark, LF line ends, ";" between the cells.
  std::string bytes = test::ReadFileBytes(in_ / "extra.csv");
  EXPECT_EQ(test::CompareGolden("ui/extra_utf8_bom_lf_semicolon.csv", bytes), "");
}

// The window as it shows itself, frame included, as a BMP file: painted and copied on the
// user-interface thread, so that every control has painted before the copy.
void Picture(App& app, HWND window, const fs::path& path) {
  RECT r;
  GetWindowRect(window, &r);
  BITMAPINFOHEADER info{sizeof info, r.right - r.left, r.bottom - r.top, 1, 24, BI_RGB};
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                    &pixels, nullptr, 0);
  HDC memory = CreateCompatibleDC(nullptr);
  SelectObject(memory, bitmap);
  app.OnUiThread([&] {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HDC dc = GetWindowDC(window);
    EXPECT_TRUE(BitBlt(memory, 0, 0, info.biWidth, info.biHeight, dc, 0, 0, SRCCOPY));
    ReleaseDC(window, dc);
  });
  DWORD size = (3 * info.biWidth + 3) / 4 * 4 * info.biHeight, offset = 14 + sizeof info;
  BITMAPFILEHEADER file{0x4D42, offset + size, 0, 0, offset};  // 14 bytes, as stored
  EXPECT_TRUE(std::ofstream(path, std::ios::binary)
                  .write(reinterpret_cast<char*>(&file), sizeof file)
                  .write(reinterpret_cast<char*>(&info), sizeof info)
                  .write(static_cast<char*>(pixels), size));
  DeleteDC(memory), DeleteObject(bitmap);
}

// The main dialog for each target, in a realistic state (two captures selected, the additional
// output options in use), and the additional settings dialog.
void Pictures(const fs::path& folder, const std::string& captures, const std::string& tag) {
  App app("-s\"" + (folder / "screenshots.ini").string() + "\" -l" +
          (tag == "ja" ? "1041" : "1033") + " \"" + captures + "\"");
  Select(app.List(), 0, 5), Click(app.main, IDC_ADDITIONAL);
  // Drawn as the active window, once the window manager has made it so.
  EXPECT_TRUE(Await([&] { return GetForegroundWindow() == app.main; }));
  for (auto [name, target, format] :
       {std::tuple{"can", 0, 1}, {"analog", 1, 1}, {"gnss", 2, 2}, {"wave", 3, 0}}) {
    Click(app.main, IDC_TARGET, target), Click(app.main, IDC_FORMAT, format);
    Picture(app, app.main, folder / ("main_" + tag + "_" + name + ".bmp"));
  }
  HWND dialog = app.OpenAdditional();
  Picture(app, dialog, folder / ("additional_" + tag + ".bmp"));
  app.CloseAdditional(dialog);
  EXPECT_EQ(app.Close(), 0);
  fs::remove(folder / "screenshots.ini");
}

}  // namespace
}  // namespace dtconv::ui

int main(int argc, char** argv) {
  if (argc == 5 && argv[1] == std::string("--screenshots")) {
    dtconv::ui::Pictures(argv[2], argv[3], argv[4]);
    return testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed() ? 1 : 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
