// linewatch_probe.exe: starts LineWatch.exe and checks it from outside,
// through the window system only, as a user or another program sees it.
//
//   linewatch_probe LINEWATCH.EXE WORKDIR LINES1 LINES2 [--at-least] [--warning] [--eye-corner] [--recording] [--hold MS] [--tail TEXT] [--caption TEXT] [--silence MS]
//   linewatch_probe LINEWATCH.EXE WORKDIR LINES1 LINES2 --burst N [--redraw-off] [--wait MS]
//   linewatch_probe LINEWATCH.EXE WORKDIR LINES1 LINES2 --session NAME
//   linewatch_probe LINEWATCH.EXE WORKDIR LINES1 LINES2 --full-disk NAME
//   linewatch_probe LINEWATCH.EXE WORKDIR LINES1 LINES2 --calls-timing CALLS [--tail TEXT --caption TEXT]
//   linewatch_probe --list-costs LINES
//
// LineWatch.exe runs in WORKDIR (where its capture files go). The probe
// waits until the status lists of modem 1 and 2 hold LINES1 and LINES2
// lines (or more, with --at-least), writes them escaped, one per line, to
// WORKDIR\list1.txt and list2.txt (for the caller to compare), then
// checks windows, menu, close buttons, selection keys and Ctrl+C, and
// closes the main window. With
// --recording the recording flag must be set before the close; it must be
// clear after it in any case. With --hold it creates WORKDIR\ready once
// the lines are in and waits MS milliseconds before going on (time for a
// screenshot of the untouched window). With --warning one warning box
// must be open once the lines are in; its text goes to WORKDIR\warning.txt.
// With --eye-corner modem 2's points are all (-20000, 20000): its eye
// display must show them as one white pixel at the top left corner of the
// centred square, beside the white centre where the points that the
// driver counted but Windows did not copy land, on black. --tail TEXT
// follows the program name on LineWatch.exe's command line; --caption TEXT
// is the main window's caption to expect (default "Line Watch"). With --silence
// the lists must stay empty for MS milliseconds (a device that is not
// there); only the close is checked after that.
//
// --burst N measures rather than checks: every line of the trace carries a
// running number as its last figure, 0 first, on each modem. The probe
// hides both status windows, times how long the lists take to fill to
// LINES1 and LINES2 lines, shows the windows, creates WORKDIR\full, then
// times N more lines per modem (numbered on from there) into the full
// lists: from the first new line seen to the last, the longest round trip
// of WM_NULL to the main window (sent every 2 ms) and the longest gap
// between two polls. It checks only that every line arrived and that the
// lists end at their bound, the oldest lines gone. --redraw-off turns the
// list boxes' redraw off (WM_SETREDRAW) for the burst, to see what the
// lists cost without their per-line scrolling and scroll-bar drawing.
// --wait MS bounds each of the two waits (default 600000).
//
// --session NAME drives the File menu as a user does: Record Session...
// into WORKDIR\NAME (then WORKDIR\recording tells the caller to start the
// player), the lists written as list1.txt and list2.txt once they hold
// LINES1 and LINES2 lines, Monitor > Call Summary (its text to
// summary-live.txt), Stop Recording, Open Session... of a file that is no
// trace (a message, nothing changes), then of WORKDIR\NAME: the lists
// again (list1.open.txt, list2.open.txt), the summary (summary-open.txt)
// and, with --eye-corner, modem 2's eye; then the Calls view of the file:
// its list (calls-list.txt), each call selected (calls-summary-N.txt), a
// click on the newest call's first timeline mark (calls-click.txt), its
// exports (call.json, call.csv, calls.json, calls.csv) and two calls
// compared (calls-compare.txt).
//
// --full-disk NAME records into WORKDIR\NAME, on a disk that fills up
// (WORKDIR\recording tells the caller to start the player): a message
// box must say that the recording stopped and why, the caption and menu
// must show no recording, and the lists must still fill to LINES1 and LINES2.
//
// --calls-timing CALLS measures rather than checks: with a session of
// CALLS calls opened (--tail), it shows the Calls view, selects calls one
// at a time, compares pairs and scrolls the list, and prints for each the
// time taken and the longest WM_NULL round trip to the main window (sent
// every 2 ms from a thread of its own). It checks that the list shows the
// calls and that selecting and comparing them answers.
//
// --list-costs times, in a list box of LineWatch.exe's style made by the
// probe itself, each list box call that the status windows make per line,
// while filling it to LINES lines and then on the full list.
// Prints "ok: ..." or "FAILED: ..." per check and exits 1 when one failed.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formatting/escape.h"
#include "monitor/line_store.h"

static int passes = 0;
static int failures = 0;

static void check(bool good, const char *what, const std::string &detail = "") {
    std::printf("%s: %s%s%s\n", good ? "ok" : "FAILED", what, detail.empty() ? "" : " - ",
                detail.c_str());
    std::fflush(stdout);
    (good ? passes : failures)++;
}

static std::string number(long long value) { return std::to_string(value); }

// Polls `done` every 50 ms for up to `ms` milliseconds.
template <typename Done> static bool wait_until(Done done, DWORD ms) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

// A list line as the list box holds it. Read as UTF-16 (Wine hands another
// process the text of an ANSI list box in UTF-16 even for SendMessageA) and
// turned back into the ANSI bytes the monitor added.
static std::string list_line(HWND list, int index) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    if (length < 0) {
        return "<no line " + number(index) + ">";
    }
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(wide.data()));
    if (got < 0) {
        return "<no line " + number(index) + ">";
    }
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(got), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), int(got), text.data(), bytes, nullptr, nullptr);
    return text;
}

static int list_count(HWND list) { return int(SendMessageW(list, LB_GETCOUNT, 0, 0)); }

static bool dump_list(HWND list, const std::string &path) {
    FILE *out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    const int count = list_count(list);
    for (int i = 0; i < count; ++i) {
        put_escaped(list_line(list, i).c_str(), out);
    }
    return std::fclose(out) == 0;
}

// Bit 0 of TarvelSetup under the monitor's key: 1, 0, or -1 when unreadable.
static int recording_flag() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Tarvel", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return -1;
    }
    unsigned char value[16] = {};
    DWORD size = sizeof value;
    const LONG status = RegQueryValueExA(key, "TarvelSetup", nullptr, nullptr, value, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && size > 0 ? (value[0] & 1) : -1;
}

static std::string clipboard_text() {
    std::string text = "<no CF_TEXT>";
    if (!OpenClipboard(nullptr)) {
        return "<clipboard not opened>";
    }
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char *p = static_cast<const char *>(GlobalLock(data))) {
            text.assign(p, strnlen(p, GlobalSize(data)));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

static void set_clipboard_marker() {
    if (!OpenClipboard(nullptr)) {
        return;
    }
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 8);
    if (char *p = static_cast<char *>(GlobalLock(block))) {
        std::strcpy(p, "marker");
        GlobalUnlock(block);
        SetClipboardData(CF_TEXT, block);
    }
    CloseClipboard();
}

static std::string selection(HWND list) {
    int items[64];
    const LRESULT count = SendMessageW(list, LB_GETSELITEMS, 64, reinterpret_cast<LPARAM>(items));
    std::string text;
    for (LRESULT i = 0; i < count; ++i) {
        if (i > 0) {
            text += ',';
        }
        text += number(items[i]);
    }
    return text + " caret " + number(SendMessageW(list, LB_GETCARETINDEX, 0, 0));
}

static void key(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

struct ChildExpectation {
    const char *window_class;
    const char *caption;
    int id;
    int menu_id;
};
static const ChildExpectation CHILDREN[4] = {
    {"StatusClass", "Modem 1 Status",      1, 20},
    {"StatusClass", "Modem 2 Status",      2, 21},
    {"EyeClass",    "Modem 1 Eye Display", 3, 30},
    {"EyeClass",    "Modem 2 Eye Display", 4, 31},
};

// The check mark of menu item `id` of LineWatch.exe's main window, read
// inside LineWatch.exe by menu_state_hook.dll: 1 checked, 0 unchecked, -1
// for no answer or no such item.
static HHOOK menu_hook;
// GetMenuState's answer inside LineWatch.exe: MF_ flags, or UINT(-1).
static UINT menu_state(HWND main, int id) {
    static const UINT query = RegisterWindowMessageA("LineWatchProbeMenuState");
    MSG reply;
    while (PeekMessageA(&reply, nullptr, query, query, PM_REMOVE)) {
    }
    PostMessageA(main, query, WPARAM(id), LPARAM(GetCurrentThreadId()));
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 5000) {
        if (PeekMessageA(&reply, nullptr, query, query, PM_REMOVE) && int(reply.wParam) == id) {
            return UINT(reply.lParam);
        }
        Sleep(10);
    }
    return UINT(-1);
}
static int menu_checked(HWND main, int id) {
    const UINT state = menu_state(main, id);
    return state == UINT(-1) ? -1 : (state & MF_CHECKED) != 0 ? 1 : 0;
}
// "grayed" or "enabled" (or "no item N").
static std::string menu_enabled(HWND main, int id) {
    const UINT state = menu_state(main, id);
    return state == UINT(-1) ? "no item " + number(id) : (state & (MF_GRAYED | MF_DISABLED)) ? "grayed" : "enabled";
}
static bool checked(HWND main, int id) { return menu_checked(main, id) == 1; }

static std::string menu_and_window(HWND main, int id, HWND child) {
    const int state = menu_checked(main, id);
    std::string text = state < 0 ? "no check state of " + number(id) : state ? "checked" : "unchecked";
    return text + (IsWindowVisible(child) ? " visible" : " hidden");
}

// The DLL sits beside the probe.
static bool set_menu_hook(HWND main) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dll = path;
    dll = dll.substr(0, dll.find_last_of("\\/") + 1) + "menu_state_hook.dll";
    HMODULE module = LoadLibraryA(dll.c_str());
    FARPROC proc = module ? GetProcAddress(module, "menu_state_hook") : nullptr;
    if (proc == nullptr) {
        return false;
    }
    menu_hook = SetWindowsHookExA(WH_GETMESSAGE, reinterpret_cast<HOOKPROC>(reinterpret_cast<void *>(proc)), module,
                                  GetWindowThreadProcessId(main, nullptr));
    return menu_hook != nullptr;
}

// The message boxes with a caption that LineWatch.exe has on screen.
struct BoxSearch {
    const char *caption;
    DWORD process_id;
    int count;
    HWND first;
};

