// The XML reading every Tolm XML answer goes through: a document that owns
// one DOM document of the platform's parser, and the text of one element
// below a node.
#pragma once

#include <memory>
#include <string>

#include "common/hresult.h"
#include "ports/xml.h"

namespace Arvek::Tolm {

// Copies share the DOM document; each holds its own reference, and the
// document goes when the last holder (copy or node) lets it go.
class CXmlDocument {
public:
    explicit CXmlDocument(Ports::IXmlParser& parser) : m_parser(&parser) {}

    // Releases any earlier document, creates a new one (in-process; async,
    // validateOnParse and resolveExternals off, preserveWhiteSpace on) and
    // parses `text` into it. The first failing step's HRESULT; E_FAIL when
    // the parser rejects the text (the document then exists, empty); S_OK.
    HRESULT LoadXml(const std::wstring& text);

    // The document, or none when it could not be created.
    std::shared_ptr<Ports::IXmlDocument> GetDocument() const;

private:
    Ports::IXmlParser* m_parser;
    std::shared_ptr<Ports::IXmlDocument> m_document;
};

// The text of the first node at `path` relative to `node` into `text`
// (cleared first; set only when the node's text is not empty). E_INVALIDARG
// without a node or path, or when nothing matches; else the HRESULT of
// reading the text.
HRESULT GetNodeText(Ports::IXmlNode* node, const std::wstring& path, std::wstring& text);

}  // namespace Arvek::Tolm
