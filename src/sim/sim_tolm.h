// The simulated notebook's Tolm component. (To be filled in: answers from
// the scenario.) Until then it is absent: no object can be created.
#pragma once

#include "ports/tolm.h"

namespace Arvek::Sim {

class SimTolm : public Ports::ITolm {
public:
    HRESULT CreateCommand(std::unique_ptr<Ports::ITolmCommand>& command) override;
    HRESULT CreateNotification(std::unique_ptr<Ports::ITolmNotification>& notification) override;
};

}  // namespace Arvek::Sim
