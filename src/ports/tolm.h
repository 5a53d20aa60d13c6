// The maker's platform command component, Tolm: a COM server outside this
// system from which both programs read firmware data by named commands.
// Each operation creates its own objects and releases them before it returns.
//
// Implementations: win32/tolm_win32 (the real COM server through
// CoCreateInstance), sim/standins/sim_tolm (the simulated notebook's answers).
//
// Creating objects throws nothing but std::bad_alloc; a command raises
// ComError(E_OUTOFMEMORY) when its name or its text cannot be held in a COM
// string, as a failing COM call does.
#pragma once

#include <memory>
#include <string>

#include "common/hresult.h"
#include "common/variant.h"

namespace Arvek::Ports {

constexpr wchar_t kTolmNotificationProgId[] = L"arvektolmutils.arvekTolmNotification";

// ITolmCommand. Each call returns the component's HRESULT; `result` is set
// only on success.
class ITolmCommand {
public:
    virtual ~ITolmCommand() = default;
    virtual HRESULT ExecuteCommand(const std::wstring& command, Variant& result) = 0;
    virtual HRESULT ExecuteCommandWithArgument(const std::wstring& command, const Variant& argument,
                                               Variant& result) = 0;
};

// ITolmNotification: none of its operations is called; that it can be
// created is what matters.
class ITolmNotification {
public:
    virtual ~ITolmNotification() = default;
};

class ITolm {
public:
    virtual ~ITolm() = default;
    // CoCreateInstance of the command class (no outer, CLSCTX_ALL, IUnknown),
    // OleRun, QueryInterface for ITolmCommand, release of the IUnknown. The
    // first failing step's HRESULT, and no object; S_OK and the object.
    virtual HRESULT CreateCommand(std::unique_ptr<ITolmCommand>& command) = 0;
    // CLSIDFromProgID(kTolmNotificationProgId), then the same steps for
    // ITolmNotification.
    virtual HRESULT CreateNotification(std::unique_ptr<ITolmNotification>& notification) = 0;
};

}  // namespace Arvek::Ports
