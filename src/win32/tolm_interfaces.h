// The binary interfaces of the maker's Tolm component, as its clients and
// the test stand-in (tests/tools/tolm_standin) see them: class ids,
// interface ids and vtable layouts. The component ships no header of its
// own for us, so they are declared here, once.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

namespace Arvek::Win32::Tolm {

// The command class and its interface.
inline constexpr CLSID kCLSID_TolmCommand = {
    0xCA490AE1, 0x8C69, 0x45D5, {0x95, 0x33, 0xD4, 0x69, 0x27, 0x26, 0xF2, 0xFB}};
inline constexpr IID kIID_ITolmCommand = {
    0x233A5811, 0xAB16, 0x4A74, {0x8D, 0x08, 0x2D, 0x14, 0x8A, 0xBE, 0x08, 0x9C}};
// The notification interface; its class is found through the ProgID
// "arvektolmutils.arvekTolmNotification" (Ports::kTolmNotificationProgId).
inline constexpr IID kIID_ITolmNotification = {
    0x3ABCD024, 0x1E97, 0x48C4, {0xA7, 0xD4, 0xC1, 0x16, 0x94, 0x4A, 0x49, 0x67}};

// Derived directly from IUnknown (not IDispatch): the three slots after
// IUnknown's are these, in this order. kInterfaceId (a static member, no
// slot) is the id an object implementing the interface answers to.
struct ITolmCommand : public IUnknown {
    static constexpr const IID& kInterfaceId = kIID_ITolmCommand;
    virtual ::HRESULT STDMETHODCALLTYPE ExecuteCommand(BSTR command, VARIANT* result) = 0;
    // The component's second operation: nobody calls it; its real signature
    // does not matter as long as the slot is there.
    virtual ::HRESULT STDMETHODCALLTYPE UnusedOperation(BSTR command, VARIANT* result) = 0;
    // The argument is passed by value: the caller keeps and clears it.
    virtual ::HRESULT STDMETHODCALLTYPE ExecuteCommandWithArgument(BSTR command, VARIANT argument,
                                                                   VARIANT* result) = 0;
};

// Its operations are never called; only its creation matters.
struct ITolmNotification : public IUnknown {
    static constexpr const IID& kInterfaceId = kIID_ITolmNotification;
};

}  // namespace Arvek::Win32::Tolm
