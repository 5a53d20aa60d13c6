// COM at the adapter's boundary, checked against ole32 and oleaut32
// themselves (under Wine in this build): the thread runtime's results, the
// VARIANT conversions of com_win32 and the core's VariantToText next to the
// standard conversion to VT_BSTR.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <thread>

#include "common/strings.h"
#include "common/variant.h"
#include "ports/com.h"
#include "win32/com_win32.h"
#include "win32/handles.h"

namespace Arvek::Testing {
namespace {

std::uint64_t BitsOf(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
std::uint64_t BitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// What the core balances: S_OK and S_FALSE each take an uninitialisation,
// a refused change of apartment does not. On a thread of its own, so that
// nothing else here has entered an apartment.
TEST(Win32ComRuntimeTest, InitialisationResultsAndTheirBalance) {
    std::thread([] {
        Win32::Win32ComRuntime com;
        EXPECT_EQ(com.InitializeThread(Ports::kCOINIT_APARTMENTTHREADED | Ports::kCOINIT_SPEED_OVER_MEMORY), kS_OK);
        EXPECT_EQ(com.InitializeThread(Ports::kCOINIT_APARTMENTTHREADED), kS_FALSE);
        EXPECT_EQ(com.InitializeThread(0), Ports::kRPC_E_CHANGED_MODE);  // multithreaded
        com.UninitializeThread();
        com.UninitializeThread();
        // Balanced: the thread is out of its apartment and may enter the other kind.
        EXPECT_EQ(com.InitializeThread(0), kS_OK);
        com.UninitializeThread();
    }).join();
}

TEST(Win32ComVariantTest, ValuesCrossTheBoundaryWithTagAndPayloadIntact) {
    const Variant values[] = {
        Variant::Empty(),
        Variant::Bool(true),
        Variant::Raw(kVT_BOOL, 0x00000000A5A5FFFFull),  // stray upper bytes
        Variant::Raw(0x0033, 0x0123456789ABCDEFull),     // a tag no VARIANT kind has
        Variant::I4(-7),
        Variant::Bstr(std::wstring(L"x\0y", 3)),
        Variant::Bstr(L""),
        {kVT_BSTR, 0, std::nullopt},  // a null BSTR
    };
    for (const Variant& value : values) {
        SCOPED_TRACE(testing::Message() << "vt " << value.vt << " bits " << std::hex << value.bits);
        Win32::UniqueVariant com;
        ASSERT_EQ(Win32::ToComVariant(value, com), kS_OK);
        EXPECT_EQ(com.Get().vt, value.vt);
        const Variant back = Win32::FromComVariant(com.Get());
        EXPECT_EQ(back.vt, value.vt);
        EXPECT_EQ(back.bits, value.bits);
        EXPECT_EQ(back.bstr, value.bstr);
    }
}

TEST(Win32ComVariantTest, PointerPayloadsAreNeitherSentNorKept) {
    for (const int vt : {+VT_DISPATCH, +VT_UNKNOWN, +VT_RECORD, VT_I4 | VT_BYREF, VT_BSTR | VT_ARRAY}) {
        SCOPED_TRACE(vt);
        Win32::UniqueVariant com;
        EXPECT_EQ(Win32::ToComVariant(Variant::Raw(static_cast<std::uint16_t>(vt), 0x1000), com), kE_INVALIDARG);
        EXPECT_EQ(com.Get().vt, VT_EMPTY);
    }
    // An array a component hands back: the tag is kept, the pointer is not.
    Win32::UniqueVariant array;
    VARIANT* slot = array.Put();
    slot->vt = VT_ARRAY | VT_UI1;
    slot->parray = ::SafeArrayCreateVector(VT_UI1, 0, 4);
    ASSERT_NE(slot->parray, nullptr);
    const Variant read = Win32::FromComVariant(array.Get());
    EXPECT_EQ(read.vt, VT_ARRAY | VT_UI1);
    EXPECT_EQ(read.bits, 0u);
}

// The core formats WMI values as text itself; oleaut32 is the reference.
// VariantChangeType converts in the user's locale (a German one writes
// "0,1"); the core writes the invariant form, so that is what is compared.
TEST(Win32ComVariantTest, VariantToTextMatchesVariantChangeType) {
    const Variant values[] = {
        Variant::Empty(),
        Variant::Raw(kVT_NULL, 0),
        Variant::Raw(kVT_I2, 0x8000),
        Variant::Raw(kVT_I2, 0xFFFF),
        Variant::I4(std::numeric_limits<std::int32_t>::min()),
        Variant::I4(0),
        Variant::I4(2147483647),
        Variant::Raw(kVT_I4, 0xFFFFFFFF00000005ull),  // only the low 32 bits count
        Variant::UI1(255),
        Variant::Raw(kVT_UI4, 0xFFFFFFFFu),
        Variant::Raw(kVT_I8, 0x8000000000000000ull),
        Variant::Raw(kVT_I8, 12345678901234ull),
        Variant::Bool(true),
        Variant::Bool(false),
        Variant::Raw(kVT_BOOL, 1),
        Variant::Raw(kVT_R8, BitsOf(0.0)),
        Variant::Raw(kVT_R8, BitsOf(-1.5)),
        Variant::Raw(kVT_R8, BitsOf(0.1)),
        Variant::Raw(kVT_R8, BitsOf(1.0 / 3.0)),
        Variant::Raw(kVT_R8, BitsOf(123456789012345678.0)),
        Variant::Raw(kVT_R8, BitsOf(1e15)),
        Variant::Raw(kVT_R8, BitsOf(1e-5)),
        Variant::Raw(kVT_R8, BitsOf(0.0001)),
        Variant::Raw(kVT_R8, BitsOf(2.5e-300)),
        Variant::Raw(kVT_R8, BitsOf(1e16)),
        Variant::Raw(kVT_R8, BitsOf(1.5e-7)),
        Variant::Raw(kVT_R8, BitsOf(0.1 + 0.2)),
        Variant::Raw(kVT_R8, BitsOf(100.0)),
        Variant::Raw(kVT_R8, BitsOf(5e-324)),
        Variant::Raw(kVT_R8, BitsOf(std::numeric_limits<double>::max())),
        Variant::Raw(kVT_R8, BitsOf(-0.0)),
        Variant::Raw(kVT_R8, BitsOf(std::numeric_limits<double>::infinity())),
        Variant::Raw(kVT_R8, BitsOf(-std::numeric_limits<double>::infinity())),
        Variant::Raw(kVT_R8, BitsOf(std::numeric_limits<double>::quiet_NaN())),
        Variant::Raw(kVT_R4, BitsOf(16777216.0f)),
        Variant::Raw(kVT_R4, BitsOf(1e-10f)),
        Variant::Raw(kVT_R4, BitsOf(0.1f)),
        Variant::Raw(kVT_I1, 0x80),
        Variant::Raw(kVT_UI2, 0xFFFF),
        Variant::Raw(kVT_UI8, 0xFFFFFFFFFFFFFFFFull),
        Variant::Raw(kVT_INT, 0xFFFFFFFF),
        Variant::Raw(kVT_UINT, 0xFFFFFFFF),
        Variant::Raw(kVT_ERROR, 0x80004005),
        Variant::Raw(kVT_R4, BitsOf(3.14159274f)),
        Variant::Raw(kVT_R4, BitsOf(1e10f)),
        Variant::Bstr(L"1.14.2"),
        {kVT_BSTR, 0, std::nullopt},
    };
    for (const Variant& value : values) {
        SCOPED_TRACE(testing::Message() << "vt " << value.vt << " bits 0x" << std::hex << value.bits);
        Win32::UniqueVariant source;
        ASSERT_EQ(Win32::ToComVariant(value, source), kS_OK);
        Win32::UniqueVariant changed;
        VARIANT copy = source.Get();  // no const source in the signature; it is left alone
        const HRESULT expectedHr = ::VariantChangeTypeEx(changed.Put(), &copy, LOCALE_INVARIANT, 0, VT_BSTR);

        std::wstring text = L"unchanged";
        const HRESULT hr = VariantToText(value, text);
        EXPECT_EQ(hr, expectedHr);
        if (SUCCEEDED(expectedHr)) {
            EXPECT_EQ(NarrowUtf8(text), NarrowUtf8(Win32::BstrText(changed.Get().bstrVal)));
        }
    }
}

}  // namespace
}  // namespace Arvek::Testing
