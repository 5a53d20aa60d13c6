#include "sim/sim_tolm.h"

namespace Arvek::Sim {

HRESULT SimTolm::CreateCommand(std::unique_ptr<Ports::ITolmCommand>& command) {
    command.reset();
    return kREGDB_E_CLASSNOTREG;
}

HRESULT SimTolm::CreateNotification(std::unique_ptr<Ports::ITolmNotification>& notification) {
    notification.reset();
    return kREGDB_E_CLASSNOTREG;
}

}  // namespace Arvek::Sim
