// A stand-in for the maker's Tolm component on a Windows test machine (or
// under Wine): an in-process COM server with the component's command class
// and interfaces, answering from the "[tolm]" section of a scenario file, so
// that the Windows build's Tolm client runs through real COM against the
// same answers the simulated notebook gives on Linux.
//
// Registration (regsvr32 tolm_standin.dll):
//   HKCR\CLSID\{CA490AE1-8C69-45D5-9533-D4692726F2FB}   the command class,
//       InprocServer32 = this DLL, ThreadingModel "Both"
//   HKCR\CLSID\{7E12677A-F8FB-4818-9628-36D6DEBA6550}   the notification
//       class (its class id is the stand-in's own; clients find it by ProgID)
//   HKCR\arvektolmutils.arvekTolmNotification\CLSID     → that class id
//
// The scenario: the value "Scenario" (REG_SZ, a file path) under the command
// class's key, read again each time an object is created, so a test can
// switch machines between two creations. Without the value, or without a
// "[tolm]" section in the file, the component acts as absent (every creation
// fails with REGDB_E_CLASSNOTREG, as on a machine without it). A file that
// cannot be read or parsed fails the creation with E_FAIL; the reason goes
// to the debugger output ("tolm_standin: file:line: what").
//
// No exception leaves the server: every method of its objects and every
// export runs behind the exception barrier, which answers E_UNEXPECTED and
// logs what was caught at Error. The DLL carries its own copy of the log,
// made on the Windows adapters at the first call into the server, so it
// logs where the host program's policy says (by default its Error records
// go to the Application event log).
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "common/strings.h"
#include "ports/tolm.h"
#include "shared/log.h"
#include "standin/tolm_answers.h"
#include "win32/callback_barrier.h"
#include "win32/com_object.h"
#include "win32/com_win32.h"
#include "win32/handles.h"
#include "win32/platform_win32.h"
#include "win32/result.h"
#include "win32/tolm_interfaces.h"

namespace Arvek::Win32::TolmStandin {
namespace {

// The stand-in's own class id for the notification class.
constexpr CLSID kCLSID_StandinNotification = {
    0x7E12677A, 0xF8FB, 0x4818, {0x96, 0x28, 0x36, 0xD6, 0xDE, 0xBA, 0x65, 0x50}};

HMODULE g_module = nullptr;
// Live objects and LockServer locks: the DLL may unload when both are 0.
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

void Log(const std::wstring& text) { ::OutputDebugStringW((L"tolm_standin: " + text + L"\n").c_str()); }

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ClassKey(const CLSID& clsid) { return L"CLSID\\" + GuidText(clsid); }

// Names the log's platform once, before the server's first line could be
// logged; without memory for it the log stays one without listeners.
void NameLogPlatform() noexcept {
    static const bool named = [] {
        auto* platform = new (std::nothrow) Win32Platform(g_module);
        if (platform) Shared::SetProcessPlatform(*platform);
        return true;
    }();
    static_cast<void>(named);
}

// The lines of the file's "[tolm]" section and the number of its first line.
// The section runs to the next section header, a line "[name]" of lower-case
// letters, digits and '-' ("[timeline]"; a .reg key "[HKEY_…]" is not one);
// a block of text ("Name = text <<END" … "END") is kept whole whatever its
// lines look like.
bool FindTolmSection(const std::string& file, std::string& section, int& firstLine) {
    const auto trimmed = [](const std::string& line) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) return std::string();
        return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
    };
    const auto isHeader = [](const std::string& line) {
        if (line.size() < 3 || line.front() != '[' || line.back() != ']') return false;
        for (std::size_t i = 1; i + 1 < line.size(); ++i) {
            const char c = line[i];
            if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
        }
        return true;
    };
    std::istringstream in(file);
    bool inside = false;
    std::string blockEnd;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::string text = trimmed(line);
        if (!inside) {
            if (text == "[tolm]") {
                inside = true;
                firstLine = number + 1;
            }
            continue;
        }
        if (!blockEnd.empty()) {
            if (text == blockEnd) blockEnd.clear();
        } else if (isHeader(text)) {
            break;
        } else {
            blockEnd = Standin::TextBlockMarker(line);
        }
        section += line + "\n";
    }
    return inside;
}

