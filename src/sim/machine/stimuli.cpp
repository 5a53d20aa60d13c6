#include "sim/machine/stimuli.h"

#include <algorithm>
#include <chrono>
#include <map>

#include "common/format.h"
#include "common/strings.h"
#include "ports/device_broadcast.h"
#include "ports/windowing.h"
#include "sim/machine/scenario.h"
#include "sim/machine/sim_machine.h"
#include "standin/tolm_answers.h"

namespace Arvek::Sim {

void StimulusLine::Fail(const std::string& what) const {
    throw ScenarioError(m_fileName + ":" + std::to_string(m_line) + ": " + what);
}

namespace {

// Refuses any words after the verb.
void NoArguments(const StimulusLine& line, std::string_view verb) {
    if (!line.Words().empty()) line.Fail(std::string(verb) + " takes no arguments");
}

const std::map<std::string, std::uint32_t>& MessageNames() {
    static const std::map<std::string, std::uint32_t> names = {
        {"WM_CLOSE", Ports::kWM_CLOSE},
        {"WM_COMMAND", Ports::kWM_COMMAND},
        {"WM_POWERBROADCAST", Ports::kWM_POWERBROADCAST},
        {"WM_DEVICECHANGE", Ports::kWM_DEVICECHANGE},
        {"WM_WTSSESSION_CHANGE", Ports::kWM_WTSSESSION_CHANGE},
        {"WM_DWMNCRENDERINGCHANGED", Ports::kWM_DWMNCRENDERINGCHANGED},
        {"WM_APP", Ports::kWM_APP},
        {"WM_USER", Ports::kWM_USER},
    };
    return names;
}

// A message by name ("WM_COMMAND", "WM_APP+2") or number.
bool ParseMessage(const std::string& text, std::uint32_t& message) {
    std::string name = text;
    std::uint64_t offset = 0;
    if (const auto plus = text.find('+'); plus != std::string::npos) {
        name = text.substr(0, plus);
        if (!ParseScenarioNumber(text.substr(plus + 1), offset)) return false;
    }
    const auto it = MessageNames().find(name);
    std::uint64_t base = 0;
    if (it != MessageNames().end()) base = it->second;
    else if (offset != 0 || !ParseScenarioNumber(name, base)) return false;
    if (base + offset > 0xFFFF) return false;
    message = static_cast<std::uint32_t>(base + offset);
    return true;
}

// post MESSAGE [WPARAM [LPARAM]]: a message for the program's window.
class PostMessage final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        const auto& words = line.Words();
        auto stimulus = std::make_shared<PostMessage>();
        std::uint64_t wParam = 0, lParam = 0;
        if (words.empty() || words.size() > 3 || !ParseMessage(words[0], stimulus->m_message) ||
            (words.size() > 1 && !ParseScenarioNumber(words[1], wParam)) ||
            (words.size() > 2 && !ParseScenarioNumber(words[2], lParam)))
            line.Fail("expected: post MESSAGE [WPARAM [LPARAM]]: post " + line.Rest());
        stimulus->m_wParam = static_cast<std::uintptr_t>(wParam);
        stimulus->m_lParam = static_cast<std::intptr_t>(lParam);
        return stimulus;
    }
    std::wstring Describe() const override {
        return Format(L"post message %#x wParam %u lParam %d", m_message, static_cast<std::uint64_t>(m_wParam),
                      static_cast<std::int64_t>(m_lParam));
    }
    void Apply(SimMachine& machine) const override {
        const auto window = machine.Windowing().MainWindow();
        if (!window || !machine.Windowing().Post(window, m_message, m_wParam, m_lParam))
            machine.Note("timeline", L"no window to post to");
    }

private:
    std::uint32_t m_message = 0;
    std::uintptr_t m_wParam = 0;
    std::intptr_t m_lParam = 0;
};

// close-window: WM_CLOSE to the program's window.
class CloseWindow final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        NoArguments(line, "close-window");
        return std::make_shared<CloseWindow>();
    }
    std::wstring Describe() const override { return L"close the program's window"; }
    void Apply(SimMachine& machine) const override {
        if (const auto window = machine.Windowing().MainWindow())
            machine.Windowing().Post(window, Ports::kWM_CLOSE, 0, 0);
    }
};

