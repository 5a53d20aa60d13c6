// WMI through the locator (wbemprox): one namespace's services, their
// query results and the results' properties.
//
// The calling thread has initialised COM; the objects handed out belong to
// that thread and are released on it.
#pragma once

#include <wbemidl.h>

#include <memory>

#include "ports/wmi.h"
#include "win32/handles.h"

namespace Arvek::Win32 {

// A class object as the core reads it: Get of a named property as a Variant.
std::unique_ptr<Ports::IWmiObject> MakeWmiObject(ComPtr<IWbemClassObject> object);

class Win32Wmi final : public Ports::IWmi {
public:
    HRESULT Connect(const std::wstring& ns, std::int32_t securityFlags, std::uint32_t authnLevel,
                    std::unique_ptr<Ports::IWmiServices>& services) override;
};

}  // namespace Arvek::Win32