// The answers of the machine the registration names, read now.
::HRESULT LoadAnswers(std::shared_ptr<const Standin::TolmAnswers>& answers) {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = sizeof(path);
    const LSTATUS status = ::RegGetValueW(HKEY_CLASSES_ROOT, ClassKey(Tolm::kCLSID_TolmCommand).c_str(),
                                          L"Scenario", RRF_RT_REG_SZ, nullptr, path, &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        Log(L"no \"Scenario\" value under the command class: the component is absent");
        answers = std::make_shared<const Standin::TolmAnswers>(Standin::TolmAnswers::Absent());
        return S_OK;
    }
    if (status != ERROR_SUCCESS) {
        Log(L"cannot read the \"Scenario\" value (error " + std::to_wstring(status) + L")");
        return E_FAIL;
    }
    const std::filesystem::path file(path);
    const std::string fileName = NarrowUtf8(file.wstring());
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        Log(L"cannot read " + file.wstring());
        return E_FAIL;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string section;
    int firstLine = 1;
    if (!FindTolmSection(bytes.str(), section, firstLine)) {
        Log(file.wstring() + L" has no [tolm] section: the component is absent");
        answers = std::make_shared<const Standin::TolmAnswers>(Standin::TolmAnswers::Absent());
        return S_OK;
    }
    try {
        answers = std::make_shared<const Standin::TolmAnswers>(
            Standin::ParseTolmAnswers(section, fileName, firstLine, file.parent_path()));
    } catch (const Standin::TolmAnswersError& error) {
        Log(WidenUtf8(error.what()));
        return E_FAIL;
    }
    return S_OK;
}

// One of the objects the server has handed out: while one lives, the DLL
// stays loaded.
class LiveObject {
protected:
    LiveObject() noexcept { ++g_objects; }
    ~LiveObject() { --g_objects; }
};

class CommandObject final : public ComObject<Tolm::ITolmCommand>, private LiveObject {
public:
    explicit CommandObject(std::shared_ptr<const Standin::TolmAnswers> answers) : m_answers(std::move(answers)) {}

    ::HRESULT STDMETHODCALLTYPE ExecuteCommand(BSTR command, VARIANT* result) override {
        return CallComMethod("Arvek::Win32::TolmStandin::CommandObject::ExecuteCommand",
                             [&] { return Answer(command, nullptr, result); });
    }
    ::HRESULT STDMETHODCALLTYPE UnusedOperation(BSTR, VARIANT*) override { return E_NOTIMPL; }
    ::HRESULT STDMETHODCALLTYPE ExecuteCommandWithArgument(BSTR command, VARIANT argument,
                                                           VARIANT* result) override {
        return CallComMethod("Arvek::Win32::TolmStandin::CommandObject::ExecuteCommandWithArgument", [&] {
            const Variant value = FromComVariant(argument);
            return Answer(command, &value, result);
        });
    }

private:
    ::HRESULT Answer(BSTR command, const Variant* argument, VARIANT* result) {
        ARVEK_RETURN_HR_IF_NULL(E_POINTER, result);
        ::VariantInit(result);
        const Standin::TolmReply reply = m_answers->Reply(BstrText(command), argument);
        ARVEK_RETURN_IF_FAILED(reply.hr);
        UniqueVariant value;
        ARVEK_RETURN_IF_FAILED(ToComVariant(reply.value, value));
        *result = value.Release();
        return S_OK;
    }

    std::shared_ptr<const Standin::TolmAnswers> m_answers;
};

// Its operations are never called; only its creation matters.
class NotificationObject final : public ComObject<Tolm::ITolmNotification>, private LiveObject {};

enum class Kind { Command, Notification };

// A factory of one class, made for each DllGetClassObject; its references
// do not keep the DLL loaded (LockServer does).
class ClassFactory final : public ComObject<IClassFactory> {
public:
    explicit ClassFactory(Kind kind) noexcept : m_kind(kind) {}