// suspend, resume: the notebook goes to sleep or wakes up; Windows tells
// every top-level window with WM_POWERBROADCAST: PBT_APMSUSPEND (4) before
// the sleep, and after one wake PBT_APMRESUMEAUTOMATIC (18) and then, as the
// user is there, PBT_APMRESUMESUSPEND (7).
class PowerChange final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> ReadSuspend(const StimulusLine& line) {
        NoArguments(line, "suspend");
        return std::make_shared<PowerChange>(L"the notebook goes to sleep",
                                             std::vector<std::uintptr_t>{Ports::kPBT_APMSUSPEND});
    }
    static std::shared_ptr<const Stimulus> ReadResume(const StimulusLine& line) {
        NoArguments(line, "resume");
        return std::make_shared<PowerChange>(
            L"the notebook wakes up",
            std::vector<std::uintptr_t>{Ports::kPBT_APMRESUMEAUTOMATIC, Ports::kPBT_APMRESUMESUSPEND});
    }
    PowerChange(std::wstring description, std::vector<std::uintptr_t> events)
        : m_description(std::move(description)), m_events(std::move(events)) {}
    std::wstring Describe() const override { return m_description; }
    void Apply(SimMachine& machine) const override {
        if (const auto window = machine.Windowing().MainWindow())
            for (const auto event : m_events) machine.Windowing().Post(window, Ports::kWM_POWERBROADCAST, event, 0);
    }

private:
    std::wstring m_description;
    std::vector<std::uintptr_t> m_events;
};

// session logon|logoff|lock|unlock: the session changes; a window that
// registered for the session's notifications gets WM_WTSSESSION_CHANGE.
class SessionChange final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        static const std::map<std::string, std::uintptr_t> codes = {
            {"logon", Ports::kWTS_SESSION_LOGON},
            {"logoff", Ports::kWTS_SESSION_LOGOFF},
            {"lock", Ports::kWTS_SESSION_LOCK},
            {"unlock", Ports::kWTS_SESSION_UNLOCK}};
        const auto& words = line.Words();
        const auto code = words.size() == 1 ? codes.find(words[0]) : codes.end();
        if (code == codes.end()) line.Fail("expected: session logon|logoff|lock|unlock: session " + line.Rest());
        auto stimulus = std::make_shared<SessionChange>();
        stimulus->m_name = WidenUtf8(code->first);
        stimulus->m_code = code->second;
        return stimulus;
    }
    std::wstring Describe() const override { return Format(L"session %s", m_name); }
    void Apply(SimMachine& machine) const override {
        const auto window = machine.Windowing().SessionListener();
        if (!window || !machine.Windowing().Post(window, Ports::kWM_WTSSESSION_CHANGE, m_code, 0))
            machine.Note("timeline", L"no window takes the session's notifications");
    }

private:
    std::wstring m_name;
    std::uintptr_t m_code = 0;
};

// second-instance: the same program started again in the session.
class SecondInstance final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        NoArguments(line, "second-instance");
        return std::make_shared<SecondInstance>();
    }
    std::wstring Describe() const override { return L"start the program a second time"; }
    void Apply(SimMachine& machine) const override { machine.RunSecondInstance(); }
};

// acpi-event BYTE: the platform driver's stand-in completes its request with
// BYTE (0xA0 is the USB Type-C event).
class AcpiEvent final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        std::uint64_t byte = 0;
        if (line.Words().size() != 1 || !ParseScenarioNumber(line.Words()[0], byte) || byte > 0xFF)
            line.Fail("expected: acpi-event BYTE (0 to 0xFF): acpi-event " + line.Rest());
        auto stimulus = std::make_shared<AcpiEvent>();
        stimulus->m_byte = static_cast<std::uint8_t>(byte);
        return stimulus;
    }
    std::wstring Describe() const override {
        return Format(L"ACPI event 0x%02X at the platform driver", static_cast<unsigned>(m_byte));
    }
    void Apply(SimMachine& machine) const override {
        PyloDriver& driver = machine.Pylo();
        const bool waiting = driver.RequestUnderWay();
        const int taken = driver.RequestsTaken();
        driver.RaiseAcpiEvent(m_byte);
        // The monitor deals with the answer on its own thread; what follows
        // in the timeline happens after it has (it asks for the next event,
        // or it ends), so that every run tells the same story.
        if (waiting && !driver.WaitForRequestAfter(taken, std::chrono::seconds(10)))
            machine.Note("timeline", L"the ACPI monitor did not take the event within 10 s");
    }

