// The main dialog "Text conversion": folder line and file pane on the left, target, format and
// setting panes on the right, Start/Stop and the progress bar at the bottom. It runs one
// conversion at a time on a worker thread and reports the result.
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <process.h>

#include <array>
#include <atomic>
#include <cwchar>
#include <memory>
#include <vector>

#include "pipeline/conversion_job.h"
#include "ui/resource_ids.h"
#include "ui/ui_app.h"
#include "ui/ui_resources.h"
#include "ui/ui_rules.h"

namespace dtconv::ui {

namespace {

namespace fs = std::filesystem;

// What one conversion's worker thread works on. The user-interface thread fills it before the
// thread starts and frees it after the thread has ended; in between the worker only reads it,
// apart from the session it converts with.
struct WorkerJob {
  AppState* app = nullptr;
  HWND notify = nullptr;
  LPARAM conversion = 0;  // tags the worker's messages
  CvtSettings settings;
  std::vector<fs::path> files;  // taken from the list when the conversion started
  std::atomic<bool> stopRequested{false};
};

// The selected paths in order; no more once a stop has been requested.
class SelectedFileSource : public InputSource {
 public:
  explicit SelectedFileSource(WorkerJob* job) : job_(job) {}
  bool Next(fs::path* input) override {
    if (next_ >= job_->files.size() || job_->stopRequested.load()) return false;
    *input = job_->files[next_++];
    if (job_->app->hooks.beforeFile) job_->app->hooks.beforeFile(*input);
    return true;
  }

 private:
  WorkerJob* job_;
  size_t next_ = 0;
};

// Reports to the main dialog by posted messages only: the worker never touches a window.
class PostingObserver : public JobObserver {
 public:
  explicit PostingObserver(const WorkerJob* job) : job_(job) {}
  void OnProgress(int position) override {
    PostMessageW(job_->notify, WM_CONVERT_PROGRESS, static_cast<WPARAM>(position),
                 job_->conversion);
  }
  void OnDone(Result result) override {
    PostMessageW(job_->notify, WM_CONVERT_DONE, static_cast<WPARAM>(result.code()),
                 job_->conversion);
  }

 private:
  const WorkerJob* job_;
};

unsigned __stdcall ConversionThread(void* param) {
  auto* job = static_cast<WorkerJob*>(param);
  SelectedFileSource source(job);
  PostingObserver observer(job);
  ConversionJob(job->app->session, job->settings, source, observer, job->stopRequested,
                DefaultConverterTable());
  return 0;
}

struct MainDialog {
  AppState* app = nullptr;
  HWND hwnd = nullptr;
  HWND filePane = nullptr;
  FilePane* filePaneData = nullptr;
  std::array<HWND, 5> panes{};
  std::array<SettingPane*, 5> paneData{};
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  HANDLE worker = nullptr;
  std::unique_ptr<WorkerJob> job;
  LPARAM conversion = 0;  // number of the latest conversion

  HWND Item(int id) const { return GetDlgItem(hwnd, id); }
  std::wstring Caption(size_t capacity) const {
    std::wstring text(capacity, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(capacity))));
    return text;
  }
};

