#pragma once
// The windows' GDI, menu and COM resources, released when they go out of scope.
#include <windows.h>

#include <utility>

namespace kestrine::ui::win {

// A window's device context with one font selected into it; the old font goes back before the
// context is released.
class WindowDC {
  public:
    WindowDC(HWND window, HFONT font) : window_(window), dc_(GetDC(window)) {
        if (dc_ && font) oldFont_ = SelectObject(dc_, font);
    }
    ~WindowDC() {
        if (!dc_) return;
        if (oldFont_) SelectObject(dc_, oldFont_);
        ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
    HGDIOBJ oldFont_ = nullptr;
};

// A menu loaded from the program's resources.
class LoadedMenu {
  public:
    explicit LoadedMenu(int id)
        : menu_(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id))) {}
    ~LoadedMenu() {
        if (menu_) DestroyMenu(menu_);
    }
    LoadedMenu(const LoadedMenu&) = delete;
    LoadedMenu& operator=(const LoadedMenu&) = delete;
    HMENU get() const { return menu_; }

  private:
    HMENU menu_;
};

// A GDI object the window made (a font), deleted with its owner.
class GdiObject {
  public:
    GdiObject() = default;
    ~GdiObject() { Reset(nullptr); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    void Reset(HGDIOBJ object) {
        if (HGDIOBJ old = std::exchange(object_, object)) DeleteObject(old);
    }
    HGDIOBJ get() const { return object_; }

  private:
    HGDIOBJ object_ = nullptr;
};

}  // namespace kestrine::ui::win
