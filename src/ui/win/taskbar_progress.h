#pragma once
// The progress of a run on the window's taskbar button.
#include <windows.h>
//
#include <shobjidl.h>

namespace kestrine::ui::win {

class TaskbarProgress {
  public:
    TaskbarProgress() = default;
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    // `value` of 100 on the button of `window`; nothing happens where the shell has no taskbar
    // list (the window's thread must have COM).
    void Show(HWND window, int value);
    void Clear(HWND window);

  private:
    ITaskbarList3* list_ = nullptr;
    bool tried_ = false;
};

}  // namespace kestrine::ui::win