    ::HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        return CallComMethod("Arvek::Win32::TolmStandin::ClassFactory::CreateInstance", [&]() -> ::HRESULT {
            ARVEK_RETURN_HR_IF_NULL(E_POINTER, object);
            *object = nullptr;
            ARVEK_RETURN_HR_IF(CLASS_E_NOAGGREGATION, outer);
            std::shared_ptr<const Standin::TolmAnswers> answers;
            ARVEK_RETURN_IF_FAILED(LoadAnswers(answers));
            if (m_kind == Kind::Notification) {
                ARVEK_RETURN_IF_FAILED(answers->createNotification);
                return MakeComObject<NotificationObject>(iid, object);
            }
            ARVEK_RETURN_IF_FAILED(answers->createCommand);
            return MakeComObject<CommandObject>(iid, object, std::move(answers));
        });
    }

    ::HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) ++g_locks;
        else --g_locks;
        return S_OK;
    }

private:
    Kind m_kind;
};

LSTATUS SetString(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    return ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

::HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    ARVEK_RETURN_HR_IF_NULL(E_POINTER, object);
    *object = nullptr;
    if (clsid == Tolm::kCLSID_TolmCommand) return MakeComObject<ClassFactory>(iid, object, Kind::Command);
    if (clsid == kCLSID_StandinNotification) return MakeComObject<ClassFactory>(iid, object, Kind::Notification);
    return CLASS_E_CLASSNOTAVAILABLE;
}

::HRESULT RegisterServer() {
    wchar_t module[MAX_PATH * 2] = {};
    const DWORD length = ::GetModuleFileNameW(g_module, module, MAX_PATH * 2);
    ARVEK_RETURN_HR_IF(E_UNEXPECTED, length == 0 || length >= MAX_PATH * 2);
    const std::wstring command = ClassKey(Tolm::kCLSID_TolmCommand);
    const std::wstring notification = ClassKey(kCLSID_StandinNotification);
    const std::wstring progId = Arvek::Ports::kTolmNotificationProgId;
    // One value per line; the first failure ends the registration.
    const struct {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    } values[] = {
        {command, nullptr, L"Arvek Tolm command (test stand-in)"},
        {command + L"\\InprocServer32", nullptr, module},
        {command + L"\\InprocServer32", L"ThreadingModel", L"Both"},
        {notification, nullptr, L"Arvek Tolm notification (test stand-in)"},
        {notification + L"\\InprocServer32", nullptr, module},
        {notification + L"\\InprocServer32", L"ThreadingModel", L"Both"},
        {notification + L"\\ProgID", nullptr, progId},
        {progId, nullptr, L"Arvek Tolm notification (test stand-in)"},
        {progId + L"\\CLSID", nullptr, GuidText(kCLSID_StandinNotification)},
    };
    for (const auto& value : values) {
        const LSTATUS status = SetString(value.key, value.name, value.value);
        if (status != ERROR_SUCCESS) {
            Log(L"cannot register " + value.key + L" (error " + std::to_wstring(status) + L")");
            return HRESULT_FROM_WIN32(status);
        }
    }
    return S_OK;
}

::HRESULT UnregisterServer() {
    const std::wstring keys[] = {ClassKey(Tolm::kCLSID_TolmCommand), ClassKey(kCLSID_StandinNotification),
                                 Arvek::Ports::kTolmNotificationProgId};
    ::HRESULT result = S_OK;
    for (const auto& key : keys) {
        const LSTATUS status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result))
            result = HRESULT_FROM_WIN32(status);
    }
    return result;
}

}  // namespace
}  // namespace Arvek::Win32::TolmStandin

using namespace Arvek::Win32::TolmStandin;
namespace Tolm = Arvek::Win32::Tolm;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    NameLogPlatform();
    return Arvek::Win32::CallComMethod("DllGetClassObject", [&] { return GetClassObject(clsid, iid, object); });
}

STDAPI DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    NameLogPlatform();
    return Arvek::Win32::CallComMethod("DllRegisterServer", RegisterServer);
}

STDAPI DllUnregisterServer() {
    NameLogPlatform();
    return Arvek::Win32::CallComMethod("DllUnregisterServer", UnregisterServer);
}
