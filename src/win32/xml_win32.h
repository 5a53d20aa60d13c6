// The XML DOM of MSXML 3.0 (DOMDocument30), created in-process.
//
// The calling thread has initialised COM; documents and nodes belong to that
// thread and are released on it.
#pragma once

#include "ports/xml.h"

namespace Arvek::Win32 {

class Win32XmlParser final : public Ports::IXmlParser {
public:
    HRESULT CreateDocument(std::shared_ptr<Ports::IXmlDocument>& document) override;
};

}  // namespace Arvek::Win32
