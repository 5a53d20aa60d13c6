#include "sim/os/sim_dialogs.h"

#include <algorithm>
#include <thread>

#include "common/format.h"

namespace Arvek::Sim {

namespace {

constexpr std::uint32_t kNotificationTemplate = 102;
constexpr std::uint32_t kVelashadeTemplate = 142;

const wchar_t* IconName(Ports::SystemIcon icon) {
    switch (icon) {
    case Ports::SystemIcon::Information: return L"information";
    case Ports::SystemIcon::Warning: return L"warning";
    case Ports::SystemIcon::Error: return L"error";
    }
    return L"?";
}

}  // namespace

// One dialog or message box on the screen: its controls as the program set
// them, what the timeline has asked of it, and how it ended.
struct SimDialogs::Box final : public Ports::IDialogWindow {
    bool messageBox = false;
    std::uint32_t templateId = 0;
    Ports::IDialogHandler* handler = nullptr;
    std::wstring text;  // a message box's
    bool worker = false;
    SimThreads::Waiting* waiting = nullptr;

    std::map<int, std::wstring> texts;
    std::optional<Ports::SystemIcon> icon;
    bool hyperlink = false;
    bool checked = false;
    bool ended = false;
    bool closedWithProgram = false;
    std::intptr_t result = 0;
    std::deque<std::function<void(Box&)>> commands;

    void SetControlText(int control, const std::wstring& value) override { texts[control] = value; }
    void SetControlIcon(int, Ports::SystemIcon value) override { icon = value; }
    void SetBigIcon(std::uint32_t) override {}
    void MakeHyperlink(int control, const std::wstring& value) override {
        hyperlink = true;
        texts[control] = value;
    }
    bool IsChecked(int control) override { return control == Ports::kDialogCheckBox && checked; }
    void BringToForeground() override {}
    void End(std::intptr_t value) override {
        ended = true;
        result = value;
    }

    std::wstring Describe() const {
        if (messageBox) return Format(L"message box \"%s\"", text);
        std::wstring line = Format(L"dialog %u opened: %s icon, text \"%s\"", templateId,
                                   icon ? IconName(*icon) : L"no", Text(Ports::kDialogTextControl));
        if (templateId == kNotificationTemplate) {
            const std::wstring link = Text(Ports::kDialogLinkControl);
            line += hyperlink       ? Format(L", link \"%s\"", link)
                    : link.empty() ? std::wstring(L", no link line")
                                   : Format(L", link line \"%s\" (not a link)", link);
        }
        if (templateId == kVelashadeTemplate)
            line += Format(L", check box \"%s\" %s", Text(Ports::kDialogCheckBox), checked ? L"ticked" : L"unticked");
        return line;
    }
    std::wstring Text(int control) const {
        const auto found = texts.find(control);
        return found == texts.end() ? std::wstring() : found->second;
    }
};

void SimDialogs::Note(const std::wstring& text) { m_transcript.Add(m_clock.ElapsedMs(), "dialog", text); }

SimDialogs::Box* SimDialogs::Topmost(bool messageBox) {
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it)
        if ((*it)->messageBox == messageBox && !(*it)->ended && !(*it)->closedWithProgram) return *it;
    return nullptr;
}

std::intptr_t SimDialogs::ShowModal(std::uint32_t templateId, Ports::IDialogHandler& handler) {
    if (templateId != kNotificationTemplate && templateId != kVelashadeTemplate) return -1;  // no such template
    Box box;
    box.templateId = templateId;
    box.handler = &handler;
    box.worker = SimThreads::IsWorker();
    // The controls' texts as the templates give them.
    box.texts[Ports::kIDOK] = L"OK";
    if (templateId == kNotificationTemplate) box.texts[Ports::kDialogLinkControl] = L"For More Information Click Here";
    {
        std::lock_guard guard(m_lock);
        m_open.push_back(&box);
        if (m_threads.Ending()) box.closedWithProgram = true;  // the program's run is over
    }
    handler.OnInit(box);
    Note(box.Describe());
    RunModal(box);
    {
        std::lock_guard guard(m_lock);
        m_open.erase(std::find(m_open.begin(), m_open.end(), &box));
    }
    Note(box.closedWithProgram ? Format(L"dialog %u closed with the program", templateId)
                               : Format(L"dialog %u ended with %d", templateId, static_cast<int>(box.result)));
    return box.result;
}