static BOOL CALLBACK count_message_box(HWND window, LPARAM context) {
    auto *search = reinterpret_cast<BoxSearch *>(context);
    DWORD owner_process = 0;
    GetWindowThreadProcessId(window, &owner_process);
    char window_class[16] = {}, caption[32] = {};
    GetClassNameA(window, window_class, sizeof window_class);
    GetWindowTextA(window, caption, sizeof caption);
    if (owner_process == search->process_id && std::strcmp(window_class, "#32770") == 0 &&
        std::strcmp(caption, search->caption) == 0 && IsWindowVisible(window)) {
        if (search->count++ == 0) {
            search->first = window;
        }
    }
    return TRUE;
}

static int message_boxes(const char *caption, DWORD process_id, HWND *first) {
    BoxSearch search{caption, process_id, 0, nullptr};
    EnumWindows(count_message_box, reinterpret_cast<LPARAM>(&search));
    *first = search.first;
    return search.count;
}

// The text a message box shows: the longest text among its static
// controls (the other one holds the icon).
static std::string box_text(HWND box) {
    std::string best;
    for (HWND control = FindWindowExW(box, nullptr, L"Static", nullptr); control != nullptr;
         control = FindWindowExW(box, control, L"Static", nullptr)) {
        wchar_t wide[600] = {};
        const int length = GetWindowTextW(control, wide, 600);
        char text[1200] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, length, text, sizeof text - 1, nullptr, nullptr);
        if (std::strlen(text) > best.size()) {
            best = text;
        }
    }
    return best;
}

// The white pixels of a window's client area as the screen shows it, and
// how many pixels are neither white nor black.
struct WhitePixels {
    int width, height;
    int white;
    int other;
    POINT at[4];
};
static WhitePixels white_pixels(HWND window) {
    WhitePixels result{};
    RECT client;
    GetClientRect(window, &client);
    result.width = client.right;
    result.height = client.bottom;
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, result.width, result.height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, result.width, result.height, screen, origin.x, origin.y, SRCCOPY);
    SelectObject(memory, previous);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = result.width;
    info.bmiHeader.biHeight = -result.height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::string pixels(size_t(result.width) * size_t(result.height) * 4, '\0');
    GetDIBits(memory, bitmap, 0, UINT(result.height), pixels.data(), &info, DIB_RGB_COLORS);
    for (int y = 0; y < result.height; ++y) {
        for (int x = 0; x < result.width; ++x) {
            const unsigned char *p = reinterpret_cast<const unsigned char *>(pixels.data()) + 4 * (size_t(y) * result.width + x);
            const bool white = p[0] == 255 && p[1] == 255 && p[2] == 255;
            const bool black = p[0] == 0 && p[1] == 0 && p[2] == 0;
            if (white && result.white < 4) {
                result.at[result.white] = POINT{x, y};
            }
            result.white += white;
            result.other += !white && !black;
        }
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return result;
}

// Modem 2's points all at (-20000, 20000): its eye display draws the
// corner of the square and the centre, each one white pixel, on black;
// modem 1's, without points, is all black.
static void check_eye_corner(const HWND child[4]) {
    WhitePixels seen{};
    int corner_x = 0, corner_y = 0, centre_x = 0, centre_y = 0;
    const bool drawn = wait_until(
        [&] {
            seen = white_pixels(child[3]);
            RECT client;
            GetClientRect(child[3], &client);
            const int extent = std::min(client.right / 2, client.bottom / 2);
            centre_x = client.right / 2;
            centre_y = client.bottom / 2;
            corner_x = centre_x - extent;
            corner_y = centre_y - extent;
            return seen.white == 2 && seen.other == 0 && seen.at[0].x == corner_x && seen.at[0].y == corner_y &&
                   seen.at[1].x == centre_x && seen.at[1].y == centre_y;
        },
        8000);
    std::string found;
    for (int i = 0; i < std::min(seen.white, 4); ++i) {
        found += " (" + number(seen.at[i].x) + "," + number(seen.at[i].y) + ")";
    }
    check(drawn, "modem 2's eye: white pixels at the square's corner and the centre only, on black",
          number(seen.width) + "x" + number(seen.height) + " client, wanted (" + number(corner_x) + "," +
              number(corner_y) + ") (" + number(centre_x) + "," + number(centre_y) + "), saw " +
              number(seen.white) + " white:" + found + ", " + number(seen.other) + " other");
    const WhitePixels other_eye = white_pixels(child[2]);
    check(other_eye.white == 0 && other_eye.other == 0, "modem 1's eye, without points: all black",
          number(other_eye.white) + " white, " + number(other_eye.other) + " other");
}

// Microseconds on the performance counter.
static long long now_us() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return count.QuadPart / frequency.QuadPart * 1000000 + count.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

// The last run of digits of a line, -1 when it has none.
static long long last_number(const std::string &line) {
    size_t end = line.find_last_of("0123456789");
    if (end == std::string::npos) {
        return -1;
    }
    size_t begin = end;
    while (begin > 0 && line[begin - 1] >= '0' && line[begin - 1] <= '9') {
        --begin;
    }
    return std::atoll(line.substr(begin, end - begin + 1).c_str());
}

// One look at the window: a WM_NULL round trip to the main window, then
// each list's count and the number of its newest line.
struct BurstPoll {
    long long round_trip_us;  // -1 when the window did not answer within the wait
    int count[2];
    long long newest[2];
};

static BurstPoll poll_window(HWND main, const HWND list[2], DWORD wait_ms) {
    BurstPoll poll{};
    const long long start = now_us();
    DWORD_PTR result = 0;
    const bool answered = SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, wait_ms, &result) != 0;
    poll.round_trip_us = answered ? now_us() - start : -1;
    for (int m = 0; m < 2; ++m) {
        poll.count[m] = list_count(list[m]);
        poll.newest[m] = poll.count[m] > 0 ? last_number(list_line(list[m], poll.count[m] - 1)) : -1;
    }
    return poll;
}

// What a stretch of polls saw: its first and last times of interest, the
// longest WM_NULL round trip and the longest gap between two polls' ends.
struct Stretch {
    long long first_us = -1, last_us = -1;
    long long longest_round_trip_us = 0, longest_round_trip_at_us = 0;
    long long longest_gap_us = 0;
    long long polls = 0, slow_polls = 0;  // round trips over 100 ms
};

static void note_poll(Stretch &stretch, const BurstPoll &poll, long long start_us, long long end_us, long long previous_end_us) {
    ++stretch.polls;
    stretch.slow_polls += poll.round_trip_us > 100000;
    if (poll.round_trip_us > stretch.longest_round_trip_us) {
        stretch.longest_round_trip_us = poll.round_trip_us;
        stretch.longest_round_trip_at_us = start_us;
    }
    if (previous_end_us > 0) {
        stretch.longest_gap_us = std::max(stretch.longest_gap_us, end_us - previous_end_us);
    }
}

static std::string ms(long long us) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", double(us) / 1000.0);
    return text;
}

// Polls until `done` holds for a poll, or wait_ms passes. Every poll goes
// into `stretch`; `seen` marks the polls that count as its first and last.
template <typename Seen, typename Done>
static bool watch(HWND main, const HWND list[2], DWORD wait_ms, Stretch &stretch, BurstPoll &poll, Seen seen, Done done) {
    const long long limit = now_us() + static_cast<long long>(wait_ms) * 1000;
    long long previous_end = 0;
    while (now_us() < limit) {
        const long long start = now_us();
        poll = poll_window(main, list, wait_ms);
        const long long end = now_us();
        note_poll(stretch, poll, start, end, previous_end);
        previous_end = end;
        if (seen(poll)) {
            if (stretch.first_us < 0) {
                stretch.first_us = end;
            }
            stretch.last_us = end;
        }
        if (done(poll)) {
            return true;
        }
        Sleep(2);
    }
    return false;
}

// The fill, then the burst of `burst` lines per modem into the full lists.
static void measure_burst(HWND main, const HWND status[2], const HWND list[2], const int wanted[2], int burst,
                          bool redraw_off, const std::string &workdir, DWORD wait_ms) {
    // The fill goes into hidden lists: a shown list box redraws its scroll
    // bar and scrolls on every line, which under Wine costs milliseconds a
    // line; the burst then goes into the shown, full lists.
    for (int m = 0; m < 2; ++m) {
        SendMessageA(main, WM_COMMAND, WPARAM(CHILDREN[m].menu_id), 0);
    }
    check(!IsWindowVisible(status[0]) && !IsWindowVisible(status[1]), "both status windows hidden for the fill");
    BurstPoll poll{};
    Stretch fill;
    const bool full = watch(
        main, list, wait_ms, fill, poll, [](const BurstPoll &p) { return p.count[0] + p.count[1] > 0; },
        [&](const BurstPoll &p) {
            return p.count[0] == wanted[0] && p.count[1] == wanted[1] && p.newest[0] == wanted[0] - 1 &&
                   p.newest[1] == wanted[1] - 1;
        });
    std::printf("fill: %d and %d lines in %s (first line to full, %.0f lines/s), longest WM_NULL round trip %s, longest gap %s, %lld polls, %lld over 100 ms\n",
                poll.count[0], poll.count[1], ms(fill.last_us - fill.first_us).c_str(),
                (poll.count[0] + poll.count[1]) * 1e6 / double(std::max(1LL, fill.last_us - fill.first_us)), ms(fill.longest_round_trip_us).c_str(),
                ms(fill.longest_gap_us).c_str(), fill.polls, fill.slow_polls);
    check(full, "the lists fill to the lines fed", number(poll.count[0]) + " and " + number(poll.count[1]) + ", newest " +
                                                        number(poll.newest[0]) + " and " + number(poll.newest[1]));
    for (int m = 0; m < 2; ++m) {
        SendMessageA(main, WM_COMMAND, WPARAM(CHILDREN[m].menu_id), 0);
    }
    check(IsWindowVisible(status[0]) && IsWindowVisible(status[1]), "both status windows shown for the burst");
    if (!full) {
        return;
    }
    Sleep(1000);  // the shown lists paint
    if (redraw_off) {
        for (int m = 0; m < 2; ++m) {
            SendMessageA(list[m], WM_SETREDRAW, FALSE, 0);
        }
        std::printf("burst: the list boxes' redraw is off until the burst is in\n");
    }
    FILE *marker = std::fopen((workdir + "\\full").c_str(), "w");
    if (marker != nullptr) {
        std::fclose(marker);
    }

    Stretch drain;
    const long long last_wanted[2] = {wanted[0] + burst - 1, wanted[1] + burst - 1};
    const bool all = watch(
        main, list, wait_ms, drain, poll,
        [&](const BurstPoll &p) { return p.newest[0] >= wanted[0] || p.newest[1] >= wanted[1]; },
        [&](const BurstPoll &p) { return p.newest[0] == last_wanted[0] && p.newest[1] == last_wanted[1]; });
    std::printf("burst: %d lines per modem into full lists: first to last new line %s (%.0f lines/s), longest WM_NULL round trip %s, longest gap between polls %s, %lld polls, %lld round trips over 100 ms\n",
                burst, ms(drain.last_us - drain.first_us).c_str(), 2 * burst * 1e6 / double(std::max(1LL, drain.last_us - drain.first_us)),
                ms(drain.longest_round_trip_us).c_str(),
                ms(drain.longest_gap_us).c_str(), drain.polls, drain.slow_polls);
    if (redraw_off) {
        for (int m = 0; m < 2; ++m) {
            SendMessageA(list[m], WM_SETREDRAW, TRUE, 0);
            InvalidateRect(list[m], nullptr, TRUE);
        }
    }
    check(all, "every line of the burst reached the lists",
          "newest " + number(poll.newest[0]) + " and " + number(poll.newest[1]));
    for (int m = 0; m < 2; ++m) {
        const long long oldest = poll.count[m] > 0 ? last_number(list_line(list[m], 0)) : -1;
        const long long bound = std::min<long long>(wanted[m] + burst, LINE_STORE_LINES);
        std::printf("burst: modem %d list ends with %d lines, numbered %lld to %lld\n", m + 1, poll.count[m], oldest, poll.newest[m]);
        check(poll.count[m] == bound && oldest == last_wanted[m] + 1 - bound && poll.newest[m] == last_wanted[m],
              ("modem " + number(m + 1) + " list stays at its bound, the oldest lines dropped").c_str(),
              number(poll.count[m]) + " lines, oldest " + number(oldest));
    }
}

