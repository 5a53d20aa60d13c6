#include "contract/event_log_contract.h"

#include <vector>

namespace Arvek::Testing {

TEST_P(EventLogContract, ARegisteredSourceWritesEventsOfEveryType) {
    const auto source = backend->EventLog().RegisterSource(L"Arvek Tarnwall");
    ASSERT_TRUE(source);
    for (const std::uint16_t type : {Ports::kEVENTLOG_ERROR_TYPE, Ports::kEVENTLOG_WARNING_TYPE,
                                     Ports::kEVENTLOG_INFORMATION_TYPE})
        EXPECT_EQ(source->Report(type, 0, 12, {L"Tarnwall log entry: x\r\nSource: EC\r\nTimestamp: 08:15"}), 0u)
            << type;
    // An event id beyond 16 bits and no insertion string at all.
    EXPECT_EQ(source->Report(Ports::kEVENTLOG_INFORMATION_TYPE, 0, 0xFFFFFFFBu, {}), 0u);
}

TEST_P(EventLogContract, ALogThatHoldsNothingReadsAsEmpty) {
    std::unique_ptr<Ports::IEventLogReader> reader;
    ASSERT_EQ(backend->EventLog().OpenLog(L"Arvek Tarnwall", reader), 0u);
    ASSERT_TRUE(reader);
    std::vector<std::uint8_t> buffer(65536);
    for (int read = 0; read < 2; ++read) {
        std::uint32_t got = 1, needed = 1;
        EXPECT_EQ(reader->ReadBackwards(buffer, got, needed), Ports::kERROR_HANDLE_EOF) << "read " << read;
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(needed, 0u);
    }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(EventLogContract);

}  // namespace Arvek::Testing
