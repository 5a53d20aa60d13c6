#include "win32/portolan_dialog.h"

#include <commctrl.h>

#include "viewer/list_scheme.h"
#include "viewer/port_table.h"
#include "win32/callback_barrier.h"

namespace Portolan {

namespace {

constexpr int kDialogId = 102;
constexpr int kIconId = 128;
constexpr int kListId = 1000;
constexpr int kLabelId = 1001;
constexpr UINT_PTR kSubclassId = 1;

COLORREF Rgb(unsigned rrggbb) {
    return RGB((rrggbb >> 16) & 0xFF, (rrggbb >> 8) & 0xFF, rrggbb & 0xFF);
}

}  // namespace

bool HighContrastOn() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof(hc);
    if (!::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(hc), &hc, 0)) {
        return false;
    }
    return (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

// --- header -----------------------------------------------------------------

void CUsbCHeaderCtrl::Attach(HWND header) {
    m_header = header;
    if (header != nullptr) {
        ::SetWindowSubclass(header, &CUsbCHeaderCtrl::Proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
}

LRESULT CALLBACK CUsbCHeaderCtrl::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    const auto handle = [&]() -> LRESULT {
        auto* self = reinterpret_cast<CUsbCHeaderCtrl*>(data);
        switch (msg) {
        case WM_PAINT:
            self->OnPaint();
            return 0;
        case HDM_LAYOUT:
            return self->OnLayout(wParam, lParam);
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(hwnd, &CUsbCHeaderCtrl::Proc, kSubclassId);
            break;
        default:
            break;
        }
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    };
    return Arvek::Win32::CallSubclassProcedure("Portolan::CUsbCHeaderCtrl::Proc", hwnd, msg, wParam, lParam, handle);
}

LRESULT CUsbCHeaderCtrl::OnLayout(WPARAM wParam, LPARAM lParam) const {
    const LRESULT result = ::DefSubclassProc(m_header, HDM_LAYOUT, wParam, lParam);
    auto* layout = reinterpret_cast<HDLAYOUT*>(lParam);
    if (layout != nullptr && layout->pwpos != nullptr && layout->prc != nullptr) {
        layout->pwpos->cy = kHeaderHeight;
        layout->prc->top = kHeaderHeight;
    }
    return result;
}

void CUsbCHeaderCtrl::OnPaint() const {
    PAINTSTRUCT ps{};
    HDC dc = ::BeginPaint(m_header, &ps);
    ::SetBkMode(dc, TRANSPARENT);
    // 12 pt: the height in logical units for this device's pixels per inch.
    const int height = -::MulDiv(kHeaderFontTenthsOfPoint, ::GetDeviceCaps(dc, LOGPIXELSY), 720);
    HFONT font = ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                               L"Microsoft Sans Serif");
    HGDIOBJ previous = font != nullptr ? ::SelectObject(dc, font) : nullptr;
    const int count = static_cast<int>(::SendMessageW(m_header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        RECT rect{};
        if (::SendMessageW(m_header, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&rect))) {
            DrawItem(i, dc, rect);
        }
    }
    if (previous != nullptr) {
        ::SelectObject(dc, previous);
    }
    if (font != nullptr) {
        ::DeleteObject(font);
    }
    ::EndPaint(m_header, &ps);
}

void CUsbCHeaderCtrl::DrawItem(int index, HDC dc, const RECT& rect) const {
    wchar_t text[513] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = text;
    item.cchTextMax = 512;
    ::SendMessageW(m_header, HDM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    HBRUSH brush = ::CreateSolidBrush(Rgb(HeaderItemBackground(index)));
    RECT fill = rect;
    ::FillRect(dc, &fill, brush);
    ::DeleteObject(brush);
    ::SetTextColor(dc, Rgb(kHeaderTextColor));
    RECT textRect = rect;
    ::DrawTextW(dc, text, -1, &textRect, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
}

// --- list -------------------------------------------------------------------

void CUsbCListCtrl::Attach(HWND list) {
    m_list = list;
    if (list == nullptr) {
        return;
    }
    ::SetWindowSubclass(list, &CUsbCListCtrl::Proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    m_header.Attach(::GetDlgItem(list, 0));
    // The list laid its header out when the dialog gave it its font, before
    // the header answered the layout with its own height. A list lays its
    // header out again only when its size really changes (a size message
    // alone is not enough for every implementation), so it is made one
    // pixel shorter and given its height back; the dialog is not shown yet.
    RECT bounds{};
    if (::GetWindowRect(list, &bounds)) {
        const int width = bounds.right - bounds.left;
        const int height = bounds.bottom - bounds.top;
        constexpr UINT kFlags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW;
        ::SetWindowPos(list, nullptr, 0, 0, width, height > 1 ? height - 1 : height + 1, kFlags);
        ::SetWindowPos(list, nullptr, 0, 0, width, height, kFlags);
    }
}

LRESULT CALLBACK CUsbCListCtrl::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    const auto handle = [&]() -> LRESULT {
        auto* self = reinterpret_cast<CUsbCListCtrl*>(data);
        switch (msg) {
        case WM_PAINT:
            self->OnPaint();
            return 0;
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(hwnd, &CUsbCListCtrl::Proc, kSubclassId);
            break;
        default:
            break;
        }
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    };
    return Arvek::Win32::CallSubclassProcedure("Portolan::CUsbCListCtrl::Proc", hwnd, msg, wParam, lParam, handle);
}

void CUsbCListCtrl::OnPaint() const {
    PAINTSTRUCT ps{};
    HDC dc = ::BeginPaint(m_list, &ps);
    if (const auto prefill = ListPrefill(HighContrastOn())) {
        RECT clip{};
        ::GetClipBox(dc, &clip);
        HBRUSH brush = ::CreateSolidBrush(Rgb(*prefill));
        ::FillRect(dc, &clip, brush);
        ::DeleteObject(brush);
    }
    ::DefSubclassProc(m_list, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    ::EndPaint(m_list, &ps);
}

LRESULT CUsbCListCtrl::OnCustomDraw(LPARAM lParam) const {
    ::LockWindowUpdate(m_list);
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
    LRESULT result = CDRF_DODEFAULT;
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
        result = CDRF_NOTIFYITEMDRAW;
    } else if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        if (const auto background = RowTextBackground(draw->nmcd.dwItemSpec, HighContrastOn())) {
            draw->clrTextBk = Rgb(*background);
        }
        result = CDRF_DODEFAULT;
    }
    ::LockWindowUpdate(nullptr);
    return result;
}

// --- dialog -----------------------------------------------------------------

CPortolanDlg::CPortolanDlg(Arvek::Ports::Platform& platform, HINSTANCE instance)
    : m_platform(platform), m_instance(instance), m_icon(::LoadIconW(instance, MAKEINTRESOURCEW(kIconId))) {}

INT_PTR CPortolanDlg::DoModal(HWND parent) {
    return ::DialogBoxParamW(m_instance, MAKEINTRESOURCEW(kDialogId), parent, &CPortolanDlg::DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CPortolanDlg::DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    const auto handle = [&]() -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            auto* self = reinterpret_cast<CPortolanDlg*>(lParam);
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            self->m_dialog = dialog;
            return self->OnInitDialog();
        }
        auto* self = reinterpret_cast<CPortolanDlg*>(::GetWindowLongPtrW(dialog, DWLP_USER));
        if (self == nullptr) {
            return FALSE;
        }
        switch (msg) {
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header != nullptr && header->hwndFrom == self->m_list.Handle() && header->code == NM_CUSTOMDRAW) {
                ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, self->m_list.OnCustomDraw(lParam));
                return TRUE;
            }
            break;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
        }
        return FALSE;
    };
    return Arvek::Win32::CallDialogProcedure("Portolan::CPortolanDlg::DialogProc", handle);
}