int SimDialogs::ShowMessageBox(const std::wstring& text, const std::wstring&) {
    Box box;
    box.messageBox = true;
    box.text = text;
    box.worker = SimThreads::IsWorker();
    {
        std::lock_guard guard(m_lock);
        m_open.push_back(&box);
        if (m_threads.Ending()) box.closedWithProgram = true;
    }
    Note(box.Describe());
    RunModal(box);
    {
        std::lock_guard guard(m_lock);
        m_open.erase(std::find(m_open.begin(), m_open.end(), &box));
    }
    Note(box.closedWithProgram ? std::wstring(L"message box closed with the program") : L"message box: OK");
    return box.closedWithProgram ? 0 : static_cast<int>(box.result);
}

void SimDialogs::RunModal(Box& box) {
    for (;;) {
        std::function<void(Box&)> command;
        {
            std::unique_lock guard(m_lock);
            if (box.ended || box.closedWithProgram) return;
            if (!box.commands.empty()) {
                command = std::move(box.commands.front());
                box.commands.pop_front();
            } else if (box.worker) {
                // A worker's dialog waits for the timeline's answer.
                SimThreads::Waiting waiting(m_threads);
                box.waiting = &waiting;
                waiting.Begin();
                m_changed.wait(guard, [&] { return !box.commands.empty() || box.closedWithProgram; });
                box.waiting = nullptr;
                continue;
            }
        }
        if (command) {
            command(box);
            continue;
        }
        // On the main thread: the thread's messages, and the machine's pump
        // when there are none.
        Ports::Message message;
        const int got = m_windowing.PeekNextMessage(message);
        if (got > 0) {
            m_windowing.Dispatch(message);
        } else if (got == 0) {
            // The program is ending: the dialog ends and hands the quit on,
            // as the dialog manager does.
            m_windowing.PostQuit(static_cast<int>(message.wParam));
            std::lock_guard guard(m_lock);
            box.closedWithProgram = true;
        } else if (!m_windowing.Pump()) {
            std::lock_guard guard(m_lock);
            box.closedWithProgram = true;  // nothing can ever answer it
        }
    }
}

bool SimDialogs::Send(bool messageBox, std::function<void(Box&)> command) {
    std::lock_guard guard(m_lock);
    Box* box = Topmost(messageBox);
    if (!box) return false;
    box->commands.push_back(std::move(command));
    if (box->waiting) box->waiting->Resume();
    m_changed.notify_all();
    return true;
}

bool SimDialogs::Click(int control) {
    return Send(false, [control](Box& box) {
        if (control == Ports::kDialogCheckBox) box.checked = !box.checked;
        box.handler->OnCommand(box, control);
    });
}

bool SimDialogs::PressLink() {
    return Send(false, [this](Box& box) {
        // Only a link line takes the mouse; an emptied or plain one does not.
        if (!box.hyperlink) {
            Note(Format(L"dialog %u: the link line is not a link", box.templateId));
            return;
        }
        box.handler->OnLinkPressed(box);
        if (!box.ended && !box.closedWithProgram) box.handler->OnCommand(box, Ports::kDialogLinkControl);
    });
}

bool SimDialogs::Close() {
    return Send(false, [](Box& box) { box.handler->OnClose(box); });
}

bool SimDialogs::AnswerMessageBox() {
    return Send(true, [](Box& box) { box.End(Ports::kIDOK); });
}

void SimDialogs::EndAll() {
    std::lock_guard guard(m_lock);
    for (Box* box : m_open) {
        box->closedWithProgram = true;
        if (box->waiting) box->waiting->Resume();
    }
    m_changed.notify_all();
}

std::size_t SimDialogs::OpenCount() const {
    std::lock_guard guard(m_lock);
    return m_open.size();
}

}  // namespace Arvek::Sim
