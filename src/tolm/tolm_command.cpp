#include "tolm/tolm_command.h"

#include "shared/log.h"

namespace Arvek::Tolm {

HRESULT CTolmCommand::Create() {
    m_object.reset();
    std::unique_ptr<Ports::ITolmCommand> object;
    const HRESULT hr = m_tolm.CreateCommand(object);
    if (Failed(hr)) return hr;
    if (!object) return kE_POINTER;  // a component that claims success without an object
    m_object = std::move(object);
    return hr;
}

HRESULT CTolmCommand::ExecuteCommand(const std::wstring& command, Variant& result) {
    if (!m_object) throw ComError(kE_POINTER);
    Variant answer;
    const HRESULT hr = m_object->ExecuteCommand(command, answer);
    if (Failed(hr)) throw ComError(hr);
    result = std::move(answer);
    return hr;
}

HRESULT CTolmCommand::ExecuteCommandWithArgument(const std::wstring& command, const Variant& argument,
                                                 Variant& result) {
    if (!m_object) throw ComError(kE_POINTER);
    Variant answer;
    const HRESULT hr = m_object->ExecuteCommandWithArgument(command, argument, answer);
    if (Failed(hr)) throw ComError(hr);
    result = std::move(answer);
    return hr;
}

HRESULT CTolmNotification::Create() {
    m_object.reset();
    std::unique_ptr<Ports::ITolmNotification> object;
    const HRESULT hr = m_tolm.CreateNotification(object);
    if (Failed(hr)) return hr;
    if (!object) return kE_POINTER;
    m_object = std::move(object);
    return hr;
}

void LogCommandFailure(const char* function, std::wstring_view command, HRESULT hr) {
    const auto code = static_cast<std::uint32_t>(hr);
    if (hr == kE_INVALID_COMMAND)
        Shared::GetLog().Log(Shared::Information, function, L"Invalid Command %s. hr = 0x%X", command, code);
    else
        Shared::GetLog().Log(Shared::Information, function, L"Exception occurred during %s. hr = 0x%X", command, code);
}

}  // namespace Arvek::Tolm
