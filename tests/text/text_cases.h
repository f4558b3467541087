// What the text tests share: snprintf into a string; the case tables (ReadTable) and the seeded
// generator (Random) come from the support libraries.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "random_capture.h"
#include "robust_support.h"
#include "run_converter.h"

namespace dtconv::test {

// snprintf into a string of at most `size` - 1 characters.
template <size_t size = 128, typename... Values>
std::string Sprintf(const char* format, Values... values) {
  char text[size];
  std::snprintf(text, size, format, values...);
  return text;
}

}  // namespace dtconv::test
