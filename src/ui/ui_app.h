// The desktop program dtconv_exbca.exe: its one set of state and the entry points of its dialogs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "pipeline/conversion_session.h"
#include "pipeline/cvt_settings.h"
#include "ui/startup_args.h"
#include "ui/ui_layout.h"

namespace dtconv::ui {

// Private window messages.
inline constexpr UINT WM_FILE_COUNTS = WM_APP + 0;       // wParam items, lParam selected
inline constexpr UINT WM_FILL_FILE_LIST = WM_APP + 2;    // the file pane fills its list
inline constexpr UINT WM_CONVERT_PROGRESS = WM_APP + 3;  // wParam position, lParam conversion
inline constexpr UINT WM_CONVERT_DONE = WM_APP + 4;      // wParam result, lParam conversion

// Where the program meets the person in front of it, replaceable so that tests can drive the
// real dialogs without anything blocking them.
struct UiHooks {
  // Shows a message box and returns the button pressed; MessageBoxW when unset.
  std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type)>
      messageBox;
  // Called on the worker thread before each file is converted.
  std::function<void(const std::filesystem::path& input)> beforeFile;
  // Called on the user-interface thread when a stop has been requested of a running worker,
  // before the wait for it.
  std::function<void()> onStop;
};

// Everything the program keeps from start to exit.
struct AppState {
  StartupValues startup;
  std::filesystem::path settingsPath;
  CvtOptions options;
  UiFontMetrics metrics;
  UiHooks hooks;
  ConversionSession session;  // used by one worker at a time

  int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);
};

// The whole program: reads the command line, loads the settings, runs the main dialog, saves the
// settings. Returns the exit code: 0 after a normal close, -1 when the main dialog cannot be
// loaded.
int RunApplication(std::u16string_view commandLine, const UiHooks& hooks = {});

// Runs the main dialog (template 107) until it is closed; returns its end value, or -1 when its
// template cannot be loaded.
INT_PTR RunMainDialog(AppState* app);

// The file selection pane (template 121), a child of the main dialog; its data is handed out in
// `pane` and freed by DestroyFilePane once the window is gone.
struct FilePane;
HWND CreateFilePane(HWND mainDialog, AppState* app, HWND folderBox, FilePane** pane);
void DestroyFilePane(FilePane* pane);
// The full paths of the selected files, in list order.
std::vector<std::filesystem::path> SelectedFiles(HWND filePane);
// The number of selected files in the list, 0 without a pane.
int SelectedCount(HWND filePane);

// The five setting panes (templates 115 to 119), children of the main dialog. The pane's data
// is handed out in `pane` (even when the window could not be made) and freed by
// DestroySettingPane once the window is gone.
struct SettingPane;
HWND CreateSettingPane(HWND mainDialog, AppState* app, int templateId, SettingPane** pane);
void DestroySettingPane(SettingPane* pane);
// Reloads a pane's controls from the user's choices.
void ReloadSettingPane(HWND pane);

// The additional settings dialog (template 127), modal over `owner`.
void RunAdditionalDialog(HWND owner, AppState* app);

// Moves the keyboard focus to `control` the way the dialog manager does.
void FocusControl(HWND control);

}  // namespace dtconv::ui
