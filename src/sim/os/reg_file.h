// Reading of the text files that regedit exports and imports (.reg), so that a
// simulated notebook's policy is written exactly the way an administrator
// writes it for a real one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ports/registry.h"

namespace Arvek::Sim {

// A .reg text that cannot be imported. The message starts with
// "<file>:<line>: " so that a person finds the faulty line at once.
class RegFileError : public std::runtime_error {
public:
    RegFileError(const std::string& file, int line, const std::string& message);
    int Line() const { return m_line; }

private:
    int m_line;
};

// One step of an import, in file order.
struct RegOperation {
    enum class Kind {
        CreateKey,    // [HKEY_...\Path]
        DeleteKey,    // [-HKEY_...\Path]: the key with everything below it
        SetValue,     // "name"=...
        DeleteValue,  // "name"=-
    };
    Kind kind = Kind::CreateKey;
    Ports::RegistryRoot root = Ports::RegistryRoot::LocalMachine;
    std::wstring path;  // below the root; components joined by single backslashes
    std::wstring name;  // value name; empty for the default value (@)
    std::uint32_t type = Ports::kREG_NONE;
    std::basic_string<std::uint8_t> data;  // exactly the bytes reg import stores
    int line = 0;
};

// Parses a whole .reg text the way Windows' reg import reads it (the forms
// and the bytes stored are described in docs/scenarios.md):
// "Windows Registry Editor Version 5.00" or "REGEDIT4" on the first line, as
// UTF-16LE (with BOM), UTF-8 (without BOM) or, when the bytes are not valid
// UTF-8, the Windows-1252 ANSI text an old regedit writes. Where Windows
// would skip a malformed line (or import nothing), the whole text is refused.
// `firstLineNumber` is the line the text starts on in `fileName`, for texts
// embedded in a larger file. Throws RegFileError; nothing is returned for a
// text with any fault.
std::vector<RegOperation> ParseRegText(std::string_view bytes, const std::string& fileName,
                                       int firstLineNumber = 1);

// Reads and parses a .reg file; a file that cannot be read throws RegFileError too.
std::vector<RegOperation> ReadRegFile(const std::filesystem::path& path);

}  // namespace Arvek::Sim
