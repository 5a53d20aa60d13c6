#include "sim/os/sim_toast.h"

#include <fstream>

#include "common/format.h"
#include "shared/exception_barrier.h"
#include "common/strings.h"
#include "sim/os/sim_clock.h"

namespace Arvek::Sim {

namespace {

// What the service's template for a picture and three lines holds, in
// document order.
struct Element {
    std::wstring tag;
    std::wstring attributeName;  // the one attribute the agent may fill
    std::wstring attributeValue;
    std::wstring text;
};

std::vector<Element> ImageAndText04() {
    return {{L"image", L"src", L"", L""}, {L"text", L"", L"", L""}, {L"text", L"", L"", L""}, {L"text", L"", L"", L""}};
}

}  // namespace

struct SimToastService::State {
    Transcript& transcript;
    SimClock& clock;
    bool available;
    SimFaults* faults;
    std::mutex lock;
    struct Toast {
        Shown shown;
        std::vector<std::shared_ptr<Ports::IToastEvents>> activated, dismissed, failed;
    };
    std::vector<Toast> toasts;

    State(Transcript& t, SimClock& c, bool a, SimFaults* f) : transcript(t), clock(c), available(a), faults(f) {}

    // The failure of a step from the fault table, S_OK when it works.
    HRESULT Failure(std::string_view step) { return TakeFault(faults, step).value_or(kS_OK); }
    void Note(const std::wstring& text) { transcript.Add(clock.ElapsedMs(), "toast", text); }
};

namespace {

class Document : public Ports::IToastDocument {
public:
    Document(std::shared_ptr<SimToastService::State> state, std::vector<Element> elements)
        : m_state(std::move(state)), m_elements(std::move(elements)) {}

    HRESULT CountElements(const std::wstring& tag, std::uint32_t& count) override {
        count = 0;
        if (const HRESULT hr = m_state->Failure("toast.count-elements"); Failed(hr)) return hr;
        for (const auto& element : m_elements) count += element.tag == tag ? 1 : 0;
        return kS_OK;
    }

    HRESULT AppendText(const std::wstring& tag, std::uint32_t index, const std::wstring& attribute,
                       const std::wstring& value) override {
        if (const HRESULT hr = m_state->Failure("toast.append-text"); Failed(hr)) return hr;
        std::uint32_t seen = 0;
        for (auto& element : m_elements) {
            if (element.tag != tag || seen++ != index) continue;
            if (attribute.empty()) {
                element.text += value;
                return kS_OK;
            }
            if (attribute != element.attributeName) return kE_INVALIDARG;
            element.attributeValue += value;
            return kS_OK;
        }
        return kE_INVALIDARG;
    }

    const std::vector<Element>& Elements() const { return m_elements; }

private:
    std::shared_ptr<SimToastService::State> m_state;
    std::vector<Element> m_elements;
};

class Notification : public Ports::IToastNotification {
public:
    Notification(std::shared_ptr<SimToastService::State> state, const std::vector<Element>& elements)
        : m_state(std::move(state)) {
        for (const auto& element : elements) {
            if (element.tag == L"image" && m_toast.shown.image.empty()) m_toast.shown.image = element.attributeValue;
            if (element.tag == L"text") m_toast.shown.texts.push_back(element.text);
        }
    }

    HRESULT Subscribe(Ports::ToastEvent event, std::shared_ptr<Ports::IToastEvents> events) override {
        const std::string_view step = event == Ports::ToastEvent::Activated   ? "toast.subscribe-activated"
                                      : event == Ports::ToastEvent::Dismissed ? "toast.subscribe-dismissed"
                                                                              : "toast.subscribe-failed";
        if (const HRESULT hr = m_state->Failure(step); Failed(hr)) return hr;
        if (!events) return kE_INVALIDARG;
        auto& list = event == Ports::ToastEvent::Activated   ? m_toast.activated
                     : event == Ports::ToastEvent::Dismissed ? m_toast.dismissed
                                                             : m_toast.failed;
        list.push_back(std::move(events));
        return kS_OK;
    }