private:
    std::uint8_t m_byte = 0;
};

// usb-arrive PATH: the device interface at PATH arrives. The system sends
// WM_DEVICECHANGE with a DBT_DEVICEARRIVAL broadcast record for it to the
// window registered for its interface class: the class of the device
// tree's interface at PATH, else the one the path ends in, else the USB
// device class. The tree stays as the scenario describes it.
class UsbArrive final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        if (line.Words().size() != 1) line.Fail("expected: usb-arrive PATH: usb-arrive " + line.Rest());
        auto stimulus = std::make_shared<UsbArrive>();
        stimulus->m_path = WidenUtf8(line.Words()[0]);
        return stimulus;
    }
    std::wstring Describe() const override { return L"USB device interface arrives: " + m_path; }
    void Apply(SimMachine& machine) const override {
        std::optional<Ports::Guid> interfaceClass = machine.Devices().InterfaceClassOf(m_path);
        if (const auto hash = m_path.rfind(L'#'); !interfaceClass && hash != std::wstring::npos)
            interfaceClass = Ports::GuidFromText(m_path.substr(hash + 1));
        const Ports::Guid sent = interfaceClass.value_or(Ports::kGUID_DEVINTERFACE_USB_DEVICE);
        const auto window = machine.Windowing().DeviceInterfaceListener(sent);
        if (!window) {
            machine.Note("devices", Format(L"arrival of %s (class %s): no window is registered for the class, "
                                           L"nothing sent",
                                           m_path, Ports::GuidText(sent)));
            return;
        }
        machine.Note("devices", Format(L"arrival of %s (class %s): WM_DEVICECHANGE DBT_DEVICEARRIVAL to window 0x%X",
                                       m_path, Ports::GuidText(sent), static_cast<std::uint64_t>(window)));
        const std::vector<std::uint8_t> record = Ports::MakeDeviceInterfaceBroadcast(sent, m_path);
        machine.Windowing().Send(window, Ports::kWM_DEVICECHANGE, Ports::kDBT_DEVICEARRIVAL,
                                 reinterpret_cast<std::intptr_t>(record.data()));
    }

private:
    std::wstring m_path;
};

// tolm NAME = ANSWER: from now on the platform component answers NAME so
// (the syntax of the [tolm] section, text blocks included).
class TolmAnswer final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        if (line.Rest().find('=') == std::string::npos) line.Fail("expected: tolm NAME = ANSWER: tolm " + line.Rest());
        auto stimulus = std::make_shared<TolmAnswer>();
        const std::string text = line.Block().empty() ? line.Rest() : line.Block();
        try {
            stimulus->m_change =
                Standin::ParseTolmAnswerChange(text, line.FileName(), line.Line(), line.BaseFolder());
        } catch (const Standin::TolmAnswersError& e) {
            throw ScenarioError(e.what());
        }
        stimulus->m_text = WidenUtf8(line.Rest());
        return stimulus;
    }
    std::wstring Describe() const override { return L"the platform component now answers " + m_text; }
    void Apply(SimMachine& machine) const override { machine.Tolm().Apply(m_change); }

private:
    Standin::TolmAnswerChange m_change;
    std::wstring m_text;
};

