// The simulated notebook's WMI service: namespaces holding classes whose
// objects are property tables, a WQL reader for the queries the programs
// make ("SELECT * FROM Class", "SELECT A, B FROM Class"), and event
// subscriptions ("SELECT * FROM Class [WHERE Property = n]") on the event
// classes providers add (the firmware's: sim/standins/firmware_wmi).
//
// An event raised is delivered at once, on the raising thread, to the sink
// of every subscription that selects it: one Indicate per subscription with
// the instances it selects, in their order. The machine raises events from
// the timeline, on the program's main thread inside whichever message loop
// turned the pump, which is where the single-threaded apartment delivers
// them on Windows. A cancelled subscription's sink gets SetStatus with
// WBEM_E_CALL_CANCELLED, as WMI ends an asynchronous call. Each sink takes
// one subscription. Every step can fail through the fault table
// ("wmi.*").
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/variant.h"
#include "ports/wmi.h"
#include "ports/wmi_events.h"
#include "sim/machine/faults.h"

namespace Arvek::Sim {

struct WmiObject {
    std::vector<std::pair<std::wstring, Variant>> properties;  // in the class's order
};

class Transcript;
class SimClock;

class SimWmi : public Ports::IWmi, public Ports::IWmiEvents {
public:
    // Holds "root\cimv2" and "root\wmi", both empty. Connections and
    // queries fail as `faults` says ("wmi.connect", "wmi.exec-query"): a WMI
    // service that does not run fails every connection with
    // HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), 0x800706BA.
    explicit SimWmi(SimFaults* faults = nullptr);

    HRESULT Connect(const std::wstring& ns, std::int32_t securityFlags, std::uint32_t authnLevel,
                    std::unique_ptr<Ports::IWmiServices>& services) override;
    HRESULT CreateLocator(std::unique_ptr<Ports::IWmiLocator>& locator) override;
    HRESULT CreateUnsecuredApartment(std::unique_ptr<Ports::IWmiUnsecuredApartment>& apartment) override;

    // Subscriptions and deliveries go to the transcript ("wmi") when one is
    // given.
    void SetTranscript(Transcript* transcript, SimClock* clock);
    // Makes `className` an event class of `ns`, whose instances carry
    // `properties` (and "__Class").
    void AddEventClass(const std::wstring& ns, const std::wstring& className, std::vector<std::wstring> properties);
    // One instance of an event class, as a provider raises it: its class,
    // and its properties ("__Class" among them, or not).
    struct Event {
        std::wstring className;
        WmiObject instance;
    };
    // Raises `events` in `ns`, in order; the deliveries made (Indicate
    // calls).
    std::size_t Raise(const std::wstring& ns, const std::vector<Event>& events);
    // Subscriptions in force, and every notification query asked for
    // (taken or not), oldest first.
    std::size_t Subscriptions() const;
    std::vector<std::wstring> NotificationQueries() const;

    // Win32_BIOS and Win32_OperatingSystem of a notebook with these versions
    // and interface language.
    void AddMachineClasses(const std::wstring& biosVersion, const std::wstring& osVersion, std::uint16_t language);
    // Makes `className` known in `ns`, with no objects yet.
    void AddClass(const std::wstring& ns, const std::wstring& className);
    // Adds an object of `className` in `ns` (e.g. "root\cimv2").
    void AddObject(const std::wstring& ns, const std::wstring& className, WmiObject object);

    // The namespace as the machine knows it ("root\cimv2"), whatever form it
    // was asked for in ("\\.\ROOT\CIMV2"); empty text for an unknown one.
    std::wstring FindNamespace(const std::wstring& ns) const;

private:
    struct Namespace {
        std::map<std::wstring, std::vector<WmiObject>> classes;  // by upper-case class name
        std::map<std::wstring, std::vector<std::wstring>> eventClasses;  // by upper-case name: properties
    };
    struct Subscription;
    class Locator;
    class EventServices;
    class Apartment;
    HRESULT Subscribe(const std::wstring& ns, const std::wstring& query, const void* sinkId,
                      std::shared_ptr<Ports::IWmiEventSink> sink);
    HRESULT Cancel(const void* sinkId);
    void Note(const std::wstring& text);

    SimFaults* m_faults;
    Transcript* m_transcript = nullptr;
    SimClock* m_clock = nullptr;
    mutable std::mutex m_lock;
    std::vector<std::shared_ptr<Subscription>> m_subscriptions;
    std::vector<std::wstring> m_queries;
    std::map<std::wstring, Namespace> m_namespaces;  // by lower-case name
};

}  // namespace Arvek::Sim
