// The devices port's contract for the device lists, instance ids and the
// driver-key property, and a hub opened for writing: one suite that runs
// against every adapter (the simulated device tree natively, Wine's setup
// API, which reads the registry, under Wine), so that the simulation is
// known to answer as the platform does.
//
// An adapter's test file provides a backend and instantiates the suite:
//   INSTANTIATE_TEST_SUITE_P(Sim, DevicesContract, testing::Values(&MakeSimBackend));
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "ports/devices.h"

namespace Arvek::Testing {

// Test set-up for one adapter: the devices the cases describe exist while
// the backend does.
class DevicesContractBackend {
public:
    virtual ~DevicesContractBackend() = default;
    virtual Ports::IDevices& Devices() = 0;
    // A device with one interface of the class at `path`; present or not,
    // with its driver key or without one.
    virtual void AddDevice(const std::wstring& instanceId, const std::wstring& path,
                           const Ports::Guid& interfaceClass, bool present,
                           const std::optional<std::wstring>& driverKey) = 0;
};

using DevicesBackendFactory = std::unique_ptr<DevicesContractBackend> (*)();

inline void PrintTo(DevicesBackendFactory, std::ostream* out) { *out << "devices backend"; }

class DevicesContract : public testing::TestWithParam<DevicesBackendFactory> {
protected:
    void SetUp() override;
    std::unique_ptr<DevicesContractBackend> backend;
};

}  // namespace Arvek::Testing
