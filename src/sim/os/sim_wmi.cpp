#include "sim/os/sim_wmi.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <sstream>

#include "common/format.h"
#include "common/strings.h"
#include "sim/machine/transcript.h"
#include "sim/os/sim_clock.h"

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

// --- event subscriptions ------------------------------------------------------------

namespace Arvek::Sim {

namespace {

// The words of a WQL text: names, integers, "*" and "="; nothing else.
bool WqlTokens(const std::wstring& query, std::vector<std::wstring>& tokens) {
    for (std::size_t at = 0; at < query.size();) {
        const wchar_t c = query[at];
        if (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n') {
            ++at;
        } else if (c == L'*' || c == L'=') {
            tokens.emplace_back(1, c);
            ++at;
        } else if (std::iswalnum(static_cast<wint_t>(c)) || c == L'_' || c == L'-') {
            const std::size_t start = at;
            while (at < query.size() && (std::iswalnum(static_cast<wint_t>(query[at])) || query[at] == L'_' ||
                                         (at == start && query[at] == L'-')))
                ++at;
            tokens.push_back(query.substr(start, at - start));
        } else {
            return false;
        }
    }
    return true;
}

bool ParseInteger(const std::wstring& text, std::int64_t& value) {
    std::size_t at = 0;
    const bool negative = !text.empty() && text[0] == L'-';
    if (negative) ++at;
    if (at == text.size() || text.size() - at > 10) return false;
    std::int64_t number = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < L'0' || text[at] > L'9') return false;
        number = number * 10 + (text[at] - L'0');
    }
    value = negative ? -number : number;
    return value >= INT32_MIN && value <= UINT32_MAX;
}

bool IsName(const std::wstring& token) {
    return !token.empty() && (std::iswalpha(static_cast<wint_t>(token[0])) || token[0] == L'_');
}

// The stub that the unsecured apartment builds around the program's sink:
// while the stub or its IWbemObjectSink lives, it keeps the sink.
struct StubState {
    std::shared_ptr<Ports::IWmiEventSink> sink;
};

class StubSink final : public Ports::IWmiStubSink {
public:
    explicit StubSink(std::shared_ptr<StubState> state) : m_state(std::move(state)) {}
    const StubState* Identity() const { return m_state.get(); }
    const std::shared_ptr<StubState>& State() const { return m_state; }

private:
    std::shared_ptr<StubState> m_state;
};

class Stub final : public Ports::IWmiStub {
public:
    Stub(std::shared_ptr<StubState> state, SimFaults* faults) : m_state(std::move(state)), m_faults(faults) {}
    HRESULT QueryObjectSink(std::unique_ptr<Ports::IWmiStubSink>& sink) override {
        sink.reset();
        if (const auto fault = TakeFault(m_faults, "wmi.query-sink")) return *fault;
        sink = std::make_unique<StubSink>(m_state);
        return kS_OK;
    }

private:
    std::shared_ptr<StubState> m_state;
    SimFaults* m_faults;
};

}  // namespace

struct SimWmi::Subscription {
    std::wstring ns;
    std::wstring className;  // upper-cased
    std::optional<std::pair<std::wstring, std::int64_t>> where;
    std::wstring query;
    const void* sinkId = nullptr;
    std::shared_ptr<Ports::IWmiEventSink> sink;
};

class SimWmi::Apartment final : public Ports::IWmiUnsecuredApartment {
public:
    explicit Apartment(SimFaults* faults) : m_faults(faults) {}
    HRESULT CreateObjectStub(std::shared_ptr<Ports::IWmiEventSink> sink, std::unique_ptr<Ports::IWmiStub>& stub) override {
        stub.reset();
        if (const auto fault = TakeFault(m_faults, "wmi.create-stub")) return *fault;
        if (!sink) return kE_POINTER;
        stub = std::make_unique<Stub>(std::make_shared<StubState>(StubState{std::move(sink)}), m_faults);
        return kS_OK;
    }

private:
    SimFaults* m_faults;
};

class SimWmi::EventServices final : public Ports::IWmiEventServices {
public:
    EventServices(SimWmi& wmi, std::wstring ns) : m_wmi(wmi), m_namespace(std::move(ns)) {}

