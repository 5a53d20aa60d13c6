// The Windows half of the .reg import comparison: prints every key and value
// below one registry key, in the text form that reg_import_dump prints for
// what the simulated notebook's reader stores, and then deletes that key, so
// that the next imported file starts from nothing.
//
//   reg_dump.exe HKEY_CURRENT_USER\Software\ArvekRegTest
//
// One line a key, one a value, sorted (see reg_text_form.h for the form).
// Exit code 0, also when the key does not exist (nothing was imported); 2
// for bad arguments; 3 when the registry could not be read.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "reg_text_form.h"

namespace {

struct Root {
    const wchar_t* name;
    HKEY key;
};
const Root kRoots[] = {
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKEY_USERS", HKEY_USERS},
};

// Appends the lines of `key` (named `path`) and everything below it.
LONG Dump(HKEY key, const std::wstring& path, std::vector<std::string>& lines) {
    lines.push_back(Arvek::RegText::KeyLine(std::u16string(path.begin(), path.end())));
    DWORD maxName = 0, maxData = 0, maxSubKey = 0;
    LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxSubKey, nullptr, nullptr, &maxName,
                               &maxData, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<wchar_t> name(maxName + 1);
    std::vector<BYTE> data(maxData + 1);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size()), type = 0;
        rc = RegEnumValueW(key, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) return rc;
        lines.push_back(Arvek::RegText::ValueLine(
            std::u16string(path.begin(), path.end()), std::u16string(name.begin(), name.begin() + nameSize), type,
            std::basic_string<unsigned char>(data.begin(), data.begin() + dataSize)));
    }
    std::vector<wchar_t> subName(maxSubKey + 1);
    for (DWORD index = 0;; ++index) {
        DWORD subSize = static_cast<DWORD>(subName.size());
        rc = RegEnumKeyExW(key, index, subName.data(), &subSize, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) return rc;
        const std::wstring child(subName.data(), subSize);
        HKEY sub = nullptr;
        rc = RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, &sub);
        if (rc != ERROR_SUCCESS) return rc;
        rc = Dump(sub, path + L"\\" + child, lines);
        RegCloseKey(sub);
        if (rc != ERROR_SUCCESS) return rc;
    }
    return ERROR_SUCCESS;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: reg_dump ROOT\\PATH\n");
        return 2;
    }
    const std::wstring full = argv[1];
    const auto slash = full.find(L'\\');
    const std::wstring rootName = full.substr(0, slash);
    const std::wstring path = slash == std::wstring::npos ? std::wstring() : full.substr(slash + 1);
    HKEY root = nullptr;
    for (const auto& r : kRoots)
        if (rootName == r.name) root = r.key;
    if (!root || path.empty()) {
        std::fprintf(stderr, "reg_dump: name a key below one of the four roots\n");
        return 2;
    }

    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
    if (rc == ERROR_FILE_NOT_FOUND) return 0;
    std::vector<std::string> lines;
    if (rc == ERROR_SUCCESS) {
        rc = Dump(key, full, lines);
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) {
        std::fprintf(stderr, "reg_dump: reading the registry failed with error %ld\n", rc);
        return 3;
    }
    for (const auto& line : Arvek::RegText::Sorted(std::move(lines))) std::printf("%s\n", line.c_str());
    rc = RegDeleteTreeW(root, path.c_str());
    if (rc != ERROR_SUCCESS) {
        std::fprintf(stderr, "reg_dump: deleting the key failed with error %ld\n", rc);
        return 3;
    }
    return 0;
}
