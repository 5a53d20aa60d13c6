// The XML DOM of MSXML 3.0. (To be filled in.)
#pragma once

#include "ports/xml.h"

namespace Arvek::Win32 {

class Win32XmlParser final : public Ports::IXmlParser {
public:
    HRESULT CreateDocument(std::shared_ptr<Ports::IXmlDocument>& document) override;
};

}  // namespace Arvek::Win32
