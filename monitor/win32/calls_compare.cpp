// Two calls side by side: a report list view of the core's compare rows
// (a marker, the key, call A's value, call B's), the rows whose values
// differ marked "*" and drawn on a pale yellow ground. The rows are kept
// in the view's state and given to the control as it draws them.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "calls/call_summary.h"
#include "monitor/win32/calls_view.h"

constexpr DWORD COMPARE_STYLE = WS_CHILD | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_OWNERDATA;
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

void calls_compare_show(CallsView &view, const Call &a, const Call &b) {
    view.compare_a.clear();
    view.compare_b.clear();
    call_summary(a, view.compare_a);
    call_summary(b, view.compare_b);
    compare_calls(a, b, view.compare_a, view.compare_b, view.compare_rows);
    HWND list = view.compare;
    char label[64];
    snprintf(label, sizeof label, "A: modem %d call %u", a.modem, a.number);
    set_header(list, 2, label);
    snprintf(label, sizeof label, "B: modem %d call %u", b.modem, b.number);
    set_header(list, 3, label);
    SendMessageA(list, LVM_SETITEMCOUNT, view.compare_rows.size(), 0);
    // The marker and the keys fit their texts; the values share the rest.
    int keys = calls_text_width(list, view.gui_font, "Key");
    for (const CompareRow &row : view.compare_rows) keys = std::max(keys, calls_text_width(list, view.gui_font, row.key));
    const int marker = calls_text_width(list, view.gui_font, "*") + 14;
    keys += 14;
    RECT client;
    GetClientRect(list, &client);
    const int value = std::max(80, (static_cast<int>(client.right) - marker - keys - GetSystemMetrics(SM_CXVSCROLL)) / 2);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, marker);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, keys);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 2, value);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 3, value);
    InvalidateRect(list, nullptr, TRUE);
}

LRESULT calls_compare_notify(CallsView &view, NMHDR *header) {
    if (header->code == LVN_GETDISPINFOA) {
        LVITEMA &item = reinterpret_cast<NMLVDISPINFOA *>(header)->item;
        if (!(item.mask & LVIF_TEXT) || item.pszText == nullptr || item.cchTextMax <= 0) return 0;
        item.pszText[0] = '\0';
        if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= view.compare_rows.size()) return 0;
        const CompareRow &row = view.compare_rows[static_cast<size_t>(item.iItem)];
        const char *cells[4] = {row.differs ? "*" : "", row.key, row.a, row.b};
        if (item.iSubItem >= 0 && item.iSubItem < 4) lstrcpynA(item.pszText, cells[item.iSubItem], item.cchTextMax);
        return 0;
    }
    if (header->code != NM_CUSTOMDRAW) return 0;
    auto *draw = reinterpret_cast<NMLVCUSTOMDRAW *>(header);
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        if (draw->nmcd.dwItemSpec < view.compare_rows.size() && view.compare_rows[draw->nmcd.dwItemSpec].differs)
            draw->clrTextBk = DIFFERS_BACKGROUND;
        return CDRF_DODEFAULT;
    }
    return CDRF_DODEFAULT;
}
