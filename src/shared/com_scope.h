// COM initialised on the calling thread for one operation (CoInitialize:
// a single-threaded apartment), balanced on every way out when it
// succeeded.
#pragma once

#include "ports/com.h"

namespace Arvek::Shared {

class CComThreadScope {
public:
    explicit CComThreadScope(Ports::IComRuntime& com)
        : m_com(com), m_result(com.InitializeThread(Ports::kCOINIT_APARTMENTTHREADED)) {}
    ~CComThreadScope() {
        if (Succeeded(m_result)) m_com.UninitializeThread();
    }
    CComThreadScope(const CComThreadScope&) = delete;
    CComThreadScope& operator=(const CComThreadScope&) = delete;

private:
    Ports::IComRuntime& m_com;
    HRESULT m_result;
};

}  // namespace Arvek::Shared
