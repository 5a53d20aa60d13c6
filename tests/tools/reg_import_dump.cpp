// The simulated notebook's half of the .reg import comparison: reads a .reg
// file with the simulation's reader, imports it into a simulated registry and
// prints every key and value at or below one key, in the text form of
// reg_text_form.h, as reg_dump.exe prints what Windows (Wine) stored.
//
//   reg_import_dump FILE HKEY_CURRENT_USER\Software\ArvekRegTest
//
// The registry port cannot list keys, so the keys and values printed are
// those the file names (and the keys on their paths), each looked up after
// the whole import, so deletions and re-creations count as they do there.
// A key keeps the spelling under which the file first names it, as the
// registry keeps the case a key was created with.
//
// Exit code 0; 2 for bad arguments; 3 when the reader refuses the file (the
// reason, with file and line, on standard error).
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/hresult.h"
#include "common/strings.h"
#include "reg_text_form.h"
#include "sim/os/reg_file.h"
#include "sim/os/sim_registry.h"

namespace {

using namespace Arvek;
using Ports::RegistryRoot;

struct RootName {
    RegistryRoot root;
    const wchar_t* name;
};
constexpr RootName kRootNames[] = {
    {RegistryRoot::LocalMachine, L"HKEY_LOCAL_MACHINE"},
    {RegistryRoot::CurrentUser, L"HKEY_CURRENT_USER"},
    {RegistryRoot::ClassesRoot, L"HKEY_CLASSES_ROOT"},
    {RegistryRoot::Users, L"HKEY_USERS"},
};

std::u16string Utf16(std::wstring_view text) {
    const auto bytes = ToUtf16Le(text, false);
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    return units;
}

// A key by its full name ("HKEY_CURRENT_USER\A\B").
struct Key {
    RegistryRoot root;
    std::wstring path;  // below the root
    std::wstring full;
};

// True when `path` is `base` or lies below it, ignoring case.
bool AtOrBelow(const std::wstring& path, const std::wstring& base) {
    if (path.size() < base.size() || !EqualsIgnoreCase(std::wstring_view(path).substr(0, base.size()), base))
        return false;
    return path.size() == base.size() || path[base.size()] == L'\\';
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: reg_import_dump FILE ROOT\\PATH\n");
        return 2;
    }
    const std::wstring base = WidenUtf8(argv[2]);
    std::vector<Sim::RegOperation> ops;
    try {
        ops = Sim::ReadRegFile(argv[1]);
    } catch (const Sim::RegFileError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
    Sim::SimRegistry registry;
    registry.Import(ops);

    // Every key the file names and every key on the way to it, first spelling first.
    std::vector<Key> keys;
    std::map<std::wstring, std::size_t> keyIndex;  // by upper-case full name
    std::map<std::size_t, std::vector<std::wstring>> valueNames;
    for (const auto& op : ops) {
        const wchar_t* rootName = nullptr;
        for (const auto& r : kRootNames)
            if (r.root == op.root) rootName = r.name;
        std::wstring path;
        std::size_t index = 0;
        for (std::size_t pos = 0;;) {
            const auto end = std::min(op.path.find(L'\\', pos), op.path.size());
            path = op.path.substr(0, end);
            const std::wstring full = path.empty() ? rootName : std::wstring(rootName) + L"\\" + path;
            const auto [it, added] = keyIndex.emplace(ToUpperInvariant(full), keys.size());
            if (added) keys.push_back({op.root, path, full});
            index = it->second;
            if (end == op.path.size()) break;
            pos = end + 1;
        }
        if (op.kind == Sim::RegOperation::Kind::SetValue) valueNames[index].push_back(op.name);
    }

    std::vector<std::string> lines;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const Key& k = keys[i];
        if (!AtOrBelow(k.full, base)) continue;
        std::unique_ptr<Ports::IRegistryKey> key;
        if (registry.OpenKey(k.root, k.path, Ports::kKEY_READ, key) != kERROR_SUCCESS) continue;
        lines.push_back(RegText::KeyLine(Utf16(k.full)));
        std::map<std::wstring, bool> printed;  // a value set twice is printed once
        for (const auto& name : valueNames[i]) {
            if (!printed.emplace(ToUpperInvariant(name), true).second) continue;
            std::uint32_t type = 0, size = 0;
            if (key->QueryValue(name, &type, nullptr, &size) != kERROR_SUCCESS) continue;
            std::basic_string<unsigned char> data(size, 0);
            if (key->QueryValue(name, &type, data.data(), &size) != kERROR_SUCCESS) continue;
            lines.push_back(RegText::ValueLine(Utf16(k.full), Utf16(name), type, data));
        }
    }
    for (const auto& line : RegText::Sorted(std::move(lines))) std::printf("%s\n", line.c_str());
    return 0;
}
