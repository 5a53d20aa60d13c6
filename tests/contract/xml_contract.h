// The XML port's contract: one suite of cases that runs against every
// adapter (pugixml natively, MSXML 3.0 under Wine), so that the firmware's
// XML answers read the same in the simulation as on a notebook: node text
// with its white space, nested text, CDATA and references, selection by
// absolute and relative path, and what a text the parser rejects leaves.
//
// An adapter's test file provides a factory and instantiates the suite:
//   INSTANTIATE_TEST_SUITE_P(Sim, XmlContract, testing::Values(&MakeSimXml));
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "ports/xml.h"

namespace Arvek::Testing {

using XmlParserFactory = std::unique_ptr<Arvek::Ports::IXmlParser> (*)();

}  // namespace Arvek::Testing

namespace Arvek::Ports {
// Printed in place of the factory's address, so that test names (which ctest
// takes with the printed parameter) are the same in every run. It lives in
// the port's namespace because that is where argument-dependent lookup looks
// for a function pointer returning the port.
inline void PrintTo(Testing::XmlParserFactory, std::ostream* out) { *out << "xml parser"; }
}  // namespace Arvek::Ports

namespace Arvek::Testing {

class XmlContract : public testing::TestWithParam<XmlParserFactory> {
protected:
    void SetUp() override;
    // A new document with `text` loaded; `loaded` is what loadXML said.
    std::shared_ptr<Ports::IXmlDocument> Load(const std::wstring& text, bool& loaded);
    std::unique_ptr<Ports::IXmlParser> parser;
};

}  // namespace Arvek::Testing
