// Portolan's dialog (template 102): the port table in a custom-drawn
// report list with its own header, on the plain Windows dialog manager.
#pragma once

#include <windows.h>

#include "ports/platform.h"

namespace Portolan {

// The list's header: paints its items itself on grey and keeps a 50 px
// high band above the rows.
class CUsbCHeaderCtrl {
public:
    void Attach(HWND header);
    void DrawItem(int index, HDC dc, const RECT& rect) const;

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void OnPaint() const;
    LRESULT OnLayout(WPARAM wParam, LPARAM lParam) const;

    HWND m_header = nullptr;
};

// The report list: white behind the rows, odd rows on light grey.
class CUsbCListCtrl {
public:
    void Attach(HWND list);
    HWND Handle() const { return m_list; }
    // The custom-draw notification the list sends to the dialog.
    LRESULT OnCustomDraw(LPARAM lParam) const;

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void OnPaint() const;

    HWND m_list = nullptr;
    CUsbCHeaderCtrl m_header;
};

class CPortolanDlg {
public:
    explicit CPortolanDlg(Arvek::Ports::Platform& platform, HINSTANCE instance);
    // Runs the dialog modally; returns the id of the button that closed it.
    INT_PTR DoModal(HWND parent = nullptr);

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    BOOL OnInitDialog();
    void BuildTable();

    Arvek::Ports::Platform& m_platform;
    HINSTANCE m_instance;
    HICON m_icon;
    HWND m_dialog = nullptr;
    CUsbCListCtrl m_list;
};

// True when the system runs in high-contrast mode (false when that cannot
// be read).
bool HighContrastOn();

}  // namespace Portolan
