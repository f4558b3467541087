// The resource layer of the desktop program: strings and dialog templates in the chosen
// user-interface language, with the fall-backs the user's own language, then English.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace dtconv::ui {

// Makes `language` the first choice for the program's own resources when `chosen` (-l on the
// command line); without a choice the user's own language comes first.
void SetUiLanguage(uint16_t language, bool chosen);

// Asks the system to use `language` for the thread's own interface as well (folder browser,
// message-box buttons), where the system offers SetThreadPreferredUILanguages.
void ApplyThreadUiLanguage(uint16_t language);

// Copies string `id` into `buffer`: at most capacity - 1 characters, always terminated; an absent
// string gives an empty text and 0.
size_t LoadUiString(unsigned id, wchar_t* buffer, size_t capacity);
// The same into a string of at most capacity - 1 characters.
std::wstring LoadUiString(unsigned id, size_t capacity = 256);

// Runs a modal dialog from template `id`; returns its end value, or -1 when the template exists
// in no language or cannot be loaded.
INT_PTR RunUiDialog(unsigned id, HWND owner, DLGPROC proc, LPARAM param);

// Creates a modeless child dialog (a pane) from template `id`; null when that fails.
HWND CreateUiPane(unsigned id, HWND parent, DLGPROC proc, LPARAM param);

}  // namespace dtconv::ui
