// Start-up and end of the desktop program.
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <system_error>

#include "pipeline/settings_file.h"
#include "ui/ui_app.h"
#include "ui/ui_resources.h"

namespace dtconv::ui {

namespace {

namespace fs = std::filesystem;

fs::path PathOf(const std::u16string& text) {
  return fs::path(std::wstring(text.begin(), text.end()));
}

std::u16string Text16(const fs::path& path) {
  const std::wstring& w = path.native();
  return std::u16string(w.begin(), w.end());
}

// SOURCE_DATE_EPOCH fixes the time in the report banners, as it does for the command-line tool.
std::optional<int64_t> BannerTimeFromEnvironment() {
  wchar_t value[32] = {};
  DWORD n = GetEnvironmentVariableW(L"SOURCE_DATE_EPOCH", value, 32);
  if (n == 0 || n >= 32) return std::nullopt;
  wchar_t* end = nullptr;
  long long seconds = std::wcstoll(value, &end, 10);
  if (end == value) return std::nullopt;
  return static_cast<int64_t>(seconds);
}

}  // namespace

int AppState::ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption,
                          UINT type) {
  if (hooks.messageBox) return hooks.messageBox(owner, text, caption, type);
  return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

int RunApplication(std::u16string_view commandLine, const UiHooks& hooks) {
  auto app = std::make_unique<AppState>();
  app->hooks = hooks;
  wchar_t module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  app->settingsPath = DefaultSettingsPath(module);

  app->startup = ParseStartupCommandLine(commandLine);
  if (app->startup.settingsPath) app->settingsPath = PathOf(*app->startup.settingsPath);
  SetUiLanguage(app->startup.uiLanguage, app->startup.languageChosen);
  if (app->startup.languageChosen) ApplyThreadUiLanguage(app->startup.uiLanguage);

  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0x4FF};
  InitCommonControlsEx(&controls);
  if (FAILED(CoInitialize(nullptr))) return 0;

  LoadSettings(app->settingsPath, app->options);
  if (!app->startup.startFolder.empty()) {
    // Kept as a full path, so that the settings file names the same folder from anywhere.
    std::error_code ec;
    fs::path folder = fs::absolute(PathOf(app->startup.startFolder), ec);
    app->options.folder =
        ec || folder.native().size() >= kFolderUnits ? app->startup.startFolder : Text16(folder);
  }
  app->session.context.bannerTime = BannerTimeFromEnvironment();

  INT_PTR result = RunMainDialog(app.get());

  SaveSettings(app->settingsPath, app->options);
  if (app->metrics.font) DeleteObject(app->metrics.font);
  CoUninitialize();
  return static_cast<int>(result);
}

}  // namespace dtconv::ui
