// MSXML 3.0 behind the XML port (under Wine in this build): the XML
// contract, and the one path the adapter answers itself.
//
// Wine 8's msxml3 crashes (a null read in its pattern compiler) on any
// selection pattern it cannot parse, so the contract's case of rejected
// paths is left out of the Wine runs (tests/wine/wine_tests.cmake); on
// Windows MSXML fails such a selection with E_FAIL. Wine also ignores
// validateOnParse and resolveExternals as far as a test can see: a document
// that breaks its own type declaration loads and an external entity stays
// empty with either setting, so no test here can tell them apart.
#include <windows.h>

#include <gtest/gtest.h>


#include "common/strings.h"
#include "contract/xml_contract.h"
#include "win32/handles.h"
#include "win32/xml_win32.h"

namespace Arvek::Testing {
namespace {

// The suite makes parsers, documents and nodes on the test's thread and
// holds them as it likes; each of these wrappers keeps the thread in a COM
// apartment for as long as it lives (the apartment is the first member in,
// the last out).
class ApartmentNode final : public Ports::IXmlNode {
public:
    ApartmentNode(std::shared_ptr<Win32::ComApartment> apartment, std::unique_ptr<Ports::IXmlNode> node)
        : m_apartment(std::move(apartment)), m_node(std::move(node)) {}

    HRESULT SelectSingleNode(const std::wstring& path, std::unique_ptr<Ports::IXmlNode>& node) override {
        const HRESULT hr = m_node->SelectSingleNode(path, node);
        if (node) node = std::make_unique<ApartmentNode>(m_apartment, std::move(node));
        return hr;
    }
    HRESULT GetText(std::wstring& text) override { return m_node->GetText(text); }
    HRESULT GetChildNodes(std::vector<std::unique_ptr<Ports::IXmlNode>>& children) override {
        const HRESULT hr = m_node->GetChildNodes(children);
        Wrap(m_apartment, children);
        return hr;
    }
    HRESULT GetNodeName(std::wstring& name) override { return m_node->GetNodeName(name); }

    static void Wrap(const std::shared_ptr<Win32::ComApartment>& apartment,
                     std::vector<std::unique_ptr<Ports::IXmlNode>>& nodes) {
        for (auto& node : nodes)
            if (node) node = std::make_unique<ApartmentNode>(apartment, std::move(node));
    }

private:
    std::shared_ptr<Win32::ComApartment> m_apartment;
    std::unique_ptr<Ports::IXmlNode> m_node;
};

class ApartmentDocument final : public Ports::IXmlDocument {
public:
    ApartmentDocument(std::shared_ptr<Win32::ComApartment> apartment, std::shared_ptr<Ports::IXmlDocument> document)
        : m_apartment(std::move(apartment)), m_document(std::move(document)) {}

    HRESULT LoadXml(const std::wstring& text, bool& loaded) override { return m_document->LoadXml(text, loaded); }
    HRESULT SelectSingleNode(const std::wstring& path, std::unique_ptr<Ports::IXmlNode>& node) override {
        const HRESULT hr = m_document->SelectSingleNode(path, node);
        if (node) node = std::make_unique<ApartmentNode>(m_apartment, std::move(node));
        return hr;
    }
    HRESULT GetText(std::wstring& text) override { return m_document->GetText(text); }
    HRESULT GetChildNodes(std::vector<std::unique_ptr<Ports::IXmlNode>>& children) override {
        const HRESULT hr = m_document->GetChildNodes(children);
        ApartmentNode::Wrap(m_apartment, children);
        return hr;
    }
    HRESULT GetNodeName(std::wstring& name) override { return m_document->GetNodeName(name); }
    HRESULT GetDocumentElement(std::unique_ptr<Ports::IXmlNode>& element) override {
        const HRESULT hr = m_document->GetDocumentElement(element);
        if (element) element = std::make_unique<ApartmentNode>(m_apartment, std::move(element));
        return hr;
    }

private:
    std::shared_ptr<Win32::ComApartment> m_apartment;
    std::shared_ptr<Ports::IXmlDocument> m_document;
};

class ApartmentXmlParser final : public Ports::IXmlParser {
public:
    HRESULT CreateDocument(std::shared_ptr<Ports::IXmlDocument>& document) override {
        const HRESULT hr = m_parser.CreateDocument(document);
        if (document) document = std::make_shared<ApartmentDocument>(m_apartment, std::move(document));
        return hr;
    }

private:
    std::shared_ptr<Win32::ComApartment> m_apartment = std::make_shared<Win32::ComApartment>();
    Win32::Win32XmlParser m_parser;
};

std::unique_ptr<Ports::IXmlParser> MakeWin32Xml() { return std::make_unique<ApartmentXmlParser>(); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32, XmlContract, testing::Values(&MakeWin32Xml),
                         [](const auto&) { return std::string("Win32Xml"); });

namespace {

class Win32XmlTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(m_apartment.Result())); }

    Win32::ComApartment m_apartment;
    Win32::Win32XmlParser m_parser;
};

// An empty path is refused here, before MSXML: Wine's msxml3 crashes on a
// pattern it cannot parse (an empty one among them).
TEST_F(Win32XmlTest, AnEmptyPathFailsWithoutANode) {
    std::shared_ptr<Ports::IXmlDocument> document;
    ASSERT_EQ(m_parser.CreateDocument(document), kS_OK);
    bool loaded = false;
    ASSERT_EQ(document->LoadXml(L"<a/>", loaded), kS_OK);
    std::unique_ptr<Ports::IXmlNode> node;
    EXPECT_EQ(document->SelectSingleNode(L"", node), kE_FAIL);
    EXPECT_FALSE(node);
}

}  // namespace
}  // namespace Arvek::Testing
