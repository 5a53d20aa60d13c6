// The barrier's shapes at the adapter's boundaries (win32/callback_barrier.h):
// the body's own answer when it returns, the shape's answer and one line at
// Error under the boundary's name when it throws. The window procedure's
// shape is checked on a real window in the windowing tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "common/hresult.h"
#include "process_log_win32.h"
#include "win32/callback_barrier.h"

namespace Arvek::Win32 {
namespace {

using Testing::ClearProcessLog;
using Testing::ProcessLogLines;

TEST(Win32CallbackBarrier, AComMethodAnswersE_UNEXPECTEDForWhatItThrows) {
    ClearProcessLog();
    EXPECT_EQ(CallComMethod("Test::Method", [] { return kS_FALSE; }), S_FALSE);
    EXPECT_EQ(CallComMethod("Test::Method", [] { return kE_ACCESSDENIED; }), E_ACCESSDENIED);
    EXPECT_TRUE(ProcessLogLines().empty());

    EXPECT_EQ(CallComMethod("Test::Method", []() -> ::HRESULT { throw std::runtime_error("from the method"); }),
              E_UNEXPECTED);
    EXPECT_EQ(CallComMethod("Test::Method", []() -> ::HRESULT { throw ComError(kE_OUTOFMEMORY); }), E_UNEXPECTED);
    EXPECT_EQ(ProcessLogLines(), (std::vector<std::wstring>{
                                     L"Error Test::Method : from the method: the call ended in an exception",
                                     L"Error Test::Method : COM error 0x8007000E: the call ended in an exception",
                                 }));
}

TEST(Win32CallbackBarrier, AProcedureFallsBackOnlyWhenItsBodyThrows) {
    ClearProcessLog();
    int fallbacks = 0;
    const auto fallback = [&] {
        ++fallbacks;
        return LRESULT{-1};
    };
    EXPECT_EQ(CallWithFallback("Test::Procedure", [] { return LRESULT{7}; }, fallback), 7);
    EXPECT_EQ(fallbacks, 0);
    EXPECT_EQ(CallWithFallback("Test::Procedure", []() -> LRESULT { throw 42; }, fallback), -1);
    EXPECT_EQ(fallbacks, 1);
    EXPECT_EQ(CallDialogProcedure("Test::Dialog", []() -> INT_PTR { throw std::bad_alloc(); }), FALSE);
    EXPECT_EQ(CallDialogProcedure("Test::Dialog", [] { return INT_PTR{TRUE}; }), TRUE);
    EXPECT_EQ(ProcessLogLines(), (std::vector<std::wstring>{
                                     L"Error Test::Procedure : Unknown exception: the call ended in an exception",
                                     L"Error Test::Dialog : Out of memory: the call ended in an exception",
                                 }));
}

}  // namespace
}  // namespace Arvek::Win32
