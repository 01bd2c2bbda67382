// One window procedure for every window class of ours: the object is taken from
// lpCreateParams at WM_NCCREATE and given the handle to own, each message goes to its
// HandleMessage, and the handle is let go at WM_NCDESTROY, when the system destroys it anyway.
// A class grants access with `friend struct TWindowRouting;` and registers its window class
// with TWindowRouting::Register<T>.
#pragma once

#include <windows.h>

struct TWindowRouting {
  // A window class whose windows are routed to T; registering it again fails harmlessly.
  template <typename T>
  static void Register(const wchar_t* className, UINT style = 0) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = style;
    windowClass.lpfnWndProc = &WindowProc<T>;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);
  }

  template <typename T>
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    T* self = nullptr;
    if (message == WM_NCCREATE) {
      self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      self->window_.reset(window);
    } else {
      self = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (message == WM_NCDESTROY && self) {
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      (void)self->window_.release();
      return DefWindowProcW(window, message, wParam, lParam);
    }
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    // No exception may cross the window procedure back into the system. A class may say what
    // becomes of one (OnHandlerError, called inside the catch); otherwise the message gets
    // the default treatment.
    try {
      return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
      if constexpr (requires { self->OnHandlerError(); }) {
        self->OnHandlerError();
        return 0;
      } else {
        return DefWindowProcW(window, message, wParam, lParam);
      }
    }
  }
};
