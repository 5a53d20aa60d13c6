// The viewer's table: what the dialog shows for one port configuration, as
// a pure function of the configuration and the string table.
#pragma once

#include <string>
#include <vector>

#include "ports/platform.h"
#include "ports/resources.h"
#include "tolm/usbc_bios_info.h"

namespace Portolan {

struct PortTableRow {
    std::wstring feature;  // column 0
    std::wstring status;   // column 1
};

struct PortTable {
    std::wstring caption;         // string 542
    std::wstring label;           // string 541 (control 1001)
    std::wstring featureHeading;  // string 545 (column 0)
    std::wstring statusHeading;   // string 538 (column 1)
    std::vector<PortTableRow> rows;  // six rows, in the dialog's order
};

PortTable BuildPortTable(const Arvek::Tolm::UsbCPortConfig& config, Arvek::Ports::IResources& strings);

// One reading of the port configuration, as the dialog makes it when it
// starts: COM initialised on the calling thread (single-threaded apartment)
// around the query. A query that raises (running out of memory) is logged
// and gives the all-zero record, as a failed query does.
Arvek::Tolm::UsbCPortConfig ReadPortConfiguration(Arvek::Ports::Platform& platform);

struct ColumnWidths {
    int feature;  // dialog width x 45 / 100
    int status;   // dialog width x 55 / 100
    int filler;   // always 500: covers the rest of the header
};

// From the width of the dialog's normal-position rectangle in pixels, or
// nothing when that could not be read (then 400).
ColumnWidths ComputeColumnWidths(const int* dialogWidth);

}  // namespace Portolan
