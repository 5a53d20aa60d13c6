// The registry port's contract: one suite of cases that runs against every
// adapter (the simulated registry natively, the real one under Wine), so that
// the simulation is known to behave like Windows.
//
// An adapter's test file provides a backend and instantiates the suite:
//   INSTANTIATE_TEST_SUITE_P(Sim, RegistryContract, testing::Values(&MakeSimBackend));
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "ports/registry.h"

namespace Arvek::Testing {

// Test set-up for one adapter. The product never writes the registry; only
// these tests do, under a key of their own.
class RegistryContractBackend {
public:
    virtual ~RegistryContractBackend() = default;
    virtual Ports::IRegistry& Registry() = 0;
    // Creates the keys of HKLM\<path> as needed and sets one value; with
    // view32 in the 32-bit registry view (KEY_WOW64_32KEY).
    virtual void SetValue(const std::wstring& path, const std::wstring& name, std::uint32_t type,
                          const std::basic_string<std::uint8_t>& data, bool view32 = false) = 0;
    // Removes HKLM\<path> with everything below it, in both views; a missing key is fine.
    virtual void DeleteTree(const std::wstring& path) = 0;
};

using RegistryBackendFactory = std::unique_ptr<RegistryContractBackend> (*)();

// Printed in place of the factory's address, so that test names (which ctest
// takes with the printed parameter) are the same in every run.
inline void PrintTo(RegistryBackendFactory, std::ostream* out) { *out << "registry backend"; }

class RegistryContract : public testing::TestWithParam<RegistryBackendFactory> {
protected:
    void SetUp() override;
    void TearDown() override;
    std::unique_ptr<RegistryContractBackend> backend;
    // The key every case writes under: HKLM\Software\ArvekContractTest.
    static constexpr const wchar_t* kRoot = L"Software\\ArvekContractTest";
};

}  // namespace Arvek::Testing
