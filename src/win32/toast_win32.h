// Toasts through the Windows Runtime's toast service, called at its binary
// interface (win32/toast_abi.h): the manager's statics and the notification
// factory come from RoGetActivationFactory, the content is the service's own
// Windows.Data.Xml.Dom document. Each step returns the runtime's HRESULT
// unchanged. The calling thread has entered a COM apartment.
//
// The runtime's functions are looked up in combase.dll when first needed, not
// imported, so that the programs still start on a Windows without the
// runtime. There, and where the toast classes are not registered (Wine 8),
// GetManager reports REGDB_E_CLASSNOTREG.
#pragma once

#include <unknwn.h>

#include <memory>

#include "ports/toast.h"

namespace Arvek::Win32 {

class Win32ToastService final : public Ports::IToastService {
public:
    HRESULT GetManager(std::unique_ptr<Ports::IToastManager>& manager) override;
    HRESULT CreateNotification(Ports::IToastDocument& document,
                               std::unique_ptr<Ports::IToastNotification>& notification) override;
};

// The COM object that Subscribe hands to the notification: one per
// subscription, answering IUnknown and the three event delegates of a toast
// (Activated, Dismissed, Failed), each Invoke passing the event on to
// `events`. The service calls it on its own threads: its reference count is
// atomic.
// Made with one reference, which QueryInterface for `iid` takes over:
// *handler holds the only reference on success, null on failure.
// E_INVALIDARG for no `events`.
::HRESULT CreateToastEventHandler(std::shared_ptr<Ports::IToastEvents> events, REFIID iid, void** handler);

}  // namespace Arvek::Win32
