// The simulated notebook's XML DOM (pugixml): the XML contract against it,
// and what only the simulation needs to promise (any depth of nesting,
// nodes that outlive a reload, no document type declarations).
#include <gtest/gtest.h>

#include "common/hresult.h"
#include "contract/xml_contract.h"
#include "sim/os/sim_xml.h"

namespace Arvek::Testing {
namespace {

std::unique_ptr<Ports::IXmlParser> MakeSimXml() { return std::make_unique<Sim::SimXmlParser>(); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sim, XmlContract, testing::Values(&MakeSimXml),
                         [](const auto&) { return std::string("SimXml"); });

namespace {

std::shared_ptr<Ports::IXmlDocument> Loaded(const std::wstring& text, bool expectLoaded = true) {
    Sim::SimXmlParser parser;
    std::shared_ptr<Ports::IXmlDocument> document;
    EXPECT_EQ(parser.CreateDocument(document), kS_OK);
    bool loaded = !expectLoaded;
    EXPECT_EQ(document->LoadXml(text, loaded), kS_OK);
    EXPECT_EQ(loaded, expectLoaded);
    return document;
}

std::wstring Text(Ports::IXmlNode& node) {
    std::wstring text;
    EXPECT_EQ(node.GetText(text), kS_OK);
    return text;
}

TEST(SimXml, DeepNestingIsReadWithoutRecursion) {
    constexpr int kDepth = 100000;
    std::wstring text;
    for (int i = 0; i < kDepth; ++i) text += L"<d>";
    text += L"deep";
    for (int i = 0; i < kDepth; ++i) text += L"</d>";
    const auto document = Loaded(text);

    std::unique_ptr<Ports::IXmlNode> top;
    ASSERT_EQ(document->SelectSingleNode(L"/d", top), kS_OK);
    EXPECT_EQ(Text(*top), L"deep");
    EXPECT_EQ(Text(*document), L"deep");
    std::unique_ptr<Ports::IXmlNode> third;
    ASSERT_EQ(top->SelectSingleNode(L"d/d", third), kS_OK);
    EXPECT_EQ(Text(*third), L"deep");
}

TEST(SimXml, NodesTakenBeforeAReloadKeepReadingTheOldTree) {
    const auto document = Loaded(L"<a><b>old</b></a>");
    std::unique_ptr<Ports::IXmlNode> old;
    ASSERT_EQ(document->SelectSingleNode(L"/a/b", old), kS_OK);
    bool loaded = false;
    ASSERT_EQ(document->LoadXml(L"<a><b>new</b></a>", loaded), kS_OK);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Text(*old), L"old");
    ASSERT_EQ(document->LoadXml(L"<broken", loaded), kS_OK);
    EXPECT_EQ(Text(*old), L"old");
}

TEST(SimXml, RefusesWhatOnlyALenientParserWouldTake) {
    for (const wchar_t* text : {
             L"<!DOCTYPE a [<!ENTITY e \"expanded\">]><a>&e;</a>",  // no document type declarations
             L" <?xml version=\"1.0\"?><a/>",                      // the declaration only at the start
             L"<a>x]]>y</a>",
             L"<a x=\"<\"/>",
             L"<a>&#xD800;</a>",
             L"<a>&#x110000;</a>",
             L"<a>&#99999999999;</a>",
             L"<![CDATA[x]]><a/>",
         }) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        const auto document = Loaded(text, false);
        std::unique_ptr<Ports::IXmlNode> node;
        EXPECT_EQ(document->SelectSingleNode(L"/a", node), kS_FALSE);
    }
}

TEST(SimXml, AttributesAndTextNodesCanBeSelectedButNotValues) {
    const auto document = Loaded(L"<a x=\"attribute\">text</a>");
    std::unique_ptr<Ports::IXmlNode> node;
    ASSERT_EQ(document->SelectSingleNode(L"/a/@x", node), kS_OK);
    EXPECT_EQ(Text(*node), L"attribute");
    ASSERT_EQ(document->SelectSingleNode(L"/a/text()", node), kS_OK);
    EXPECT_EQ(Text(*node), L"text");
    for (const std::wstring& path : {std::wstring(L"count(/a)"), std::wstring(L"$unknown"), std::wstring(L"/a/["),
                                     std::wstring(L"a["), std::wstring(L"/a/b/"), std::wstring(L"/a\0/b", 5)}) {
        SCOPED_TRACE(testing::PrintToString(path));
        EXPECT_EQ(document->SelectSingleNode(path, node), kE_FAIL);
        EXPECT_FALSE(node);
    }
}

}  // namespace
}  // namespace Arvek::Testing
