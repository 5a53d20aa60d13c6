#include "tolm/xml_document.h"

#include "shared/log.h"

namespace Arvek::Tolm {

HRESULT CXmlDocument::LoadXml(const std::wstring& text) {
    Shared::CArvekLogTrace trace("CXmlDocument::LoadXml");
    m_document.reset();
    std::shared_ptr<Ports::IXmlDocument> document;
    HRESULT hr = m_parser->CreateDocument(document);
    if (Failed(hr)) return hr;
    if (!document) return kE_POINTER;
    m_document = std::move(document);
    bool loaded = false;
    hr = m_document->LoadXml(text, loaded);
    if (Failed(hr)) return hr;
    return loaded ? kS_OK : kE_FAIL;
}

std::shared_ptr<Ports::IXmlDocument> CXmlDocument::GetDocument() const {
    Shared::CArvekLogTrace trace("CXmlDocument::GetDocument");
    return m_document;
}

HRESULT GetNodeText(Ports::IXmlNode* node, const std::wstring& path, std::wstring& text) {
    Shared::CArvekLogTrace trace("GetNodeText");
    text.clear();
    if (!node || path.empty()) return kE_INVALIDARG;
    std::unique_ptr<Ports::IXmlNode> found;
    node->SelectSingleNode(path, found);
    if (!found) return kE_INVALIDARG;
    std::wstring value;
    const HRESULT hr = found->GetText(value);
    if (!value.empty()) text = std::move(value);
    return hr;
}

}  // namespace Arvek::Tolm
