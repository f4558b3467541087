#include "gui_driver.h"

#include <commctrl.h>

#include <chrono>
#include <string>
#include <vector>

#include "ui/resource_ids.h"

namespace dtconv::ui::driver {

namespace {
std::function<void(const std::string&)>& FailureHandler() {
  static std::function<void(const std::string&)> handler;
  return handler;
}
}  // namespace

void SetFailureHandler(std::function<void(const std::string&)> handler) {
  FailureHandler() = std::move(handler);
}

void Fail(const std::string& what) {
  if (FailureHandler()) FailureHandler()(what);
}

namespace {

// Positions the progress bar is set to, recorded by a subclass of the bar.
std::mutex gProgressMutex;
std::vector<int> gProgress;
WNDPROC gProgressProc = nullptr;

LRESULT CALLBACK RecordingProgressProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == PBM_SETPOS) {
    std::lock_guard<std::mutex> lock(gProgressMutex);
    gProgress.push_back(static_cast<int>(wParam));
  }
  return CallWindowProcW(gProgressProc, hwnd, message, wParam, lParam);
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, int seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Sleep(5);
  }
  return true;
}

std::wstring Text(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

std::vector<std::wstring> ComboEntries(HWND combo) {
  std::vector<std::wstring> entries;
  int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    entries.push_back(text);
  }
  return entries;
}

int ComboSelection(HWND combo) { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

HWND FindDialog(DWORD thread, int id) {
  struct Search {
    int id;
    HWND found;
  } search{id, nullptr};
  EnumThreadWindows(
      thread,
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        if (IsWindowVisible(hwnd) && GetDlgItem(hwnd, s->id) != nullptr) {
          s->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

RunningApp::RunningApp(const std::wstring& arguments,
                       const std::function<void(UiHooks&)>& customise) {
  UiHooks hooks;
  hooks.messageBox = [this](HWND, const std::wstring& text, const std::wstring& caption,
                            UINT type) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back({text, caption, type});
    return IDOK;
  };
  if (customise) customise(hooks);
  std::wstring line = L"\"C:\\dtconv\\dtconv_exbca.exe\" " + arguments;
  thread_ = std::thread([this, line, hooks] {
    threadId_ = GetCurrentThreadId();
    exitCode_ = RunApplication(std::u16string(line.begin(), line.end()), hooks);
    finished_ = true;
  });
  if (!WaitUntil([&] {
        main_ = threadId_ ? FindDialog(threadId_, IDC_START) : nullptr;
        return main_ != nullptr || finished_;
      })) {
    Fail("the main dialog did not appear");
  }
  if (main_ == nullptr) {
    thread_.join();
    Fail("the program ended with " + std::to_string(exitCode_) +
         " before its main dialog appeared");
    return;
  }
  // The file list is filled once the dialog is up: its header appears first.
  HWND list = Item(IDD_FILE_PANE, IDC_FILE_LIST);
  if (!WaitUntil([&] { return (GetWindowLongPtrW(list, GWL_STYLE) & LVS_NOCOLUMNHEADER) == 0; })) {
    Fail("the file list was not filled");
  }
  Sync();
  HWND bar = Item(IDC_PROGRESS);
  std::lock_guard<std::mutex> lock(gProgressMutex);
  gProgress.clear();
  gProgressProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProgressProc)));
}

RunningApp::~RunningApp() { Close(); }

int RunningApp::Close() {
  if (thread_.joinable()) {
    if (main_ != nullptr) PostMessageW(main_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  return exitCode_;
}

std::vector<Recorded> RunningApp::Messages() {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::vector<int> RunningApp::Progress() {
  std::lock_guard<std::mutex> lock(gProgressMutex);
  return gProgress;
}

bool RunningApp::WaitIdle() {
  return WaitUntil([&] { return IsWindowVisible(Item(IDC_START)) && !Converting(); });
}

void Click(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return Fail("no control " + std::to_string(id));
  if (!IsWindowVisible(control)) return Fail(std::to_string(id) + " is hidden");
  if (!IsWindowEnabled(control)) return Fail(std::to_string(id) + " is disabled");
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

void Choose(HWND dialog, int id, int entry) {
  HWND combo = GetDlgItem(dialog, id);
  if (combo == nullptr) return Fail("no list " + std::to_string(id));
  if (!IsWindowEnabled(combo)) return Fail(std::to_string(id) + " is disabled");
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void SelectItems(HWND list, const std::vector<int>& items) {
  for (int item : items) {
    LVITEMW lv{};
    lv.stateMask = LVIS_SELECTED;
    lv.state = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
  }
}

int Selected(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0)); }
int Items(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

std::wstring ItemText(HWND list, int item, int column) {
  wchar_t text[260] = {};
  LVITEMW lv{};
  lv.iSubItem = column;
  lv.pszText = text;
  lv.cchTextMax = 260;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
  return text;
}

bool CaptureWindow(HWND window, const std::wstring& bmpPath) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  int width = r.right - r.left;
  int height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
  SelectObject(memory, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as BMP files store it
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<char> pixels(static_cast<size_t>(stride) * static_cast<size_t>(height));
  int lines = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                        reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (lines != height) return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  HANDLE out = CreateFileW(bmpPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(out, &file, sizeof file, &written, nullptr) &&
            WriteFile(out, &info, sizeof info, &written, nullptr) &&
            WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
  CloseHandle(out);
  return ok;
}

}  // namespace dtconv::ui::driver