    SimToastService::State::Toast& Toast() { return m_toast; }

private:
    std::shared_ptr<SimToastService::State> m_state;
    SimToastService::State::Toast m_toast;
};

class Notifier : public Ports::IToastNotifier {
public:
    Notifier(std::shared_ptr<SimToastService::State> state, std::wstring appId)
        : m_state(std::move(state)), m_appId(std::move(appId)) {}

    HRESULT Show(Ports::IToastNotification& notification) override {
        auto* own = dynamic_cast<Notification*>(&notification);
        if (own == nullptr) return kE_INVALIDARG;
        if (const HRESULT hr = m_state->Failure("toast.show"); Failed(hr)) return hr;
        SimToastService::State::Toast toast = own->Toast();
        toast.shown.appUserModelId = m_appId;
        std::wstring texts;
        for (const auto& text : toast.shown.texts) texts += (texts.empty() ? L"\"" : L" | \"") + text + L"\"";
        std::size_t index = 0;
        {
            std::lock_guard<std::mutex> guard(m_state->lock);
            index = m_state->toasts.size();
            m_state->toasts.push_back(std::move(toast));
        }
        m_state->Note(Format(L"toast %u from \"%s\": %s, picture \"%s\"", static_cast<std::uint64_t>(index), m_appId,
                             texts, m_state->toasts[index].shown.image));
        return kS_OK;
    }

private:
    std::shared_ptr<SimToastService::State> m_state;
    std::wstring m_appId;
};

class Manager : public Ports::IToastManager {
public:
    explicit Manager(std::shared_ptr<SimToastService::State> state) : m_state(std::move(state)) {}

    HRESULT GetTemplateContent(std::int32_t templateType, std::unique_ptr<Ports::IToastDocument>& document) override {
        document.reset();
        if (const HRESULT hr = m_state->Failure("toast.template-content"); Failed(hr)) return hr;
        // The notebook's desktop knows the one template the agent uses.
        if (templateType != Ports::kToastImageAndText04) return kE_INVALIDARG;
        document = std::make_unique<Document>(m_state, ImageAndText04());
        return kS_OK;
    }

    HRESULT CreateNotifier(const std::wstring& appUserModelId,
                           std::unique_ptr<Ports::IToastNotifier>& notifier) override {
        notifier.reset();
        if (const HRESULT hr = m_state->Failure("toast.notifier"); Failed(hr)) return hr;
        notifier = std::make_unique<Notifier>(m_state, appUserModelId);
        return kS_OK;
    }

private:
    std::shared_ptr<SimToastService::State> m_state;
};

}  // namespace

SimToastService::SimToastService(Transcript& transcript, SimClock& clock, bool available, SimFaults* faults)
    : m_state(std::make_shared<State>(transcript, clock, available, faults)) {}

SimToastService::~SimToastService() = default;

HRESULT SimToastService::GetManager(std::unique_ptr<Ports::IToastManager>& manager) {
    manager.reset();
    if (!m_state->available) return kREGDB_E_CLASSNOTREG;
    if (const HRESULT hr = m_state->Failure("toast.manager"); Failed(hr)) return hr;
    manager = std::make_unique<Manager>(m_state);
    return kS_OK;
}

HRESULT SimToastService::CreateNotification(Ports::IToastDocument& document,
                                            std::unique_ptr<Ports::IToastNotification>& notification) {
    notification.reset();
    if (!m_state->available) return kREGDB_E_CLASSNOTREG;
    auto* own = dynamic_cast<Document*>(&document);
    if (own == nullptr) return kE_INVALIDARG;
    if (const HRESULT hr = m_state->Failure("toast.notification"); Failed(hr)) return hr;
    notification = std::make_unique<Notification>(m_state, own->Elements());
    return kS_OK;
}

std::vector<SimToastService::Shown> SimToastService::ShownToasts() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    std::vector<Shown> shown;
    for (const auto& toast : m_state->toasts) shown.push_back(toast.shown);
    return shown;
}

