#include "ui/ui_resources.h"

#include <cstdio>

#include "ui/string_block.h"

namespace dtconv::ui {

namespace {

// The chosen language; the only state of the resource layer, set once at start-up.
struct ChosenLanguage {
  uint16_t language = 0;
  bool chosen = false;
};
ChosenLanguage& Chosen() {
  static ChosenLanguage chosen;
  return chosen;
}

constexpr uint16_t kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr uint16_t kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

// Looks a resource up in the chosen language, then language-neutral (the system picks the
// user's interface language), then English. Returns its bytes, or null.
const void* FindUiResource(const wchar_t* type, const wchar_t* name, DWORD* size) {
  HMODULE module = GetModuleHandleW(nullptr);
  uint16_t order[3];
  int count = 0;
  if (Chosen().chosen) order[count++] = Chosen().language;
  order[count++] = kNeutral;
  order[count++] = kEnglish;
  for (int i = 0; i < count; ++i) {
    HRSRC found = FindResourceExW(module, type, name, order[i]);
    if (found == nullptr) continue;
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return nullptr;
    if (size) *size = SizeofResource(module, found);
    return bytes;
  }
  return nullptr;
}

}  // namespace

void SetUiLanguage(uint16_t language, bool chosen) {
  Chosen().language = language;
  Chosen().chosen = chosen;
}

void ApplyThreadUiLanguage(uint16_t language) {
  HMODULE kernel = LoadLibraryW(L"Kernel32.dll");
  if (kernel == nullptr) return;
  using SetLanguages = BOOL(WINAPI*)(DWORD, PCZZWSTR, PULONG);
  auto set = reinterpret_cast<SetLanguages>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadPreferredUILanguages")));
  if (set != nullptr) {
    // One language as four lower-case hexadecimal digits, then the list's two terminators.
    wchar_t list[8] = {};
    std::swprintf(list, 5, L"%04x", static_cast<unsigned>(language));
    ULONG count = 0;
    set(MUI_LANGUAGE_ID, list, &count);
  }
  FreeLibrary(kernel);
}

size_t LoadUiString(unsigned id, wchar_t* buffer, size_t capacity) {
  if (capacity == 0) return 0;
  buffer[0] = L'\0';
  DWORD size = 0;
  const void* block = FindUiResource(RT_STRING, MAKEINTRESOURCEW(StringBlockOf(id)), &size);
  if (block == nullptr) return 0;
  return CopyStringFromBlock(block, size, StringEntryOf(id), reinterpret_cast<char16_t*>(buffer),
                             capacity);
}

std::wstring LoadUiString(unsigned id, size_t capacity) {
  std::wstring text(capacity, L'\0');
  text.resize(LoadUiString(id, text.data(), capacity));
  return text;
}

INT_PTR RunUiDialog(unsigned id, HWND owner, DLGPROC proc, LPARAM param) {
  const void* dialog = FindUiResource(RT_DIALOG, MAKEINTRESOURCEW(id), nullptr);
  if (dialog == nullptr) return -1;
  return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), static_cast<const DLGTEMPLATE*>(dialog),
                                 owner, proc, param);
}

HWND CreateUiPane(unsigned id, HWND parent, DLGPROC proc, LPARAM param) {
  const void* dialog = FindUiResource(RT_DIALOG, MAKEINTRESOURCEW(id), nullptr);
  if (dialog == nullptr) return nullptr;
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                    static_cast<const DLGTEMPLATE*>(dialog), parent, proc, param);
}

}  // namespace dtconv::ui
