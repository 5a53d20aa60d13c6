// The console port writes UTF-8 to whatever the standard output handle is,
// and nothing when there is none; the clock counts in 100 ns units.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include <string>

#include "win32/clock_win32.h"
#include "win32/diagnostics_win32.h"
#include "win32/handles.h"

namespace Arvek::Win32 {
namespace {

// Points the process's standard output at a pipe for one test.
class StandardOutputCapture : public testing::Test {
protected:
    void SetUp() override {
        m_saved = ::GetStdHandle(STD_OUTPUT_HANDLE);
        ASSERT_TRUE(::CreatePipe(m_read.Put(), m_write.Put(), nullptr, 1 << 16));
        ASSERT_TRUE(::SetStdHandle(STD_OUTPUT_HANDLE, m_write.Get()));
    }
    void TearDown() override { ::SetStdHandle(STD_OUTPUT_HANDLE, m_saved); }

    std::string Captured() {
        m_write.Reset();
        ::SetStdHandle(STD_OUTPUT_HANDLE, m_saved);
        std::string bytes;
        char chunk[256];
        DWORD got = 0;
        while (::ReadFile(m_read.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
        return bytes;
    }

    HANDLE m_saved = nullptr;
    UniqueKernelHandle m_read;
    UniqueKernelHandle m_write;
};

TEST_F(StandardOutputCapture, ConsoleWritesUtf8) {
    Win32Console console;
    console.Write(L"Gr\u00FC\u00DFe \u2122 \u20AC\n");
    console.Write(L"");
    console.Write(L"second line\n");
    EXPECT_EQ(Captured(), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x84\xA2 \xE2\x82\xAC\nsecond line\n");
}

TEST_F(StandardOutputCapture, ConsoleWithoutStandardOutputDropsTheText) {
    Win32Console console;
    ASSERT_TRUE(::SetStdHandle(STD_OUTPUT_HANDLE, nullptr));
    console.Write(L"nowhere to go\n");
    ASSERT_TRUE(::SetStdHandle(STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE));
    console.Write(L"nowhere either\n");
    EXPECT_EQ(Captured(), "");
}

TEST(Win32Clock, UnbiasedInterruptTimeCountsHundredsOfNanoseconds) {
    Win32Clock clock;
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t before = clock.UnbiasedInterruptTime();
    clock.Sleep(200);
    const std::uint64_t after = clock.UnbiasedInterruptTime();
    const auto elapsed = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count() / 100);
    EXPECT_GT(before, 0u);
    // In 100 ns units, the time that passed as the host's clock measured it
    // (a busy machine wakes the sleeper late, so the sleep's own length is
    // not the measure). Wine updates the interrupt time in the background,
    // so a loaded machine may see it lag: the check is for the unit, within
    // a factor of four, not for precision.
    EXPECT_GE(after - before, elapsed / 4);
    EXPECT_LE(after - before, elapsed * 4);
}

}  // namespace
}  // namespace Arvek::Win32