BOOL CPortolanDlg::OnInitDialog() {
    m_list.Attach(::GetDlgItem(m_dialog, kListId));
    const std::wstring caption = m_platform.resources.LoadText(542, 256);
    if (!caption.empty()) {
        ::SetWindowTextW(m_dialog, caption.c_str());
    }
    ListView_SetExtendedListViewStyleEx(m_list.Handle(), LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    ::SendMessageW(m_dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    ::SendMessageW(m_dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
    BuildTable();
    return TRUE;
}

void CPortolanDlg::BuildTable() {
    HWND list = m_list.Handle();
    // The query runs first here so that the headings and the rows come from
    // one build of the table; the window gets them in the usual order.
    const PortTable table = BuildPortTable(ReadPortConfiguration(m_platform), m_platform.resources);

    ::SetDlgItemTextW(m_dialog, kLabelId, table.label.c_str());

    const std::wstring headings[3] = {table.featureHeading, table.statusHeading, L""};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.pszText = const_cast<wchar_t*>(headings[i].c_str());
        column.iSubItem = i;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }

    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    int width = 0;
    const int* widthPtr = nullptr;
    if (::GetWindowPlacement(m_dialog, &placement)) {
        width = placement.rcNormalPosition.right - placement.rcNormalPosition.left;
        widthPtr = &width;
    }
    const ColumnWidths widths = ComputeColumnWidths(widthPtr);
    ::SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(widths.feature, 0));
    ::SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(widths.status, 0));
    ::SendMessageW(list, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(widths.filler, 0));

    for (std::size_t row = 0; row < table.rows.size(); ++row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(row);
        item.pszText = const_cast<wchar_t*>(table.rows[row].feature.c_str());
        const int index = static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = const_cast<wchar_t*>(table.rows[row].status.c_str());
        ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&sub));
    }
}

}  // namespace Portolan
