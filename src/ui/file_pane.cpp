// The file selection pane: the monitor data files of the current folder in a multi-selection
// list, the filter, the selection buttons and the folder browser.
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <array>
#include <cwchar>
#include <vector>

#include "ui/resource_ids.h"
#include "ui/ui_app.h"
#include "ui/ui_resources.h"
#include "ui/ui_rules.h"

namespace dtconv::ui {

struct FilePane {
  AppState* app = nullptr;
  HWND hwnd = nullptr;
  HWND list = nullptr;
  HWND folderBox = nullptr;  // the main dialog's read-only folder box
};

namespace {

constexpr size_t kNameUnits = 260;

FilePane* PaneOf(HWND hwnd) {
  return reinterpret_cast<FilePane*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
std::u16string Narrow16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

int ItemCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }
int SelectedItems(HWND list) {
  return static_cast<int>(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0));
}

std::wstring ItemName(HWND list, int item) {
  wchar_t name[kNameUnits] = {};
  LVITEMW lv{};
  lv.iSubItem = 0;
  lv.pszText = name;
  lv.cchTextMax = static_cast<int>(kNameUnits);
  SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lv));
  return name;
}

void SetItemText(HWND list, int item, int column, const wchar_t* text) {
  LVITEMW lv{};
  lv.iSubItem = column;
  lv.pszText = const_cast<wchar_t*>(text);
  SendMessageW(list, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lv));
}

void SetSelection(HWND list, int item, bool selected) {
  LVITEMW lv{};
  lv.stateMask = LVIS_SELECTED;
  lv.state = selected ? LVIS_SELECTED : 0;
  SendMessageW(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&lv));
}

void SendCounts(FilePane* p) {
  SendMessageW(p->hwnd, WM_FILE_COUNTS, ItemCount(p->list), SelectedItems(p->list));
}

void UpdateSelectButtons(FilePane* p, int items, int selected) {
  SelectButtons b = SelectButtonStates(items, selected);
  EnableWindow(GetDlgItem(p->hwnd, IDC_SELECT_ALL), b.selectAll);
  EnableWindow(GetDlgItem(p->hwnd, IDC_SELECT_NONE), b.selectNone);
  EnableWindow(GetDlgItem(p->hwnd, IDC_SELECT_INVERSE), b.selectInverse);
}

void Redraw(HWND list) {
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(list, nullptr, nullptr, RDW_FRAME | RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

// Natural order where the system has it (a name ending in 2 before one ending in 10), else
// case-insensitive order.
using CompareNames = int(WINAPI*)(PCWSTR, PCWSTR);
struct SortJob {
  HWND list;
  CompareNames compare;
};

int CALLBACK CompareItems(LPARAM a, LPARAM b, LPARAM param) {
  const auto* job = reinterpret_cast<const SortJob*>(param);
  std::wstring first = ItemName(job->list, static_cast<int>(a));
  std::wstring second = ItemName(job->list, static_cast<int>(b));
  return job->compare(first.c_str(), second.c_str());
}

void SortFileList(HWND list) {
  HMODULE shlwapi = LoadLibraryW(L"Shlwapi.dll");
  CompareNames logical = nullptr;
  if (shlwapi != nullptr) {
    logical = reinterpret_cast<CompareNames>(
        reinterpret_cast<void*>(GetProcAddress(shlwapi, "StrCmpLogicalW")));
  }
  SortJob job{list, logical != nullptr ? logical : StrCmpIW};
  SendMessageW(list, LVM_SORTITEMSEX, reinterpret_cast<WPARAM>(&job),
               reinterpret_cast<LPARAM>(CompareItems));
  if (shlwapi != nullptr) FreeLibrary(shlwapi);
}

std::wstring DateText(const FILETIME& written) {
  if (written.dwLowDateTime == 0 && written.dwHighDateTime == 0) return {};
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &st)) return {};
  wchar_t date[32] = {}, time[32] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 32);
  GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, time, 32);
  wchar_t text[64] = {};
  std::swprintf(text, 64, L"%ls %ls", date, time);
  return text;
}

// The three columns share the list's width, less a vertical scroll bar.
std::array<int, 3> ColumnWidths(HWND list) {
  RECT client;
  GetClientRect(list, &client);
  return FileListColumnWidths(client.right - client.left, GetSystemMetrics(SM_CXVSCROLL));
}

// Gives the columns their shares of the list's present width. Never fitted to their texts: the
// names, dates and sizes keep the same share of the list at any font size.
void SetColumnWidths(HWND list) {
  std::array<int, 3> widths = ColumnWidths(list);
  for (int i = 0; i < 3; ++i) {
    SendMessageW(list, LVM_SETCOLUMNWIDTH, i, widths[static_cast<size_t>(i)]);
  }
}