namespace {

template <class Call>
std::vector<HRESULT> Raise(SimToastService::State& state, std::size_t index, const wchar_t* what,
                           std::vector<std::shared_ptr<Ports::IToastEvents>> SimToastService::State::Toast::*list,
                           Call call) {
    std::vector<std::shared_ptr<Ports::IToastEvents>> handlers;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (index >= state.toasts.size()) return {};
        handlers = state.toasts[index].*list;
    }
    state.Note(Format(L"toast %u %s", static_cast<std::uint64_t>(index), what));
    // Outside the lock: a handler may do anything, including show a toast.
    // What it throws stops here, as it stops at the toast service's
    // delegate on Windows.
    std::vector<HRESULT> results;
    for (const auto& handler : handlers)
        results.push_back(Shared::CallWithoutThrowing("Arvek::Sim::ToastEvent", kE_UNEXPECTED,
                                                      [&] { return call(*handler); }));
    return results;
}

}  // namespace

std::vector<HRESULT> SimToastService::Click(std::size_t index) {
    return Raise(*m_state, index, L"clicked", &State::Toast::activated,
                 [](Ports::IToastEvents& events) { return events.Activated(); });
}

std::vector<HRESULT> SimToastService::Dismiss(std::size_t index, std::int32_t reason) {
    return Raise(*m_state, index, Format(L"dismissed (reason %d)", reason).c_str(), &State::Toast::dismissed,
                 [reason](Ports::IToastEvents& events) { return events.Dismissed(reason); });
}

std::vector<HRESULT> SimToastService::Fail(std::size_t index, HRESULT error) {
    return Raise(*m_state, index, Format(L"failed (hr 0x%08X)", static_cast<std::uint32_t>(error)).c_str(),
                 &State::Toast::failed, [error](Ports::IToastEvents& events) { return events.Failed(error); });
}

// --- shell ------------------------------------------------------------------

std::intptr_t SimShell::Execute(const std::wstring& verb, const std::wstring& file, const std::wstring& parameters,
                                const std::wstring& directory, int showCommand) {
    if (const auto fault = TakeFault(m_faults, "shell.execute")) return static_cast<std::intptr_t>(*fault);
    constexpr std::intptr_t kStarted = 42;       // any value above 32
    constexpr std::intptr_t kFileNotFound = 2;   // SE_ERR_FNF
    const bool exists = m_files.GetFileInfo(file).has_value();
    m_transcript.Add(m_clock.ElapsedMs(), "shell",
                     Format(L"%s \"%s\"%s%s", verb, file, parameters.empty() ? std::wstring() : L" " + parameters,
                            exists ? L"" : L": file not found"));
    return exists ? kStarted : kFileNotFound;
}

HRESULT SimShell::CreateShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments,
                                 const std::wstring& appUserModelId) {
    if (const auto fault = TakeFault(m_faults, "shell.create-shortcut")) return *fault;
    constexpr std::uint32_t kErrorPathNotFound = 3;
    const auto host = m_files.HostPath(path);
    std::error_code error;
    if (!host || !std::filesystem::is_directory(host->parent_path(), error))
        return HresultFromWin32(kErrorPathNotFound);
    // A readable stand-in for the shell link's content.
    std::ofstream out(*host, std::ios::binary | std::ios::trunc);
    out << "[shortcut]\ntarget=" << NarrowUtf8(target) << "\narguments=" << NarrowUtf8(arguments)
        << "\nSystem.AppUserModel.ID=" << NarrowUtf8(appUserModelId) << "\n";
    if (!out.good()) return HresultFromWin32(kErrorPathNotFound);
    m_transcript.Add(m_clock.ElapsedMs(), "shell",
                     Format(L"shortcut \"%s\" to \"%s\" for \"%s\"", path, target, appUserModelId));
    return kS_OK;
}

}  // namespace Arvek::Sim