MainDialog* DialogOf(HWND hwnd) {
  return reinterpret_cast<MainDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

void FillFormatList(MainDialog* d) {
  HWND list = d->Item(IDC_FORMAT);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (int32_t format : FormatEntries(d->app->options.targetData)) {
    std::wstring text = LoadUiString(IDS_FORMAT_TEXT + static_cast<unsigned>(format));
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  SendMessageW(
      list, CB_SETCURSEL,
      static_cast<WPARAM>(FormatEntryFor(d->app->options.targetData, d->app->options.outputType)),
      0);
}

void UpdateSettingPanes(MainDialog* d) {
  int visible = VisiblePane(d->app->options.targetData, d->app->options.outputType);
  for (size_t i = 0; i < d->panes.size(); ++i) {
    if (d->panes[i] == nullptr) continue;
    bool show = kSettingPanes[i] == visible;
    // A pane shows the current values when it appears: the CAN text and PCAP panes share their
    // signal line.
    if (show) ReloadSettingPane(d->panes[i]);
    ShowWindow(d->panes[i], show ? SW_SHOW : SW_HIDE);
  }
}

void SetSettingControlsEnabled(MainDialog* d, bool enabled) {
  EnableWindow(d->Item(IDC_BROWSE), enabled);
  if (d->filePane) EnableWindow(d->filePane, enabled);
  EnableWindow(d->Item(IDC_TARGET), enabled);
  EnableWindow(d->Item(IDC_FORMAT), enabled);
  EnableWindow(d->Item(IDC_ADDITIONAL_OPEN), enabled && d->app->options.additional);
  for (HWND pane : d->panes) {
    if (pane) EnableWindow(pane, enabled);
  }
}

// Stops a running worker and waits for it to end. The writer's cancel flag cuts the file in
// flight short (a file whose output is not open yet is cut as soon as it is, by the job's stop
// flag), and no further file is started.
void StopWorker(MainDialog* d) {
  if (d->worker == nullptr) return;
  HANDLE thread = d->worker;
  d->worker = nullptr;
  d->job->stopRequested.store(true);
  d->app->session.output.RequestCancel();
  if (d->app->hooks.onStop) d->app->hooks.onStop();
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  d->job.reset();
}

void EndConversion(MainDialog* d, Result result) {
  StopWorker(d);
  if (int message = ResultMessageId(result)) {
    d->app->ShowMessage(d->hwnd, LoadUiString(static_cast<unsigned>(message), 256), d->Caption(256),
                        MB_ICONWARNING | MB_OK);
  }
  ShowWindow(d->Item(IDC_START), SW_SHOW);
  ShowWindow(d->Item(IDC_STOP), SW_HIDE);
  SendMessageW(d->Item(IDC_PROGRESS), PBM_SETPOS, 0, 0);
  SendMessageW(d->hwnd, DM_SETDEFID, IDC_START, 0);
  FocusControl(d->Item(IDC_START));
  SetSettingControlsEnabled(d, true);
}

void StartConversion(MainDialog* d) {
  if (d->worker != nullptr) return;
  SetSettingControlsEnabled(d, false);
  ShowWindow(d->Item(IDC_STOP), SW_SHOW);
  ShowWindow(d->Item(IDC_START), SW_HIDE);
  SendMessageW(d->hwnd, DM_SETDEFID, IDC_STOP, 0);
  FocusControl(d->Item(IDC_STOP));

  auto job = std::make_unique<WorkerJob>();
  job->app = d->app;
  job->notify = d->hwnd;
  job->conversion = ++d->conversion;
  job->settings = BuildCvtSettings(d->app->options);
  job->files = SelectedFiles(d->filePane);

  HWND bar = d->Item(IDC_PROGRESS);
  SendMessageW(bar, PBM_SETPOS, 0, 0);
  SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(2 * job->files.size()));

  unsigned threadId = 0;
  uintptr_t thread = _beginthreadex(nullptr, 0, ConversionThread, job.get(), 0, &threadId);
  if (thread == 0) {
    EndConversion(d, kResultWorkerFailed);
    return;
  }
  d->job = std::move(job);
  d->worker = reinterpret_cast<HANDLE>(thread);
}

void OnStart(MainDialog* d) {
  int selected = SelectedCount(d->filePane);
  if (ExceedsSelectionLimit(selected, d->app->startup.noLimit)) {
    std::wstring format = LoadUiString(IDS_SELECTION_LIMIT, 128);
    wchar_t text[256] = {};
    std::swprintf(text, 256, format.c_str(), kSelectionLimit);
    d->app->ShowMessage(d->hwnd, text, d->Caption(128), MB_ICONWARNING | MB_OK);
    return;
  }
  // Enter presses the default Start button even when nothing is selected.
  if (selected == 0) return;
  StartConversion(d);
}

void OnTargetChange(MainDialog* d) {
  auto chosen = static_cast<int32_t>(SendMessageW(d->Item(IDC_TARGET), CB_GETCURSEL, 0, 0));
  if (chosen < 0 || !ChangeTarget(d->app->options, chosen)) return;
  FillFormatList(d);
  UpdateSettingPanes(d);
}

void OnFormatChange(MainDialog* d) {
  auto entry = static_cast<int>(SendMessageW(d->Item(IDC_FORMAT), CB_GETCURSEL, 0, 0));
  if (entry >= 0 && ChangeFormat(d->app->options, entry)) UpdateSettingPanes(d);
}

void OnAdditional(MainDialog* d) {
  bool& additional = d->app->options.additional;
  additional = !additional;
  CheckDlgButton(d->hwnd, IDC_ADDITIONAL, additional ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(d->Item(IDC_ADDITIONAL_OPEN), additional);
}

void OnInitDialog(MainDialog* d) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  d->bigIcon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
  d->smallIcon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  SendMessageW(d->hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(d->bigIcon));
  SendMessageW(d->hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(d->smallIcon));

  const std::u16string& suffix = d->app->startup.titleSuffix;
  std::wstring caption =
      suffix.empty() ? LoadUiString(IDS_TITLE)
                     : d->Caption(256) + L" - " + std::wstring(suffix.begin(), suffix.end());
  SetWindowTextW(d->hwnd, caption.c_str());

  MeasureUiFont(d->hwnd, &d->app->metrics);

  d->filePane = CreateFilePane(d->hwnd, d->app, d->Item(IDC_FOLDER), &d->filePaneData);
  if (d->filePane) {
    // Each pane carries its template number as its control identifier.
    SetWindowLongPtrW(d->filePane, GWLP_ID, IDD_FILE_PANE);
    PlacePane(d->hwnd, d->filePane, IDC_FSBASE);
    ShowWindow(d->filePane, SW_SHOW);
  }
  for (size_t i = 0; i < kSettingPanes.size(); ++i) {
    d->panes[i] = CreateSettingPane(d->hwnd, d->app, kSettingPanes[i], &d->paneData[i]);
    if (d->panes[i] == nullptr) continue;
    SetWindowLongPtrW(d->panes[i], GWLP_ID, kSettingPanes[i]);
    PlacePane(d->hwnd, d->panes[i], IDC_CVTBASE);
  }

  ScaleDialog(d->hwnd, d->app->metrics);

  HWND target = d->Item(IDC_TARGET);
  for (unsigned id = IDS_TARGET_CAN; id <= IDS_TARGET_WAVE; ++id) {
    SendMessageW(target, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadUiString(id).c_str()));
  }
  SendMessageW(target, CB_SETCURSEL, static_cast<WPARAM>(d->app->options.targetData), 0);
  FillFormatList(d);
  CheckDlgButton(d->hwnd, IDC_ADDITIONAL, d->app->options.additional ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(d->Item(IDC_ADDITIONAL_OPEN), d->app->options.additional);
  UpdateSettingPanes(d);

  LayStopOverStart(d->hwnd);

  // Nothing is selected yet.
  EnableWindow(d->Item(IDC_START), FALSE);
  if (d->filePane) FocusControl(GetDlgItem(d->filePane, IDC_FILE_LIST));
}

void OnCommand(MainDialog* d, int id, int code) {
  switch (id) {
    case IDC_START:
      OnStart(d);
      break;
    case IDC_STOP:
      EndConversion(d, kResultOk);
      break;
    case IDC_BROWSE:
      if (d->filePane) SendMessageW(d->filePane, WM_COMMAND, IDC_BROWSE, 0);
      break;
    case IDC_TARGET:
      if (code == CBN_SELCHANGE) OnTargetChange(d);
      break;
    case IDC_FORMAT:
      if (code == CBN_SELCHANGE) OnFormatChange(d);
      break;
    case IDC_ADDITIONAL:
      OnAdditional(d);
      break;
    case IDC_ADDITIONAL_OPEN:
      RunAdditionalDialog(d->hwnd, d->app);
      break;
    default:
      break;  // Esc (IDCANCEL) does not close the main dialog
  }
}

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* d = reinterpret_cast<MainDialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    d->hwnd = hwnd;
    OnInitDialog(d);
    return FALSE;  // the focus has been set
  }
  MainDialog* d = DialogOf(hwnd);
  if (d == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      OnCommand(d, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_FILE_COUNTS:
      EnableWindow(d->Item(IDC_START), lParam != 0);
      return TRUE;
    case WM_CONVERT_PROGRESS:
      // Positions of an earlier, already ended conversion are stale.
      if (d->worker != nullptr && lParam == d->conversion) {
        SendMessageW(d->Item(IDC_PROGRESS), PBM_SETPOS, wParam, 0);
      }
      return TRUE;
    case WM_CONVERT_DONE:
      // The end of a conversion stopped with the Stop button arrives after it: it reports its
      // result and resets the controls once more, unless a newer conversion is running by then.
      if (d->worker == nullptr || lParam == d->conversion) {
        EndConversion(d, Result(static_cast<uint32_t>(wParam)));
      }
      return TRUE;
    case WM_CLOSE:
      // A running conversion is stopped and waited for before the settings are saved.
      StopWorker(d);
      EndDialog(hwnd, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void FocusControl(HWND control) {
  if (control == nullptr) return;
  HWND dialog = GetAncestor(control, GA_ROOT);
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

INT_PTR RunMainDialog(AppState* app) {
  MainDialog d;
  d.app = app;
  INT_PTR result = RunUiDialog(IDD_MAIN, nullptr, MainDialogProc, reinterpret_cast<LPARAM>(&d));
  // Every window is gone now; a worker cannot outlive the dialog (WM_CLOSE waited for it).
  StopWorker(&d);
  DestroyFilePane(d.filePaneData);
  for (SettingPane* pane : d.paneData) DestroySettingPane(pane);
  if (d.bigIcon) DestroyIcon(d.bigIcon);
  if (d.smallIcon) DestroyIcon(d.smallIcon);
  return result;
}

}  // namespace dtconv::ui
