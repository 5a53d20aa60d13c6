#include "win32/shell_win32.h"

#include <windows.h>
#include <objbase.h>
#include <propkey.h>
#include <propsys.h>
#include <propvarutil.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cwchar>

#include "win32/handles.h"
#include "win32/result.h"

namespace Arvek::Win32 {

namespace {

const wchar_t* OrNull(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

// A PROPVARIANT that this code owns: cleared (PropVariantClear) when it goes.
class UniquePropVariant {
public:
    UniquePropVariant() noexcept { ::PropVariantInit(&m_value); }
    ~UniquePropVariant() { ::PropVariantClear(&m_value); }
    UniquePropVariant(const UniquePropVariant&) = delete;
    UniquePropVariant& operator=(const UniquePropVariant&) = delete;

    const PROPVARIANT& Get() const noexcept { return m_value; }
    PROPVARIANT* Put() noexcept {
        ::PropVariantClear(&m_value);
        return &m_value;
    }

private:
    PROPVARIANT m_value;
};

}  // namespace

std::intptr_t Win32Shell::Execute(const std::wstring& verb, const std::wstring& file, const std::wstring& parameters,
                                  const std::wstring& directory, int showCommand) {
    const HINSTANCE result =
        ::ShellExecuteW(nullptr, OrNull(verb), file.c_str(), OrNull(parameters), OrNull(directory), showCommand);
    return reinterpret_cast<std::intptr_t>(result);
}

HRESULT Win32Shell::CreateShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments,
                                   const std::wstring& appUserModelId) {
    ComPtr<IShellLinkW> link;
    ARVEK_RETURN_IF_FAILED(
        ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid()));
    ARVEK_RETURN_IF_FAILED(link->SetPath(target.c_str()));
    ARVEK_RETURN_IF_FAILED(link->SetArguments(arguments.c_str()));
    ComPtr<IPropertyStore> properties;
    ARVEK_RETURN_IF_FAILED(link->QueryInterface(IID_IPropertyStore, properties.PutVoid()));
    UniquePropVariant id;
    ARVEK_RETURN_IF_FAILED(::InitPropVariantFromString(appUserModelId.c_str(), id.Put()));  // VT_LPWSTR
    ARVEK_RETURN_IF_FAILED(properties->SetValue(PKEY_AppUserModel_ID, id.Get()));
    ARVEK_RETURN_IF_FAILED(properties->Commit());
    ComPtr<IPersistFile> file;
    ARVEK_RETURN_IF_FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()));
    return file->Save(path.c_str(), TRUE);
}

std::optional<std::wstring> Win32Shell::ProgramFilesX86Folder() {
    wchar_t folder[MAX_PATH] = {};
    // A call that succeeds without a path (S_FALSE: the folder does not
    // exist) gives none.
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return std::nullopt;
    std::wstring result(folder, wcsnlen(folder, MAX_PATH));
    if (result.empty()) return std::nullopt;
    while (result.size() > 3 && result.back() == L'\\') result.pop_back();  // "C:\" keeps its own
    return result;
}

}  // namespace Arvek::Win32
