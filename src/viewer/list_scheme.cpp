#include "viewer/list_scheme.h"

namespace Portolan {

namespace {

constexpr std::uint32_t kFirstHeaderItem = 0x707070;
constexpr std::uint32_t kOtherHeaderItems = 0x747474;
constexpr std::uint32_t kListBackground = 0xFFFFFF;
constexpr std::uint32_t kOddRows = 0xE2E2E2;

}  // namespace

std::uint32_t HeaderItemBackground(int index) {
    return index == 0 ? kFirstHeaderItem : kOtherHeaderItems;
}

std::optional<std::uint32_t> ListPrefill(bool highContrast) {
    if (highContrast) return std::nullopt;
    return kListBackground;
}

std::optional<std::uint32_t> RowTextBackground(std::size_t item, bool highContrast) {
    if (highContrast || item % 2 == 0) return std::nullopt;
    return kOddRows;
}

}  // namespace Portolan
