#include "win32/xml_win32.h"

namespace Arvek::Win32 {

HRESULT Win32XmlParser::CreateDocument(std::shared_ptr<Ports::IXmlDocument>& document) {
    document.reset();
    return kREGDB_E_CLASSNOTREG;
}

}  // namespace Arvek::Win32
