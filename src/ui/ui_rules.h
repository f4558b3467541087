// The rules of the desktop program's dialogs that need no window: which formats a target offers,
// which setting pane belongs to a target and format, when the selection buttons are enabled,
// which message a result code shows, and the file list's column widths. The dialogs apply them;
// the tests check them natively.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pipeline/cvt_settings.h"

namespace dtconv::ui {

// Files converted at once unless -x is given.
inline constexpr int kSelectionLimit = 3;

// The output formats the format list offers for a target, in list order.
std::vector<int32_t> FormatEntries(int32_t targetData);

// The format list entry that shows `outputType` for a target (0 when the target does not offer
// it), and the format an entry stands for (Text for an entry out of range).
int FormatEntryFor(int32_t targetData, int32_t outputType);
int32_t FormatOfEntry(int32_t targetData, int entry);

// A new target chosen in the target list. Returns false and changes nothing when it is the
// current one; otherwise stores it and makes the format one the target offers: Analog wave takes
// CSV, KML stays only with GNSS, PCAP only with CAN/CAN FD, anything else falls back to Text.
bool ChangeTarget(CvtOptions& options, int32_t newTarget);

// A format list entry chosen. Returns true when the stored format changed.
bool ChangeFormat(CvtOptions& options, int entry);

// The setting pane (its template number) shown for a target and format, or 0 for none.
int VisiblePane(int32_t targetData, int32_t outputType);

// The template numbers of the five setting panes, in creation order.
inline constexpr std::array<int, 5> kSettingPanes = {115, 116, 117, 118, 119};

struct SelectButtons {
  bool selectAll = false;
  bool selectNone = false;
  bool selectInverse = false;
  bool operator==(const SelectButtons&) const = default;
};
// Enabling of "Select all", "No select" and "Select inverse" for the list's counts.
SelectButtons SelectButtonStates(int itemCount, int selectedCount);

// The string shown for a conversion's result: 0 for none (success, cancelled), 139 for data the
// program cannot read, 137 for every other failure.
int ResultMessageId(Result result);

// True when Start must refuse `selected` files.
bool ExceedsSelectionLimit(int selected, bool noLimit);

// Widths of the Name, Date modified and Size columns from the list's client width: what remains
// after the vertical scroll bar and 8 pixels, shared 38 %, 41 % and the rest.
std::array<int, 3> FileListColumnWidths(int clientWidth, int scrollBarWidth);

}  // namespace dtconv::ui
