// The five setting panes under the target and format lists: CAN text, CAN CSV, analog text,
// analog CSV and CAN PCAP. Each edits its fields of the user's choices as the user changes them.
#include <windows.h>

#include <vector>

#include "ui/resource_ids.h"
#include "ui/ui_app.h"
#include "ui/ui_resources.h"

namespace dtconv::ui {

// One control of a pane and the field it edits: a list of strings firstString.. (count entries,
// entry i standing for value i) or a check box.
struct PaneBinding {
  int control;
  int32_t CvtOptions::*list = nullptr;
  unsigned firstString = 0;
  int count = 0;
  bool CvtOptions::*box = nullptr;
};

namespace {

std::vector<PaneBinding> BindingsOf(int templateId) {
  switch (templateId) {
    case IDD_PANE_CAN_TEXT:
      return {{IDC_SIGNAL_LINE, &CvtOptions::canTxtSignalLine, IDS_LINE_BOTH, 3},
              {IDC_TIMESTAMP, &CvtOptions::canTxtTimeStamp, IDS_STAMP_MICRO, 4},
              {IDC_ELAPSED, nullptr, 0, 0, &CvtOptions::canTxtRelTimeStamp}};
    case IDD_PANE_CAN_CSV:
      return {{IDC_SIGNAL_LINE, &CvtOptions::canCsvSignalLine, IDS_LINE_BOTH, 3},
              {IDC_TIMESTAMP, &CvtOptions::canCsvTimeStamp, IDS_STAMP_MICRO, 3},
              {IDC_ELAPSED, nullptr, 0, 0, &CvtOptions::canCsvRelTimeStamp},
              {IDC_DELTA, nullptr, 0, 0, &CvtOptions::canCsvDiffTimeStamp},
              {IDC_ADD_ANALOG, nullptr, 0, 0, &CvtOptions::canCsvAddAnalog},
              {IDC_ADD_GNSS, nullptr, 0, 0, &CvtOptions::canCsvAddGnss}};
    case IDD_PANE_ANALOG_TEXT:
      return {{IDC_TIMESTAMP, &CvtOptions::anaTxtTimeStamp, IDS_STAMP_MICRO, 3},
              {IDC_ELAPSED, nullptr, 0, 0, &CvtOptions::anaTxtRelTimeStamp}};
    case IDD_PANE_ANALOG_CSV:
      return {{IDC_TIMESTAMP, &CvtOptions::anaCsvTimeStamp, IDS_STAMP_MICRO, 3},
              {IDC_ELAPSED, nullptr, 0, 0, &CvtOptions::anaCsvRelTimeStamp},
              {IDC_ADD_GNSS, nullptr, 0, 0, &CvtOptions::anaCsvAddGnss}};
    case IDD_PANE_CAN_PCAP:
      // The same signal line as the CAN text pane.
      return {{IDC_SIGNAL_LINE, &CvtOptions::canTxtSignalLine, IDS_LINE_BOTH, 3}};
    default:
      return {};
  }
}

}  // namespace

struct SettingPane {
  AppState* app = nullptr;
  int templateId = 0;
  std::vector<PaneBinding> bindings;
};

namespace {

SettingPane* PaneOf(HWND hwnd) {
  return reinterpret_cast<SettingPane*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

void ShowValues(HWND hwnd, const SettingPane& p) {
  for (const PaneBinding& b : p.bindings) {
    if (b.list != nullptr) {
      SendDlgItemMessageW(hwnd, b.control, CB_SETCURSEL,
                          static_cast<WPARAM>(p.app->options.*b.list), 0);
    } else {
      CheckDlgButton(hwnd, b.control, p.app->options.*b.box ? BST_CHECKED : BST_UNCHECKED);
    }
  }
}

void OnInitDialog(HWND hwnd, const SettingPane& p) {
  for (const PaneBinding& b : p.bindings) {
    if (b.list == nullptr) continue;
    for (int i = 0; i < b.count; ++i) {
      std::wstring text = LoadUiString(b.firstString + static_cast<unsigned>(i));
      SendDlgItemMessageW(hwnd, b.control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
  }
  ShowValues(hwnd, p);
}

void OnCommand(HWND hwnd, SettingPane& p, int id, int code) {
  for (const PaneBinding& b : p.bindings) {
    if (b.control != id) continue;
    if (b.list != nullptr) {
      if (code != CBN_SELCHANGE) return;
      auto chosen = static_cast<int32_t>(SendDlgItemMessageW(hwnd, id, CB_GETCURSEL, 0, 0));
      if (chosen >= 0 && chosen != p.app->options.*b.list) p.app->options.*b.list = chosen;
    } else if (code == BN_CLICKED) {
      // The boxes do not toggle themselves: the field is flipped and the box follows it.
      bool& field = p.app->options.*b.box;
      field = !field;
      CheckDlgButton(hwnd, id, field ? BST_CHECKED : BST_UNCHECKED);
    }
    return;
  }
}

INT_PTR CALLBACK SettingPaneProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    OnInitDialog(hwnd, *reinterpret_cast<SettingPane*>(lParam));
    return FALSE;
  }
  SettingPane* p = PaneOf(hwnd);
  if (p == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      OnCommand(hwnd, *p, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_ENABLE:
      for (int id = IDC_SIGNAL_LINE; id <= IDC_ADD_GNSS; ++id) {
        if (HWND control = GetDlgItem(hwnd, id)) EnableWindow(control, static_cast<BOOL>(wParam));
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

HWND CreateSettingPane(HWND mainDialog, AppState* app, int templateId, SettingPane** pane) {
  auto* p = new SettingPane{app, templateId, BindingsOf(templateId)};
  HWND hwnd = CreateUiPane(static_cast<unsigned>(templateId), mainDialog, SettingPaneProc,
                           reinterpret_cast<LPARAM>(p));
  // The data outlives the window; the main dialog frees it once every window is gone.
  *pane = p;
  return hwnd;
}

void DestroySettingPane(SettingPane* pane) { delete pane; }

void ReloadSettingPane(HWND pane) {
  if (pane == nullptr) return;
  if (SettingPane* p = PaneOf(pane)) ShowValues(pane, *p);
}

}  // namespace dtconv::ui
