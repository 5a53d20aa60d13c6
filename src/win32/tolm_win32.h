// The Tolm component through COM: objects created the way the programs have
// always created them (CoCreateInstance for IUnknown, OleRun, QueryInterface)
// and commands run with BSTR and VARIANT values converted at this boundary.
//
// The calling thread has initialised COM; the objects handed out belong to
// that thread and are released on it.
#pragma once

#include "ports/tolm.h"

namespace Arvek::Win32 {

class Win32Tolm final : public Ports::ITolm {
public:
    HRESULT CreateCommand(std::unique_ptr<Ports::ITolmCommand>& command) override;
    HRESULT CreateNotification(std::unique_ptr<Ports::ITolmNotification>& notification) override;
};

}  // namespace Arvek::Win32
