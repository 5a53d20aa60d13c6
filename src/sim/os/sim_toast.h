// The simulated notebook's toast service and shell.
//
// The toast service keeps every toast shown, writes it to the transcript
// ("toast" channel) and lets a test or the timeline click, dismiss or fail
// it, which calls the program's subscribed events as the real service does.
// Any step can be made to fail with a chosen HRESULT through the fault
// table ("toast.*"); a scenario can make the whole service absent, as on a
// desktop without it (Wine).
//
// The shell starts nothing: it writes what would have been started to the
// transcript ("shell" channel) and reports a missing file as the real shell
// does; shortcuts become small text files on the simulated drive.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ports/shell.h"
#include "ports/toast.h"
#include "sim/machine/faults.h"
#include "sim/os/sim_files.h"
#include "sim/machine/transcript.h"

namespace Arvek::Sim {

class SimClock;

class SimToastService : public Ports::IToastService {
public:
    struct Shown {
        std::wstring appUserModelId;
        std::wstring image;               // the image element's "src"
        std::vector<std::wstring> texts;  // the text elements, in order
    };

    SimToastService(Transcript& transcript, SimClock& clock, bool available = true, SimFaults* faults = nullptr);
    ~SimToastService() override;

    HRESULT GetManager(std::unique_ptr<Ports::IToastManager>& manager) override;
    HRESULT CreateNotification(Ports::IToastDocument& document,
                                      std::unique_ptr<Ports::IToastNotification>& notification) override;

    std::vector<Shown> ShownToasts() const;
    // The user or the system acts on the `index`-th toast shown: the result
    // of every subscribed handler's call, in subscription order.
    std::vector<HRESULT> Click(std::size_t index);
    std::vector<HRESULT> Dismiss(std::size_t index, std::int32_t reason);
    std::vector<HRESULT> Fail(std::size_t index, HRESULT error);

    // Internal to the service's objects.
    struct State;

private:
    std::shared_ptr<State> m_state;
};

class SimShell : public Ports::IShell {
public:
    // Programs start and shortcuts are saved as `faults` says ("shell.*").
    SimShell(Transcript& transcript, SimClock& clock, SimFileSystem& files,
             std::wstring programFilesX86 = L"C:\\Program Files (x86)", SimFaults* faults = nullptr)
        : m_transcript(transcript), m_clock(clock), m_files(files), m_programFilesX86(std::move(programFilesX86)),
          m_faults(faults) {}

    std::intptr_t Execute(const std::wstring& verb, const std::wstring& file, const std::wstring& parameters,
                          const std::wstring& directory, int showCommand) override;
    HRESULT CreateShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments,
                                  const std::wstring& appUserModelId) override;
    std::optional<std::wstring> ProgramFilesX86Folder() override { return m_programFilesX86; }

private:
    Transcript& m_transcript;
    SimClock& m_clock;
    SimFileSystem& m_files;
    std::wstring m_programFilesX86;
    SimFaults* m_faults;
};

}  // namespace Arvek::Sim
