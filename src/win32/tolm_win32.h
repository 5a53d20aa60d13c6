// The Tolm component through COM. (To be filled in.)
#pragma once

#include "ports/tolm.h"

namespace Arvek::Win32 {

class Win32Tolm final : public Ports::ITolm {
public:
    HRESULT CreateCommand(std::unique_ptr<Ports::ITolmCommand>& command) override;
    HRESULT CreateNotification(std::unique_ptr<Ports::ITolmNotification>& notification) override;
};

}  // namespace Arvek::Win32