// CPU time of this thread, microseconds.
static long long thread_cpu_us() {
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    const auto us = [](FILETIME t) { return ((long long)t.dwHighDateTime << 32 | t.dwLowDateTime) / 10; };
    return us(kernel) + us(user);
}

// Runs the window messages that are queued (paints among them).
static void pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

// The cost of each list box operation that the status windows do per line,
// in a list box of LineWatch.exe's style in a window of this process: adds
// up to `lines` lines, then per line on the full list the oldest's delete,
// the add, the scroll to the newest and the width measurement, each timed
// over a block of lines, wall clock and CPU time of this thread.
static int measure_list_costs(int lines) {
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "ListCostProbe";
    RegisterClassA(&window_class);
    HWND frame = CreateWindowExA(0, "ListCostProbe", "list costs", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 300,
                                 nullptr, nullptr, window_class.hInstance, nullptr);
    HWND list = CreateWindowExA(0, "LISTBOX", nullptr, 0x50300D48 | LBS_USETABSTOPS, 0, 0, 480, 260, frame, nullptr,
                                window_class.hInstance, nullptr);
    pump();
    char line[64];
    long long number_fed = 0;
    const auto text = [&] {
        std::snprintf(line, sizeof line, "Equalizer center tap offset:\t%lld\t", number_fed++);
        return line;
    };
    HDC dc = GetDC(list);
    struct Block {
        const char *what;
        long long wall_us, cpu_us;
    };
    const auto timed = [](const char *what, int count, auto step) {
        const long long wall = now_us(), cpu = thread_cpu_us();
        for (int i = 0; i < count; ++i) {
            step(i);
        }
        return Block{what, now_us() - wall, thread_cpu_us() - cpu};
    };
    const auto show = [](const Block &block, int count) {
        std::printf("list costs: %-52s %8.1f us wall, %8.1f us CPU per line (%d lines)\n", block.what,
                    double(block.wall_us) / count, double(block.cpu_us) / count, count);
    };
    const auto add_measure_scroll = [&](int) {
        const LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, LPARAM(text()));
        TEXTMETRICA metrics;
        GetTabbedTextExtentA(dc, line, int(strlen(line)), 0, nullptr);
        GetTextMetricsA(dc, &metrics);
        SendMessageA(list, LB_SETTOPINDEX, WPARAM(index), 0);
    };
    // The fill as the status windows do it, the window hidden (blocks of
    // 10,000), then the first block again with the window shown.
    ShowWindow(frame, SW_HIDE);
    for (int done = 0; done < lines; done += 10000) {
        const int count = std::min(10000, lines - done);
        char what[64];
        std::snprintf(what, sizeof what, "hidden: add+measure+scroll, %d to %d lines", done, done + count);
        show(timed(what, count, add_measure_scroll), count);
    }
    ShowWindow(frame, SW_SHOW);
    UpdateWindow(frame);
    pump();
    const int block = 1000;
    std::printf("list costs: the list holds %d lines, shown\n", list_count(list));
    show(timed("LB_DELETESTRING of the oldest", block, [&](int) { SendMessageA(list, LB_DELETESTRING, 0, 0); }), block);
    show(timed("LB_ADDSTRING at the end", block, [&](int) { SendMessageA(list, LB_ADDSTRING, 0, LPARAM(text())); }), block);
    show(timed("LB_SETTOPINDEX to the newest", block,
               [&](int i) { SendMessageA(list, LB_SETTOPINDEX, WPARAM(list_count(list) - block + i), 0); }),
         block);
    show(timed("GetTabbedTextExtentA + GetTextMetricsA", block,
               [&](int) {
                   TEXTMETRICA metrics;
                   GetTabbedTextExtentA(dc, line, int(strlen(line)), 0, nullptr);
                   GetTextMetricsA(dc, &metrics);
               }),
         block);
    show(timed("paint after those (messages pumped)", 1, [&](int) { UpdateWindow(list); pump(); }), 1);
    // One tick's sync as the status windows do it: the oldest go, then per
    // line the add, the width measure and the scroll to the newest.
    {
        const long long wall = now_us(), cpu = thread_cpu_us();
        for (int i = 0; i < block; ++i) {
            SendMessageA(list, LB_DELETESTRING, 0, 0);
        }
        for (int i = 0; i < block; ++i) {
            add_measure_scroll(i);
        }
        UpdateWindow(list);
        pump();
        show(Block{"sync as today: deletes, add+measure+scroll per line, paint", now_us() - wall, thread_cpu_us() - cpu}, block);
    }
    // The same with the list's redraw off for the batch: one scroll to the
    // newest at the end, then one repaint.
    {
        const long long wall = now_us(), cpu = thread_cpu_us();
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        LRESULT index = 0;
        for (int i = 0; i < block; ++i) {
            SendMessageA(list, LB_DELETESTRING, 0, 0);
        }
        show(Block{"  of which the deletes, redraw off", now_us() - wall, thread_cpu_us() - cpu}, block);
        for (int i = 0; i < block; ++i) {
            index = SendMessageA(list, LB_ADDSTRING, 0, LPARAM(text()));
            TEXTMETRICA metrics;
            GetTabbedTextExtentA(dc, line, int(strlen(line)), 0, nullptr);
            GetTextMetricsA(dc, &metrics);
        }
        SendMessageA(list, LB_SETTOPINDEX, WPARAM(index), 0);
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
        UpdateWindow(list);
        pump();
        show(Block{"sync, redraw off: deletes, adds, one scroll, paint", now_us() - wall, thread_cpu_us() - cpu}, block);
    }
    // Redraw off, but still a scroll to the newest per line.
    {
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        show(timed("redraw off: delete+add+measure+scroll per line", block,
                   [&](int i) {
                       SendMessageA(list, LB_DELETESTRING, 0, 0);
                       add_measure_scroll(i);
                   }),
             block);
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
        pump();
    }
    std::printf("list costs: the list holds %d lines\n", list_count(list));
    ReleaseDC(list, dc);
    DestroyWindow(frame);
    return 0;
}

// --- Sessions: the File menu's Record Session..., Stop Recording and Open
// Session..., and Monitor > Call Summary.

// A window's text, asked of the window itself (GetWindowText gives only
// the captions of another process's windows).
static std::string window_text(HWND window) {
    const int length = int(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    const int got = int(SendMessageW(window, WM_GETTEXT, WPARAM(length + 1), reinterpret_cast<LPARAM>(wide.data())));
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), got, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), got, text.data(), bytes, nullptr, nullptr);
    return text;
}

// Chooses `path` in LineWatch.exe's common file dialog captioned `caption`,
// as a user types it into the file name field and presses the dialog's
// button. False when no such dialog came or it did not close.
static bool choose_in_file_dialog(const char *caption, DWORD process_id, const std::string &path) {
    HWND dialog = nullptr;
    if (!wait_until([&] { return message_boxes(caption, process_id, &dialog) == 1; }, 15000)) {
        return false;
    }
    // The file name field: the edit of the combo box cmb13, or edt1.
    HWND field = FindWindowExW(GetDlgItem(dialog, 0x47c), nullptr, L"Edit", nullptr);
    if (field == nullptr) field = GetDlgItem(dialog, 0x480);
    if (field == nullptr) field = GetDlgItem(dialog, 0x47c);
    if (field == nullptr) {
        return false;
    }
    std::wstring wide(path.begin(), path.end());
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    return wait_until([&] { return message_boxes(caption, process_id, &dialog) == 0; }, 15000);
}

static bool write_text_file(const std::string &path, const std::string &text) {
    FILE *out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    std::fwrite(text.data(), 1, text.size(), out);
    return std::fclose(out) == 0;
}

