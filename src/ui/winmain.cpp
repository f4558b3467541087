// dtconv_exbca.exe: the Windows desktop program.
#include <windows.h>

#include "ui/ui_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const wchar_t* line = GetCommandLineW();
  return dtconv::ui::RunApplication(reinterpret_cast<const char16_t*>(line));
}
