#include "sim/os/sim_xml.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string_view>
#include <vector>

#include "common/strings.h"

namespace Arvek::Sim {
namespace {

using Tree = std::shared_ptr<pugi::xml_document>;

bool IsXmlChar(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

bool IsAsciiAlnum(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// What MSXML refuses and pugixml accepts, found in one pass over the text
// without recursion. Everything else (tags that do not match, broken
// attributes, a missing root) is left to pugixml's own parse.
class MarkupCheck {
public:
    explicit MarkupCheck(std::wstring_view text) : m_s(text) {}

    bool Passes() {
        for (const wchar_t c : m_s)
            if (!IsXmlChar(static_cast<std::uint32_t>(c))) return false;
        std::size_t i = 0;
        if (At(0, L"<?xml") && m_s.size() > 5 && (IsSpace(m_s[5]) || m_s[5] == L'?')) {
            const auto end = m_s.find(L"?>", 5);
            if (end == std::wstring_view::npos) return false;
            i = end + 2;
        }
        int depth = 0;
        bool rootSeen = false;
        while (i < m_s.size()) {
            const wchar_t c = m_s[i];
            if (c == L'<') {
                if (!Markup(i, depth, rootSeen)) return false;
            } else if (c == L'&') {
                if (depth == 0 || !Reference(i)) return false;
            } else {
                if (depth == 0 && !IsSpace(c)) return false;
                if (c == L']' && At(i, L"]]>")) return false;
                ++i;
            }
        }
        return rootSeen && depth == 0;
    }

private:
    bool At(std::size_t i, std::wstring_view word) const { return m_s.substr(i, word.size()) == word; }

    // One piece of markup starting at '<'; `i` moves past it.
    bool Markup(std::size_t& i, int& depth, bool& rootSeen) {
        if (At(i, L"<!--")) {
            const auto end = m_s.find(L"-->", i + 4);
            if (end == std::wstring_view::npos || m_s.find(L"--", i + 4) < end) return false;
            i = end + 3;
            return true;
        }
        if (At(i, L"<![CDATA[")) {
            const auto end = m_s.find(L"]]>", i + 9);
            if (depth == 0 || end == std::wstring_view::npos) return false;
            i = end + 3;
            return true;
        }
        if (At(i, L"<!")) return false;  // a document type declaration, or nothing valid
        if (At(i, L"<?")) {
            const auto end = m_s.find(L"?>", i + 2);
            if (end == std::wstring_view::npos) return false;
            std::size_t j = i + 2;
            while (j < end && !IsSpace(m_s[j])) ++j;
            // "xml" in any case is reserved for the declaration at the very start.
            if (EqualsIgnoreCase(m_s.substr(i + 2, j - i - 2), L"xml")) return false;
            i = end + 2;
            return true;
        }
        if (At(i, L"</")) {
            const auto end = m_s.find(L'>', i + 2);
            if (end == std::wstring_view::npos || --depth < 0) return false;
            i = end + 1;
            return true;
        }
        if (depth == 0 && rootSeen) return false;  // a second top-level element
        rootSeen = true;
        bool empty = false;
        if (!StartTag(i, empty)) return false;
        if (!empty) ++depth;
        return true;
    }

    void SkipSpace(std::size_t& j) const {
        while (j < m_s.size() && IsSpace(m_s[j])) ++j;
    }

    bool StartTag(std::size_t& i, bool& empty) {
        std::size_t j = i + 1;
        const std::size_t nameStart = j;
        while (j < m_s.size() && !IsSpace(m_s[j]) && m_s[j] != L'/' && m_s[j] != L'>') ++j;
        if (j == nameStart) return false;
        m_attributes.clear();
        for (;;) {
            SkipSpace(j);
            if (j >= m_s.size()) return false;
            if (m_s[j] == L'/' || m_s[j] == L'>') {
                empty = m_s[j] == L'/';
                if (empty && (j + 1 >= m_s.size() || m_s[j + 1] != L'>')) return false;
                i = j + (empty ? 2 : 1);
                break;
            }
            const std::size_t attributeStart = j;
            while (j < m_s.size() && !IsSpace(m_s[j]) && m_s[j] != L'=' && m_s[j] != L'>' && m_s[j] != L'/') ++j;
            m_attributes.push_back(m_s.substr(attributeStart, j - attributeStart));
            SkipSpace(j);
            if (j >= m_s.size() || m_s[j] != L'=') return false;
            ++j;
            SkipSpace(j);
            if (j >= m_s.size() || (m_s[j] != L'"' && m_s[j] != L'\'')) return false;
            const wchar_t quote = m_s[j++];
            while (j < m_s.size() && m_s[j] != quote) {
                if (m_s[j] == L'<') return false;
                if (m_s[j] == L'&') {
                    if (!Reference(j)) return false;
                } else {
                    ++j;
                }
            }
            if (j >= m_s.size()) return false;
            ++j;
        }
        std::sort(m_attributes.begin(), m_attributes.end());
        return std::adjacent_find(m_attributes.begin(), m_attributes.end()) == m_attributes.end();
    }

    // A reference at '&': one of the five predefined entities or a character
    // reference to a character XML allows. `i` moves past its ';'.
    bool Reference(std::size_t& i) const {
        std::size_t j = i + 1;
        while (j < m_s.size() && (IsAsciiAlnum(m_s[j]) || m_s[j] == L'#')) ++j;
        if (j >= m_s.size() || m_s[j] != L';') return false;
        const std::wstring_view body = m_s.substr(i + 1, j - i - 1);
        i = j + 1;
        if (body == L"lt" || body == L"gt" || body == L"amp" || body == L"apos" || body == L"quot") return true;
        if (body.size() < 2 || body[0] != L'#') return false;
        const bool hex = body[1] == L'x';
        const std::wstring_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) return false;
        std::uint32_t value = 0;
        for (const wchar_t d : digits) {
            std::uint32_t digit;
            if (d >= L'0' && d <= L'9') digit = static_cast<std::uint32_t>(d - L'0');
            else if (hex && d >= L'a' && d <= L'f') digit = static_cast<std::uint32_t>(d - L'a' + 10);
            else if (hex && d >= L'A' && d <= L'F') digit = static_cast<std::uint32_t>(d - L'A' + 10);
            else return false;
            value = value * (hex ? 16u : 10u) + digit;
            if (value > 0x10FFFF) return false;
        }
        return IsXmlChar(value);
    }

    std::wstring_view m_s;
    std::vector<std::wstring_view> m_attributes;
};

// The text and CDATA of a subtree in document order, walked with the
// tree's own links instead of recursion.
std::string SubtreeText(const pugi::xml_node& top) {
    std::string text;
    pugi::xml_node node = top.first_child();
    while (node) {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) text += node.value();
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node != top && !node.next_sibling()) node = node.parent();
        if (node == top) break;
        node = node.next_sibling();
    }
    return text;
}

std::string NodeText(const pugi::xpath_node& found) {
    if (found.attribute()) return found.attribute().value();
    const pugi::xml_node node = found.node();
    switch (node.type()) {
        case pugi::node_element: return SubtreeText(node);
        // The document's text is its root element's: white space and
        // comments outside the root are not part of it.
        case pugi::node_document:
            return SubtreeText(
                node.find_child([](const pugi::xml_node& child) { return child.type() == pugi::node_element; }));
        default: return node.value();
    }
}

HRESULT Select(const Tree& tree, const pugi::xpath_node& context, const std::wstring& path,
               std::unique_ptr<Ports::IXmlNode>& result);
HRESULT ChildrenOf(const Tree& tree, const pugi::xml_node& node, std::vector<std::unique_ptr<Ports::IXmlNode>>& children);

// The name MSXML gives a node of each kind.
std::wstring NameOf(const pugi::xpath_node& found) {
    if (found.attribute()) return WidenUtf8(found.attribute().name());
    const pugi::xml_node node = found.node();
    switch (node.type()) {
        case pugi::node_element:
        case pugi::node_pi: return WidenUtf8(node.name());
        case pugi::node_pcdata: return L"#text";
        case pugi::node_cdata: return L"#cdata-section";
        case pugi::node_comment: return L"#comment";
        case pugi::node_document: return L"#document";
        case pugi::node_declaration: return L"xml";
        default: return L"";
    }
}

class SimXmlNode final : public Ports::IXmlNode {
public:
    SimXmlNode(Tree tree, pugi::xpath_node node) : m_tree(std::move(tree)), m_node(node) {}

