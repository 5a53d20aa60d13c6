// The Windows Runtime's toast interfaces at their binary level, which
// mingw-w64's headers do not carry: only the interfaces the toast adapter
// calls or implements, each with its public interface id, its methods in
// vtable order (IUnknown's three, then IInspectable's three, then its own).
// A slot the adapter never calls is still declared, so that every later slot
// sits where the runtime puts it; parameters of types the adapter never
// touches are declared as IInspectable* (every interface pointer has the
// same size).
//
// Enumerations of the runtime (ToastTemplateType, ToastDismissalReason,
// NodeType, NotificationSetting) are 32-bit integers at this level.
// Results are the Windows headers' ::HRESULT, spelled so that the core's
// Arvek::HRESULT (another type) is never taken by mistake.
#pragma once

#include <windows.h>
#include <eventtoken.h>
#include <hstring.h>
#include <inspectable.h>

namespace Arvek::Win32::WinRt {

// Windows.Data.Xml.Dom ------------------------------------------------------

struct IXmlNode;
struct IXmlNodeList;
struct IXmlNamedNodeMap;
struct IXmlText;

// {F7F3A506-1E87-42D6-BCFB-B8C809FA5494}
inline constexpr IID IID_IXmlDocument = {0xF7F3A506, 0x1E87, 0x42D6, {0xBC, 0xFB, 0xB8, 0xC8, 0x09, 0xFA, 0x54, 0x94}};
struct IXmlDocument : public IInspectable {
    virtual ::HRESULT STDMETHODCALLTYPE get_Doctype(IInspectable** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_Implementation(IInspectable** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_DocumentElement(IInspectable** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CreateElement(HSTRING tagName, IInspectable** element) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CreateDocumentFragment(IInspectable** fragment) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CreateTextNode(HSTRING data, IXmlText** textNode) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CreateComment(HSTRING data, IInspectable** comment) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CreateProcessingInstruction(HSTRING target, HSTRING data,
                                                                  IInspectable** instruction) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CreateAttribute(HSTRING name, IInspectable** attribute) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CreateEntityReference(HSTRING name, IInspectable** reference) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE GetElementsByTagName(HSTRING tagName, IXmlNodeList** elements) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CreateCDataSection(HSTRING data, IInspectable** section) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_DocumentUri(HSTRING* value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CreateAttributeNS(IInspectable* namespaceUri, HSTRING qualifiedName,
                                                        IInspectable** attribute) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CreateElementNS(IInspectable* namespaceUri, HSTRING qualifiedName,
                                                      IInspectable** element) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE GetElementById(HSTRING elementId, IInspectable** element) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE ImportNode(IXmlNode* node, ::boolean deep, IXmlNode** newNode) = 0;
};

// {8C60AD77-83A4-4EC1-9C54-7BA429E13DA6}
inline constexpr IID IID_IXmlNodeList = {0x8C60AD77, 0x83A4, 0x4EC1, {0x9C, 0x54, 0x7B, 0xA4, 0x29, 0xE1, 0x3D, 0xA6}};
struct IXmlNodeList : public IInspectable {
    virtual ::HRESULT STDMETHODCALLTYPE get_Length(UINT32* value) = 0;
    // S_OK with a null node past the end.
    virtual ::HRESULT STDMETHODCALLTYPE Item(UINT32 index, IXmlNode** node) = 0;
};

// {B3A69EB0-AAB0-4B82-A6FA-B1453F7C021B}
inline constexpr IID IID_IXmlNamedNodeMap = {0xB3A69EB0, 0xAAB0, 0x4B82, {0xA6, 0xFA, 0xB1, 0x45, 0x3F, 0x7C, 0x02, 0x1B}};
struct IXmlNamedNodeMap : public IInspectable {
    virtual ::HRESULT STDMETHODCALLTYPE get_Length(UINT32* value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE Item(UINT32 index, IXmlNode** node) = 0;
    // S_OK with a null node when there is no such item.
    virtual ::HRESULT STDMETHODCALLTYPE GetNamedItem(HSTRING name, IXmlNode** node) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE SetNamedItem(IXmlNode* node, IXmlNode** previousNode) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE RemoveNamedItem(HSTRING name, IXmlNode** previousNode) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE GetNamedItemNS(IInspectable* namespaceUri, HSTRING name, IXmlNode** node) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE RemoveNamedItemNS(IInspectable* namespaceUri, HSTRING name,
                                                        IXmlNode** previousNode) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE SetNamedItemNS(IXmlNode* node, IXmlNode** previousNode) = 0;
};

// {1C741D59-2122-47D5-A856-83F3D4214875}
inline constexpr IID IID_IXmlNode = {0x1C741D59, 0x2122, 0x47D5, {0xA8, 0x56, 0x83, 0xF3, 0xD4, 0x21, 0x48, 0x75}};
struct IXmlNode : public IInspectable {
    virtual ::HRESULT STDMETHODCALLTYPE get_NodeValue(IInspectable** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE put_NodeValue(IInspectable* value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_NodeType(INT32* value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_NodeName(HSTRING* value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_ParentNode(IXmlNode** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_ChildNodes(IXmlNodeList** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_FirstChild(IXmlNode** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_LastChild(IXmlNode** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_PreviousSibling(IXmlNode** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_NextSibling(IXmlNode** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_Attributes(IXmlNamedNodeMap** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE HasChildNodes(::boolean* value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_OwnerDocument(IXmlDocument** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE InsertBefore(IXmlNode* newChild, IXmlNode* referenceChild,
                                                   IXmlNode** insertedChild) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE ReplaceChild(IXmlNode* newChild, IXmlNode* referenceChild,
                                                   IXmlNode** previousChild) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE RemoveChild(IXmlNode* childNode, IXmlNode** removedChild) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE AppendChild(IXmlNode* newChild, IXmlNode** appendedChild) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CloneNode(::boolean deep, IXmlNode** newNode) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_NamespaceUri(IInspectable** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_LocalName(IInspectable** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_Prefix(IInspectable** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE Normalize() = 0;
    virtual ::HRESULT STDMETHODCALLTYPE put_Prefix(IInspectable* value) = 0;
};

// A text node's own interface; the adapter reaches its IXmlNode through
// QueryInterface.
// {F931A4CB-308D-4760-A1D5-43B67450AC7E}
inline constexpr IID IID_IXmlText = {0xF931A4CB, 0x308D, 0x4760, {0xA1, 0xD5, 0x43, 0xB6, 0x74, 0x50, 0xAC, 0x7E}};
struct IXmlText : public IInspectable {
    virtual ::HRESULT STDMETHODCALLTYPE SplitText(UINT32 offset, IXmlText** secondPart) = 0;
};

// Windows.UI.Notifications -------------------------------------------------

struct IToastNotification;

// {3F89D935-D9CB-4538-A0F0-FFE7659938F8}
inline constexpr IID IID_IToastDismissedEventArgs = {
    0x3F89D935, 0xD9CB, 0x4538, {0xA0, 0xF0, 0xFF, 0xE7, 0x65, 0x99, 0x38, 0xF8}};
struct IToastDismissedEventArgs : public IInspectable {
    // A ToastDismissalReason.
    virtual ::HRESULT STDMETHODCALLTYPE get_Reason(INT32* value) = 0;
};

// {35176862-CFD4-44F8-AD64-F500FD896C3B}
inline constexpr IID IID_IToastFailedEventArgs = {
    0x35176862, 0xCFD4, 0x44F8, {0xAD, 0x64, 0xF5, 0x00, 0xFD, 0x89, 0x6C, 0x3B}};
struct IToastFailedEventArgs : public IInspectable {
    virtual ::HRESULT STDMETHODCALLTYPE get_ErrorCode(::HRESULT* value) = 0;
};

// The event delegates: instantiations of TypedEventHandler<ToastNotification,
// …>, whose ids are fixed by their parameters. Delegates derive from IUnknown
// only. The adapter implements them (win32/com_object.h): each names its id
// as kInterfaceId, a static member that takes no slot.
// TypedEventHandler<ToastNotification, IInspectable> (Activated)
// {AB54DE2D-97D9-5528-B6AD-105AFE156530}
inline constexpr IID IID_ToastActivatedHandler = {
    0xAB54DE2D, 0x97D9, 0x5528, {0xB6, 0xAD, 0x10, 0x5A, 0xFE, 0x15, 0x65, 0x30}};
struct IToastActivatedHandler : public IUnknown {
    static constexpr const IID& kInterfaceId = IID_ToastActivatedHandler;
    virtual ::HRESULT STDMETHODCALLTYPE Invoke(IToastNotification* sender, IInspectable* args) = 0;
};

// TypedEventHandler<ToastNotification, ToastDismissedEventArgs> (Dismissed)
// {61C2402F-0ED0-5A18-AB69-59F4AA99A368}
inline constexpr IID IID_ToastDismissedHandler = {
    0x61C2402F, 0x0ED0, 0x5A18, {0xAB, 0x69, 0x59, 0xF4, 0xAA, 0x99, 0xA3, 0x68}};
struct IToastDismissedHandler : public IUnknown {
    static constexpr const IID& kInterfaceId = IID_ToastDismissedHandler;
    virtual ::HRESULT STDMETHODCALLTYPE Invoke(IToastNotification* sender, IToastDismissedEventArgs* args) = 0;
};

// TypedEventHandler<ToastNotification, ToastFailedEventArgs> (Failed)
// {95E3E803-C969-5E3A-9753-EA2AD22A9A33}
inline constexpr IID IID_ToastFailedHandler = {
    0x95E3E803, 0xC969, 0x5E3A, {0x97, 0x53, 0xEA, 0x2A, 0xD2, 0x2A, 0x9A, 0x33}};
struct IToastFailedHandler : public IUnknown {
    static constexpr const IID& kInterfaceId = IID_ToastFailedHandler;
    virtual ::HRESULT STDMETHODCALLTYPE Invoke(IToastNotification* sender, IToastFailedEventArgs* args) = 0;
};

// {997E2675-059E-4E60-8B06-1760917C8B80}
inline constexpr IID IID_IToastNotification = {
    0x997E2675, 0x059E, 0x4E60, {0x8B, 0x06, 0x17, 0x60, 0x91, 0x7C, 0x8B, 0x80}};
struct IToastNotification : public IInspectable {
    virtual ::HRESULT STDMETHODCALLTYPE get_Content(IXmlDocument** value) = 0;
    // IReference<DateTime>
    virtual ::HRESULT STDMETHODCALLTYPE put_ExpirationTime(IInspectable* value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE get_ExpirationTime(IInspectable** value) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE add_Dismissed(IToastDismissedHandler* handler,
                                                    EventRegistrationToken* token) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE remove_Dismissed(EventRegistrationToken token) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE add_Activated(IToastActivatedHandler* handler,
                                                    EventRegistrationToken* token) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE remove_Activated(EventRegistrationToken token) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE add_Failed(IToastFailedHandler* handler, EventRegistrationToken* token) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE remove_Failed(EventRegistrationToken token) = 0;
};

// {04124B20-82C6-4229-B109-FD9ED4662B53}
inline constexpr IID IID_IToastNotificationFactory = {
    0x04124B20, 0x82C6, 0x4229, {0xB1, 0x09, 0xFD, 0x9E, 0xD4, 0x66, 0x2B, 0x53}};
struct IToastNotificationFactory : public IInspectable {
    virtual ::HRESULT STDMETHODCALLTYPE CreateToastNotification(IXmlDocument* content,
                                                              IToastNotification** notification) = 0;
};

// {75927B93-03F3-41EC-91D3-6E5BAC1B38E7}
inline constexpr IID IID_IToastNotifier = {0x75927B93, 0x03F3, 0x41EC, {0x91, 0xD3, 0x6E, 0x5B, 0xAC, 0x1B, 0x38, 0xE7}};
struct IToastNotifier : public IInspectable {
    virtual ::HRESULT STDMETHODCALLTYPE Show(IToastNotification* notification) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE Hide(IToastNotification* notification) = 0;
    // A NotificationSetting.
    virtual ::HRESULT STDMETHODCALLTYPE get_Setting(INT32* value) = 0;
    // IScheduledToastNotification
    virtual ::HRESULT STDMETHODCALLTYPE AddToSchedule(IInspectable* scheduledToast) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE RemoveFromSchedule(IInspectable* scheduledToast) = 0;
    // IVectorView<ScheduledToastNotification>
    virtual ::HRESULT STDMETHODCALLTYPE GetScheduledToastNotifications(IInspectable** result) = 0;
};

// The statics of the class "Windows.UI.Notifications.ToastNotificationManager".
// {50AC103F-D235-4598-BBEF-98FE4D1A3AD4}
inline constexpr IID IID_IToastNotificationManagerStatics = {
    0x50AC103F, 0xD235, 0x4598, {0xBB, 0xEF, 0x98, 0xFE, 0x4D, 0x1A, 0x3A, 0xD4}};
struct IToastNotificationManagerStatics : public IInspectable {
    virtual ::HRESULT STDMETHODCALLTYPE CreateToastNotifier(IToastNotifier** notifier) = 0;
    virtual ::HRESULT STDMETHODCALLTYPE CreateToastNotifierWithId(HSTRING applicationId, IToastNotifier** notifier) = 0;
    // `type` is a ToastTemplateType.
    virtual ::HRESULT STDMETHODCALLTYPE GetTemplateContent(INT32 type, IXmlDocument** content) = 0;
};

}  // namespace Arvek::Win32::WinRt
