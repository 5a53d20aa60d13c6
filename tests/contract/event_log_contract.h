// The event log port's contract: cases that run against both adapters (the
// simulated notebook's store natively, the real API under Wine), so that
// the audit-log mirroring meets the same answers in the simulation as on a
// notebook. Wine keeps no events (its writer succeeds and stores nothing,
// every log reads as empty), so the cases are those both can answer: a
// registered source's writes succeed, and a log that holds nothing reads
// as empty. What a log holds once written is the simulation's alone
// (tests/sim/event_log_sim_test.cpp).
//
// An adapter's test file provides a backend whose event log holds nothing
// and instantiates the suite:
//   INSTANTIATE_TEST_SUITE_P(Sim, EventLogContract, testing::Values(&MakeSimBackend));
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

#include "ports/event_log.h"

namespace Arvek::Testing {

class EventLogContractBackend {
public:
    virtual ~EventLogContractBackend() = default;
    virtual Ports::IEventLog& EventLog() = 0;
};

using EventLogBackendFactory = std::unique_ptr<EventLogContractBackend> (*)();
// Stable test names: the factory's address changes from run to run.
inline void PrintTo(EventLogBackendFactory, std::ostream* out) { *out << "event log backend"; }

class EventLogContract : public testing::TestWithParam<EventLogBackendFactory> {
protected:
    void SetUp() override { backend = GetParam()(); }
    void TearDown() override { backend.reset(); }

    std::unique_ptr<EventLogContractBackend> backend;
};

}  // namespace Arvek::Testing