    HRESULT SetProxyBlanket(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override {
        return TakeFault(m_wmi.m_faults, "wmi.proxy-blanket").value_or(kS_OK);
    }
    HRESULT ExecNotificationQueryAsync(const std::wstring& query, std::int32_t, Ports::IWmiStubSink& sink) override {
        if (const auto fault = TakeFault(m_wmi.m_faults, "wmi.exec-notification")) return *fault;
        auto* own = dynamic_cast<StubSink*>(&sink);
        if (!own) return kE_INVALIDARG;
        return m_wmi.Subscribe(m_namespace, query, own->Identity(), own->State()->sink);
    }
    HRESULT CancelAsyncCall(Ports::IWmiStubSink& sink) override {
        if (const auto fault = TakeFault(m_wmi.m_faults, "wmi.cancel")) return *fault;
        auto* own = dynamic_cast<StubSink*>(&sink);
        if (!own) return kE_INVALIDARG;
        return m_wmi.Cancel(own->Identity());
    }

private:
    SimWmi& m_wmi;
    std::wstring m_namespace;
};

class SimWmi::Locator final : public Ports::IWmiLocator {
public:
    explicit Locator(SimWmi& wmi) : m_wmi(wmi) {}
    HRESULT ConnectServer(const std::wstring& ns, std::unique_ptr<Ports::IWmiEventServices>& services) override {
        services.reset();
        if (const auto fault = TakeFault(m_wmi.m_faults, "wmi.connect")) return *fault;
        const std::wstring name = m_wmi.FindNamespace(ns);
        if (name.empty()) return Ports::kWBEM_E_INVALID_NAMESPACE;
        services = std::make_unique<EventServices>(m_wmi, name);
        return kS_OK;
    }

private:
    SimWmi& m_wmi;
};

HRESULT SimWmi::CreateLocator(std::unique_ptr<Ports::IWmiLocator>& locator) {
    locator.reset();
    if (const auto fault = TakeFault(m_faults, "wmi.create-locator")) return *fault;
    locator = std::make_unique<Locator>(*this);
    return kS_OK;
}

HRESULT SimWmi::CreateUnsecuredApartment(std::unique_ptr<Ports::IWmiUnsecuredApartment>& apartment) {
    apartment.reset();
    if (const auto fault = TakeFault(m_faults, "wmi.unsecured-apartment")) return *fault;
    apartment = std::make_unique<Apartment>(m_faults);
    return kS_OK;
}

void SimWmi::SetTranscript(Transcript* transcript, SimClock* clock) {
    std::lock_guard guard(m_lock);
    m_transcript = transcript;
    m_clock = clock;
}

void SimWmi::Note(const std::wstring& text) {
    if (m_transcript && m_clock) m_transcript->Add(m_clock->ElapsedMs(), "wmi", text);
}

void SimWmi::AddEventClass(const std::wstring& ns, const std::wstring& className,
                           std::vector<std::wstring> properties) {
    std::lock_guard guard(m_lock);
    m_namespaces[Lower(ns)].eventClasses[ToUpperInvariant(className)] = std::move(properties);
}

// "SELECT * FROM Class" or "SELECT * FROM Class WHERE Property = n": the
// notification queries WMI takes here; anything else is WBEM_E_INVALID_QUERY.
HRESULT SimWmi::Subscribe(const std::wstring& ns, const std::wstring& query, const void* sinkId,
                          std::shared_ptr<Ports::IWmiEventSink> sink) {
    {
        std::lock_guard guard(m_lock);
        m_queries.push_back(query);
    }
    std::vector<std::wstring> tokens;
    if (!WqlTokens(query, tokens) || (tokens.size() != 4 && tokens.size() != 8) ||
        !EqualsIgnoreCase(tokens[0], L"SELECT") || tokens[1] != L"*" || !EqualsIgnoreCase(tokens[2], L"FROM") ||
        !IsName(tokens[3]))
        return Ports::kWBEM_E_INVALID_QUERY;
    auto subscription = std::make_shared<Subscription>();
    subscription->ns = ns;
    subscription->className = ToUpperInvariant(tokens[3]);
    subscription->query = query;
    subscription->sinkId = sinkId;
    subscription->sink = std::move(sink);
    if (tokens.size() == 8) {
        std::int64_t value = 0;
        if (!EqualsIgnoreCase(tokens[4], L"WHERE") || !IsName(tokens[5]) || tokens[6] != L"=" ||
            !ParseInteger(tokens[7], value))
            return Ports::kWBEM_E_INVALID_QUERY;
        subscription->where = {{tokens[5], value}};
    }
    {
        std::lock_guard guard(m_lock);
        const auto space = m_namespaces.find(Lower(ns));
        if (space == m_namespaces.end()) return Ports::kWBEM_E_INVALID_NAMESPACE;
        const auto eventClass = space->second.eventClasses.find(subscription->className);
        if (eventClass == space->second.eventClasses.end())
            return space->second.classes.count(subscription->className) ? Ports::kWBEM_E_NOT_EVENT_CLASS
                                                                        : Ports::kWBEM_E_INVALID_CLASS;
        if (subscription->where &&
            std::none_of(eventClass->second.begin(), eventClass->second.end(),
                         [&](const std::wstring& p) { return EqualsIgnoreCase(p, subscription->where->first); }))
            return Ports::kWBEM_E_INVALID_QUERY;
        for (const auto& existing : m_subscriptions)
            if (existing->sinkId == sinkId) return Ports::kWBEM_E_FAILED;  // one subscription per sink
        m_subscriptions.push_back(subscription);
    }
    Note(L"subscribed: " + query);
    return kS_OK;
}

HRESULT SimWmi::Cancel(const void* sinkId) {
    std::shared_ptr<Subscription> cancelled;
    {
        std::lock_guard guard(m_lock);
        const auto found = std::find_if(m_subscriptions.begin(), m_subscriptions.end(),
                                        [&](const auto& s) { return s->sinkId == sinkId; });
        if (found == m_subscriptions.end()) return Ports::kWBEM_E_NOT_FOUND;
        cancelled = *found;
        m_subscriptions.erase(found);
    }
    Note(L"cancelled: " + cancelled->query);
    // WMI ends the call: the sink hears that it was cancelled.
    cancelled->sink->SetStatus(Ports::kWBEM_STATUS_COMPLETE, Ports::kWBEM_E_CALL_CANCELLED, std::nullopt, nullptr);
    return kS_OK;
}

std::vector<std::wstring> SimWmi::NotificationQueries() const {
    std::lock_guard guard(m_lock);
    return m_queries;
}

std::size_t SimWmi::Subscriptions() const {
    std::lock_guard guard(m_lock);
    return m_subscriptions.size();
}

std::size_t SimWmi::Raise(const std::wstring& ns, const std::vector<Event>& events) {
    const std::wstring space = Lower(ns);
    std::vector<std::shared_ptr<Subscription>> subscriptions;
    {
        std::lock_guard guard(m_lock);
        for (const auto& s : m_subscriptions)
            if (Lower(s->ns) == space) subscriptions.push_back(s);
    }
    std::size_t deliveries = 0;
    for (const auto& subscription : subscriptions) {
        std::vector<SimWmiObject> selected;
        for (const Event& event : events) {
            if (ToUpperInvariant(event.className) != subscription->className) continue;
            if (subscription->where) {
                SimWmiObject object(event.instance);
                Variant value;
                if (Failed(object.Get(subscription->where->first, value)) || value.IsString() ||
                    value.LowInt32() != static_cast<std::int32_t>(subscription->where->second))
                    continue;
            }
            selected.emplace_back(event.instance);
        }
        if (selected.empty()) continue;
        std::vector<Ports::IWmiObject*> objects;
        for (auto& object : selected) objects.push_back(&object);
        Note(Format(L"delivered %u event(s) to \"%s\"", static_cast<unsigned>(objects.size()), subscription->query));
        subscription->sink->Indicate(objects);
        ++deliveries;
    }
    if (deliveries == 0) Note(L"no subscription takes the event");
    return deliveries;
}

}  // namespace Arvek::Sim
