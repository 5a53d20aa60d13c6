#include "win32/tolm_win32.h"

#include <windows.h>
#include <ole2.h>

#include "win32/com_win32.h"
#include "win32/handles.h"
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
    const HRESULT created = ::CoCreateInstance(clsid, nullptr, kClsctxAll, IID_IUnknown, unknown.PutVoid());
    if (FAILED(created)) return created;
    if (!unknown) return kE_POINTER;
    const HRESULT running = ::OleRun(unknown.Get());
    if (FAILED(running)) return running;
    const HRESULT queried = unknown->QueryInterface(iid, object);
    if (FAILED(queried)) {
        *object = nullptr;
        return queried;
    }
    return *object ? kS_OK : kE_POINTER;
}

class Win32TolmCommand final : public Ports::ITolmCommand {
public:
    explicit Win32TolmCommand(ComPtr<Tolm::ITolmCommand> command) : m_command(std::move(command)) {}

    HRESULT ExecuteCommand(const std::wstring& command, Variant& result) override {
        const UniqueBstr name = MakeBstr(command);
        UniqueVariant reply;
        const HRESULT hr = m_command->ExecuteCommand(name.Get(), reply.Put());
        if (FAILED(hr)) return hr;
        result = FromComVariant(reply.Get());
        return hr;
    }

    HRESULT ExecuteCommandWithArgument(const std::wstring& command, const Variant& argument,
                                       Variant& result) override {
        const UniqueBstr name = MakeBstr(command);
        UniqueVariant comArgument;
        const HRESULT converted = ToComVariant(argument, comArgument);
        if (FAILED(converted)) return converted;
        UniqueVariant reply;
        // By value: the component gets a shallow copy and we clear the original.
        const HRESULT hr = m_command->ExecuteCommandWithArgument(name.Get(), comArgument.Get(), reply.Put());
        if (FAILED(hr)) return hr;
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
    const HRESULT hr = CreateRunning(Tolm::kCLSID_TolmCommand, Tolm::kIID_ITolmCommand, object.PutVoid());
    if (FAILED(hr)) return hr;
    command = std::make_unique<Win32TolmCommand>(std::move(object));
    return kS_OK;
}

HRESULT Win32Tolm::CreateNotification(std::unique_ptr<Ports::ITolmNotification>& notification) {
    notification.reset();
    CLSID clsid{};
    const HRESULT found = ::CLSIDFromProgID(Ports::kTolmNotificationProgId, &clsid);
    if (FAILED(found)) return found;
    ComPtr<Tolm::ITolmNotification> object;
    const HRESULT hr = CreateRunning(clsid, Tolm::kIID_ITolmNotification, object.PutVoid());
    if (FAILED(hr)) return hr;
    notification = std::make_unique<Win32TolmNotification>(std::move(object));
    return kS_OK;
}

}  // namespace Arvek::Win32