// wmi-event CLASS PROPERTY=TYPE VALUE ... [| CLASS PROPERTY=TYPE VALUE ...]:
// the firmware raises instances of its WMI event classes, delivered in one
// go; TYPE VALUE as in the [tolm] section.
class WmiEvent final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        constexpr const char* kUsage = "expected: wmi-event CLASS PROPERTY=TYPE VALUE ... [| CLASS ...]: wmi-event ";
        std::vector<std::string> words;
        if (!ScenarioWords(line.Rest(), words)) line.Fail("the quoted string is not closed: wmi-event " + line.Rest());
        auto stimulus = std::make_shared<WmiEvent>();
        for (std::size_t at = 0; at < words.size();) {
            SimWmi::Event event;
            if (words[at] == "|" || words[at].find('=') != std::string::npos) line.Fail(kUsage + line.Rest());
            event.className = WidenUtf8(words[at++]);
            while (at < words.size() && words[at] != "|") {
                const auto eq = words[at].find('=');
                if (eq == std::string::npos || eq == 0 || eq + 1 == words[at].size()) line.Fail(kUsage + line.Rest());
                const std::string property = words[at].substr(0, eq);
                std::string value = words[at++].substr(eq + 1);
                // The value's words: one, two for raw (a tag and its payload).
                const std::size_t count = value == "raw" ? 2 : 1;
                for (std::size_t i = 0; i < count; ++i) {
                    if (at == words.size() || words[at] == "|") line.Fail(kUsage + line.Rest());
                    value += " " + words[at++];
                }
                try {
                    event.instance.properties.emplace_back(
                        WidenUtf8(property), Standin::ParseAnswerValue(value, line.FileName(), line.Line()));
                } catch (const Standin::TolmAnswersError& e) {
                    throw ScenarioError(e.what());
                }
            }
            stimulus->m_events.push_back(std::move(event));
            if (at < words.size()) {
                ++at;  // the "|" between two instances
                if (at == words.size()) line.Fail(kUsage + line.Rest());
            }
        }
        if (stimulus->m_events.empty()) line.Fail(kUsage + line.Rest());
        stimulus->m_text = WidenUtf8(line.Rest());
        return stimulus;
    }
    std::wstring Describe() const override { return L"the firmware raises " + m_text; }
    void Apply(SimMachine& machine) const override { machine.FirmwareEvents().Raise(m_events); }

private:
    std::vector<SimWmi::Event> m_events;
    std::wstring m_text;
};

// dialog click ID | dialog link | dialog escape | dialog close: the user
// answers the program's topmost dialog.
class DialogAnswer final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        const auto& words = line.Words();
        auto stimulus = std::make_shared<DialogAnswer>();
        std::uint64_t control = 0;
        if (words.size() == 2 && words[0] == "click" && ParseScenarioNumber(words[1], control) && control <= 0xFFFF) {
            stimulus->m_control = static_cast<int>(control);
        } else if (words.size() == 1 && (words[0] == "link" || words[0] == "escape" || words[0] == "close")) {
            stimulus->m_action = words[0];
        } else {
            line.Fail("expected: dialog click ID, dialog link, dialog escape or dialog close: dialog " + line.Rest());
        }
        if (stimulus->m_action.empty()) stimulus->m_action = "click";
        return stimulus;
    }
    std::wstring Describe() const override {
        if (m_action == "click") return Format(L"the user clicks control %d of the dialog", m_control);
        if (m_action == "link") return L"the user clicks the dialog's link";
        if (m_action == "escape") return L"the user presses Escape in the dialog";
        return L"the user closes the dialog";
    }
    void Apply(SimMachine& machine) const override {
        auto& dialogs = machine.Dialogs();
        const bool answered = m_action == "click"  ? dialogs.Click(m_control)
                              : m_action == "link" ? dialogs.PressLink()
                              : m_action == "escape" ? dialogs.Escape()
                                                     : dialogs.Close();
        if (!answered) machine.Note("timeline", L"no dialog is open");
    }

private:
    std::string m_action;
    int m_control = 0;
};

// message-box ok: the user answers the topmost message box.
class MessageBoxAnswer final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        if (line.Words().size() != 1 || line.Words()[0] != "ok") line.Fail("expected: message-box ok: message-box " + line.Rest());
        return std::make_shared<MessageBoxAnswer>();
    }
    std::wstring Describe() const override { return L"the user presses OK in the message box"; }
    void Apply(SimMachine& machine) const override {
        if (!machine.Dialogs().AnswerMessageBox()) machine.Note("timeline", L"no message box is open");
    }
};

