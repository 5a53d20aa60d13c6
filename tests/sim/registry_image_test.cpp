// The image-state checks and the value reader on a simulated registry.
#include <gtest/gtest.h>

#include "common/hresult.h"
#include "common/strings.h"
#include "shared/registry_image.h"
#include "sim/os/sim_registry.h"

using namespace Arvek;
using namespace Arvek::Shared;

namespace {

constexpr const wchar_t* kSetupState = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\State";
constexpr const wchar_t* kArvekImage = L"Software\\Arvek\\Arvek Image";

std::basic_string<std::uint8_t> Sz(const std::wstring& text) { return ToUtf16Le(text, true); }

TEST(ImageState, ReadsTheOperatingSystemsStates) {
    const struct {
        std::wstring text;
        int state;
    } cases[] = {
        {L"IMAGE_STATE_COMPLETE", 1},
        {L"image_state_complete", 1},  // upper-cased before comparing
        {L"IMAGE_STATE_UNDEPLOYABLE", 2},
        {L"IMAGE_STATE_GENERALIZE_RESEAL_TO_OOBE", 3},
        {L"IMAGE_STATE_GENERALIZE_RESEAL_TO_AUDIT", 4},
        {L"IMAGE_STATE_SPECIALIZE_RESEAL_TO_OOBE", 5},
        {L"IMAGE_STATE_SPECIALIZE_RESEAL_TO_AUDIT", 6},
        {L"IMAGE_STATE_COMPLETE ", 0},
        {L"", 0},
        {std::wstring(200, L'A'), 0},  // too long for the 260-byte buffer
    };
    for (const auto& c : cases) {
        Sim::SimRegistry registry;
        registry.SetValue(Ports::RegistryRoot::LocalMachine, kSetupState, L"ImageState", Ports::kREG_SZ, Sz(c.text));
        EXPECT_EQ(c.state, GetWindowsImageState(registry)) << NarrowUtf8(c.text);
    }
    Sim::SimRegistry empty;
    EXPECT_EQ(0, GetWindowsImageState(empty));
}

TEST(ImageStillBuilding, OnlyAnUnfinishedMakersStateCounts) {
    const struct {
        std::uint32_t type;
        std::basic_string<std::uint8_t> data;
        bool building;
    } cases[] = {
        {Ports::kREG_SZ, Sz(L"IMAGE_STATE_COMPLETE"), false},
        {Ports::kREG_SZ, Sz(L"Image_State_Complete"), false},
        {Ports::kREG_SZ, Sz(L"IMAGE_STATE_SPECIALIZE_RESEAL_TO_OOBE"), true},
        {Ports::kREG_SZ, Sz(L""), true},
        {Ports::kREG_SZ, Sz(std::wstring(130, L'X')), false},  // longer than 129 characters: unreadable
        {Ports::kREG_SZ, Sz(std::wstring(129, L'X')), true},
        // Not text at all: no state can be read from it, so the machine counts as finished.
        {Ports::kREG_DWORD, {1, 0, 0, 0}, false},
        {Ports::kREG_BINARY, {}, false},
    };
    for (const auto& c : cases) {
        Sim::SimRegistry registry;
        registry.SetValue(Ports::RegistryRoot::LocalMachine, kArvekImage, L"StateName", c.type, c.data);
        EXPECT_EQ(c.building, IsImageStillBuilding(registry)) << FromUtf16Le(c.data.data(), c.data.size()).size();
    }
    Sim::SimRegistry empty;
    EXPECT_FALSE(IsImageStillBuilding(empty));
}

TEST(CarqReg, ChecksItsArgumentsBeforeTheRegistry) {
    Sim::SimRegistry registry;
    registry.SetValue(Ports::RegistryRoot::LocalMachine, L"Software\\T", L"V", Ports::kREG_SZ, Sz(L"x"));
    std::uint8_t buffer[16];
    std::uint32_t size = 0, type = 0;

    CarqReg unnamed(registry);
    EXPECT_EQ(kERROR_BAD_ARGUMENTS, unnamed.QueryValue(&type, buffer, &size));  // buffer with size 0
    EXPECT_EQ(kERROR_BAD_ARGUMENTS, unnamed.QueryValue(&type, buffer, nullptr));
    size = sizeof buffer;
    EXPECT_EQ(kERROR_BAD_ARGUMENTS, unnamed.QueryValue(&type, buffer, &size));  // no root

    CarqReg named(registry, Ports::RegistryRoot::LocalMachine, L"Software\\T", L"V", false);
    EXPECT_EQ(kERROR_SUCCESS, named.QueryValue(&type, buffer, &size));
    EXPECT_EQ(4u, size);
    size = 2;
    EXPECT_EQ(kERROR_MORE_DATA, named.QueryValue(&type, buffer, &size));
    size = sizeof buffer;
    EXPECT_EQ(kERROR_FILE_NOT_FOUND,
              named.QueryValue(Ports::RegistryRoot::LocalMachine, L"Software\\Missing", L"V", &type, buffer, &size, 0));
    EXPECT_EQ(kERROR_BAD_ARGUMENTS,
              named.QueryValue(Ports::RegistryRoot::LocalMachine, nullptr, L"V", &type, buffer, &size, 0));

    auto validationMessage = [&](const wchar_t* subKey, const wchar_t* name) -> std::wstring {
        try {
            CarqReg(registry, Ports::RegistryRoot::LocalMachine, subKey, name, true);
        } catch (const CSharedException& e) {
            return e.Message();
        }
        return L"(no exception)";
    };
    // The sub-key is tested first.
    EXPECT_EQ(L"Invalid parameter value. lpszSubKey is a nullptr.", validationMessage(nullptr, nullptr));
    EXPECT_EQ(L"Invalid parameter value. lpszValueName is a nullptr.", validationMessage(L"k", nullptr));
    EXPECT_NO_THROW(CarqReg(registry, Ports::RegistryRoot::LocalMachine, nullptr, nullptr, false));
}

}  // namespace
