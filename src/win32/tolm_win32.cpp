#include "win32/tolm_win32.h"

#include <windows.h>
#include <ole2.h>

#include "win32/com_win32.h"
#include "win32/handles.h"
#include "win32/result.h"
#include "win32/tolm_interfaces.h"

namespace Arvek::Win32 {
namespace {

// The component's objects are asked for with CLSCTX_ALL, as the programs
// always have: in-process, handler, local or remote server.
constexpr DWORD kClsctxAll = 23;
static_assert(kClsctxAll == CLSCTX_ALL);

// CoCreateInstance for IUnknown, OleRun, QueryInterface for `iid`; the
// IUnknown goes when this returns. The first failing step's HRESULT.
HRESULT CreateRunning(const CLSID& clsid, const IID& iid, void** object) {
    *object = nullptr;
    ComPtr<IUnknown> unknown;
    ARVEK_RETURN_IF_FAILED(::CoCreateInstance(clsid, nullptr, kClsctxAll, IID_IUnknown, unknown.PutVoid()));
    ARVEK_RETURN_HR_IF_NULL(kE_POINTER, unknown);
    ARVEK_RETURN_IF_FAILED(::OleRun(unknown.Get()));
    // Handed out only once it is known to be there.
    void* queried = nullptr;
    ARVEK_RETURN_IF_FAILED(unknown->QueryInterface(iid, &queried));
    ARVEK_RETURN_HR_IF_NULL(kE_POINTER, queried);
    *object = queried;
    return kS_OK;
}

class Win32TolmCommand final : public Ports::ITolmCommand {
public:
    explicit Win32TolmCommand(ComPtr<Tolm::ITolmCommand> command) : m_command(std::move(command)) {}

    HRESULT ExecuteCommand(const std::wstring& command, Variant& result) override {
        const UniqueBstr name = MakeBstr(command);
        UniqueVariant reply;
        const HRESULT hr = m_command->ExecuteCommand(name.Get(), reply.Put());
        ARVEK_RETURN_IF_FAILED(hr);
        result = FromComVariant(reply.Get());
        return hr;
    }

    HRESULT ExecuteCommandWithArgument(const std::wstring& command, const Variant& argument,
                                       Variant& result) override {
        const UniqueBstr name = MakeBstr(command);
        UniqueVariant comArgument;
        ARVEK_RETURN_IF_FAILED(ToComVariant(argument, comArgument));
        UniqueVariant reply;
        // By value: the component gets a shallow copy and we clear the original.
        const HRESULT hr = m_command->ExecuteCommandWithArgument(name.Get(), comArgument.Get(), reply.Put());
        ARVEK_RETURN_IF_FAILED(hr);
        result = FromComVariant(reply.Get());
        return hr;
    }

private:
    ComPtr<Tolm::ITolmCommand> m_command;
};

class Win32TolmNotification final : public Ports::ITolmNotification {
public:
    explicit Win32TolmNotification(ComPtr<Tolm::ITolmNotification> notification)
        : m_notification(std::move(notification)) {}

private:
    ComPtr<Tolm::ITolmNotification> m_notification;
};

}  // namespace

HRESULT Win32Tolm::CreateCommand(std::unique_ptr<Ports::ITolmCommand>& command) {
    command.reset();
    ComPtr<Tolm::ITolmCommand> object;
    ARVEK_RETURN_IF_FAILED(CreateRunning(Tolm::kCLSID_TolmCommand, Tolm::kIID_ITolmCommand, object.PutVoid()));
    command = std::make_unique<Win32TolmCommand>(std::move(object));
    return kS_OK;
}

HRESULT Win32Tolm::CreateNotification(std::unique_ptr<Ports::ITolmNotification>& notification) {
    notification.reset();
    CLSID clsid{};
    ARVEK_RETURN_IF_FAILED(::CLSIDFromProgID(Ports::kTolmNotificationProgId, &clsid));
    ComPtr<Tolm::ITolmNotification> object;
    ARVEK_RETURN_IF_FAILED(CreateRunning(clsid, Tolm::kIID_ITolmNotification, object.PutVoid()));
    notification = std::make_unique<Win32TolmNotification>(std::move(object));
    return kS_OK;
}

}  // namespace Arvek::Win32
