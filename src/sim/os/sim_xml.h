// The XML DOM on Linux: pugixml behind the XML port, held to the behaviour
// of MSXML 3.0 that the programs rely on (tests/contract/xml_contract):
//
// - loadXML of text the parser rejects leaves the document empty and says
//   so; pugixml is more forgiving than MSXML, so the text is first checked
//   for what pugixml would let through (several top-level elements, text
//   outside the root, undefined entities, characters XML forbids, a
//   duplicated attribute, "--" in a comment, "]]>" in text, an XML
//   declaration that is not at the start). A document type declaration is
//   refused altogether: no firmware answer has one, and it keeps entity
//   expansion out of the simulation.
// - White space is kept as loaded (preserveWhiteSpace); line ends are
//   normalised to "\n" as every XML parser does.
// - Selection takes XPath paths; the first match in document order.
// - A node's text is the text and CDATA of its subtree, collected without
//   recursion, so any depth of nesting is safe.
// - Nodes share ownership of the parsed tree: a node outlives its document
//   object, and loading new text into a document leaves nodes taken before
//   reading the old tree.
#pragma once

#include "ports/xml.h"
#include "sim/machine/faults.h"

namespace Arvek::Sim {

class SimXmlParser : public Ports::IXmlParser {
public:
    // Documents are made and loaded as `faults` says ("xml.create-document",
    // "xml.load").
    explicit SimXmlParser(SimFaults* faults = nullptr) : m_faults(faults) {}
    HRESULT CreateDocument(std::shared_ptr<Ports::IXmlDocument>& document) override;

private:
    SimFaults* m_faults;
};

}  // namespace Arvek::Sim
