// menu_state_hook.dll: lets linewatch_probe.exe read a check mark of
// LineWatch.exe's menu. A menu belongs to the process that made it (Wine
// answers GetMenuState from another process with -1), so the probe sets
// this message hook on LineWatch.exe's thread, which loads the DLL there,
// and posts the main window the registered message below with the command
// id and the probe's thread id; the hook reads the state in LineWatch.exe
// and posts it back to that thread as the same message (wParam the command
// id, lParam the state, -1 for no such item).
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK menu_state_hook(int code, WPARAM wparam, LPARAM lparam) {
    static const UINT query = RegisterWindowMessageA("LineWatchProbeMenuState");
    MSG *message = reinterpret_cast<MSG *>(lparam);
    if (code == HC_ACTION && wparam == PM_REMOVE && message->message == query) {
        const UINT state = GetMenuState(GetMenu(message->hwnd), UINT(message->wParam), MF_BYCOMMAND);
        PostThreadMessageA(DWORD(message->lParam), query, message->wParam, LPARAM(LONG(state)));
        message->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}
