#include "win32/tolm_win32.h"

namespace Arvek::Win32 {

HRESULT Win32Tolm::CreateCommand(std::unique_ptr<Ports::ITolmCommand>& command) {
    command.reset();
    return kREGDB_E_CLASSNOTREG;
}

HRESULT Win32Tolm::CreateNotification(std::unique_ptr<Ports::ITolmNotification>& notification) {
    notification.reset();
    return kREGDB_E_CLASSNOTREG;
}

}  // namespace Arvek::Win32
