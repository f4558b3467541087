// The arithmetic of rescaling a dialog from its template font to the UI font. Portable.
#pragma once

#include <cstdint>

namespace dtconv::ui {

// A coordinate in pixels of the template font scaled to the UI font: v × text / base, rounded to
// the nearest pixel with halves upwards (for the non-negative coordinates of child windows), in
// 64-bit arithmetic with truncating division. A base unit of 0 leaves the coordinate unchanged.
inline int32_t ScaleCoordinate(int32_t v, int32_t textSize, int32_t baseUnit) {
  if (baseUnit == 0) return v;
  int64_t scaled =
      (static_cast<int64_t>(v) * textSize * 2 + baseUnit) / (2 * static_cast<int64_t>(baseUnit));
  return static_cast<int32_t>(scaled);
}

struct ScaleFactors {
  int32_t textWidth = 0;
  int32_t textHeight = 0;
  int32_t baseUnitX = 0;
  int32_t baseUnitY = 0;
};

struct PixelRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const PixelRect&) const = default;
};

// Scales the four edges: left and right horizontally, top and bottom vertically.
inline PixelRect ScaleRect(const PixelRect& r, const ScaleFactors& f) {
  return {ScaleCoordinate(r.left, f.textWidth, f.baseUnitX),
          ScaleCoordinate(r.top, f.textHeight, f.baseUnitY),
          ScaleCoordinate(r.right, f.textWidth, f.baseUnitX),
          ScaleCoordinate(r.bottom, f.textHeight, f.baseUnitY)};
}

}  // namespace dtconv::ui
