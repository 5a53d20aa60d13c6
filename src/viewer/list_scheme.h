// How Portolan's list and header look: a fixed grey-and-white scheme that
// steps aside for the user's colours in high-contrast mode. Colours are
// 0xRRGGBB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace Portolan {

// The header band above the rows, in pixels.
constexpr int kHeaderHeight = 50;
// The header's font size, in tenths of a point (12 pt).
constexpr int kHeaderFontTenthsOfPoint = 120;
constexpr std::uint32_t kHeaderTextColor = 0xFFFFFF;

// The header draws itself in its own colours, high contrast or not.
std::uint32_t HeaderItemBackground(int index);

// White behind the rows before the list paints, unless high contrast is on.
std::optional<std::uint32_t> ListPrefill(bool highContrast);

// The text background of row `item`: light grey for odd rows, unless high
// contrast is on; nothing means the list's own colour.
std::optional<std::uint32_t> RowTextBackground(std::size_t item, bool highContrast);

}  // namespace Portolan
