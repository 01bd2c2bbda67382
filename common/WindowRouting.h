// One way to register a window class, and one window procedure for every window class of ours:
// the object is taken from lpCreateParams at WM_NCCREATE and given the handle to own, each
// message goes to its HandleMessage, and the handle is let go at WM_NCDESTROY, when the system
// destroys it anyway. A class grants access with `friend struct TWindowRouting;` and registers
// its window class with TWindowRouting::Register<T>.
#pragma once

#include <windows.h>

// What a window class gives its windows besides its procedure; the arrow cursor always.
struct TWindowClassLook {
  UINT style = 0;
  HBRUSH background = nullptr;  // nullptr: the window paints all of itself
  int icon = 0;                 // the icon resource of its windows, large and small; 0: none
};

// Registering a class again fails harmlessly.
inline void RegisterWindowClass(const wchar_t* className, WNDPROC procedure,
                                const TWindowClassLook& look = {}) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = look.style;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  if (look.icon) {
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(look.icon));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(look.icon),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
  }
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = look.background;
  windowClass.lpszClassName = className;
  RegisterClassExW(&windowClass);
}

struct TWindowRouting {
  // A window class whose windows are routed to T.
  template <typename T>
  static void Register(const wchar_t* className, const TWindowClassLook& look = {}) {
    RegisterWindowClass(className, &WindowProc<T>, look);
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

  // The object of T behind a window, or nullptr when the window is not one of T's.
  template <typename T>
  static T* ObjectOf(HWND window) {
    if (!window ||
        GetWindowLongPtrW(window, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&WindowProc<T>))
      return nullptr;
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  }
};
