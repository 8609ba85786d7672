#pragma once
// Driving the program's real windows from a test as a user would: the window under test runs on
// its own thread (a modal dialog has a message loop of its own), and the test finds it, types,
// clicks and answers its message boxes through window messages. Text is UTF-8.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace kestrine::test {

// Shows a modal window on a thread of its own. If the test ends with the window still open (a
// failed check), every window of that thread is cancelled, so the test never hangs.
class ModalThread {
  public:
    explicit ModalThread(std::function<bool()> show);
    ~ModalThread();
    ModalThread(const ModalThread&) = delete;
    ModalThread& operator=(const ModalThread&) = delete;
    // Waits (up to 20 s) for the window to close; false also when it did not.
    bool Result();
    bool Running() const { return !done_; }

  private:
    std::atomic<bool> done_{false};
    std::atomic<DWORD> threadId_{0};
    bool result_ = false;
    std::thread thread_;
};

// Waits (up to 20 s) for a visible top-level window of the process `process` (0: this one) with
// `caption`, or, with an empty caption, for one owned by `owner`. Null when none appeared.
HWND WaitForWindow(const std::string& caption, HWND owner = nullptr, DWORD process = 0);
// Waits (up to 20 s) until `done` holds; false when it did not.
bool WaitUntil(const std::function<bool()>& done);
// Waits (up to 20 s) for `window` to be gone; true when it is.
bool WaitUntilGone(HWND window);

// A control by id anywhere inside `window` (tab pages included). The helpers below also drive a
// window of another process.
HWND Control(HWND window, int id);
std::string Text(HWND window, int id);
bool Checked(HWND window, int id);
bool Enabled(HWND window, int id);

// Sets the text of an edit or an editable combo box, as typing it would.
void Type(HWND window, int id, const std::string& text);
// Clicks a button, check box or option button and returns when the click has been handled.
void Click(HWND window, int id);
// Clicks without waiting: for a click that opens a modal window.
void PostClick(HWND window, int id);
// Chooses entry `index` of a drop-down list.
void Choose(HWND window, int id, int index);
// Shows tab `index` of a tab control.
void ShowTab(HWND window, int id, int index);

struct SeenMessage {
    std::string text;
    std::string icon;  // "information", "exclamation", "critical" or ""
    HWND owner = nullptr;
};
// Waits for a message box titled with the application title of `process` (0: this one), reads it,
// presses `button` and waits for it to close. An empty text when none appeared.
SeenMessage AnswerMessageBox(int button = IDOK, DWORD process = 0);

// Waits for the file dialog captioned `title` of `process`, types `path` as the file name and
// presses its OK button. False when no such dialog appeared.
bool AnswerFileDialog(const std::string& title, const std::string& path, DWORD process = 0);

}  // namespace kestrine::test
