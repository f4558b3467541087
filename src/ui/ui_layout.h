// Dialog layout: the templates are laid out for "MS Shell Dlg" 8; at run time every dialog takes
// the system's message font and is rescaled by how much wider and taller that font is. Panes are
// placed on their placeholders and the Stop button lies over the Start button.
#pragma once

#include <windows.h>

namespace dtconv::ui {

struct UiFontMetrics {
  HFONT font = nullptr;  // none: nothing is rescaled
  int baseUnitX = 0;
  int baseUnitY = 0;
  int textWidth = 0;
  int textHeight = 0;
};

// Creates the UI font from the system's message font and measures it against the base units of
// `dialog`. Leaves `metrics` without a font when the system metrics or the font are not to be had.
void MeasureUiFont(HWND dialog, UiFontMetrics* metrics);

// Gives `dialog` and every window inside it the UI font and rescales their positions and sizes;
// the dialog keeps its top-left corner.
void ScaleDialog(HWND dialog, const UiFontMetrics& metrics);

// Moves `pane` onto the top-left corner of the placeholder control `placeholderId` of `dialog`,
// directly after the placeholder in z-order (and so in tab order).
void PlacePane(HWND dialog, HWND pane, int placeholderId);

// Gives the Stop button exactly the position and size of the Start button.
void LayStopOverStart(HWND dialog);

// Centres `dialog` over `over`, keeping its size.
void CentreOver(HWND dialog, HWND over);

}  // namespace dtconv::ui
