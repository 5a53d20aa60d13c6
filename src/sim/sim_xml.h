// The XML DOM on Linux. (To be filled in: pugixml.)
#pragma once

#include "ports/xml.h"

namespace Arvek::Sim {

class SimXmlParser : public Ports::IXmlParser {
public:
    HRESULT CreateDocument(std::shared_ptr<Ports::IXmlDocument>& document) override;
};

}  // namespace Arvek::Sim
