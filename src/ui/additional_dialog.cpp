// The additional settings dialog: character code, line end and CSV delimiter of the outputs,
// stored into the user's choices as soon as they change.
#include <windows.h>

#include "ui/resource_ids.h"
#include "ui/ui_app.h"
#include "ui/ui_resources.h"

namespace dtconv::ui {

namespace {

constexpr int kDelimiterChars = 15;

AppState* AppOf(HWND hwnd) {
  return reinterpret_cast<AppState*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

void FillList(HWND hwnd, int control, unsigned firstString, int32_t value) {
  for (unsigned i = 0; i < 3; ++i) {
    std::wstring text = LoadUiString(firstString + i);
    SendDlgItemMessageW(hwnd, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  SendDlgItemMessageW(hwnd, control, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

int32_t ListValue(HWND hwnd, int control) {
  LRESULT entry = SendDlgItemMessageW(hwnd, control, CB_GETCURSEL, 0, 0);
  return entry == 1 ? 1 : entry == 2 ? 2 : 0;
}

void StoreDelimiter(HWND hwnd, AppState* app) {
  wchar_t text[kDelimiterChars + 1] = {};
  int n = GetDlgItemTextW(hwnd, IDC_DELIMITER, text, kDelimiterChars + 1);
  app->options.csvDelimit.assign(text, text + n);
}

INT_PTR CALLBACK AdditionalProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    auto* app = reinterpret_cast<AppState*>(lParam);
    ScaleDialog(hwnd, app->metrics);
    FillList(hwnd, IDC_OUT_CODE, IDS_CODE_ANSI, app->options.outCode);
    FillList(hwnd, IDC_LINE_FEED, IDS_EOL_CRLF, app->options.lineFeed);
    SendDlgItemMessageW(hwnd, IDC_DELIMITER, EM_LIMITTEXT, kDelimiterChars, 0);
    std::wstring delimiter(app->options.csvDelimit.begin(), app->options.csvDelimit.end());
    SetDlgItemTextW(hwnd, IDC_DELIMITER, delimiter.c_str());
    CentreOver(hwnd, GetWindow(hwnd, GW_OWNER));
    return TRUE;  // the first tab stop takes the focus
  }
  AppState* app = AppOf(hwnd);
  if (app == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      int code = HIWORD(wParam);
      if (id == IDCANCEL) {
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
      } else if (id == IDC_OUT_CODE && code == CBN_SELCHANGE) {
        app->options.outCode = ListValue(hwnd, IDC_OUT_CODE);
      } else if (id == IDC_LINE_FEED && code == CBN_SELCHANGE) {
        app->options.lineFeed = ListValue(hwnd, IDC_LINE_FEED);
      } else if (id == IDC_DELIMITER && code == EN_KILLFOCUS) {
        StoreDelimiter(hwnd, app);
      }
      return TRUE;
    }
    case WM_CLOSE:
      // Esc and Enter close the dialog while the delimiter box may still have the focus; what it
      // holds is kept all the same.
      StoreDelimiter(hwnd, app);
      EndDialog(hwnd, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void RunAdditionalDialog(HWND owner, AppState* app) {
  RunUiDialog(IDD_ADDITIONAL, owner, AdditionalProc, reinterpret_cast<LPARAM>(app));
}

}  // namespace dtconv::ui
