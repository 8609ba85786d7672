#pragma once
// COM for the span of one operation on the calling thread: interface pointers and strings that
// release themselves, for WMI, the Outlook automation object and the windows' thread.
#include <windows.h>
// Self-contained under WIN32_LEAN_AND_MEAN, which leaves COM out of <windows.h>.
#include <objbase.h>
#include <oleauto.h>

namespace kestrine::platform {

template <class T>
struct ComPtr {
    T* p = nullptr;
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (p) p->Release();
    }
    T** out() { return &p; }
    T* operator->() const { return p; }
};

struct Bstr {
    BSTR s;
    explicit Bstr(const wchar_t* text) : s(SysAllocString(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(s); }
};

class ComSession {
  public:
    ComSession() {
        HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        // S_FALSE: already initialised here, still ours to balance. RPC_E_CHANGED_MODE: the thread
        // uses the other model; COM works, but the initialisation is not ours to undo.
        mine_ = SUCCEEDED(hr);
        ok_ = mine_ || hr == RPC_E_CHANGED_MODE;
    }
    ~ComSession() {
        if (mine_) CoUninitialize();
    }
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;
    bool ok() const { return ok_; }

  private:
    bool mine_ = false;
    bool ok_ = false;
};

}  // namespace kestrine::platform