// The call summary child's text, CR LF turned into LF.
static std::string summary_text(HWND calls) {
    HWND edit = FindWindowExW(calls, nullptr, L"Edit", nullptr);
    std::string text = edit != nullptr ? window_text(edit) : "<no edit control>";
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// Holds still while the caller takes a picture of the screen: creates
// WORKDIR\shot-NAME and waits (at most 20 s) for WORKDIR\shot-NAME.done.
static void pause_for_shot(const std::string &workdir, const char *name) {
    const std::string marker = workdir + "\\shot-" + name;
    write_text_file(marker, "");
    const std::string done = marker + ".done";
    wait_until([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000);
}

static void dump_lists(const HWND list[2], const std::string &workdir, const char *suffix) {
    for (int m = 0; m < 2; ++m) {
        check(dump_list(list[m], workdir + "\\list" + number(m + 1) + suffix + ".txt"),
              ("modem " + number(m + 1) + "'s list written").c_str());
    }
}


// --- The Calls view: its list of calls, a selected call's summary, two
// calls compared, the timeline's marks and the exports, driven from
// outside. What it shows goes to WORKDIR for the caller to compare with
// tarvel-decode --calls of the same session.

// The list views of the Calls child and its parts, by control id.
constexpr int CALLS_LIST_ID = 70, CALLS_COMPARE_ID = 72, CALLS_TIMELINE_ID = 73, CALLS_EYE_ID = 74, CALLS_EYE_CAPTION_ID = 78;
constexpr int CALLS_EXPORT_LIST_ID = 75, CALLS_EXPORT_CALL_ID = 76;
// Asked of the timeline: the centre of mark N (events' marks, then
// findings') as MAKELONG(x, y), or -1.
constexpr UINT TIMELINE_MARK_AT = WM_APP + 2;

// A block of LineWatch.exe's memory for the list view messages that take
// a pointer (an item and its text), freed with the value.
struct RemoteBlock {
    HANDLE process;
    char *at;
    static constexpr size_t TEXT_CHARS = 1024;
    explicit RemoteBlock(HANDLE p)
        : process(p), at(static_cast<char *>(VirtualAllocEx(p, nullptr, sizeof(LVITEMW) + TEXT_CHARS * sizeof(wchar_t),
                                                            MEM_COMMIT, PAGE_READWRITE))) {}
    ~RemoteBlock() {
        if (at != nullptr) VirtualFreeEx(process, at, 0, MEM_RELEASE);
    }
    wchar_t *text() const { return reinterpret_cast<wchar_t *>(at + sizeof(LVITEMW)); }
    // The UTF-16 text at text(), `length` characters, as ANSI bytes.
    std::string read_text(LRESULT length) const {
        if (length <= 0) return "";
        wchar_t wide[TEXT_CHARS] = {};
        const size_t chars = std::min<size_t>(size_t(length), TEXT_CHARS - 1);
        ReadProcessMemory(process, text(), wide, chars * sizeof(wchar_t), nullptr);
        char bytes[4 * TEXT_CHARS] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, int(chars), bytes, sizeof bytes - 1, nullptr, nullptr);
        return bytes;
    }
};

static std::string list_view_text(HANDLE process, HWND view, int row, int column) {
    RemoteBlock block(process);
    if (block.at == nullptr) return "<no memory>";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = block.text();
    item.cchTextMax = int(RemoteBlock::TEXT_CHARS);
    WriteProcessMemory(process, block.at, &item, sizeof item, nullptr);
    return block.read_text(SendMessageW(view, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(block.at)));
}

static std::string list_view_header(HANDLE process, HWND view, int column) {
    RemoteBlock block(process);
    if (block.at == nullptr) return "<no memory>";
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT;
    header.pszText = block.text();
    header.cchTextMax = int(RemoteBlock::TEXT_CHARS);
    WriteProcessMemory(process, block.at, &header, sizeof header, nullptr);
    if (!SendMessageW(view, LVM_GETCOLUMNW, WPARAM(column), reinterpret_cast<LPARAM>(block.at))) return "";
    std::wstring wide(RemoteBlock::TEXT_CHARS, L'\0');
    ReadProcessMemory(process, block.text(), wide.data(), (RemoteBlock::TEXT_CHARS - 1) * sizeof(wchar_t), nullptr);
    return block.read_text(LRESULT(wcslen(wide.c_str())));
}

static int list_view_count(HWND view) { return int(SendMessageW(view, LVM_GETITEMCOUNT, 0, 0)); }

static int list_view_columns(HWND view) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(view, LVM_GETHEADER, 0, 0));
    return header != nullptr ? int(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

// Selects the rows given (a click, a Ctrl+click), the others not.
static void list_view_select(HANDLE process, HWND view, std::initializer_list<int> rows) {
    RemoteBlock block(process);
    if (block.at == nullptr) return;
    const auto set = [&](int row, UINT state) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = state;
        WriteProcessMemory(process, block.at, &item, sizeof item, nullptr);
        SendMessageW(view, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(block.at));
    };
    set(-1, 0);
    for (int row : rows) set(row, LVIS_SELECTED | LVIS_FOCUSED);
}

// The header and every row of a list view, TAB between the cells, LF after each row.
static std::string list_view_rows(HANDLE process, HWND view) {
    const int columns = list_view_columns(view);
    std::string text;
    for (int c = 0; c < columns; ++c) {
        if (c > 0) text += '\t';
        text += list_view_header(process, view, c);
    }
    text += '\n';
    for (int row = 0; row < list_view_count(view); ++row) {
        for (int c = 0; c < columns; ++c) {
            if (c > 0) text += '\t';
            text += list_view_text(process, view, row, c);
        }
        text += '\n';
    }
    return text;
}

static std::string file_text(const std::string &path);

// Chooses a file in an export's save dialog; a question whether to replace
// a file that the name became is answered Yes, its text kept in `asked`.
// True once `written` holds something other than `before`.
static bool export_to(HWND calls, int button, const char *title, DWORD pid, const std::string &path,
                      const std::string &written, const std::string &before, std::string *asked) {
    PostMessageA(calls, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(calls, button)));
    if (!choose_in_file_dialog(title, pid, path)) return false;
    HWND box = nullptr;
    if (asked != nullptr && wait_until([&] { return message_boxes("LineWatch", pid, &box) == 1; }, 5000)) {
        *asked = box_text(box);
        PostMessageA(box, WM_COMMAND, IDYES, 0);
        wait_until([&] { return message_boxes("LineWatch", pid, &box) == 0; }, 5000);
    }
    return wait_until([&] { const std::string now = file_text(written); return now != before && now != "<no file>"; }, 10000);
}

static std::string file_text(const std::string &path) {
    std::string text;
    FILE *in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return "<no file>";
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
    std::fclose(in);
    return text;
}

// Clicks mark `mark` of the timeline (drawn where it says: not on white)
// and checks that one status line of `modem` is selected and the eye's
// caption names the moment, its points drawn when it has some; what was
// selected goes to `file`: "modem M line L", the line, the caption.
static void click_timeline_mark(HWND timeline, HWND eye, HWND caption, HWND list, int modem, int mark,
                                const std::string &file, const char *which) {
    const LRESULT at = SendMessageW(timeline, TIMELINE_MARK_AT, WPARAM(mark), 0);
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    ClientToScreen(timeline, &point);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, point.x, point.y);
    ReleaseDC(nullptr, screen);
    char shown[16];
    std::snprintf(shown, sizeof shown, "%06lX", static_cast<unsigned long>(colour));
    check(colour != RGB(255, 255, 255) && colour != CLR_INVALID, (std::string(which) + " mark is drawn where the timeline says").c_str(),
          shown);
    SendMessageW(list, LB_SETSEL, FALSE, -1);
    const std::string before = window_text(caption);
    PostMessageW(timeline, WM_LBUTTONDOWN, MK_LBUTTON, LPARAM(at));
    PostMessageW(timeline, WM_LBUTTONUP, 0, LPARAM(at));
    std::string picked;
    const bool selected = wait_until([&] { return (picked = selection(list)).find(' ') != 0; }, 5000);
    const int index = selected ? std::atoi(picked.c_str()) : -1;
    std::string text;
    wait_until([&] { return (text = window_text(caption)) != before; }, 2000);
    check(selected && picked.find(',') == std::string::npos && text.find(" at +") != std::string::npos,
          ("a click on " + std::string(which) + " mark selects one status line and names the eye's moment").c_str(),
          picked + "; " + text);
    if (text.find("last ") != std::string::npos) {
        Sleep(300);
        const WhitePixels drawn = white_pixels(eye);
        check(drawn.white + drawn.other > 0, "the frozen eye of that moment shows its points",
              number(drawn.white) + " white, " + number(drawn.other) + " grey");
    }
    write_text_file(file, "modem " + number(modem) + " line " + number(index) + "\n" + list_line(list, index) + "\n" + text + "\n");
}

// The Calls child of the opened session: the list, each call's summary,
// two compared, a click on the timeline's first mark, the exports.
static void check_calls_view(const PROCESS_INFORMATION &process, HWND main, const HWND list[2], const std::string &workdir) {
    const HANDLE handle = process.hProcess;
    const DWORD pid = process.dwProcessId;
    HWND calls = FindWindowExA(main, nullptr, "CallSummaryClass", "Call Summary");
    HWND view = calls != nullptr ? GetDlgItem(calls, CALLS_LIST_ID) : nullptr;
    HWND compare = calls != nullptr ? GetDlgItem(calls, CALLS_COMPARE_ID) : nullptr;
    HWND timeline = calls != nullptr ? GetDlgItem(calls, CALLS_TIMELINE_ID) : nullptr;
    HWND caption = calls != nullptr ? GetDlgItem(calls, CALLS_EYE_CAPTION_ID) : nullptr;
    HWND summary = calls != nullptr ? FindWindowExW(calls, nullptr, L"Edit", nullptr) : nullptr;
    check(view != nullptr && compare != nullptr && timeline != nullptr && caption != nullptr && summary != nullptr,
          "the Calls view has its list, comparison, timeline, eye caption and summary");
    if (view == nullptr || compare == nullptr || timeline == nullptr || caption == nullptr || summary == nullptr) return;

    wait_until([&] { return list_view_count(view) > 0; }, 5000);
    const int rows = list_view_count(view);
    check(rows >= 1 && list_view_columns(view) == 10, "the list of calls shows the session's calls in 10 columns",
          number(rows) + " rows, " + number(list_view_columns(view)) + " columns");
    write_text_file(workdir + "\\calls-list.txt", list_view_rows(handle, view));

    // Each call selected alone: its summary, headed by its modem and number.
    std::string before = summary_text(calls);
    bool all_headed = true;
    for (int row = 0; row < rows; ++row) {
        list_view_select(handle, view, {row});
        std::string text;
        wait_until([&] { return (text = summary_text(calls)) != before && text.rfind("Modem " + list_view_text(handle, view, row, 0) + ", call ", 0) == 0; }, 5000);
        all_headed = all_headed && text.rfind("Modem " + list_view_text(handle, view, row, 0) + ", call ", 0) == 0;
        write_text_file(workdir + "\\calls-summary-" + number(row) + ".txt", text);
        before = text;
    }
    check(all_headed, "selecting each call shows its summary, headed by its modem and call number");

    // The newest call's timeline: its first mark and its last (a finding's,
    // where the call has one) clicked, each selects the status line of its
    // moment and shows the eye's caption.
    list_view_select(handle, view, {0});
    Sleep(300);
    const int modem = std::atoi(list_view_text(handle, view, 0, 0).c_str());
    int marks = 0;
    while (marks < 1000 && SendMessageW(timeline, TIMELINE_MARK_AT, WPARAM(marks), 0) != -1) ++marks;
    check(marks > 0 && (modem == 1 || modem == 2), "the newest call's timeline has marks",
          number(marks) + " marks, modem " + number(modem));
    if (marks > 0 && (modem == 1 || modem == 2)) {
        click_timeline_mark(timeline, GetDlgItem(calls, CALLS_EYE_ID), caption, list[modem - 1], modem, 0,
                            workdir + "\\calls-click.txt", "the first");
        pause_for_shot(workdir, "calls-timeline");
        click_timeline_mark(timeline, GetDlgItem(calls, CALLS_EYE_ID), caption, list[modem - 1], modem, marks - 1,
                            workdir + "\\calls-click-last.txt", "the last");
    }

    // The exports of the selected call and of the list.
    const std::string none = "<no file>";
    const auto exported_as = [&](int button, const char *title, const char *name) {
        const std::string path = workdir + "\\" + name;
        return export_to(calls, button, title, pid, path, path, none, nullptr);
    };
    const bool call_files = exported_as(CALLS_EXPORT_CALL_ID, "Export Call", "call.json") &&
                            exported_as(CALLS_EXPORT_CALL_ID, "Export Call", "call.csv");
    check(call_files, "Export Call... writes the selected call as JSON and as CSV", file_text(workdir + "\\call.json").substr(0, 40));
    const bool list_files = exported_as(CALLS_EXPORT_LIST_ID, "Export Calls", "calls.json") &&
                            exported_as(CALLS_EXPORT_LIST_ID, "Export Calls", "calls.csv");
    check(list_files, "Export List... writes the calls as JSON and as CSV", file_text(workdir + "\\calls.csv").substr(0, 40));
    // A name without its extension becomes calls.csv, which is there:
    // the question names that file, and Yes replaces it.
    const std::string exported = file_text(workdir + "\\calls.csv");
    write_text_file(workdir + "\\calls.csv", "older\r\n");
    std::string asked;
    const bool replaced = export_to(calls, CALLS_EXPORT_LIST_ID, "Export Calls", pid, workdir + "\\calls", workdir + "\\calls.csv", "older\r\n",
              &asked);
    std::replace(asked.begin(), asked.end(), '\n', ' ');
    check(replaced && asked.find("calls.csv already exists") != std::string::npos && file_text(workdir + "\\calls.csv") == exported,
          "a name that gains its extension asks about the file written, and Yes replaces it", asked);
    check(GetFileAttributesA((workdir + "\\calls.csv.part").c_str()) == INVALID_FILE_ATTRIBUTES,
          "no temporary file is left beside the export");

    // Two calls compared: side by side, the differing rows marked.
    if (rows < 2) {
        std::printf("probe: one call, nothing to compare\n");
        return;
    }
    list_view_select(handle, view, {0, 1});
    const bool shown = wait_until([&] { return IsWindowVisible(compare) && !IsWindowVisible(summary) && list_view_count(compare) > 0; }, 5000);
    Sleep(200);
    const std::string compared = list_view_rows(handle, compare);
    check(shown && compared.find("\n*\t") != std::string::npos, "two calls selected are compared, differences marked \"*\"",
          compared.substr(0, compared.find('\n')));
    write_text_file(workdir + "\\calls-compare.txt", compared);
    pause_for_shot(workdir, "calls-compare");
    list_view_select(handle, view, {});
}