    HRESULT SelectSingleNode(const std::wstring& path, std::unique_ptr<Ports::IXmlNode>& node) override {
        return Select(m_tree, m_node, path, node);
    }
    HRESULT GetText(std::wstring& text) override {
        try {
            text = WidenUtf8(NodeText(m_node));
            return kS_OK;
        } catch (const std::bad_alloc&) {
            return kE_OUTOFMEMORY;
        }
    }
    HRESULT GetChildNodes(std::vector<std::unique_ptr<Ports::IXmlNode>>& children) override {
        return ChildrenOf(m_tree, m_node.node(), children);
    }
    HRESULT GetNodeName(std::wstring& name) override {
        try {
            name = NameOf(m_node);
            return kS_OK;
        } catch (const std::bad_alloc&) {
            return kE_OUTOFMEMORY;
        }
    }

private:
    Tree m_tree;  // keeps the nodes below alive
    pugi::xpath_node m_node;
};

HRESULT ChildrenOf(const Tree& tree, const pugi::xml_node& node, std::vector<std::unique_ptr<Ports::IXmlNode>>& children) {
    children.clear();
    try {
        for (const pugi::xml_node child : node.children())
            children.push_back(std::make_unique<SimXmlNode>(tree, pugi::xpath_node(child)));
        return kS_OK;
    } catch (const std::bad_alloc&) {
        children.clear();
        return kE_OUTOFMEMORY;
    }
}

HRESULT Select(const Tree& tree, const pugi::xpath_node& context, const std::wstring& path,
               std::unique_ptr<Ports::IXmlNode>& result) {
    result.reset();
    try {
        if (path.empty() || path.find(L'\0') != std::wstring::npos) return kE_FAIL;
        const std::string utf8 = NarrowUtf8(path);
        // Throws for a path that does not parse.
        const pugi::xpath_query query(utf8.c_str());
        if (query.return_type() != pugi::xpath_type_node_set) return kE_FAIL;
        const pugi::xpath_node found = query.evaluate_node(context);
        if (!found) return kS_FALSE;
        result = std::make_unique<SimXmlNode>(tree, found);
        return kS_OK;
    } catch (const pugi::xpath_exception&) {
        return kE_FAIL;
    } catch (const std::bad_alloc&) {
        return kE_OUTOFMEMORY;
    }
}

class SimXmlDocument final : public Ports::IXmlDocument {
public:
    explicit SimXmlDocument(SimFaults* faults) : m_tree(std::make_shared<pugi::xml_document>()), m_faults(faults) {}

