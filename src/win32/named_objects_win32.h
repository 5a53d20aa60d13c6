// Named mutexes made with CreateMutexW.
#pragma once

#include "ports/named_objects.h"

namespace Arvek::Win32 {

class Win32NamedObjects final : public Ports::INamedObjects {
public:
    // The handle is returned whenever the call gives one, also when the name
    // already existed (error 183, ERROR_ALREADY_EXISTS).
    Ports::CreateMutexResult CreateNamedMutex(const std::wstring& name, bool initiallyOwned) override;
};

}  // namespace Arvek::Win32
