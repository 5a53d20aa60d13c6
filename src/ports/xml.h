// An XML DOM of the kind every Tolm XML answer is read with: a document,
// single-node selection by path and a node's text.
//
// Implementations: win32/xml_win32 (MSXML 3.0, DOMDocument30),
// sim/os/sim_xml (pugixml). tests/contract/xml_contract holds them to the same
// behaviour.
//
// Loading and selecting raise ComError(E_OUTOFMEMORY) when the text or the
// path cannot be held in a COM string; nothing else throws but
// std::bad_alloc.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/hresult.h"

namespace Arvek::Ports {

class IXmlNode {
public:
    virtual ~IXmlNode() = default;
    // selectSingleNode: the first node, in document order, that the path
    // selects relative to this node ("/a/b" from the document's root, "b"
    // below this node). S_OK and the node; S_FALSE and none when nothing
    // matches; a failure and none for a path the parser rejects. A node keeps
    // its document alive.
    virtual HRESULT SelectSingleNode(const std::wstring& path, std::unique_ptr<IXmlNode>& node) = 0;
    // The node's text: the text of it and all its descendants, in document
    // order, white space as the document was loaded.
    virtual HRESULT GetText(std::wstring& text) = 0;
    // childNodes: the node's children in document order, white-space text
    // between elements among them (it is preserved); none for a node
    // without children.
    virtual HRESULT GetChildNodes(std::vector<std::unique_ptr<IXmlNode>>& children) = 0;
    // nodeName: an element's tag name; "#text", "#cdata-section",
    // "#comment" for those nodes.
    virtual HRESULT GetNodeName(std::wstring& name) = 0;
};

class IXmlDocument : public IXmlNode {
public:
    // loadXML: `loaded` is false when the parser rejected the text; the
    // document is then empty. The HRESULT reports a failure of the call itself.
    virtual HRESULT LoadXml(const std::wstring& text, bool& loaded) = 0;
    // documentElement: S_OK and the root element; S_FALSE and none for an
    // empty document.
    virtual HRESULT GetDocumentElement(std::unique_ptr<IXmlNode>& element) = 0;
};

class IXmlParser {
public:
    virtual ~IXmlParser() = default;
    // A new, empty document, created in-process with the properties async,
    // validateOnParse and resolveExternals false and preserveWhiteSpace true:
    // the first failing step's HRESULT, and no document.
    virtual HRESULT CreateDocument(std::shared_ptr<IXmlDocument>& document) = 0;
};

}  // namespace Arvek::Ports