void RefreshFileList(FilePane* p) {
  const wchar_t* pattern = p->app->options.fileFilter == 1 ? L"#*.DT" : L"*.DT";
  wchar_t search[MAX_PATH] = {};
  bool searchable = PathCombineW(search, Wide(p->app->options.folder).c_str(), pattern) != nullptr;

  SendMessageW(p->list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(p->list, LVM_DELETEALLITEMS, 0, 0);
  SendMessageW(p->hwnd, WM_FILE_COUNTS, 0, 0);

  WIN32_FIND_DATAW found;
  HANDLE find = searchable ? FindFirstFileW(search, &found) : INVALID_HANDLE_VALUE;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN)) continue;
      LVITEMW lv{};
      lv.mask = LVIF_TEXT;
      lv.iItem = ItemCount(p->list);
      lv.pszText = found.cFileName;
      int item = static_cast<int>(
          SendMessageW(p->list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lv)));
      if (item < 0) continue;
      SetItemText(p->list, item, 1, DateText(found.ftLastWriteTime).c_str());
      wchar_t size[64] = {};
      LONGLONG bytes = (static_cast<LONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
      StrFormatByteSizeW(bytes, size, 64);
      SetItemText(p->list, item, 2, size);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    SortFileList(p->list);
  }
  Redraw(p->list);
  SendCounts(p);
}

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

void BrowseFolder(FilePane* p) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr) return;
  std::wstring prompt = LoadUiString(IDS_SELECT_FOLDER);
  std::wstring current = Wide(p->app->options.folder);
  BROWSEINFOW bi{};
  bi.hwndOwner = p->hwnd;
  bi.lpszTitle = prompt.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE |
               BIF_NONEWFOLDERBUTTON;
  bi.lpfn = BrowseCallback;
  bi.lParam = reinterpret_cast<LPARAM>(current.c_str());
  bool taken = false;
  if (LPITEMIDLIST chosen = SHBrowseForFolderW(&bi)) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(chosen, path)) {
      p->app->options.folder = Narrow16(path);
      SetWindowTextW(p->folderBox, path);
      taken = true;
    }
    allocator->Free(chosen);
  }
  allocator->Release();
  if (taken) RefreshFileList(p);
  FocusControl(p->list);
}

void SelectAll(FilePane* p, bool selected) {
  SendMessageW(p->list, WM_SETREDRAW, FALSE, 0);
  SetSelection(p->list, -1, selected);
  Redraw(p->list);
  FocusControl(p->list);
  SendCounts(p);
}

void SelectInverse(FilePane* p) {
  SendMessageW(p->list, WM_SETREDRAW, FALSE, 0);
  int count = ItemCount(p->list);
  for (int i = 0; i < count; ++i) {
    bool selected = SendMessageW(p->list, LVM_GETITEMSTATE, i, LVIS_SELECTED) & LVIS_SELECTED;
    SetSelection(p->list, i, !selected);
  }
  Redraw(p->list);
  FocusControl(p->list);
  SendCounts(p);
}

