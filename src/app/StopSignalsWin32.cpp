// Windows has no signals to stop a run: console events and the end of the
// session ask for the stop instead.
#include "app/StopSignals.h"

#include "platform/Win32Api.h"

#include <cstdio>
#include <iostream>
#include <thread>

#include "platform/Io.h"

namespace tidewell {
namespace {

// How long a close, log-off or shut-down waits for the run. Windows gives a
// console handler 5 s before it ends the process regardless.
constexpr DWORD kGraceMs = 4500;

HANDLE g_runOver = nullptr;  // manual-reset event, set once the run is over
HWND g_sessionWindow = nullptr;
std::thread g_sessionThread;

void StopAndWait(int signal) {
    RequestStop(signal);
    if (g_runOver) WaitForSingleObject(g_runOver, kGraceMs);
}

BOOL WINAPI OnConsoleEvent(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            RequestStop(SIGINT);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            StopAndWait(SIGTERM);
            return TRUE;
        default:
            return FALSE;
    }
}

// A program that has loaded user32 hears of the end of the session only
// through a window, not its console handler: a hidden one on a thread of its
// own, since the run keeps the main thread busy.
LRESULT CALLBACK SessionWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_QUERYENDSESSION:
            StopAndWait(SIGTERM);
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) StopAndWait(SIGTERM);
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void SessionThread(HANDLE ready) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = SessionWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TidewellSessionEnd";
    RegisterClassW(&wc);
    g_sessionWindow = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                      nullptr, wc.hInstance, nullptr);
    SetEvent(ready);
    if (!g_sessionWindow) return;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
}

}  // namespace

StopSignals::StopSignals() {
    g_runOver = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_sessionThread = std::thread(SessionThread, ready);
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
}

StopSignals::~StopSignals() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    if (g_runOver) SetEvent(g_runOver);
    if (g_sessionWindow) PostMessageW(g_sessionWindow, WM_CLOSE, 0, 0);
    if (g_sessionThread.joinable()) g_sessionThread.join();
    g_sessionWindow = nullptr;
    if (g_runOver) CloseHandle(g_runOver);
    g_runOver = nullptr;
}

void StopSignals::EndIfStopped() {
    // A handler waiting for the run may let Windows end the process now.
    if (g_runOver) SetEvent(g_runOver);
    if (StopSignal() == 0) return;
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace tidewell
