#include "sim/os/sim_wmi.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <sstream>

#include "common/strings.h"

namespace Arvek::Sim {
namespace {

constexpr HRESULT kWBEM_E_INVALID_CLASS = MakeHr(0x80041010u);

std::wstring Lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

class SimWmiObject : public Ports::IWmiObject {
public:
    explicit SimWmiObject(WmiObject object) : m_object(std::move(object)) {}
    HRESULT Get(const std::wstring& property, Variant& value) override {
        for (const auto& [name, held] : m_object.properties) {
            if (EqualsIgnoreCase(name, property)) {
                value = held;
                return kS_OK;
            }
        }
        return Ports::kWBEM_E_NOT_FOUND;
    }

private:
    WmiObject m_object;
};

class SimWmiEnumerator : public Ports::IWmiEnumerator {
public:
    explicit SimWmiEnumerator(std::vector<WmiObject> objects) : m_objects(std::move(objects)) {}
    HRESULT Next(std::int32_t, std::unique_ptr<Ports::IWmiObject>& object) override {
        object.reset();
        if (m_next == m_objects.size()) return Ports::kWBEM_S_FALSE;
        object = std::make_unique<SimWmiObject>(m_objects[m_next++]);
        return kS_OK;
    }

private:
    std::vector<WmiObject> m_objects;
    std::size_t m_next = 0;
};

// "SELECT <* | name, name> FROM <class>", keywords in any case.
bool ParseWql(const std::wstring& query, std::vector<std::wstring>& selected, std::wstring& className) {
    std::wistringstream in(query);
    std::vector<std::wstring> words;
    for (std::wstring word; in >> word;) words.push_back(word);
    if (words.size() < 4 || !EqualsIgnoreCase(words[0], L"SELECT")) return false;
    std::size_t from = 1;
    while (from < words.size() && !EqualsIgnoreCase(words[from], L"FROM")) ++from;
    if (from == 1 || from + 2 != words.size()) return false;  // no list, no class, or more (WHERE) after it
    std::wstring list;
    for (std::size_t i = 1; i < from; ++i) list += words[i];
    selected.clear();
    if (list != L"*") {
        std::wistringstream names(list);
        for (std::wstring name; std::getline(names, name, L',');) {
            if (name.empty()) return false;
            selected.push_back(name);
        }
    }
    className = words[from + 1];
    return true;
}

class SimWmiServices : public Ports::IWmiServices {
public:
    SimWmiServices(std::wstring ns, std::map<std::wstring, std::vector<WmiObject>> classes, SimFaults* faults)
        : m_namespace(std::move(ns)), m_classes(std::move(classes)), m_faults(faults) {}

    HRESULT ExecQuery(const std::wstring& query, std::int32_t, std::unique_ptr<Ports::IWmiEnumerator>& results) override {
        results.reset();
        if (const auto fault = TakeFault(m_faults, "wmi.exec-query")) return *fault;
        std::vector<std::wstring> selected;
        std::wstring className;
        if (!ParseWql(query, selected, className)) return Ports::kWBEM_E_INVALID_QUERY;
        const auto found = m_classes.find(ToUpperInvariant(className));
        if (found == m_classes.end()) return kWBEM_E_INVALID_CLASS;
        std::vector<WmiObject> objects;
        for (const auto& object : found->second) {
            WmiObject shown;
            for (const auto& property : object.properties) {
                const bool wanted = selected.empty() || std::any_of(selected.begin(), selected.end(), [&](const auto& n) {
                                        return EqualsIgnoreCase(n, property.first);
                                    });
                if (wanted) shown.properties.push_back(property);
            }
            objects.push_back(std::move(shown));
        }
        results = std::make_unique<SimWmiEnumerator>(std::move(objects));
        return kS_OK;
    }

private:
    std::wstring m_namespace;
    std::map<std::wstring, std::vector<WmiObject>> m_classes;
    SimFaults* m_faults;
};

}  // namespace

SimWmi::SimWmi(SimFaults* faults) : m_faults(faults) {
    m_namespaces[L"root\\cimv2"];
    m_namespaces[L"root\\wmi"];
}

std::wstring SimWmi::FindNamespace(const std::wstring& ns) const {
    std::wstring name = Lower(ns);
    for (const wchar_t* local : {L"\\\\.\\", L"\\\\localhost\\"}) {
        if (name.starts_with(local)) {
            name.erase(0, std::wcslen(local));
            break;
        }
    }
    std::lock_guard guard(m_lock);
    return m_namespaces.count(name) ? name : std::wstring{};
}

HRESULT SimWmi::Connect(const std::wstring& ns, std::int32_t, std::uint32_t,
                        std::unique_ptr<Ports::IWmiServices>& services) {
    services.reset();
    if (const auto fault = TakeFault(m_faults, "wmi.connect")) return *fault;
    const std::wstring name = FindNamespace(ns);
    if (name.empty()) return Ports::kWBEM_E_INVALID_NAMESPACE;
    std::lock_guard guard(m_lock);
    // The connection sees the objects as they are now.
    services = std::make_unique<SimWmiServices>(name, m_namespaces[name].classes, m_faults);
    return kS_OK;
}

void SimWmi::AddMachineClasses(const std::wstring& biosVersion, const std::wstring& osVersion,
                               std::uint16_t language) {
    AddObject(L"root\\cimv2", L"Win32_BIOS",
              {{{L"Manufacturer", Variant::Bstr(L"Arvek")},
                {L"Name", Variant::Bstr(L"Arvek BIOS " + biosVersion)},
                {L"SMBIOSBIOSVersion", Variant::Bstr(biosVersion)},
                {L"SMBIOSMajorVersion", Variant::I4(3)},
                {L"SMBIOSMinorVersion", Variant::I4(4)}}});
    const auto build = osVersion.rfind(L'.');
    AddObject(L"root\\cimv2", L"Win32_OperatingSystem",
              {{{L"BuildNumber", Variant::Bstr(build == std::wstring::npos ? L"" : osVersion.substr(build + 1))},
                {L"Caption", Variant::Bstr(L"Microsoft Windows")},
                {L"CSDVersion", Variant::Raw(kVT_NULL, 0)},
                {L"OSLanguage", Variant::I4(language)},
                {L"OSType", Variant::I4(18)},
                {L"Version", Variant::Bstr(osVersion)}}});
}

void SimWmi::AddClass(const std::wstring& ns, const std::wstring& className) {
    std::lock_guard guard(m_lock);
    m_namespaces[Lower(ns)].classes[ToUpperInvariant(className)];
}

void SimWmi::AddObject(const std::wstring& ns, const std::wstring& className, WmiObject object) {
    std::lock_guard guard(m_lock);
    m_namespaces[Lower(ns)].classes[ToUpperInvariant(className)].push_back(std::move(object));
}

}  // namespace Arvek::Sim
