// The simulated notebook's WMI: namespaces holding classes whose objects are
// property tables, and a WQL reader for the queries the programs make
// ("SELECT * FROM Class", "SELECT A, B FROM Class").
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/variant.h"
#include "ports/wmi.h"
#include "sim/machine/faults.h"

namespace Arvek::Sim {

struct WmiObject {
    std::vector<std::pair<std::wstring, Variant>> properties;  // in the class's order
};

class SimWmi : public Ports::IWmi {
public:
    // Holds "root\cimv2" and "root\wmi", both empty. Connections and
    // queries fail as `faults` says ("wmi.connect", "wmi.exec-query"): a WMI
    // service that does not run fails every connection with
    // HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), 0x800706BA.
    explicit SimWmi(SimFaults* faults = nullptr);

    HRESULT Connect(const std::wstring& ns, std::int32_t securityFlags, std::uint32_t authnLevel,
                    std::unique_ptr<Ports::IWmiServices>& services) override;

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
    };
    SimFaults* m_faults;
    mutable std::mutex m_lock;
    std::map<std::wstring, Namespace> m_namespaces;  // by lower-case name
};

}  // namespace Arvek::Sim
