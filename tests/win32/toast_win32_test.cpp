// The toast adapter (under Wine in this build). Wine 8 has no toast classes:
// the service's first step fails as on a Windows without them, and nothing
// else is reached. The event handler the adapter gives a toast is checked
// here through its own COM interfaces, as the toast service would call it.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "process_log_win32.h"
#include "win32/handles.h"
#include "win32/toast_abi.h"
#include "win32/toast_win32.h"

namespace Arvek::Testing {
namespace {

using testing::Return;
using testing::Throw;

TEST(Win32Toast, WithoutTheToastClassesTheManagerIsNotRegistered) {
    Win32::ComApartment apartment;
    Win32::Win32ToastService service;
    std::unique_ptr<Ports::IToastManager> manager;
    EXPECT_EQ(service.GetManager(manager), kREGDB_E_CLASSNOTREG);
    EXPECT_EQ(manager, nullptr);
}

TEST(Win32Toast, ANotificationIsMadeOnlyFromTheServicesOwnDocument) {
    struct ForeignDocument final : Ports::IToastDocument {
        HRESULT CountElements(const std::wstring&, std::uint32_t&) override { return kE_FAIL; }
        HRESULT AppendText(const std::wstring&, std::uint32_t, const std::wstring&, const std::wstring&) override {
            return kE_FAIL;
        }
    } document;
    Win32::ComApartment apartment;
    Win32::Win32ToastService service;
    std::unique_ptr<Ports::IToastNotification> notification;
    EXPECT_EQ(service.CreateNotification(document, notification), kE_INVALIDARG);
    EXPECT_EQ(notification, nullptr);
}

class MockToastEvents : public Ports::IToastEvents {
public:
    MOCK_METHOD(HRESULT, Activated, (), (override));
    MOCK_METHOD(HRESULT, Dismissed, (std::int32_t reason), (override));
    MOCK_METHOD(HRESULT, Failed, (HRESULT error), (override));
};

// What the toast service hands to a Dismissed or Failed handler. Lives on
// the stack: its count is not kept.
class FakeEventArgs final : public Win32::WinRt::IToastDismissedEventArgs, public Win32::WinRt::IToastFailedEventArgs {
public:
    ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    ::HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) override { return E_NOTIMPL; }
    ::HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) override { return E_NOTIMPL; }
    ::HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel*) override { return E_NOTIMPL; }
    ::HRESULT STDMETHODCALLTYPE get_Reason(INT32* value) override {
        *value = Ports::kToastTimedOut;
        return readResult;
    }
    ::HRESULT STDMETHODCALLTYPE get_ErrorCode(::HRESULT* value) override {
        *value = static_cast<::HRESULT>(0x803E0115);
        return readResult;
    }
    ::HRESULT readResult = S_OK;
};

TEST(Win32ToastEventHandler, AnswersTheThreeDelegatesAndPassesEachEventOn) {
    auto events = std::make_shared<MockToastEvents>();
    std::weak_ptr<MockToastEvents> watch = events;
    Win32::ComPtr<IUnknown> handler;
    ASSERT_EQ(Win32::CreateToastEventHandler(events, __uuidof(IUnknown), handler.PutVoid()), S_OK);
    events.reset();  // the handler keeps its own

    Win32::ComPtr<Win32::WinRt::IToastActivatedHandler> activated;
    Win32::ComPtr<Win32::WinRt::IToastDismissedHandler> dismissed;
    Win32::ComPtr<Win32::WinRt::IToastFailedHandler> failed;
    Win32::ComPtr<IUnknown> identity;
    ASSERT_EQ(handler->QueryInterface(Win32::WinRt::IID_ToastActivatedHandler, activated.PutVoid()), S_OK);
    ASSERT_EQ(handler->QueryInterface(Win32::WinRt::IID_ToastDismissedHandler, dismissed.PutVoid()), S_OK);
    ASSERT_EQ(handler->QueryInterface(Win32::WinRt::IID_ToastFailedHandler, failed.PutVoid()), S_OK);
    ASSERT_EQ(dismissed->QueryInterface(__uuidof(IUnknown), identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), handler.Get()) << "one object, one IUnknown";
    // Not agile either: the toast service calls it the way COM calls any
    // object of the apartment that subscribed.
    for (const IID& other : {__uuidof(IDispatch), __uuidof(IAgileObject), __uuidof(IInspectable)}) {
        void* none = reinterpret_cast<void*>(1);
        EXPECT_EQ(handler->QueryInterface(other, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
    }

    auto* mock = watch.lock().get();
    EXPECT_CALL(*mock, Activated()).WillOnce(Return(kS_OK)).WillOnce(Throw(std::runtime_error("from the program")));
    EXPECT_CALL(*mock, Dismissed(Ports::kToastTimedOut)).WillOnce(Return(kS_FALSE));
    EXPECT_CALL(*mock, Failed(MakeHr(0x803E0115u))).WillOnce(Return(kE_FAIL));
    FakeEventArgs args;
    EXPECT_EQ(activated->Invoke(nullptr, nullptr), S_OK);
    ClearProcessLog();
    EXPECT_EQ(activated->Invoke(nullptr, nullptr), E_UNEXPECTED) << "nothing thrown reaches the service";
    EXPECT_EQ(ProcessLogLines(),
              std::vector<std::wstring>{
                  L"Error Arvek::Win32::ToastEventHandler::Invoke : from the program: the call ended in an exception"});
    EXPECT_EQ(dismissed->Invoke(nullptr, &args), S_FALSE);
    EXPECT_EQ(failed->Invoke(nullptr, &args), E_FAIL);

    // Arguments the handler cannot read reach nobody.
    args.readResult = E_ACCESSDENIED;
    EXPECT_EQ(dismissed->Invoke(nullptr, &args), E_ACCESSDENIED);
    EXPECT_EQ(failed->Invoke(nullptr, nullptr), E_POINTER);

    // Five references now (the first and four interfaces); the last Release
    // ends the handler and with it its hold on the events.
    EXPECT_EQ(handler->AddRef(), 6u);
    EXPECT_EQ(handler->Release(), 5u);
    activated.Reset();
    dismissed.Reset();
    failed.Reset();
    identity.Reset();
    EXPECT_FALSE(watch.expired());
    handler.Reset();
    EXPECT_TRUE(watch.expired());
}

TEST(Win32ToastEventHandler, IsRefusedWithoutEventsOrForAnotherInterface) {
    void* handler = reinterpret_cast<void*>(1);
    EXPECT_EQ(Win32::CreateToastEventHandler(nullptr, __uuidof(IUnknown), &handler), E_INVALIDARG);
    EXPECT_EQ(handler, nullptr);

    auto events = std::make_shared<MockToastEvents>();
    std::weak_ptr<MockToastEvents> watch = events;
    EXPECT_EQ(Win32::CreateToastEventHandler(std::move(events), __uuidof(IDispatch), &handler), E_NOINTERFACE);
    EXPECT_EQ(handler, nullptr);
    EXPECT_TRUE(watch.expired()) << "a handler nobody took is gone";
}

}  // namespace
}  // namespace Arvek::Testing
