#include "sim/os/sim_registry.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "common/hresult.h"
#include "common/strings.h"

namespace Arvek::Sim {
namespace {

using Bytes = std::basic_string<std::uint8_t>;

constexpr std::wstring_view kWow6432Node = L"Wow6432Node";

struct Value {
    std::wstring name;
    std::uint32_t type;
    Bytes data;
};

struct Node {
    // HKLM and HKLM\Software are where the 32-bit view branches off.
    enum class Role { Plain, LocalMachine, Software };

    std::wstring name;
    Role role = Role::Plain;
    bool deleted = false;  // set for open keys that outlive their deletion
    std::map<std::wstring, std::shared_ptr<Node>> subKeys;  // by invariant upper-case name
    std::map<std::wstring, Value> values;                   // likewise
};
using NodePtr = std::shared_ptr<Node>;

NodePtr Child(Node& parent, std::wstring_view name, bool create) {
    auto upper = ToUpperInvariant(name);
    if (const auto it = parent.subKeys.find(upper); it != parent.subKeys.end()) return it->second;
    if (!create) return nullptr;
    auto node = std::make_shared<Node>();
    node->name = name;
    if (parent.role == Node::Role::LocalMachine && upper == L"SOFTWARE") node->role = Node::Role::Software;
    return parent.subKeys.emplace(std::move(upper), std::move(node)).first->second;
}

// The key that holds `name` one step below `from`. In the 32-bit view the
// children of HKLM\Software are those of HKLM\Software\Wow6432Node, except
// Wow6432Node itself, so an explicit Wow6432Node path names the same keys.
// Only that one step of a path is redirected, and only when the path passed
// through Software itself (`redirect`): a key already below Software, or an
// open Software key, stays in its own view, as Wine's registry has it.
Node* Holder(Node& from, std::wstring_view name, bool redirect, bool create) {
    if (!redirect || from.role != Node::Role::Software || EqualsIgnoreCase(name, kWow6432Node)) return &from;
    return Child(from, kWow6432Node, create).get();
}

// Key names between backslashes; repeated and trailing backslashes separate
// nothing, as in RegOpenKeyExW.
std::vector<std::wstring_view> SplitPath(std::wstring_view path) {
    std::vector<std::wstring_view> names;
    for (std::size_t pos = 0; pos < path.size();) {
        const auto end = std::min(path.find(L'\\', pos), path.size());
        if (end > pos) names.push_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    return names;
}

NodePtr Walk(NodePtr node, const std::vector<std::wstring_view>& names, std::size_t count, bool view32,
             bool create) {
    for (std::size_t i = 0; i < count && node; ++i) {
        Node* holder = Holder(*node, names[i], view32 && i > 0, create);
        node = holder ? Child(*holder, names[i], create) : nullptr;
    }
    return node;
}

NodePtr Walk(NodePtr node, std::wstring_view path, bool view32, bool create) {
    const auto names = SplitPath(path);
    return Walk(std::move(node), names, names.size(), view32, create);
}

void MarkDeleted(Node& node) {
    node.deleted = true;
    for (auto& [upper, child] : node.subKeys) MarkDeleted(*child);
}

bool View32(std::uint32_t flags) { return (flags & Ports::kKEY_WOW64_32KEY) != 0; }

}  // namespace

// Every member expects the caller to hold `mutex`.
struct RegistryTree {
    RegistryTree() {
        for (auto& root : roots) root = std::make_shared<Node>();
        Root(Ports::RegistryRoot::LocalMachine)->role = Node::Role::LocalMachine;
    }

    const NodePtr& Root(Ports::RegistryRoot root) const { return roots.at(static_cast<std::size_t>(root)); }

    NodePtr Create(Ports::RegistryRoot root, std::wstring_view path, std::uint32_t viewFlags) {
        return Walk(Root(root), path, View32(viewFlags), true);
    }

    void SetValue(Ports::RegistryRoot root, std::wstring_view path, std::wstring_view name, std::uint32_t type,
                  Bytes data, std::uint32_t viewFlags) {
        auto& value = Create(root, path, viewFlags)->values[ToUpperInvariant(name)];
        value = Value{std::wstring(name), type, std::move(data)};
    }

    void DeleteValue(Ports::RegistryRoot root, std::wstring_view path, std::wstring_view name,
                     std::uint32_t viewFlags) {
        if (const auto node = Walk(Root(root), path, View32(viewFlags), false))
            node->values.erase(ToUpperInvariant(name));
    }

    void DeleteTree(Ports::RegistryRoot root, std::wstring_view path, std::uint32_t viewFlags) {
        const auto names = SplitPath(path);
        if (names.empty()) {
            MarkDeleted(*Root(root));
            Root(root)->deleted = false;  // a root key itself always exists
            Root(root)->subKeys.clear();
            Root(root)->values.clear();
            return;
        }
        const auto parent = Walk(Root(root), names, names.size() - 1, View32(viewFlags), false);
        const bool redirect = View32(viewFlags) && names.size() > 1;
        Node* holder = parent ? Holder(*parent, names.back(), redirect, false) : nullptr;
        if (!holder) return;
        const auto it = holder->subKeys.find(ToUpperInvariant(names.back()));
        if (it == holder->subKeys.end()) return;
        MarkDeleted(*it->second);
        holder->subKeys.erase(it);
    }

