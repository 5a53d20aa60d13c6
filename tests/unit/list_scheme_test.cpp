// Portolan's list colours: grey odd rows and a white list only while high
// contrast is off; the header keeps its own greys either way.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "viewer/list_scheme.h"

namespace {

using Portolan::HeaderItemBackground;
using Portolan::ListPrefill;
using Portolan::RowTextBackground;

TEST(ListScheme, RowsAndListStepAsideInHighContrast) {
    constexpr std::optional<std::uint32_t> kOwn = std::nullopt;
    struct Case {
        std::size_t item;
        bool highContrast;
        std::optional<std::uint32_t> background;
    } const cases[] = {
        {0, false, kOwn}, {1, false, 0xE2E2E2}, {2, false, kOwn},
        {3, false, 0xE2E2E2}, {5, false, 0xE2E2E2}, {6, false, kOwn},
        {1, true, kOwn}, {3, true, kOwn}, {0, true, kOwn},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RowTextBackground(c.item, c.highContrast), c.background)
            << "item " << c.item << (c.highContrast ? ", high contrast" : "");
    }
    EXPECT_EQ(ListPrefill(false), std::optional<std::uint32_t>(0xFFFFFF));
    EXPECT_EQ(ListPrefill(true), kOwn);
}

TEST(ListScheme, FirstHeaderItemIsDarkerThanTheOthers) {
    EXPECT_EQ(HeaderItemBackground(0), 0x707070u);
    EXPECT_EQ(HeaderItemBackground(1), 0x747474u);
    EXPECT_EQ(HeaderItemBackground(2), 0x747474u);
}

}  // namespace
