#include "ui/win/taskbar_progress.h"

namespace kestrine::ui::win {

TaskbarProgress::~TaskbarProgress() {
    if (list_) list_->Release();
}

void TaskbarProgress::Show(HWND window, int value) {
    if (!tried_) {
        tried_ = true;
        if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_ITaskbarList3, reinterpret_cast<void**>(&list_))) &&
            FAILED(list_->HrInit())) {
            list_->Release();
            list_ = nullptr;
        }
    }
    if (!list_) return;
    list_->SetProgressState(window, TBPF_NORMAL);
    list_->SetProgressValue(window, static_cast<ULONGLONG>(value), 100);
}

void TaskbarProgress::Clear(HWND window) {
    if (list_) list_->SetProgressState(window, TBPF_NOPROGRESS);
}

}  // namespace kestrine::ui::win
