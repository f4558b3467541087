// The character encoding of database files.
#pragma once

#include <string>
#include <string_view>

namespace dtconv::signals {

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(std::string_view bytes);

// The database's text as UTF-8: the bytes themselves when they are UTF-8 (without a leading byte
// order mark), otherwise the bytes read as Windows-1252 (the five bytes that code page leaves
// undefined become the C1 controls of the same number, as Windows reads them).
std::string DbcTextToUtf8(std::string_view bytes);

}  // namespace dtconv::signals
