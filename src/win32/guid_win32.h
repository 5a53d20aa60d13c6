// The core's GUID as the platform's.
#pragma once

#include <windows.h>

#include <cstring>

#include "ports/guid.h"

namespace Arvek::Win32 {

inline GUID ToGuid(const Ports::Guid& guid) {
    GUID result{};
    result.Data1 = guid.data1;
    result.Data2 = guid.data2;
    result.Data3 = guid.data3;
    std::memcpy(result.Data4, guid.data4.data(), sizeof(result.Data4));
    return result;
}

}  // namespace Arvek::Win32
