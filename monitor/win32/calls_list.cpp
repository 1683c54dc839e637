// The list of calls: a virtual report list view over the core's rows, so
// that a thousand calls cost what the rows on screen cost. Its cells are
// the core's texts, asked for as the control draws them; the selection
// (one call, or two to compare) is kept by call, not by row, as new calls
// push the rows down.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "calls/call_watch.h"
#include "monitor/monitor.h"
#include "monitor/win32/calls_view.h"
#include "monitor/win32/win32_windows.h"

// WS_CHILD, WS_VISIBLE, WS_TABSTOP, a report with its header, the rows
// given on demand, the selection shown while another control has the focus.
constexpr DWORD LIST_STYLE = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS;

int calls_text_width(HWND window, HFONT font, const char *text) {
    HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size.cx;
}

// The list's font in bold, for the rows of calls still running.
static HFONT bold_of(HFONT font) {
    LOGFONTA face{};
    GetObjectA(font, sizeof face, &face);
    face.lfWeight = FW_BOLD;
    return CreateFontIndirectA(&face);
}

HWND calls_list_create(CallsView &view, HINSTANCE instance) {
    view.bold_font = bold_of(view.gui_font);
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "", LIST_STYLE, 0, 0, 0, 0, view.window,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(CALLS_ID_LIST)), instance, nullptr);
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(view.gui_font), FALSE);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES,
                 LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (int c = 0; c < CALLS_COLUMNS; ++c) {
        const CallsColumnRow &row = CALLS_COLUMN_ROWS[c];
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        // The first column is always left-aligned in a list view.
        column.fmt = row.numeric && c > 0 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = std::max(calls_text_width(list, view.gui_font, row.widest), calls_text_width(list, view.gui_font, row.header)) + 16;
        column.pszText = const_cast<char *>(row.header);
        column.iSubItem = c;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }
    view.list = list;
    return list;
}