// restart: the program ends as at sign-out and starts again on the same
// notebook.
class Restart final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        NoArguments(line, "restart");
        return std::make_shared<Restart>();
    }
    std::wstring Describe() const override { return L"restart: the user signs out and in again"; }
    void Apply(SimMachine& machine) const override { machine.Restart(); }
};

// fail PORT.STEP HRESULT [once]: a step of a simulated port fails from now
// on (or the next time only).
class FailStep final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        const auto& words = line.Words();
        std::uint64_t hr = 0;
        if (words.size() < 2 || words.size() > 3 || (words.size() == 3 && words[2] != "once") ||
            !ParseScenarioNumber(words[1], hr) || hr > 0xFFFFFFFFu)
            line.Fail("expected: fail PORT.STEP HRESULT [once]: fail " + line.Rest());
        if (!SimFaults::Known(words[0])) line.Fail("no step \"" + words[0] + "\" can fail (docs/scenarios.md lists them)");
        auto stimulus = std::make_shared<FailStep>();
        stimulus->m_step = words[0];
        stimulus->m_hr = MakeHr(static_cast<std::uint32_t>(hr));
        stimulus->m_once = words.size() == 3;
        return stimulus;
    }
    std::wstring Describe() const override {
        return Format(L"%S fails with 0x%08X%s", m_step, static_cast<std::uint32_t>(m_hr),
                      m_once ? L", once" : L"");
    }
    void Apply(SimMachine& machine) const override { machine.Faults().Fail(m_step, m_hr, m_once); }

private:
    std::string m_step;
    HRESULT m_hr = kS_OK;
    bool m_once = false;
};

// heal PORT.STEP: the step works again.
class HealStep final : public Stimulus {
public:
    static std::shared_ptr<const Stimulus> Read(const StimulusLine& line) {
        if (line.Words().size() != 1) line.Fail("expected: heal PORT.STEP: heal " + line.Rest());
        if (!SimFaults::Known(line.Words()[0]))
            line.Fail("no step \"" + line.Words()[0] + "\" can fail (docs/scenarios.md lists them)");
        auto stimulus = std::make_shared<HealStep>();
        stimulus->m_step = line.Words()[0];
        return stimulus;
    }
    std::wstring Describe() const override { return Format(L"%S works again", m_step); }
    void Apply(SimMachine& machine) const override { machine.Faults().Heal(m_step); }

private:
    std::string m_step;
};

constexpr StimulusKind kKinds[] = {
    {"post", "post MESSAGE [WPARAM [LPARAM]]", &PostMessage::Read},
    {"close-window", "close-window", &CloseWindow::Read},
    {"suspend", "suspend", &PowerChange::ReadSuspend},
    {"resume", "resume", &PowerChange::ReadResume},
    {"session", "session logon|logoff|lock|unlock", &SessionChange::Read},
    {"second-instance", "second-instance", &SecondInstance::Read},
    {"restart", "restart", &Restart::Read},
    {"acpi-event", "acpi-event BYTE", &AcpiEvent::Read},
    {"usb-arrive", "usb-arrive PATH", &UsbArrive::Read},
    {"wmi-event", "wmi-event CLASS PROPERTY=TYPE VALUE ...", &WmiEvent::Read},
    {"tolm", "tolm NAME = ANSWER", &TolmAnswer::Read},
    {"dialog", "dialog click ID", &DialogAnswer::Read},
    {"message-box", "message-box ok", &MessageBoxAnswer::Read},
    {"fail", "fail PORT.STEP HRESULT [once]", &FailStep::Read},
    {"heal", "heal PORT.STEP", &HealStep::Read},
};

}  // namespace

std::span<const StimulusKind> StimulusKinds() { return kKinds; }

const StimulusKind* FindStimulus(std::string_view verb) {
    const auto found =
        std::find_if(std::begin(kKinds), std::end(kKinds), [&](const StimulusKind& k) { return k.verb == verb; });
    return found == std::end(kKinds) ? nullptr : found;
}

}  // namespace Arvek::Sim