    std::shared_mutex mutex;
    std::array<NodePtr, 4> roots;  // indexed by Ports::RegistryRoot
};

namespace {

std::uint32_t Open(const std::shared_ptr<RegistryTree>& tree, const NodePtr& from, std::wstring_view path,
                   std::uint32_t access, std::unique_ptr<Ports::IRegistryKey>& key);

class SimKey final : public Ports::IRegistryKey {
public:
    SimKey(std::shared_ptr<RegistryTree> tree, NodePtr node) : m_tree(std::move(tree)), m_node(std::move(node)) {}

    std::uint32_t QueryValue(const std::wstring& name, std::uint32_t* type, std::uint8_t* data,
                             std::uint32_t* size) override {
        if (data && !size) return kERROR_INVALID_PARAMETER;
        std::shared_lock lock(m_tree->mutex);
        if (m_node->deleted) return kERROR_KEY_DELETED;
        const auto it = m_node->values.find(ToUpperInvariant(name));
        if (it == m_node->values.end()) return kERROR_FILE_NOT_FOUND;
        const Value& value = it->second;
        const auto needed = static_cast<std::uint32_t>(value.data.size());
        if (type) *type = value.type;
        std::uint32_t result = kERROR_SUCCESS;
        if (data) {
            if (*size < needed) result = kERROR_MORE_DATA;
            else std::memcpy(data, value.data.data(), needed);
        }
        if (size) *size = needed;
        return result;
    }

    std::uint32_t OpenSubKey(const std::wstring& path, std::uint32_t access,
                             std::unique_ptr<Ports::IRegistryKey>& key) override {
        std::shared_lock lock(m_tree->mutex);
        return Open(m_tree, m_node, path, access, key);
    }

private:
    std::shared_ptr<RegistryTree> m_tree;
    NodePtr m_node;
};

// The caller holds the tree's lock.
std::uint32_t Open(const std::shared_ptr<RegistryTree>& tree, const NodePtr& from, std::wstring_view path,
                   std::uint32_t access, std::unique_ptr<Ports::IRegistryKey>& key) {
    key.reset();
    if (from->deleted) return kERROR_KEY_DELETED;
    if (!path.empty() && path.front() == L'\\') return kERROR_BAD_PATHNAME;
    auto node = Walk(from, path, View32(access), false);
    if (!node) return kERROR_FILE_NOT_FOUND;
    key = std::make_unique<SimKey>(tree, std::move(node));
    return kERROR_SUCCESS;
}

}  // namespace

SimRegistry::SimRegistry(SimFaults* faults) : m_tree(std::make_shared<RegistryTree>()), m_faults(faults) {}
SimRegistry::~SimRegistry() = default;

std::uint32_t SimRegistry::OpenKey(Ports::RegistryRoot root, const std::wstring& path, std::uint32_t access,
                                   std::unique_ptr<Ports::IRegistryKey>& key) {
    if (const auto error = TakeFaultError(m_faults, "registry.open")) {
        key.reset();
        return *error;
    }
    if (static_cast<std::size_t>(root) >= m_tree->roots.size()) {
        key.reset();
        return kERROR_INVALID_HANDLE;
    }
    std::shared_lock lock(m_tree->mutex);
    return Open(m_tree, m_tree->Root(root), path, access, key);
}

void SimRegistry::CreateKey(Ports::RegistryRoot root, std::wstring_view path, std::uint32_t viewFlags) {
    std::unique_lock lock(m_tree->mutex);
    m_tree->Create(root, path, viewFlags);
}

void SimRegistry::SetValue(Ports::RegistryRoot root, std::wstring_view path, std::wstring_view name,
                           std::uint32_t type, std::basic_string_view<std::uint8_t> data, std::uint32_t viewFlags) {
    std::unique_lock lock(m_tree->mutex);
    m_tree->SetValue(root, path, name, type, Bytes(data), viewFlags);
}

void SimRegistry::DeleteValue(Ports::RegistryRoot root, std::wstring_view path, std::wstring_view name,
                              std::uint32_t viewFlags) {
    std::unique_lock lock(m_tree->mutex);
    m_tree->DeleteValue(root, path, name, viewFlags);
}

void SimRegistry::DeleteTree(Ports::RegistryRoot root, std::wstring_view path, std::uint32_t viewFlags) {
    std::unique_lock lock(m_tree->mutex);
    m_tree->DeleteTree(root, path, viewFlags);
}

void SimRegistry::Import(const std::vector<RegOperation>& operations) {
    std::unique_lock lock(m_tree->mutex);
    // A .reg text names the 32-bit view's keys by their Wow6432Node path, as
    // regedit exports them, so every operation acts on the native view.
    for (const auto& op : operations) {
        switch (op.kind) {
            case RegOperation::Kind::CreateKey: m_tree->Create(op.root, op.path, 0); break;
            case RegOperation::Kind::DeleteKey: m_tree->DeleteTree(op.root, op.path, 0); break;
            case RegOperation::Kind::SetValue: m_tree->SetValue(op.root, op.path, op.name, op.type, op.data, 0); break;
            case RegOperation::Kind::DeleteValue: m_tree->DeleteValue(op.root, op.path, op.name, 0); break;
        }
    }
}

void SimRegistry::LoadRegFile(const std::filesystem::path& path) { Import(ReadRegFile(path)); }

}  // namespace Arvek::Sim
