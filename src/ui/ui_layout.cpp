#include "ui/ui_layout.h"

#include "ui/resource_ids.h"
#include "ui/scale_math.h"

namespace dtconv::ui {

namespace {

ScaleFactors Factors(const UiFontMetrics& m) {
  return {m.textWidth, m.textHeight, m.baseUnitX, m.baseUnitY};
}

PixelRect ToPixelRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// The rectangle of a window in the client coordinates of its parent.
RECT RectInParent(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  HWND parent = GetParent(window);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

struct ScaleChildren {
  const UiFontMetrics* metrics;
};

BOOL CALLBACK ScaleOneChild(HWND child, LPARAM param) {
  const auto* job = reinterpret_cast<const ScaleChildren*>(param);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(job->metrics->font), TRUE);
  RECT r = RectInParent(child);
  wchar_t cls[16] = {};
  GetClassNameW(child, cls, 16);
  if (lstrcmpiW(cls, L"ComboBox") == 0) {
    // A drop-down list's window height is the height of its list when dropped, not of the field
    // shown; scaling the field alone would leave a list with no room for its entries.
    RECT dropped;
    if (SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped))) {
      r.bottom = r.top + (dropped.bottom - dropped.top);
    }
  }
  PixelRect s = ScaleRect(ToPixelRect(r), Factors(*job->metrics));
  SetWindowPos(child, nullptr, s.left, s.top, s.right - s.left, s.bottom - s.top,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  return TRUE;
}

}  // namespace

void MeasureUiFont(HWND dialog, UiFontMetrics* metrics) {
  *metrics = UiFontMetrics{};
  NONCLIENTMETRICSW ncm{};
  // The current layout first (ending with the padded border width), then the older one.
  ncm.cbSize = sizeof(NONCLIENTMETRICSW);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, ncm.cbSize, &ncm, 0)) {
    ncm.cbSize = sizeof(NONCLIENTMETRICSW) - sizeof(int);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, ncm.cbSize, &ncm, 0)) return;
  }
  HFONT font = CreateFontIndirectW(&ncm.lfMessageFont);
  if (font == nullptr) return;
  RECT units = {0, 0, 256, 256};
  MapDialogRect(dialog, &units);
  int baseX = MulDiv(units.right - units.left, 4, 256);
  int baseY = MulDiv(units.bottom - units.top, 8, 256);
  HDC dc = GetDC(dialog);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE text{};
  GetTextExtentPoint32W(dc, L"x", 1, &text);
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  if (baseX <= 0 || baseY <= 0 || text.cx <= 0 || text.cy <= 0) {
    DeleteObject(font);
    return;
  }
  metrics->font = font;
  metrics->baseUnitX = baseX;
  metrics->baseUnitY = baseY;
  metrics->textWidth = text.cx;
  metrics->textHeight = text.cy;
}

void ScaleDialog(HWND dialog, const UiFontMetrics& metrics) {
  if (metrics.font == nullptr) return;
  SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(metrics.font), TRUE);
  RECT outer;
  GetWindowRect(dialog, &outer);
  PixelRect s = ScaleRect(ToPixelRect(outer), Factors(metrics));
  SetWindowPos(dialog, nullptr, 0, 0, s.right - s.left, s.bottom - s.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  // Each window is scaled inside its own parent, so the order of the moves does not matter.
  ScaleChildren job{&metrics};
  EnumChildWindows(dialog, ScaleOneChild, reinterpret_cast<LPARAM>(&job));
}

void PlacePane(HWND dialog, HWND pane, int placeholderId) {
  HWND placeholder = GetDlgItem(dialog, placeholderId);
  if (pane == nullptr || placeholder == nullptr) return;
  RECT r = RectInParent(placeholder);
  SetWindowPos(pane, placeholder, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void LayStopOverStart(HWND dialog) {
  HWND start = GetDlgItem(dialog, IDC_START);
  HWND stop = GetDlgItem(dialog, IDC_STOP);
  if (start == nullptr || stop == nullptr) return;
  RECT r = RectInParent(start);
  SetWindowPos(stop, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void CentreOver(HWND dialog, HWND over) {
  if (over == nullptr) return;
  RECT outer, mine;
  GetWindowRect(over, &outer);
  GetWindowRect(dialog, &mine);
  int w = mine.right - mine.left;
  int h = mine.bottom - mine.top;
  int x = outer.left + ((outer.right - outer.left) - w) / 2;
  int y = outer.top + ((outer.bottom - outer.top) - h) / 2;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace dtconv::ui
