// The frame of every control's window procedure: the control's state record is made at
// WM_NCCREATE (creation fails without it), kept in the window's first extra word (the class
// has a pointer's worth of cbWndExtra) and freed at WM_NCDESTROY, the last message a window
// gets. State is constructed from its window's handle and frees what it owns when deleted.
#pragma once

#include <windows.h>

#include <new>

template <typename State>
using ControlDispatch = LRESULT (*)(State& state, UINT message, WPARAM wParam, LPARAM lParam);

// Binds and frees the state, and hands every message between to `dispatch`. A window without
// a state (its creation failed) has only the default procedure.
template <typename State>
LRESULT ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                          ControlDispatch<State> dispatch) {
    if (message == WM_NCCREATE) {
        auto* state = new (std::nothrow) State(window);
        if (state == nullptr) return FALSE;
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(state));
        return DefWindowProcA(window, message, wParam, lParam);
    }
    auto* state = reinterpret_cast<State*>(GetWindowLongPtrA(window, 0));
    if (state == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, 0, 0);
        delete state;
        return 0;
    }
    return dispatch(*state, message, wParam, lParam);
}
