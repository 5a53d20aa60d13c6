// What every fuzz target shares: the simulated component answers one
// command with the fuzzer's bytes (read as UTF-8 text), and is checked
// afterwards for objects the reading did not release.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/strings.h"
#include "sim/standins/sim_tolm.h"

namespace Arvek::Fuzz {

inline void AnswerWith(Sim::SimTolm& tolm, const wchar_t* command, const std::uint8_t* data, std::size_t size) {
    Standin::TolmAnswers answers;
    answers.replies[command] = {
        kS_OK, Variant::Bstr(WidenUtf8(std::string_view(reinterpret_cast<const char*>(data), size)))};
    tolm.SetAnswers(std::move(answers));
    tolm.ClearCalls();
}

}  // namespace Arvek::Fuzz
