// The base of the adapter's COM objects (win32/com_object.h), through the
// interfaces a caller sees: which ids QueryInterface answers, the counts
// AddRef and Release give, the deletion at zero, from two threads at once.
// The object here is a WMI event sink, as the agent's will be: one interface
// with a declared uuid (IWbemObjectSink), one declared by hand with its id.
#include <windows.h>
#include <wbemcli.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "win32/com_object.h"
#include "win32/handles.h"

namespace Arvek::Win32 {
namespace {

// An interface of our own, declared as the adapter declares the runtime's
// and Tolm's: its id as a static member.
struct ITestProbe : public IUnknown {
    static constexpr IID kInterfaceId = {0x5B0C7F4E, 0x2D1A, 0x4C8B, {0x9E, 0x61, 0x0A, 0x3F, 0x77, 0x12, 0xC4, 0xD9}};
    virtual LONG STDMETHODCALLTYPE Indicated() = 0;
};

class Sink final : public ComObject<IWbemObjectSink, ITestProbe> {
public:
    explicit Sink(std::atomic<int>& destroyed) : m_destroyed(destroyed) {}

    ::HRESULT STDMETHODCALLTYPE Indicate(LONG count, IWbemClassObject**) override {
        m_indicated += count;
        return WBEM_S_NO_ERROR;
    }
    ::HRESULT STDMETHODCALLTYPE SetStatus(LONG, ::HRESULT result, BSTR, IWbemClassObject*) override {
        return result;
    }
    LONG STDMETHODCALLTYPE Indicated() override { return m_indicated; }

private:
    ~Sink() override { ++m_destroyed; }

    std::atomic<int>& m_destroyed;
    std::atomic<LONG> m_indicated{0};
};

class Win32ComObjectTest : public testing::Test {
protected:
    // A sink as IUnknown, its only reference the caller's.
    IUnknown* NewSink() {
        void* sink = nullptr;
        EXPECT_EQ(MakeComObject<Sink>(__uuidof(IUnknown), &sink, destroyed), S_OK);
        return static_cast<IUnknown*>(sink);
    }

    std::atomic<int> destroyed{0};
};

TEST_F(Win32ComObjectTest, AnswersIUnknownAndEachListedInterfaceOnly) {
    ComPtr<IUnknown> sink;
    *sink.Put() = NewSink();
    ASSERT_TRUE(sink);

    ComPtr<IWbemObjectSink> wmi;
    ComPtr<ITestProbe> probe;
    ASSERT_EQ(sink->QueryInterface(__uuidof(IWbemObjectSink), wmi.PutVoid()), S_OK);
    ASSERT_EQ(sink->QueryInterface(ITestProbe::kInterfaceId, probe.PutVoid()), S_OK);
    // Each interface reaches the one object.
    EXPECT_EQ(wmi->Indicate(3, nullptr), WBEM_S_NO_ERROR);
    EXPECT_EQ(probe->Indicated(), 3);
    EXPECT_EQ(wmi->SetStatus(WBEM_STATUS_COMPLETE, WBEM_E_FAILED, nullptr, nullptr), WBEM_E_FAILED);
    // One identity, whichever interface it is asked from.
    for (IUnknown* from : {static_cast<IUnknown*>(wmi.Get()), static_cast<IUnknown*>(probe.Get())}) {
        ComPtr<IUnknown> identity;
        ASSERT_EQ(from->QueryInterface(__uuidof(IUnknown), identity.PutVoid()), S_OK);
        EXPECT_EQ(identity.Get(), sink.Get());
    }

    for (const IID& other : {__uuidof(IDispatch), __uuidof(IClassFactory), __uuidof(IWbemClassObject)}) {
        void* none = reinterpret_cast<void*>(1);
        EXPECT_EQ(sink->QueryInterface(other, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
    }
    EXPECT_EQ(sink->QueryInterface(__uuidof(IUnknown), nullptr), E_POINTER);
}

TEST_F(Win32ComObjectTest, CountsItsReferencesAndGoesWithTheLast) {
    IUnknown* raw = NewSink();
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->AddRef(), 2u);
    void* wmi = nullptr;
    ASSERT_EQ(raw->QueryInterface(__uuidof(IWbemObjectSink), &wmi), S_OK);
    EXPECT_EQ(raw->Release(), 2u);
    EXPECT_EQ(raw->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(static_cast<IWbemObjectSink*>(wmi)->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

TEST_F(Win32ComObjectTest, MakeComObjectHandsOutTheOnlyReferenceOrNothing) {
    ComPtr<IWbemObjectSink> wmi;
    ASSERT_EQ(MakeComObject<Sink>(__uuidof(IWbemObjectSink), wmi.PutVoid(), destroyed), S_OK);
    EXPECT_EQ(wmi->AddRef(), 2u);
    EXPECT_EQ(wmi->Release(), 1u);
    wmi.Reset();
    EXPECT_EQ(destroyed, 1);

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(MakeComObject<Sink>(__uuidof(IDispatch), &none, destroyed), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(destroyed, 2) << "an object nobody took is gone";
    EXPECT_EQ(MakeComObject<Sink>(__uuidof(IUnknown), nullptr, destroyed), E_POINTER);
    EXPECT_EQ(destroyed, 2) << "nothing made";
}

// WMI calls a sink on its own threads while the agent holds and lets go of
// references: no count is lost and the object goes exactly once.
TEST_F(Win32ComObjectTest, CountsFromTwoThreadsAtOnce) {
    constexpr int kRounds = 100000;
    IUnknown* raw = NewSink();
    ASSERT_NE(raw, nullptr);

    std::atomic<bool> go{false};
    const auto churn = [&] {
        while (!go) std::this_thread::yield();
        for (int i = 0; i < kRounds; ++i) {
            raw->AddRef();
            raw->Release();
        }
    };
    std::thread first(churn), second(churn);
    go = true;
    first.join();
    second.join();
    EXPECT_EQ(raw->AddRef(), 2u) << "every AddRef met its Release";

    // Two threads let go of many references at once; the creator's last one ends it.
    for (int i = 0; i < 2 * kRounds - 1; ++i) raw->AddRef();
    go = false;
    std::atomic<int> zeros{0};
    const auto release = [&] {
        while (!go) std::this_thread::yield();
        for (int i = 0; i < kRounds; ++i)
            if (raw->Release() == 0) ++zeros;
    };
    std::thread third(release), fourth(release);
    go = true;
    third.join();
    fourth.join();
    EXPECT_EQ(zeros, 0);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(raw->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
}  // namespace Arvek::Win32
