// Reads a shell shortcut back for the installer's Wine test:
//
//   shortcut-tool.exe PATH.lnk
//
// prints two lines as UTF-8: "target=<the link's path>" and "appid=<its
// System.AppUserModel.ID>" (empty without one), or "appid-unreadable=<the
// HRESULT>" where the shell cannot read the link's properties (Wine 8's
// shell link answers E_NOTIMPL). Ends with 0, or with 1 and the failing
// step on standard error.
#include <windows.h>
#include <objbase.h>
#include <propkey.h>
#include <propsys.h>
#include <propvarutil.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

int Failed(const char* step, HRESULT hr) {
    std::fprintf(stderr, "shortcut-tool: %s failed with 0x%08lX\n", step, static_cast<unsigned long>(hr));
    return 1;
}

int Read(const wchar_t* path) {
    IShellLinkW* link = nullptr;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&link));
    if (FAILED(hr)) return Failed("CoCreateInstance(ShellLink)", hr);
    IPersistFile* file = nullptr;
    IPropertyStore* properties = nullptr;
    wchar_t target[MAX_PATH] = {};
    PROPVARIANT appId;
    ::PropVariantInit(&appId);
    int result = 1;
    if (FAILED(hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        Failed("QueryInterface(IPersistFile)", hr);
    } else if (FAILED(hr = file->Load(path, STGM_READ))) {
        Failed("IPersistFile::Load", hr);
    } else if (FAILED(hr = link->GetPath(target, MAX_PATH, nullptr, 0))) {
        Failed("IShellLinkW::GetPath", hr);
    } else if (FAILED(hr = link->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&properties)))) {
        Failed("QueryInterface(IPropertyStore)", hr);
    } else if (FAILED(hr = properties->GetValue(PKEY_AppUserModel_ID, &appId))) {
        std::printf("target=%s\nappid-unreadable=0x%08lX\n", Utf8(target).c_str(), static_cast<unsigned long>(hr));
        result = 0;
    } else {
        const bool text = appId.vt == VT_LPWSTR && appId.pwszVal;
        std::printf("target=%s\nappid=%s\n", Utf8(target).c_str(), text ? Utf8(appId.pwszVal).c_str() : "");
        result = 0;
    }
    ::PropVariantClear(&appId);
    if (properties) properties->Release();
    if (file) file->Release();
    link->Release();
    return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: shortcut-tool.exe PATH.lnk\n");
        return 2;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Failed("CoInitializeEx", E_FAIL);
    const int result = Read(argv[1]);
    ::CoUninitialize();
    return result;
}
