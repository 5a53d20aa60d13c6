// Toast port: the desktop's toast notification service, in the steps the
// agent takes to show one toast, each with its own HRESULT so a test can fail
// any of them.
//
// Implementations: win32/toast_win32 (the WinRT toast service through its
// ABI interfaces: ToastNotificationManager, ToastNotification, the
// Windows.Data.Xml.Dom document), sim/os/sim_toast (records the toasts shown and
// lets a test or the timeline click, dismiss or fail them).
//
// Nothing here throws but std::bad_alloc when memory runs out; the events
// handed to a notification must not throw either (they run on the
// service's threads).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/hresult.h"

namespace Arvek::Ports {

// ToastTemplateType_ToastImageAndText04: a picture and three lines of text.
constexpr std::int32_t kToastImageAndText04 = 3;

// ToastDismissalReason.
constexpr std::int32_t kToastUserCanceled = 0;
constexpr std::int32_t kToastApplicationHidden = 1;
constexpr std::int32_t kToastTimedOut = 2;

// A toast's content: the service's XML document for one template, which the
// agent edits only by appending text nodes.
class IToastDocument {
public:
    virtual ~IToastDocument() = default;
    // The number of elements named `tag` (GetElementsByTagName, Length).
    virtual HRESULT CountElements(const std::wstring& tag, std::uint32_t& count) = 0;
    // Takes the `index`-th element named `tag` and, when `attribute` is not
    // empty, that element's attribute node of that name; creates a text node
    // holding `value` in the document and appends it as that node's child.
    // Fails with the first failing step's HRESULT; a missing element or
    // attribute is E_INVALIDARG.
    virtual HRESULT AppendText(const std::wstring& tag, std::uint32_t index, const std::wstring& attribute,
                               const std::wstring& value) = 0;
};

// What a toast reports to its program. Called on the toast service's own
// threads; the result goes back to the service.
class IToastEvents {
public:
    virtual ~IToastEvents() = default;
    // The user clicked the toast.
    virtual HRESULT Activated() = 0;
    // The toast went away without a click; `reason` is a ToastDismissalReason.
    virtual HRESULT Dismissed(std::int32_t reason) = 0;
    // The service could not show the toast.
    virtual HRESULT Failed(HRESULT error) = 0;
};

enum class ToastEvent { Activated, Dismissed, Failed };

class IToastNotification {
public:
    virtual ~IToastNotification() = default;
    // add_Activated, add_Dismissed or add_Failed with a handler that passes
    // the event on to `events`. The subscription is never removed: the
    // notification keeps `events` for as long as it lives.
    virtual HRESULT Subscribe(ToastEvent event, std::shared_ptr<IToastEvents> events) = 0;
};

class IToastNotifier {
public:
    virtual ~IToastNotifier() = default;
    virtual HRESULT Show(IToastNotification& notification) = 0;
};

// The statics of "Windows.UI.Notifications.ToastNotificationManager".
class IToastManager {
public:
    virtual ~IToastManager() = default;
    virtual HRESULT GetTemplateContent(std::int32_t templateType, std::unique_ptr<IToastDocument>& document) = 0;
    // CreateToastNotifierWithId.
    virtual HRESULT CreateNotifier(const std::wstring& appUserModelId, std::unique_ptr<IToastNotifier>& notifier) = 0;
};

class IToastService {
public:
    virtual ~IToastService() = default;
    // The activation factory of the toast manager (RoGetActivationFactory).
    virtual HRESULT GetManager(std::unique_ptr<IToastManager>& manager) = 0;
    // The activation factory of "Windows.UI.Notifications.ToastNotification"
    // and the notification it makes from `document`, which must come from
    // this service's manager (anything else is E_INVALIDARG).
    virtual HRESULT CreateNotification(IToastDocument& document,
                                       std::unique_ptr<IToastNotification>& notification) = 0;
};

}  // namespace Arvek::Ports