int calls_list_width(const CallsView &view) {
    int width = 0;
    for (int c = 0; c < CALLS_COLUMNS; ++c) {
        width += static_cast<int>(SendMessageA(view.list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
    }
    return width + GetSystemMetrics(SM_CXVSCROLL) + 2 * GetSystemMetrics(SM_CXEDGE);
}

static int row_of(const CallsView &view, CallKey key) {
    for (size_t i = 0; i < view.rows.size(); ++i) {
        if (view.rows[i]->modem == key.modem && view.rows[i]->number == key.number) return static_cast<int>(i);
    }
    return -1;
}

static void set_row_selected(HWND list, int row, bool selected) {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

static void show_count(const CallsView &view, const CallWatch &watch) {
    char text[96];
    if (watch.log.dropped > 0) {
        snprintf(text, sizeof text, "%u calls (%llu older calls gave way)", static_cast<unsigned>(view.rows.size()),
                 static_cast<unsigned long long>(watch.log.dropped));
    } else {
        snprintf(text, sizeof text, "%u call%s", static_cast<unsigned>(view.rows.size()), view.rows.size() == 1 ? "" : "s");
    }
    SetWindowTextA(view.count, text);
}

bool calls_list_sync(CallsView &view) {
    const CallWatch *watch = monitor_calls(*windows.monitor);
    view.origin_us = monitor_calls_origin_us(*windows.monitor);
    view.now_us = windows.monitor == windows.live ? monitor_calls_now_us(*windows.monitor) : -1;
    const bool other_watch = watch != view.watch;
    const CallsSignature now = watch != nullptr ? calls_signature(*watch) : CallsSignature{};
    if (!other_watch && now == view.seen) {
        // Only the running calls' lengths move on.
        for (size_t i = 0; i < view.rows.size(); ++i) {
            if (!view.rows[i]->ended) SendMessageA(view.list, LVM_REDRAWITEMS, i, i);
        }
        return false;
    }
    view.watch = watch;
    view.seen = now;
    if (other_watch) {
        view.selected_count = 0;  // another monitor's calls: nothing of the old selection is there
    }
    if (watch != nullptr) {
        calls_rows(*watch, view.rows);
    } else {
        view.rows.clear();
    }
    // The new rows, then the selection put back on its calls; the
    // notifications of that are the list's own and change nothing.
    view.syncing = true;
    SendMessageA(view.list, LVM_SETITEMCOUNT, view.rows.size(), LVSICF_NOSCROLL);
    set_row_selected(view.list, -1, false);
    int kept = 0;
    for (int i = 0; i < view.selected_count; ++i) {
        const int row = row_of(view, view.selected[i]);
        if (row >= 0) {
            set_row_selected(view.list, row, true);
            view.selected[kept++] = view.selected[i];
        }
    }
    view.selected_count = kept;
    view.syncing = false;
    InvalidateRect(view.list, nullptr, FALSE);
    if (watch != nullptr) show_count(view, *watch);
    return true;
}

void calls_selected(const CallsView &view, const Call *out[2]) {
    out[0] = out[1] = nullptr;
    for (int i = 0; i < view.selected_count && i < 2; ++i) {
        const int row = row_of(view, view.selected[i]);
        out[i] = row >= 0 ? view.rows[static_cast<size_t>(row)] : nullptr;
    }
    if (out[0] == nullptr) {
        out[0] = out[1];
        out[1] = nullptr;
    }
    // Two compare as the older (A) and the newer (B).
    if (out[1] != nullptr && out[1]->start_us < out[0]->start_us) std::swap(out[0], out[1]);
}

// The selection read back from the list: its first two selected rows.
static void read_selection(CallsView &view) {
    view.selected_count = 0;
    int row = -1;
    while (view.selected_count < 2 &&
           (row = static_cast<int>(SendMessageA(view.list, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED))) >= 0) {
        if (static_cast<size_t>(row) >= view.rows.size()) break;
        view.selected[view.selected_count++] = CallKey{view.rows[static_cast<size_t>(row)]->modem,
                                                       view.rows[static_cast<size_t>(row)]->number};
    }
}

LRESULT calls_list_notify(CallsView &view, NMHDR *header) {
    switch (header->code) {
    case LVN_GETDISPINFOA: {
        auto *info = reinterpret_cast<NMLVDISPINFOA *>(header);
        LVITEMA &item = info->item;
        if (!(item.mask & LVIF_TEXT) || item.pszText == nullptr || item.cchTextMax <= 0) return 0;
        item.pszText[0] = '\0';
        // The calls may have moved on since the last tick (a call ended, an
        // old one gave way, another session is shown): the rows are not
        // read then, but rebuilt once the drawing is done.
        const CallWatch *watch = monitor_calls(*windows.monitor);
        if (watch != view.watch || watch == nullptr || !(calls_signature(*watch) == view.seen)) {
            PostMessageA(view.window, WM_APP + 1, 0, 0);
            return 0;
        }
        if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= view.rows.size()) return 0;
        if (item.iSubItem < 0 || item.iSubItem >= CALLS_COLUMNS) return 0;
        calls_cell(*view.rows[static_cast<size_t>(item.iItem)], static_cast<CallsColumn>(item.iSubItem), view.origin_us,
                   view.now_us, item.pszText, static_cast<size_t>(item.cchTextMax));
        return 0;
    }
    case NM_CUSTOMDRAW: {
        // A call still running stands out in bold.
        auto *draw = reinterpret_cast<NMLVCUSTOMDRAW *>(header);
        if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
        if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
        const CallWatch *watch = monitor_calls(*windows.monitor);
        if (watch != view.watch || watch == nullptr || !(calls_signature(*watch) == view.seen)) return CDRF_DODEFAULT;
        const size_t row = draw->nmcd.dwItemSpec;
        if (row < view.rows.size() && !view.rows[row]->ended && view.bold_font != nullptr) {
            SelectObject(draw->nmcd.hdc, view.bold_font);
            return CDRF_NEWFONT;
        }
        return CDRF_DODEFAULT;
    }
    case LVN_ITEMCHANGED:
    case LVN_ODSTATECHANGED:
        if (!view.syncing) {
            read_selection(view);
            // The details follow once the clicks are done: one deselection
            // and selection after the other cost one showing.
            if (!view.details_posted) view.details_posted = PostMessageA(view.window, WM_APP, 0, 0) != 0;
        }
        return 0;
    }
    return 0;
}
