// Pictures of the desktop program for the documentation and for looking at its layout: the main
// dialog for each target in English and Japanese, and the additional settings dialog, as 24-bit
// BMP files (scripts/screenshots turns them into PNGs). Run under Wine in a virtual desktop.
//
// usage: gui_screenshots OUTPUT_FOLDER CAPTURE_FOLDER en|ja
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "gui_driver.h"

using namespace dtconv::ui;
using namespace dtconv::ui::driver;

namespace {

// Lets the windows paint what changed.
void Settle(RunningApp& app) {
  app.Sync();
  RedrawWindow(app.main(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(400);
}

struct Target {
  const char* name;
  int target;
  int format;  // entry of the format list
};

bool Shoot(const std::wstring& folder, const std::wstring& language, const std::wstring& captures,
           const std::wstring& settings) {
  const std::wstring tag = language == L"-l1041" ? L"ja" : L"en";
  RunningApp app(L"-s\"" + settings + L"\" " + language + L" \"" + captures + L"\"");
  if (!app.ok()) return false;
  // A realistic state: two captures selected, the additional output options in use.
  SelectItems(app.List(), {0, 5});
  Click(app.main(), IDC_ADDITIONAL);
  const Target targets[] = {{"can", 0, 1}, {"analog", 1, 1}, {"gnss", 2, 2}, {"wave", 3, 0}};
  bool ok = true;
  for (const Target& t : targets) {
    Choose(app.main(), IDC_TARGET, t.target);
    Choose(app.main(), IDC_FORMAT, t.format);
    Settle(app);
    std::wstring name(t.name, t.name + std::char_traits<char>::length(t.name));
    ok = CaptureWindow(app.main(), folder + L"\\main_" + tag + L"_" + name + L".bmp") && ok;
  }
  PostMessageW(app.main(), WM_COMMAND, MAKEWPARAM(IDC_ADDITIONAL_OPEN, BN_CLICKED),
               reinterpret_cast<LPARAM>(app.Item(IDC_ADDITIONAL_OPEN)));
  HWND dialog = nullptr;
  if (!WaitUntil([&] { return (dialog = FindDialog(app.thread(), IDC_DELIMITER)) != nullptr; })) {
    return false;
  }
  Sleep(400);
  ok = CaptureWindow(dialog, folder + L"\\additional_" + tag + L".bmp") && ok;
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  WaitUntil([&] { return !IsWindow(dialog); });
  return app.Close() == 0 && ok;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc != 4) {
    std::fputs("usage: gui_screenshots OUTPUT_FOLDER CAPTURE_FOLDER en|ja\n", stderr);
    return 2;
  }
  bool failed = false;
  SetFailureHandler([&](const std::string& what) {
    std::fprintf(stderr, "gui_screenshots: %s\n", what.c_str());
    failed = true;
  });
  std::wstring folder = argv[1];
  std::wstring captures = argv[2];
  bool japanese = std::wstring(argv[3]) == L"ja";
  std::wstring settings = folder + L"\\screenshots.ini";
  bool ok = Shoot(folder, japanese ? L"-l1041" : L"-l1033", captures, settings);
  DeleteFileW(settings.c_str());
  return ok && !failed ? 0 : 1;
}