// --- The Calls view of a session with many calls: how long the window
// takes to answer while the view is shown, calls are selected one by one
// and two by two, and the list is scrolled from end to end.

// WM_NULL round trips to the main window every 2 ms from a thread of its
// own, while the probe drives the view; the longest and how many took
// more than 100 ms.
struct Pinger {
    HWND main;
    volatile LONG stop = 0;
    volatile LONG reset = 0;
    long long longest_us = 0, pings = 0, slow = 0;
    HANDLE thread = nullptr;

    static DWORD WINAPI run(void *context) {
        auto *self = static_cast<Pinger *>(context);
        while (!self->stop) {
            if (self->reset) {
                self->longest_us = self->pings = self->slow = 0;
                InterlockedExchange(&self->reset, 0);
            }
            const long long start = now_us();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(self->main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
            const long long took = now_us() - start;
            self->longest_us = std::max(self->longest_us, took);
            self->slow += took > 100000;
            ++self->pings;
            Sleep(2);
        }
        return 0;
    }
    // Starts a new stretch of measuring.
    void restart() {
        InterlockedExchange(&reset, 1);
        while (reset) Sleep(1);
    }
};

static void measure_calls_view(const PROCESS_INFORMATION &process, HWND main, int wanted_calls) {
    const HANDLE handle = process.hProcess;
    Pinger pinger;
    pinger.main = main;
    pinger.thread = CreateThread(nullptr, 0, Pinger::run, &pinger, 0, nullptr);
    const auto stretch = [&](const char *what, long long started_us) {
        std::printf("calls view: %-52s %8s, longest WM_NULL round trip %s, %lld round trips, %lld over 100 ms\n", what,
                    ms(now_us() - started_us).c_str(), ms(pinger.longest_us).c_str(), pinger.pings, pinger.slow);
        std::fflush(stdout);
    };
    long long longest = 0;
    const auto note = [&] { longest = std::max(longest, pinger.longest_us); };

    pinger.restart();
    long long t0 = now_us();
    SendMessageA(main, WM_COMMAND, 22, 0);
    HWND calls = FindWindowExA(main, nullptr, "CallSummaryClass", "Call Summary");
    HWND view = calls != nullptr ? GetDlgItem(calls, CALLS_LIST_ID) : nullptr;
    const bool listed = view != nullptr && wait_until([&] { return list_view_count(view) >= wanted_calls; }, 60000);
    stretch("Monitor > Call Summary shown, the list filled", t0);
    note();
    check(listed, ("the Calls view lists the " + number(wanted_calls) + " calls").c_str(),
          number(view != nullptr ? list_view_count(view) : -1) + " rows");
    if (!listed) {
        InterlockedExchange(&pinger.stop, 1);
        WaitForSingleObject(pinger.thread, 20000);
        return;
    }
    const int rows = list_view_count(view);
    HWND summary = FindWindowExW(calls, nullptr, L"Edit", nullptr);

    pinger.restart();
    t0 = now_us();
    int shown = 0;
    for (int row = 0; row < rows; row += std::max(1, rows / 100)) {
        const std::string before = summary_text(calls);
        list_view_select(handle, view, {row});
        SendMessageW(view, LVM_ENSUREVISIBLE, WPARAM(row), FALSE);
        shown += wait_until([&] { return summary_text(calls) != before; }, 5000);
    }
    stretch(("one call selected at a time (" + number(shown) + " calls)").c_str(), t0);
    note();

    pinger.restart();
    t0 = now_us();
    int compared = 0;
    for (int row = 0; row + 1 < rows; row += std::max(2, rows / 20)) {
        list_view_select(handle, view, {row, rows - 1 - row});
        compared += wait_until([&] { return !IsWindowVisible(summary); }, 5000);
        list_view_select(handle, view, {});
        wait_until([&] { return IsWindowVisible(summary); }, 5000);
    }
    stretch(("two calls compared (" + number(compared) + " pairs)").c_str(), t0);
    note();

    pinger.restart();
    t0 = now_us();
    for (int pass = 0; pass < 3; ++pass) {
        for (int row = 0; row < rows; row += 25) SendMessageW(view, LVM_ENSUREVISIBLE, WPARAM(row), FALSE);
        SendMessageW(view, LVM_ENSUREVISIBLE, WPARAM(rows - 1), FALSE);
        SendMessageW(view, LVM_ENSUREVISIBLE, 0, FALSE);
    }
    UpdateWindow(view);
    stretch("the list scrolled end to end three times", t0);
    note();

    InterlockedExchange(&pinger.stop, 1);
    WaitForSingleObject(pinger.thread, 20000);
    CloseHandle(pinger.thread);
    std::printf("calls view: %d calls, longest WM_NULL round trip of all %s\n", rows, ms(longest).c_str());
    check(shown > 0 && compared > 0, "calls selected and compared in the view of many calls",
          number(shown) + " selected, " + number(compared) + " pairs");
}

// Records the session that the player plays into WORKDIR\NAME through the
// menu, shows the call summary, stops, opens the file again and checks
// what the window shows of it. WORKDIR\recording tells the caller to start
// the player; the lists, the summaries and a cut file's message go to
// WORKDIR for the caller to compare.
static void check_sessions(const PROCESS_INFORMATION &process, HWND main, const HWND child[4], const HWND list[2],
                           const int wanted[2], const std::string &workdir, const std::string &name, bool eye_corner) {
    const DWORD pid = process.dwProcessId;
    const std::string path = workdir + "\\" + name;
    check(menu_enabled(main, 12) == "grayed" && menu_enabled(main, 11) == "enabled",
          "before recording: Record Session... enabled, Stop Recording grayed",
          menu_enabled(main, 11) + ", " + menu_enabled(main, 12));
    PostMessageA(main, WM_COMMAND, 11, 0);
    check(choose_in_file_dialog("Record Session", pid, path), "Record Session...: the save dialog takes the file name");
    const std::string recording_caption = "Line Watch - recording " + name + " (";
    const bool says = wait_until([&] { return window_text(main).rfind(recording_caption, 0) == 0; }, 5000);
    check(says, "the caption says that the window records, and into which file", window_text(main));
    check(menu_enabled(main, 11) == "grayed" && menu_enabled(main, 12) == "enabled",
          "while recording: Record Session... grayed, Stop Recording enabled",
          menu_enabled(main, 11) + ", " + menu_enabled(main, 12));
    write_text_file(workdir + "\\recording", "");

    for (int m = 0; m < 2; ++m) {
        const bool full = wait_until([&] { return list_count(list[m]) >= wanted[m]; }, 60000);
        check(full && list_count(list[m]) == wanted[m], ("modem " + number(m + 1) + " list holds the lines fed").c_str(),
              number(list_count(list[m])) + " of " + number(wanted[m]));
    }
    dump_lists(list, workdir, "");

    // Monitor > Call Summary: shown beside the lists, checked, the last calls in it.
    SendMessageA(main, WM_COMMAND, 22, 0);
    HWND calls = FindWindowExA(main, nullptr, "CallSummaryClass", "Call Summary");
    check(calls != nullptr && IsWindowVisible(calls) && menu_checked(main, 22) == 1,
          "Monitor > Call Summary shows the child \"Call Summary\", checked");
    std::string live;
    wait_until([&] { return (live = summary_text(calls)).find("\nModem 2, last call") != std::string::npos; }, 10000);
    check(live.rfind("Modem 1, last call", 0) == 0, "the live summary holds both modems' calls", live.substr(0, live.find('\n')));
    write_text_file(workdir + "\\summary-live.txt", live);
    pause_for_shot(workdir, "call-summary");
    // The File menu while recording, opened as Alt+F opens it.
    PostMessageA(main, WM_SYSCOMMAND, SC_KEYMENU, 'f');
    HWND popup = nullptr;
    check(wait_until([&] { return (popup = FindWindowA("#32768", nullptr)) != nullptr && IsWindowVisible(popup); }, 5000),
          "Alt+F opens the File menu");
    pause_for_shot(workdir, "file-menu");
    for (int k = 0; k < 2 && popup != nullptr; ++k) {
        PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(popup, WM_KEYUP, VK_ESCAPE, 0xC0000001);
        Sleep(200);
    }
    check(wait_until([&] { return (popup = FindWindowA("#32768", nullptr)) == nullptr || !IsWindowVisible(popup); }, 5000),
          "Escape closes the menu");

    SendMessageA(main, WM_COMMAND, 12, 0);
    check(window_text(main) == "Line Watch" && menu_enabled(main, 12) == "grayed" && menu_enabled(main, 11) == "enabled",
          "Stop Recording: the caption is \"Line Watch\" again, Record Session... enabled, Stop Recording grayed",
          window_text(main) + ", " + menu_enabled(main, 11) + ", " + menu_enabled(main, 12));

    // A file that is not a trace: a message naming the line, nothing changes.
    const int flag_before = recording_flag();
    const std::string bad = workdir + "\\not-a-trace.txt";
    write_text_file(bad, "rec 1 3 2400\nhello there\n");
    PostMessageA(main, WM_COMMAND, 13, 0);
    check(choose_in_file_dialog("Open Session", pid, bad), "Open Session...: the open dialog takes a file that is no trace");
    HWND box = nullptr;
    wait_until([&] { return message_boxes("LineWatch", pid, &box) == 1; }, 10000);
    const std::string message = box != nullptr ? box_text(box) : "<no box>";
    check(message.find("not-a-trace.txt:2:") != std::string::npos, "a message box names the file and its bad line",
          message);
    if (box != nullptr) {
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        wait_until([&] { return message_boxes("LineWatch", pid, &box) == 0; }, 5000);
    }
    check(window_text(main) == "Line Watch" && list_count(list[0]) == wanted[0] && recording_flag() == flag_before,
          "after it the window is live as before: caption, lines, captures",
          window_text(main) + ", " + number(list_count(list[0])) + " lines, flag " + number(recording_flag()));

    PostMessageA(main, WM_COMMAND, 13, 0);
    check(choose_in_file_dialog("Open Session", pid, path), "Open Session...: the open dialog takes the recorded file");
    const bool named = wait_until([&] { return window_text(main) == "Line Watch - " + name; }, 20000);
    check(named, "the caption names the opened file", window_text(main));
    // The lists show the file (cleared, then filled at once).
    Sleep(300);
    for (int m = 0; m < 2; ++m) {
        check(list_count(list[m]) == wanted[m], ("modem " + number(m + 1) + "'s list shows the session's lines").c_str(),
              number(list_count(list[m])) + " of " + number(wanted[m]));
    }
    dump_lists(list, workdir, ".open");
    check(recording_flag() == flag_before, "the live monitor goes on beside the opened session: captures as they were",
          number(recording_flag()));
    check(menu_enabled(main, 11) == "grayed", "an opened session offers no recording", menu_enabled(main, 11));
    if (eye_corner) {
        check_eye_corner(child);
    }
    std::string opened;
    wait_until([&] { return (opened = summary_text(calls)) != live; }, 5000);
    write_text_file(workdir + "\\summary-open.txt", opened);
    pause_for_shot(workdir, "opened");
    check_calls_view(process, main, list, workdir);
}

// --- The lists' tools and the replay, on the opened session: the filter
// field above modem 1's list (its count beside it), File > Save Modem 1
// List... and Shown Lines..., View > Time, Replay > Play, Step and the
// speeds, and a session file dropped on the window.

// The static control of a status window whose text holds " of ": the count.
static std::string count_text(HWND status) {
    for (HWND c = FindWindowExA(status, nullptr, "Static", nullptr); c != nullptr;
         c = FindWindowExA(status, c, "Static", nullptr)) {
        const std::string text = window_text(c);
        if (text.find(" of ") != std::string::npos) {
            return text;
        }
    }
    return "<no count>";
}

static void set_field(HWND field, const char *text) {
    std::wstring wide(text, text + std::strlen(text));
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

static bool saved(const char *caption, DWORD pid, HWND main, int id, const std::string &path) {
    DeleteFileA(path.c_str());
    PostMessageA(main, WM_COMMAND, WPARAM(id), 0);
    return choose_in_file_dialog(caption, pid, path) &&
           wait_until([&] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
}

static std::string first_line_of(const std::string &path) {
    FILE *in = std::fopen(path.c_str(), "rb");
    char line[512] = "";
    if (in != nullptr) {
        if (std::fgets(line, sizeof line, in) == nullptr) line[0] = '\0';
        std::fclose(in);
    }
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// A wall-clock time column: "hh:mm:ss.mmm" and a TAB before the line.
static bool has_wall_time(const std::string &row, const std::string &line) {
    return row.size() == line.size() + 13 && row[2] == ':' && row[5] == ':' && row[8] == '.' && row[12] == '\t' &&
           row.compare(13, std::string::npos, line) == 0;
}

static void check_list_tools(const PROCESS_INFORMATION &process, HWND main, const HWND child[4], const HWND list[2],
                             const std::string &workdir, const std::string &filter) {
    const DWORD pid = process.dwProcessId;
    HWND field = FindWindowExA(child[0], nullptr, "Edit", nullptr);
    check(field != nullptr, "modem 1's status window has a filter field");
    if (field == nullptr) return;
    const int all = list_count(list[0]);
    check(count_text(child[0]) == number(all) + " of " + number(all), "the count beside the field: every line shown",
          count_text(child[0]));
    set_field(field, filter.c_str());
    const bool fewer = wait_until([&] { return list_count(list[0]) < all; }, 5000);
    Sleep(300);
    const int shown = list_count(list[0]);
    check(fewer && shown > 0, ("the filter \"" + filter + "\" keeps some of modem 1's lines").c_str(),
          number(shown) + " of " + number(all));
    check(count_text(child[0]) == number(shown) + " of " + number(all), "the count says how many the filter shows",
          count_text(child[0]));
    dump_lists(list, workdir, ".filtered");
    check(saved("Save Modem 1 List", pid, main, 52, workdir + "\\shown1.txt"),
          "File > Save Modem 1 Shown Lines... saves into the file chosen");
    check(saved("Save Modem 1 List", pid, main, 50, workdir + "\\all1.txt"),
          "File > Save Modem 1 List... saves into the file chosen");

    // View > Time > Wall Clock: each row gains its time, the radio mark moves.
    const std::string before = list_line(list[0], 0);
    SendMessageA(main, WM_COMMAND, 55, 0);
    wait_until([&] { return list_line(list[0], 0) != before; }, 5000);
    check(has_wall_time(list_line(list[0], 0), before) && list_count(list[0]) == shown,
          "View > Time > Wall Clock: the time and a TAB before each line", list_line(list[0], 0));
    check(menu_checked(main, 55) == 1 && menu_checked(main, 54) == 0, "the time format checked in the menu",
          number(menu_checked(main, 54)) + " " + number(menu_checked(main, 55)));
    check(saved("Save Modem 1 List", pid, main, 52, workdir + "\\shown1-time.csv"),
          "Save Shown Lines... as CSV, with the time column");
    check(first_line_of(workdir + "\\shown1-time.csv") == "time,modem,text", "the CSV starts with its header",
          first_line_of(workdir + "\\shown1-time.csv"));
    pause_for_shot(workdir, "list-tools");
    SendMessageA(main, WM_COMMAND, 54, 0);
    wait_until([&] { return list_line(list[0], 0) == before; }, 5000);
    check(list_line(list[0], 0) == before && menu_checked(main, 54) == 1, "View > Time > None: the lines as before");
    set_field(field, "");
    check(wait_until([&] { return list_count(list[0]) == all; }, 5000) &&
              count_text(child[0]) == number(all) + " of " + number(all),
          "an empty filter shows every line again", count_text(child[0]));
}

static void check_replay(HWND main, const HWND list[2], const int wanted[2], const std::string &workdir) {
    check(menu_enabled(main, 60) == "enabled" && menu_enabled(main, 61) == "grayed" &&
              menu_enabled(main, 62) == "enabled",
          "an opened session: Replay > Play and Step enabled, Pause grayed",
          menu_enabled(main, 60) + " " + menu_enabled(main, 61) + " " + menu_enabled(main, 62));
    SendMessageA(main, WM_COMMAND, 64, 0);
    check(menu_checked(main, 64) == 1 && menu_checked(main, 63) == 0, "Replay > Speed > 10x checked");
    SendMessageA(main, WM_COMMAND, 62, 0);
    check(menu_enabled(main, 60) == "enabled" && menu_enabled(main, 61) == "grayed",
          "Replay > Step: one round, paused", number(list_count(list[0])) + " lines after it");
    SendMessageA(main, WM_COMMAND, 65, 0);
    SendMessageA(main, WM_COMMAND, 60, 0);
    check(menu_enabled(main, 61) == "enabled" || menu_enabled(main, 60) == "enabled",
          "Replay > Play: Pause enabled while it plays");
    // As fast as possible: over when Play is offered again.
    HWND bar = FindWindowExA(main, nullptr, "msctls_statusbar32", nullptr);
    const bool ended = wait_until([&] {
        return bar != nullptr && window_text(bar).rfind("Replay ended: the whole session was played", 0) == 0;
    }, 60000);
    check(ended && menu_enabled(main, 60) == "enabled", "the replay plays to the session's end, as the status bar says",
          bar != nullptr ? window_text(bar) : "<no status bar>");
    for (int m = 0; m < 2; ++m) {
        check(list_count(list[m]) == wanted[m], ("the replay shows every line of modem " + number(m + 1)).c_str(),
              number(list_count(list[m])) + " of " + number(wanted[m]));
    }
    dump_lists(list, workdir, ".replay");
    check(menu_enabled(main, 11) == "grayed", "a replayed session still offers no recording");
}

// A session file dropped on the window, as the shell's drag and drop hands
// it over: a DROPFILES block in LineWatch.exe's memory, posted as WM_DROPFILES.
static bool drop_file(const PROCESS_INFORMATION &process, HWND main, const std::string &path);

static void check_drop(const PROCESS_INFORMATION &process, HWND main, const std::string &workdir,
                       const std::string &name) {
    const std::string dropped = workdir + "\\dropped.trace.gz";
    check(CopyFileA((workdir + "\\" + name).c_str(), dropped.c_str(), FALSE) != 0, "a copy of the session to drop");
    check(drop_file(process, main, dropped), "the dropped file's block in LineWatch.exe's memory");
    const bool opened = wait_until([&] { return window_text(main) == "Line Watch - dropped.trace.gz"; }, 20000);
    check(opened, "a session file dropped on the window opens", window_text(main));
}

// Drops `path` on the window (see check_drop). False when the block could not be written.
static bool drop_file(const PROCESS_INFORMATION &process, HWND main, const std::string &path) {
    std::string block(sizeof(DROPFILES), '\0');
    DROPFILES head{};
    head.pFiles = sizeof head;
    std::memcpy(block.data(), &head, sizeof head);
    block += path;
    block.append(2, '\0');
    void *remote = VirtualAllocEx(process.hProcess, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr || !WriteProcessMemory(process.hProcess, remote, block.data(), block.size(), nullptr)) {
        return false;
    }
    return PostMessageA(main, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) != 0;
}

// A session big enough to take a while: the progress window shows, the
// main window answers while the file is read, and Cancel gives the read up
// with nothing changed.
static void check_open_progress(const PROCESS_INFORMATION &process, HWND main, const HWND list[2],
                                const std::string &workdir) {
    const std::string big = workdir + "\\big.trace";
    FILE *out = std::fopen(big.c_str(), "wb");
    if (out == nullptr) {
        check(false, "a big session written");
        return;
    }
    std::fputs("active 2\n", out);
    for (int i = 0; i < 3000000; ++i) {
        std::fprintf(out, "rec 1 65 20 %d\n", i);
    }
    std::fclose(out);
    const std::string caption = window_text(main);
    const int lines = list_count(list[0]);
    check(drop_file(process, main, big), "the big session dropped on the window");
    HWND progress = nullptr;
    const bool shown = wait_until([&] {
        progress = FindWindowA("LineWatchOpenProgress", "Open Session");
        return progress != nullptr && IsWindowVisible(progress);
    }, 20000);
    check(shown && GetWindow(progress, GW_OWNER) == main && !IsWindowEnabled(main),
          "a modal progress window \"Open Session\" while the file is read");
    if (!shown) return;
    HWND bar = FindWindowExA(progress, nullptr, "msctls_progress32", nullptr);
    HWND cancel = FindWindowExA(progress, nullptr, "Button", "Cancel");
    check(bar != nullptr && cancel != nullptr, "the progress window has a progress bar and a Cancel button");
    long long longest = 0;
    LRESULT position = 0;
    for (int k = 0; k < 10; ++k) {
        const long long t0 = now_us();
        DWORD_PTR result = 0;
        SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
        longest = std::max(longest, now_us() - t0);
        position = std::max(position, SendMessageA(bar, PBM_GETPOS, 0, 0));
        Sleep(50);
    }
    check(longest < 200000, "the main window answers while the file is read", "longest WM_NULL " + ms(longest));
    check(position > 0 && position <= 1000, "the bar moves on with the file read", number(position) + " of 1000");
    PostMessageA(progress, WM_COMMAND, IDCANCEL, 0);
    const bool gone = wait_until([&] { return !IsWindow(progress) && IsWindowEnabled(main); }, 10000);
    Sleep(500);
    HWND box = nullptr;
    check(gone && message_boxes("LineWatch", process.dwProcessId, &box) == 0 && window_text(main) == caption &&
              list_count(list[0]) == lines,
          "Cancel: the window as it was, no message", window_text(main) + ", " + number(list_count(list[0])) + " lines");
    // Once more for a picture of the progress window, given up after it.
    if (drop_file(process, main, big) && wait_until([&] {
            progress = FindWindowA("LineWatchOpenProgress", "Open Session");
            return progress != nullptr && IsWindowVisible(progress);
        }, 20000)) {
        pause_for_shot(workdir, "open-progress");
        PostMessageA(progress, WM_COMMAND, IDCANCEL, 0);
        wait_until([&] { return !IsWindow(progress) && IsWindowEnabled(main); }, 10000);
    }
}

// The list follows the newest line while its last row is in view, and
// stays where the user scrolled otherwise (lines keep arriving).
static void check_follow(HWND list) {
    SendMessageA(list, LB_SETTOPINDEX, 0, 0);
    int count = list_count(list);
    const bool grew = wait_until([&] { return list_count(list) > count + 2; }, 10000);
    check(grew && SendMessageA(list, LB_GETTOPINDEX, 0, 0) == 0, "scrolled to the top, the list stays there as lines arrive",
          "top " + number(SendMessageA(list, LB_GETTOPINDEX, 0, 0)));
    SendMessageA(list, LB_SETTOPINDEX, WPARAM(list_count(list) - 1), 0);
    count = list_count(list);
    wait_until([&] { return list_count(list) > count + 2; }, 10000);
    RECT client;
    GetClientRect(list, &client);
    const LRESULT item = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    const LRESULT rows = item > 0 ? client.bottom / item : 1;
    const LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    check(top + rows >= list_count(list) && list_count(list) > count,
          "at the bottom, the list follows the newest line", "top " + number(top) + ", " + number(rows) + " rows, " +
                                                               number(list_count(list)) + " lines");
}

// Records into WORKDIR\NAME on a disk too small for it: the first write
// that fails stops the recording with a message box saying why, the caption
// and the menu say that nothing is recorded, and the lines fed after it
// still arrive.
static void check_recording_failure(const PROCESS_INFORMATION &process, HWND main, const HWND list[2],
                                    const int wanted[2], const std::string &workdir, const std::string &name) {
    const DWORD pid = process.dwProcessId;
    PostMessageA(main, WM_COMMAND, 11, 0);
    check(choose_in_file_dialog("Record Session", pid, workdir + "\\" + name),
          "Record Session...: the save dialog takes a file on a full disk");
    write_text_file(workdir + "\\recording", "");
    HWND box = nullptr;
    wait_until([&] { return message_boxes("LineWatch", pid, &box) == 1; }, 30000);
    const std::string message = box != nullptr ? box_text(box) : "<no box>";
    check(message.find(name) != std::string::npos && message.find("recording stopped") != std::string::npos &&
              message.find("Monitoring goes on") != std::string::npos,
          "a write error stops the recording with a message box naming the file and the reason", message);
    const bool stopped = window_text(main) == "Line Watch" && menu_enabled(main, 12) == "grayed";
    check(stopped, "the caption and the menu show that nothing is recorded while the box is open",
          window_text(main) + ", Stop Recording " + menu_enabled(main, 12));
    if (box != nullptr) {
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    for (int m = 0; m < 2; ++m) {
        const bool full = wait_until([&] { return list_count(list[m]) >= wanted[m]; }, 60000);
        check(full && list_count(list[m]) == wanted[m],
              ("monitoring goes on: modem " + number(m + 1) + "'s list holds the lines fed after the error").c_str(),
              number(list_count(list[m])) + " of " + number(wanted[m]));
    }
}

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--list-costs") == 0) {
        return measure_list_costs(std::atoi(argv[2]));
    }
    if (argc < 5) {
        std::fprintf(stderr, "usage: linewatch_probe LINEWATCH.EXE WORKDIR LINES1 LINES2 [--at-least] [--warning] [--eye-corner] [--recording] [--hold MS] [--tail TEXT] [--caption TEXT] [--silence MS]\n"
                             "       linewatch_probe LINEWATCH.EXE WORKDIR LINES1 LINES2 --burst N [--redraw-off] [--wait MS]\n"
                             "       linewatch_probe LINEWATCH.EXE WORKDIR LINES1 LINES2 --session NAME\n"
                             "       linewatch_probe LINEWATCH.EXE WORKDIR LINES1 LINES2 --full-disk NAME\n"
                             "       linewatch_probe LINEWATCH.EXE WORKDIR LINES1 LINES2 --calls-timing CALLS [--tail TEXT --caption TEXT]\n"
                             "       linewatch_probe --list-costs LINES\n");
        return 2;
    }
    const std::string program = argv[1];
    const std::string workdir = argv[2];
    const int wanted[2] = {std::atoi(argv[3]), std::atoi(argv[4])};
    bool recording = false;
    bool at_least = false;
    bool warning = false;
    bool eye_corner = false;
    const char *tail = nullptr;
    int silence_ms = 0;
    int hold_ms = 0;
    int burst = 0;
    bool redraw_off = false;
    int calls_timing = 0;
    DWORD burst_wait_ms = 600000;
    std::string session;
    std::string full_disk;
    std::string caption = "Line Watch";
    std::string filter = "lapm";
    for (int i = 5; i < argc; ++i) {
        if (std::strcmp(argv[i], "--recording") == 0) {
            recording = true;
        } else if (std::strcmp(argv[i], "--at-least") == 0) {
            at_least = true;
        } else if (std::strcmp(argv[i], "--warning") == 0) {
            warning = true;
        } else if (std::strcmp(argv[i], "--eye-corner") == 0) {
            eye_corner = true;
        } else if (std::strcmp(argv[i], "--tail") == 0 && i + 1 < argc) {
            tail = argv[++i];
        } else if (std::strcmp(argv[i], "--silence") == 0 && i + 1 < argc) {
            silence_ms = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--hold") == 0 && i + 1 < argc) {
            hold_ms = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--burst") == 0 && i + 1 < argc) {
            burst = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--caption") == 0 && i + 1 < argc) {
            caption = argv[++i];
        } else if (std::strcmp(argv[i], "--full-disk") == 0 && i + 1 < argc) {
            full_disk = argv[++i];
        } else if (std::strcmp(argv[i], "--session") == 0 && i + 1 < argc) {
            session = argv[++i];
        } else if (std::strcmp(argv[i], "--filter") == 0 && i + 1 < argc) {
            filter = argv[++i];
        } else if (std::strcmp(argv[i], "--calls-timing") == 0 && i + 1 < argc) {
            calls_timing = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--redraw-off") == 0) {
            redraw_off = true;
        } else if (std::strcmp(argv[i], "--wait") == 0 && i + 1 < argc) {
            burst_wait_ms = DWORD(std::atoi(argv[++i]));
        }
    }

    std::string command = "\"" + program + "\"";
    if (tail != nullptr) {
        command += tail;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const DWORD started = GetTickCount();
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workdir.c_str(), &startup, &process)) {
        check(false, "LineWatch.exe started", "error " + number(GetLastError()));
        return 1;
    }
    WaitForInputIdle(process.hProcess, 10000);

    HWND main = nullptr;
    // The main window is found as soon as it exists, while its children are
    // still being made: wait until it is shown, which comes after that.
    wait_until([&] { return (main = FindWindowA("LineWatch", nullptr)) != nullptr && IsWindowVisible(main); },
               20000);
    // An opened file names itself in the caption once it is shown.
    // (Its text is asked of its thread, which answers once the file is in.)
    if (main != nullptr) {
        wait_until([&] { return window_text(main) == caption; }, 60000);
        std::printf("probe: caption \"%s\" %lu ms after the start\n", window_text(main).c_str(),
                    static_cast<unsigned long>(GetTickCount() - started));
    }
    check(main != nullptr && window_text(main) == caption, ("main window of class LineWatch, caption \"" + caption + "\"").c_str(),
          main != nullptr ? window_text(main) : "no window");
    if (main == nullptr) {
        TerminateProcess(process.hProcess, 1);
        return 1;
    }

    check(set_menu_hook(main), "message hook on LineWatch.exe's thread to read its menu");

    // The four children by class and caption, with their ids, visible.
    HWND child[4] = {};
    HWND list[2] = {};
    for (int c = 0; c < 4; ++c) {
        child[c] = FindWindowExA(main, nullptr, CHILDREN[c].window_class, CHILDREN[c].caption);
        check(child[c] != nullptr && GetDlgCtrlID(child[c]) == CHILDREN[c].id && IsWindowVisible(child[c]) &&
                  checked(main, CHILDREN[c].menu_id),
              (std::string("child ") + CHILDREN[c].window_class + " \"" + CHILDREN[c].caption + "\"").c_str(),
              "id " + number(child[c] ? GetDlgCtrlID(child[c]) : -1) + ", " + menu_and_window(main, CHILDREN[c].menu_id, child[c]) +
                  (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0 ? ", LineWatch.exe ended" : ""));
        if (c < 2 && child[c] != nullptr) {
            list[c] = FindWindowExA(child[c], nullptr, "ListBox", nullptr);
        }
    }
    if (!list[0] || !list[1] || !child[2] || !child[3]) {
        check(false, "both list boxes found");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    for (int m = 0; m < 2; ++m) {
        const LONG style = GetWindowLongA(list[m], GWL_STYLE);
        const LONG wanted_style = 0x50300D48 | LBS_USETABSTOPS;
        check((style & ~(WS_VSCROLL | WS_HSCROLL)) == (wanted_style & ~(WS_VSCROLL | WS_HSCROLL)),
              ("list box style of modem " + number(m + 1)).c_str(), "0x" + [&] {
                  char hex[16];
                  std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(style));
                  return std::string(hex);
              }());
    }

    if (silence_ms > 0 || burst > 0 || !session.empty() || !full_disk.empty() || calls_timing > 0) {
        if (calls_timing > 0) {
            measure_calls_view(process, main, calls_timing);
        } else if (!full_disk.empty()) {
            check_recording_failure(process, main, list, wanted, workdir, full_disk);
        } else if (!session.empty()) {
            check_sessions(process, main, child, list, wanted, workdir, session, eye_corner);
            check_list_tools(process, main, child, list, workdir, filter);
            check_replay(main, list, wanted, workdir);
            check_drop(process, main, workdir, session);
            check_open_progress(process, main, list, workdir);
        } else if (burst > 0) {
            measure_burst(main, child, list, wanted, burst, redraw_off, workdir, burst_wait_ms);
        } else {
            Sleep(DWORD(silence_ms));
            check(list_count(list[0]) == 0 && list_count(list[1]) == 0, "no line from a device that is not there",
                  number(list_count(list[0])) + " and " + number(list_count(list[1])) + " lines");
        }
        PostMessageA(main, WM_CLOSE, 0, 0);
        DWORD code = 99;
        const bool ended = WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0;
        GetExitCodeProcess(process.hProcess, &code);
        check(ended && code == 0, "closing the main window ends LineWatch.exe with exit code 0", "exit code " + number(code));
        std::printf("probe: %d passed, %d failed\n", passes, failures);
        return failures == 0 ? 0 : 1;
    }

    // Every line fed, in both lists.
    for (int m = 0; m < 2; ++m) {
        const bool full = wait_until([&] { return list_count(list[m]) >= wanted[m]; }, 30000);
        check(full && (at_least || list_count(list[m]) == wanted[m]), ("modem " + number(m + 1) + " list holds the lines fed").c_str(),
              number(list_count(list[m])) + " of " + number(wanted[m]));
        check(dump_list(list[m], workdir + "\\list" + number(m + 1) + ".txt"),
              ("modem " + number(m + 1) + " list written").c_str());
    }
    // The eye display of modem 2 draws the corner of the square and the
    // centre, each one white pixel, on a black field.
    if (eye_corner) {
        check_eye_corner(child);
    }

    // Driver-internal errors: one warning box, owned by the main window,
    // open while the lists above filled; the errors after the first were
    // discarded, so none follows once it is closed.
    if (warning) {
        HWND box = nullptr;
        const int boxes = message_boxes("Warning", process.dwProcessId, &box);
        check(boxes == 1 && GetWindow(box, GW_OWNER) == main,
              "one warning box, owned by the main window, while the lists filled", number(boxes) + " boxes");
        if (box != nullptr) {
            FILE *out = std::fopen((workdir + "\\warning.txt").c_str(), "wb");
            if (out != nullptr) {
                put_escaped(box_text(box).c_str(), out);
                std::fclose(out);
            }
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            HWND next = nullptr;
            const bool closed = wait_until([&] { return message_boxes("Warning", process.dwProcessId, &next) == 0; }, 5000);
            Sleep(500);
            check(closed && message_boxes("Warning", process.dwProcessId, &next) == 0,
                  "OK closes the warning box, and the errors that came while it was open show no other");
        }
    }
    if (recording) {
        check(recording_flag() == 1, "recording flag set while capturing", number(recording_flag()));
    }

    // The window as a user sees it, before the checks below change it.
    if (hold_ms > 0) {
        FILE *ready = std::fopen((workdir + "\\ready").c_str(), "w");
        if (ready != nullptr) {
            std::fclose(ready);
        }
        Sleep(DWORD(hold_ms));
    }

    // Help, About: a box owned by the main window, captioned with the class
    // name; the lists go on filling while it is open (with --at-least).
    {
        const int before = list_count(list[0]);
        PostMessageA(main, WM_COMMAND, 40, 0);
        HWND box = nullptr;
        wait_until([&] { return message_boxes("LineWatch", process.dwProcessId, &box) == 1; }, 5000);
        const std::string text = box != nullptr ? box_text(box) : "<no box>";
        check(box != nullptr && GetWindow(box, GW_OWNER) == main && text == "Tarvel line watch Rev 1.1.",
              "About box \"LineWatch\" owned by the main window", text);
        if (at_least) {
            check(wait_until([&] { return list_count(list[0]) > before; }, 10000),
                  "lines keep arriving while the About box is open");
        }
        if (box != nullptr) {
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            check(wait_until([&] { return message_boxes("LineWatch", process.dwProcessId, &box) == 0; }, 5000),
                  "OK closes the About box");
        }
    }
    if (at_least) {
        check_follow(list[0]);
    }

    // Menu toggles: off and back on, check mark and window together.
    for (int c = 0; c < 4; ++c) {
        const int id = CHILDREN[c].menu_id;
        SendMessageA(main, WM_COMMAND, WPARAM(id), 0);
        const std::string off = menu_and_window(main, id, child[c]);
        SendMessageA(main, WM_COMMAND, WPARAM(id), 0);
        const std::string on = menu_and_window(main, id, child[c]);
        check(off == "unchecked hidden" && on == "checked visible",
              ("menu command " + number(id) + " hides and shows \"" + CHILDREN[c].caption + "\"").c_str(),
              off + ", then " + on);
    }
    // A child's close: hidden and unchecked, not destroyed; the menu brings it back.
    for (int c = 0; c < 4; ++c) {
        SendMessageA(child[c], WM_CLOSE, 0, 0);
        const bool hidden = IsWindow(child[c]) && !IsWindowVisible(child[c]) && menu_checked(main, CHILDREN[c].menu_id) == 0;
        SendMessageA(main, WM_COMMAND, WPARAM(CHILDREN[c].menu_id), 0);
        check(hidden && IsWindowVisible(child[c]),
              (std::string("WM_CLOSE hides \"") + CHILDREN[c].caption + "\" without destroying it").c_str());
    }

    // Selection, keys and Ctrl+C on modem 1's list.
    if (list_count(list[0]) >= 5) {
        const int picked[3] = {0, 2, 4};
        SendMessageW(list[0], LB_SETSEL, FALSE, -1);
        for (int index : picked) {
            SendMessageW(list[0], LB_SETSEL, TRUE, index);
        }
        SendMessageW(list[0], LB_SETCARETINDEX, 2, FALSE);
        const std::string before = selection(list[0]);
        SendMessageW(list[0], WM_KEYDOWN, VK_DOWN, 1);
        SendMessageW(list[0], WM_KEYUP, VK_DOWN, 0xC0000001);
        check(selection(list[0]) == before && before == "0,2,4 caret 2", "down-arrow leaves the selection",
              "before " + before + ", after " + selection(list[0]));

        std::string expected;
        for (int index : picked) {
            expected += list_line(list[0], index) + "\r\n";
        }
        set_clipboard_marker();
        // The keys go to whatever window has the focus: the list must have
        // it first (on a loaded machine Wine may take a moment to move it).
        const DWORD thread = GetWindowThreadProcessId(list[0], nullptr);
        const bool focused = wait_until([&] {
            AttachThreadInput(GetCurrentThreadId(), thread, TRUE);
            SetForegroundWindow(main);
            SetFocus(list[0]);
            AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
            Sleep(100);
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            return GetGUIThreadInfo(thread, &info) && info.hwndFocus == list[0];
        }, 5000);
        check(focused, "modem 1's list has the keyboard focus for Ctrl+C");
        Sleep(100);
        key(VK_CONTROL, false);
        key('C', false);
        key('C', true);
        key(VK_CONTROL, true);
        std::string got;
        // LineWatch.exe holds the clipboard open while it puts the lines
        // there: a look that cannot open it looks again.
        wait_until([&] { return (got = clipboard_text()) != "marker" && got != "<clipboard not opened>"; }, 5000);
        std::string shown_got;
        for (char ch : got.substr(0, 120)) {
            shown_got += ch == '\t' ? std::string("\\t") : ch == '\r' ? "\\r" : ch == '\n' ? "\\n" : std::string(1, ch);
        }
        check(got == expected, "Ctrl+C puts lines 0, 2, 4, each with CR LF, on the clipboard as CF_TEXT",
              number(got.size()) + " bytes: " + shown_got);
        check(selection(list[0]) == before, "the selection is kept through Ctrl+C", selection(list[0]));
    } else {
        check(false, "five lines in modem 1's list to select");
    }

    // Closing the main window ends the program with 0 and clears the flag.
    PostMessageA(main, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0;
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    check(ended && code == 0, "closing the main window ends LineWatch.exe with exit code 0", "exit code " + number(code));
    check(recording_flag() == 0, "recording flag clear after the close", number(recording_flag()));
    if (!ended) {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("probe: %d passed, %d failed\n", passes, failures);
    return failures == 0 ? 0 : 1;
}
