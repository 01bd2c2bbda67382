// Scope guards of the RAII kit: what is borrowed or switched on for one scope and given back at
// its end (a window's DC, an object selected into a DC, a DC's state, a paint, COM), and the
// error code of a failure read where it happened.
#pragma once

#include <windows.h>
#include <objbase.h>

// A window's DC (GetDC), released at the end of the scope.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  ~WindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a DC for one scope; the previous one is put back.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object)
      : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() {
    if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Everything a drawing may change in a DC (selected objects, colours, clipping), restored at
// the end of the scope.
class SavedDCState {
 public:
  explicit SavedDCState(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  SavedDCState(const SavedDCState&) = delete;
  SavedDCState& operator=(const SavedDCState&) = delete;
  ~SavedDCState() {
    if (saved_) RestoreDC(dc_, saved_);
  }

 private:
  HDC dc_;
  int saved_;
};

// One WM_PAINT: BeginPaint, and EndPaint at the end of the scope; the window's client area.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {
    GetClientRect(window, &client_);
  }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  ~PaintScope() { EndPaint(window_, &paint_); }
  HDC dc() const { return dc_; }
  const RECT& Dirty() const { return paint_.rcPaint; }
  const RECT& Client() const { return client_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
  RECT client_{};
};

// COM for the calling thread: started once, when first needed (Start), and ended with this
// object, but only if the start succeeded.
class ComInitialization {
 public:
  ComInitialization() = default;
  ComInitialization(const ComInitialization&) = delete;
  ComInitialization& operator=(const ComInitialization&) = delete;
  ~ComInitialization() {
    if (succeeded_) CoUninitialize();
  }
  // The first call initialises COM and records the outcome; later calls only report it.
  bool Start() {
    if (!done_) {
      done_ = true;
      succeeded_ = SUCCEEDED(CoInitialize(nullptr));
    }
    return succeeded_;
  }
  bool Done() const { return done_; }

 private:
  bool done_ = false;
  bool succeeded_ = false;
};

// The error code of the first of several calls that failed, read right after it: calls made
// after a failure overwrite GetLastError, so it cannot be read at the end.
class FirstError {
 public:
  // Passes result through; a null or false one records GetLastError unless a failure came first.
  template <typename Result>
  Result operator()(Result result) {
    if (!result && code_ == ERROR_SUCCESS) code_ = Failure();
    return result;
  }
  bool Failed() const { return code_ != ERROR_SUCCESS; }
  DWORD Code() const { return code_; }

 private:
  // A call that failed without saying why still counts as a failure.
  static DWORD Failure() {
    const DWORD code = GetLastError();
    return code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE;
  }
  DWORD code_ = ERROR_SUCCESS;
};
