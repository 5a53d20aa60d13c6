// WMI event subscriptions over the real WMI client: the in-process locator
// (wbemprox), the services of a namespace, the unsecured apartment and its
// stub around the program's sink, the asynchronous notification query and
// its cancel. The program's sink is wrapped in a COM object of the adapter's
// (IWbemObjectSink on the COM base), which WMI calls through the stub; what
// the core's sink might throw stops at that object.
//
// Under Wine 8 the unsecured apartment is not registered
// (REGDB_E_CLASSNOTREG); everything else here works there, and a notification
// query is answered with SetStatus(WBEM_STATUS_COMPLETE) from a pool thread
// without an event ever being raised.
#pragma once

#include <memory>

#include "ports/wmi_events.h"

namespace Arvek::Win32 {

class Win32WmiEvents final : public Ports::IWmiEvents {
public:
    HRESULT CreateLocator(std::unique_ptr<Ports::IWmiLocator>& locator) override;
    HRESULT CreateUnsecuredApartment(std::unique_ptr<Ports::IWmiUnsecuredApartment>& apartment) override;
};

// The program's sink as an IWbemObjectSink of this process, without the
// unsecured apartment: what the adapter's tests hand to a query directly.
HRESULT MakeInProcessSink(std::shared_ptr<Ports::IWmiEventSink> sink, std::unique_ptr<Ports::IWmiStubSink>& wrapped);

}  // namespace Arvek::Win32
