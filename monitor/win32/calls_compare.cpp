// Two calls side by side: a report list view of the core's compare rows
// (a marker, the key, call A's value, call B's), the rows whose values
// differ marked "*" and drawn on a pale yellow ground.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "calls/call_summary.h"
#include "monitor/win32/calls_view.h"

constexpr DWORD COMPARE_STYLE = WS_CHILD | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
constexpr COLORREF DIFFERS_BACKGROUND = RGB(255, 236, 179);

HWND calls_compare_create(CallsView &view, HINSTANCE instance) {
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "", COMPARE_STYLE, 0, 0, 0, 0, view.window,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(CALLS_ID_COMPARE)), instance, nullptr);
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(view.gui_font), FALSE);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP,
                 LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    const char *headers[4] = {"", "Key", "A", "B"};
    for (int c = 0; c < 4; ++c) {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = c == 0 ? 20 : 100;
        column.pszText = const_cast<char *>(headers[c]);
        column.iSubItem = c;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }
    view.compare = list;
    return list;
}

static void set_header(HWND list, int column, const char *text) {
    LVCOLUMNA header{};
    header.mask = LVCF_TEXT;
    header.pszText = const_cast<char *>(text);
    SendMessageA(list, LVM_SETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&header));
}

static void set_cell(HWND list, int row, int column, const char *text) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char *>(text);
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void calls_compare_show(CallsView &view, const Call &a, const Call &b) {
    std::vector<SummaryRow> rows_a, rows_b;
    call_summary(a, rows_a);
    call_summary(b, rows_b);
    std::vector<CompareRow> rows;
    compare_calls(a, b, rows_a, rows_b, rows);
    HWND list = view.compare;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    char label[64];
    snprintf(label, sizeof label, "A: modem %d call %u", a.modem, a.number);
    set_header(list, 2, label);
    snprintf(label, sizeof label, "B: modem %d call %u", b.modem, b.number);
    set_header(list, 3, label);
    for (size_t i = 0; i < rows.size(); ++i) {
        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<char *>(rows[i].differs ? "*" : "");
        item.lParam = rows[i].differs ? 1 : 0;
        const int row = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        set_cell(list, row, 1, rows[i].key);
        set_cell(list, row, 2, rows[i].a);
        set_cell(list, row, 3, rows[i].b);
    }
    // The marker and the keys fit their texts; the values share the rest.
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE);
    RECT client;
    GetClientRect(list, &client);
    const int used = static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0) + SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0));
    const int value = std::max(80, static_cast<int>(client.right - used) / 2);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 2, value);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 3, value);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

LRESULT calls_compare_notify(CallsView &, NMHDR *header) {
    if (header->code != NM_CUSTOMDRAW) return 0;
    auto *draw = reinterpret_cast<NMLVCUSTOMDRAW *>(header);
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        if (draw->nmcd.lItemlParam != 0) draw->clrTextBk = DIFFERS_BACKGROUND;
        return CDRF_DODEFAULT;
    }
    return CDRF_DODEFAULT;
}
