#include "shared/exception_barrier.h"

#include <exception>
#include <new>
#include <string_view>

#include "common/hresult.h"
#include "shared/log.h"

namespace Arvek::Shared {

void LogCaughtException(const char* function) noexcept {
    // What was thrown, told apart by the kinds this code base throws. The
    // log never throws.
    try {
        throw;
    } catch (const ComError& e) {
        GetLog().Log(Error, function, L"COM error 0x%08X: the call ended in an exception",
                     static_cast<std::uint32_t>(e.Error()));
    } catch (const std::bad_alloc&) {
        GetLog().Log(Error, function, L"Out of memory: the call ended in an exception");
    } catch (const std::exception& e) {
        GetLog().Log(Error, function, L"%S: the call ended in an exception", std::string_view(e.what()));
    } catch (...) {
        GetLog().Log(Error, function, L"Unknown exception: the call ended in an exception");
    }
}

}  // namespace Arvek::Shared
