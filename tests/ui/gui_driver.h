// Drives the desktop program's real dialogs from another thread of the same process: the whole
// program runs on a user-interface thread, and the caller works its controls with window
// messages, as a person would with the mouse, and reads back what they show. Message boxes are
// captured instead of shown.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/resource_ids.h"
#include "ui/ui_app.h"

namespace dtconv::ui::driver {

// Where a step that cannot be done is reported (a test failure, or a message and exit).
void SetFailureHandler(std::function<void(const std::string&)> handler);
void Fail(const std::string& what);

struct Recorded {
  std::wstring text;
  std::wstring caption;
  UINT type;
};

// Polls `done` until it holds; false after `seconds`.
bool WaitUntil(const std::function<bool()>& done, int seconds = 60);

std::wstring Text(HWND window);
std::vector<std::wstring> ComboEntries(HWND combo);
int ComboSelection(HWND combo);
// The first visible top-level dialog of a thread that has control `id`.
HWND FindDialog(DWORD thread, int id);

// One run of the program, from its command line (after the program path) to the close of its
// main dialog. The constructor returns once the main dialog shows its filled file list.
class RunningApp {
 public:
  explicit RunningApp(const std::wstring& arguments,
                      const std::function<void(UiHooks&)>& customise = {});
  ~RunningApp();
  RunningApp(const RunningApp&) = delete;
  RunningApp& operator=(const RunningApp&) = delete;

  // Closes the main dialog as the title-bar button does; returns the program's exit code.
  int Close();

  bool ok() const { return main_ != nullptr; }
  HWND main() const { return main_; }
  DWORD thread() const { return threadId_; }
  HWND Item(int id) const { return GetDlgItem(main_, id); }
  HWND Pane(int id) const { return GetDlgItem(main_, id); }
  HWND Item(int pane, int id) const { return GetDlgItem(Pane(pane), id); }
  HWND List() const { return Item(IDD_FILE_PANE, IDC_FILE_LIST); }

  // Returns once the user-interface thread has handled everything sent to it before.
  void Sync() const { SendMessageW(main_, WM_NULL, 0, 0); }

  std::vector<Recorded> Messages();
  // Every position the progress bar was set to since the main dialog appeared.
  std::vector<int> Progress();

  bool Converting() const { return IsWindowVisible(Item(IDC_STOP)) != 0; }
  // Waits for the end of a conversion: Start shown again, Stop hidden.
  bool WaitIdle();

 private:
  std::thread thread_;
  std::atomic<DWORD> threadId_{0};
  std::atomic<bool> finished_{false};
  int exitCode_ = -2;
  HWND main_ = nullptr;
  std::mutex mutex_;
  std::vector<Recorded> messages_;
};

// A click on a push button or check box, which only a visible, enabled control accepts.
void Click(HWND dialog, int id);
// Chooses entry `entry` of an enabled drop-down list.
void Choose(HWND dialog, int id, int entry);
void SelectItems(HWND list, const std::vector<int>& items);
int Selected(HWND list);
int Items(HWND list);
std::wstring ItemText(HWND list, int item, int column);

// Writes the window's rectangle as the screen shows it (frame included) to a 24-bit BMP file.
bool CaptureWindow(HWND window, const std::wstring& bmpPath);

}  // namespace dtconv::ui::driver