    HRESULT LoadXml(const std::wstring& text, bool& loaded) override {
        loaded = false;
        if (const auto fault = TakeFault(m_faults, "xml.load")) return *fault;
        try {
            // A new tree each time: nodes taken from the old one keep it.
            auto tree = std::make_shared<pugi::xml_document>();
            if (MarkupCheck(text).Passes()) {
                const std::string utf8 = NarrowUtf8(text);
                // The text is already decoded: a declared encoding does not apply.
                const auto parsed = tree->load_buffer(utf8.data(), utf8.size(),
                                                      pugi::parse_default | pugi::parse_ws_pcdata | pugi::parse_comments | pugi::parse_pi,
                                                      pugi::encoding_utf8);
                loaded = static_cast<bool>(parsed);
                if (!loaded) tree->reset();
            }
            m_tree = std::move(tree);
            return kS_OK;
        } catch (const std::bad_alloc&) {
            m_tree->reset();
            return kE_OUTOFMEMORY;
        }
    }

    HRESULT SelectSingleNode(const std::wstring& path, std::unique_ptr<Ports::IXmlNode>& node) override {
        return Select(m_tree, pugi::xpath_node(*m_tree), path, node);
    }

    HRESULT GetText(std::wstring& text) override {
        try {
            text = WidenUtf8(NodeText(pugi::xpath_node(*m_tree)));
            return kS_OK;
        } catch (const std::bad_alloc&) {
            return kE_OUTOFMEMORY;
        }
    }
    HRESULT GetChildNodes(std::vector<std::unique_ptr<Ports::IXmlNode>>& children) override {
        return ChildrenOf(m_tree, *m_tree, children);
    }
    HRESULT GetNodeName(std::wstring& name) override {
        name = L"#document";
        return kS_OK;
    }
    HRESULT GetDocumentElement(std::unique_ptr<Ports::IXmlNode>& element) override {
        element.reset();
        const pugi::xml_node root = m_tree->document_element();
        if (!root) return kS_FALSE;
        try {
            element = std::make_unique<SimXmlNode>(m_tree, pugi::xpath_node(root));
            return kS_OK;
        } catch (const std::bad_alloc&) {
            return kE_OUTOFMEMORY;
        }
    }

private:
    Tree m_tree;
    SimFaults* m_faults;
};

}  // namespace

HRESULT SimXmlParser::CreateDocument(std::shared_ptr<Ports::IXmlDocument>& document) {
    document.reset();
    if (const auto fault = TakeFault(m_faults, "xml.create-document")) return *fault;
    try {
        document = std::make_shared<SimXmlDocument>(m_faults);
        return kS_OK;
    } catch (const std::bad_alloc&) {
        document.reset();
        return kE_OUTOFMEMORY;
    }
}

}  // namespace Arvek::Sim
