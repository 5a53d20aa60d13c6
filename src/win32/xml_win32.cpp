#include "win32/xml_win32.h"

#include <windows.h>
#include <msxml2.h>

#include "win32/com_win32.h"
#include "win32/handles.h"
#include "win32/result.h"

namespace Arvek::Win32 {
namespace {

// DOMDocument30: MSXML 3.0 by its version-specific class id, so that a
// newer parser registered for the generic name never answers instead.
constexpr CLSID kCLSID_DOMDocument30 = {
    0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};

// selectSingleNode from `from`; S_FALSE and no node when nothing matches.
HRESULT Select(IXMLDOMNode* from, const std::wstring& path, ComPtr<IXMLDOMNode>& found) {
    found.Reset();
    // An empty pattern is one MSXML cannot parse, and so E_FAIL; it is
    // answered here because Wine's msxml3 crashes on such patterns.
    ARVEK_RETURN_HR_IF(kE_FAIL, path.empty());
    const UniqueBstr query = MakeBstr(path);
    // Kept only from a call that succeeded.
    ComPtr<IXMLDOMNode> selected;
    ARVEK_RETURN_IF_FAILED(from->selectSingleNode(query.Get(), selected.Put()));
    found = std::move(selected);
    return found ? kS_OK : kS_FALSE;
}

HRESULT TextOf(IXMLDOMNode* node, std::wstring& text) {
    UniqueBstr value;
    const HRESULT hr = node->get_text(value.Put());
    ARVEK_RETURN_IF_FAILED(hr);
    text = BstrText(value.Get());
    return hr;
}

// The children of `node`, each kept with the document.
HRESULT ChildrenOf(const ComPtr<IXMLDOMDocument>& document, IXMLDOMNode* node,
                   std::vector<std::unique_ptr<Ports::IXmlNode>>& children);

HRESULT NameOf(IXMLDOMNode* node, std::wstring& name) {
    UniqueBstr value;
    const HRESULT hr = node->get_nodeName(value.Put());
    ARVEK_RETURN_IF_FAILED(hr);
    name = BstrText(value.Get());
    return hr;
}

class Win32XmlNode final : public Ports::IXmlNode {
public:
    // The document reference keeps the whole tree, and so this node, alive
    // whatever becomes of the caller's document object.
    Win32XmlNode(ComPtr<IXMLDOMDocument> document, ComPtr<IXMLDOMNode> node)
        : m_document(std::move(document)), m_node(std::move(node)) {}

    HRESULT SelectSingleNode(const std::wstring& path, std::unique_ptr<Ports::IXmlNode>& node) override {
        node.reset();
        ComPtr<IXMLDOMNode> found;
        const HRESULT hr = Select(m_node.Get(), path, found);
        if (found) node = std::make_unique<Win32XmlNode>(m_document, std::move(found));
        return hr;
    }

    HRESULT GetText(std::wstring& text) override { return TextOf(m_node.Get(), text); }
    HRESULT GetChildNodes(std::vector<std::unique_ptr<Ports::IXmlNode>>& children) override {
        return ChildrenOf(m_document, m_node.Get(), children);
    }
    HRESULT GetNodeName(std::wstring& name) override { return NameOf(m_node.Get(), name); }

private:
    ComPtr<IXMLDOMDocument> m_document;
    ComPtr<IXMLDOMNode> m_node;
};

HRESULT ChildrenOf(const ComPtr<IXMLDOMDocument>& document, IXMLDOMNode* node,
                   std::vector<std::unique_ptr<Ports::IXmlNode>>& children) {
    children.clear();
    ComPtr<IXMLDOMNodeList> list;
    ARVEK_RETURN_IF_FAILED(node->get_childNodes(list.Put()));
    ARVEK_RETURN_HR_IF_NULL(kE_POINTER, list);
    LONG length = 0;
    ARVEK_RETURN_IF_FAILED(list->get_length(&length));
    for (LONG i = 0; i < length; ++i) {
        ComPtr<IXMLDOMNode> child;
        ARVEK_RETURN_IF_FAILED(list->get_item(i, child.Put()));
        ARVEK_RETURN_HR_IF_NULL(kE_POINTER, child);
        children.push_back(std::make_unique<Win32XmlNode>(document, std::move(child)));
    }
    return kS_OK;
}

class Win32XmlDocument final : public Ports::IXmlDocument {
public:
    explicit Win32XmlDocument(ComPtr<IXMLDOMDocument> document) : m_document(std::move(document)) {}

    HRESULT LoadXml(const std::wstring& text, bool& loaded) override {
        loaded = false;
        const UniqueBstr xml = MakeBstr(text);
        VARIANT_BOOL successful = VARIANT_FALSE;
        ARVEK_RETURN_IF_FAILED(m_document->loadXML(xml.Get(), &successful));
        // MSXML says S_FALSE for text it rejected; `loaded` carries that.
        loaded = successful == VARIANT_TRUE;
        return kS_OK;
    }

    HRESULT SelectSingleNode(const std::wstring& path, std::unique_ptr<Ports::IXmlNode>& node) override {
        node.reset();
        ComPtr<IXMLDOMNode> found;
        const HRESULT hr = Select(m_document.Get(), path, found);
        if (found) node = std::make_unique<Win32XmlNode>(m_document, std::move(found));
        return hr;
    }

    HRESULT GetText(std::wstring& text) override { return TextOf(m_document.Get(), text); }
    HRESULT GetChildNodes(std::vector<std::unique_ptr<Ports::IXmlNode>>& children) override {
        return ChildrenOf(m_document, m_document.Get(), children);
    }
    HRESULT GetNodeName(std::wstring& name) override { return NameOf(m_document.Get(), name); }
    HRESULT GetDocumentElement(std::unique_ptr<Ports::IXmlNode>& element) override {
        element.reset();
        ComPtr<IXMLDOMElement> root;
        const HRESULT hr = m_document->get_documentElement(root.Put());
        ARVEK_RETURN_IF_FAILED(hr);
        if (!root) return kS_FALSE;
        ComPtr<IXMLDOMNode> node;
        ARVEK_RETURN_IF_FAILED(root->QueryInterface(IID_IXMLDOMNode, node.PutVoid()));
        element = std::make_unique<Win32XmlNode>(m_document, std::move(node));
        return kS_OK;
    }

private:
    ComPtr<IXMLDOMDocument> m_document;
};

}  // namespace

HRESULT Win32XmlParser::CreateDocument(std::shared_ptr<Ports::IXmlDocument>& document) {
    document.reset();
    ComPtr<IXMLDOMDocument> created;
    ARVEK_RETURN_IF_FAILED(::CoCreateInstance(kCLSID_DOMDocument30, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IXMLDOMDocument, created.PutVoid()));
    ARVEK_RETURN_HR_IF_NULL(kE_POINTER, created);
    ARVEK_RETURN_IF_FAILED(created->put_async(VARIANT_FALSE));
    ARVEK_RETURN_IF_FAILED(created->put_validateOnParse(VARIANT_FALSE));
    ARVEK_RETURN_IF_FAILED(created->put_resolveExternals(VARIANT_FALSE));
    ARVEK_RETURN_IF_FAILED(created->put_preserveWhiteSpace(VARIANT_TRUE));
    document = std::make_shared<Win32XmlDocument>(std::move(created));
    return kS_OK;
}

}  // namespace Arvek::Win32
