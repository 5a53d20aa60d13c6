#include "sim/sim_xml.h"

namespace Arvek::Sim {

HRESULT SimXmlParser::CreateDocument(std::shared_ptr<Ports::IXmlDocument>& document) {
    document.reset();
    return kREGDB_E_CLASSNOTREG;
}

}  // namespace Arvek::Sim