void OnInitDialog(FilePane* p) {
  HWND filter = GetDlgItem(p->hwnd, IDC_FILTER);
  SendMessageW(filter, CB_ADDSTRING, 0,
               reinterpret_cast<LPARAM>(LoadUiString(IDS_FILTER_ALL).c_str()));
  SendMessageW(filter, CB_ADDSTRING, 0,
               reinterpret_cast<LPARAM>(LoadUiString(IDS_FILTER_AUTO).c_str()));
  SendMessageW(filter, CB_SETCURSEL, p->app->options.fileFilter == 1 ? 1 : 0, 0);

  SendMessageW(p->list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_DOUBLEBUFFER);
  std::array<int, 3> widths = ColumnWidths(p->list);
  const unsigned headers[3] = {IDS_COLUMN_NAME, IDS_COLUMN_DATE, IDS_COLUMN_SIZE};
  for (int i = 0; i < 3; ++i) {
    std::wstring header = LoadUiString(headers[i]);
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = i == 2 ? LVCFMT_RIGHT : LVCFMT_LEFT;
    col.cx = widths[static_cast<size_t>(i)];
    col.pszText = header.data();
    col.iSubItem = i;
    SendMessageW(p->list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
  SetWindowTextW(p->folderBox, Wide(p->app->options.folder).c_str());
  // The list is filled once the whole main dialog is initialised and rescaled.
  PostMessageW(p->hwnd, WM_FILL_FILE_LIST, 0, 0);
}

void OnCommand(FilePane* p, int id, int code) {
  switch (id) {
    case IDC_BROWSE:
      BrowseFolder(p);
      break;
    case IDC_REFRESH:
      RefreshFileList(p);
      FocusControl(p->list);
      break;
    case IDC_SELECT_ALL:
      SelectAll(p, true);
      break;
    case IDC_SELECT_NONE:
      SelectAll(p, false);
      break;
    case IDC_SELECT_INVERSE:
      SelectInverse(p);
      break;
    case IDC_FILTER:
      if (code == CBN_SELCHANGE) {
        int chosen = SendMessageW(GetDlgItem(p->hwnd, IDC_FILTER), CB_GETCURSEL, 0, 0) == 1 ? 1 : 0;
        if (chosen != p->app->options.fileFilter) {
          p->app->options.fileFilter = chosen;
          RefreshFileList(p);
        }
      }
      break;
    default:
      break;
  }
}

INT_PTR CALLBACK FilePaneProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* p = reinterpret_cast<FilePane*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    p->hwnd = hwnd;
    p->list = GetDlgItem(hwnd, IDC_FILE_LIST);
    OnInitDialog(p);
    return FALSE;
  }
  FilePane* p = PaneOf(hwnd);
  if (p == nullptr) return FALSE;
  switch (message) {
    case WM_FILL_FILE_LIST: {
      // The main dialog has been rescaled since the columns were made from the list's template
      // width: they take their shares of its scaled width once more, while the list is still
      // empty and shows no scroll bar.
      SetColumnWidths(p->list);
      LONG_PTR style = GetWindowLongPtrW(p->list, GWL_STYLE);
      SetWindowLongPtrW(p->list, GWL_STYLE, style & ~static_cast<LONG_PTR>(LVS_NOCOLUMNHEADER));
      RefreshFileList(p);
      return TRUE;
    }
    case WM_COMMAND:
      OnCommand(p, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
      if (hdr->idFrom == IDC_FILE_LIST && hdr->code == LVN_ITEMCHANGED) SendCounts(p);
      return TRUE;
    }
    case WM_FILE_COUNTS:
      UpdateSelectButtons(p, static_cast<int>(wParam), static_cast<int>(lParam));
      SendMessageW(GetParent(hwnd), WM_FILE_COUNTS, wParam, lParam);
      return TRUE;
    case WM_ENABLE:
      EnableWindow(GetDlgItem(hwnd, IDC_FILTER), static_cast<BOOL>(wParam));
      EnableWindow(GetDlgItem(hwnd, IDC_REFRESH), static_cast<BOOL>(wParam));
      if (wParam) {
        UpdateSelectButtons(p, ItemCount(p->list), SelectedItems(p->list));
      } else {
        UpdateSelectButtons(p, 0, 0);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

HWND CreateFilePane(HWND mainDialog, AppState* app, HWND folderBox, FilePane** pane) {
  auto* p = new FilePane;
  p->app = app;
  p->folderBox = folderBox;
  HWND hwnd = CreateUiPane(IDD_FILE_PANE, mainDialog, FilePaneProc, reinterpret_cast<LPARAM>(p));
  // The data outlives the window; the main dialog frees it once every window is gone.
  *pane = p;
  return hwnd;
}

void DestroyFilePane(FilePane* pane) { delete pane; }

std::vector<std::filesystem::path> SelectedFiles(HWND filePane) {
  std::vector<std::filesystem::path> files;
  if (filePane == nullptr) return files;
  FilePane* p = PaneOf(filePane);
  if (p == nullptr) return files;
  // The folder as the folder box shows it, as the user sees it.
  int length = GetWindowTextLengthW(p->folderBox);
  std::wstring folder(static_cast<size_t>(length) + 1, L'\0');
  folder.resize(static_cast<size_t>(GetWindowTextW(p->folderBox, folder.data(), length + 1)));
  int item = -1;
  while ((item = static_cast<int>(
              SendMessageW(p->list, LVM_GETNEXTITEM, item, MAKELPARAM(LVNI_SELECTED, 0)))) >= 0) {
    files.push_back(std::filesystem::path(folder) / ItemName(p->list, item));
  }
  return files;
}

int SelectedCount(HWND filePane) {
  if (filePane == nullptr) return 0;
  FilePane* p = PaneOf(filePane);
  return p == nullptr ? 0 : SelectedItems(p->list);
}

}  // namespace dtconv::ui
