// A stand-in for Outlook's automation server, as a local-server exe. It answers `Version` with the
// text stored in HKCU\Software\KestrineTest\olk-com (value "Version"), after the milliseconds in
// the value "Hang" when there is one, `Inspectors.Count` with the number in the value "Inspectors"
// (0 without one), and records every `Quit` by appending a line to the file named in the value
// "QuitMarker" and every start by COM for a new instance (an Outlook made) to the one named in
// "CreateMarker".
//
//   olk_com_server.exe -Embedding          started by COM for a new instance; ends when released
//   olk_com_server.exe -running READY STOP  an instance registered in the running object table;
//                                           signals the event READY, ends when STOP is signalled
//                                           or, like Outlook, soon after `Quit`
#include <windows.h>
// The automation and shell declarations need the types of windows.h first.
#include <oleauto.h>
#include <shellapi.h>

#include <string>

// COM interfaces have no virtual destructor by design; objects delete themselves in Release.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace {

// Must match the registration the tests write.
const CLSID kClsid = {0x6b1d3c52, 0x8f0a, 0x4e8b, {0x9c, 0x3d, 0x2a, 0x5e, 0x7f, 0x1b, 0x0c, 0x41}};
const wchar_t kSettingsKey[] = L"Software\\KestrineTest\\olk-com";

DWORD g_mainThread = 0;
LONG g_objects = 0;
bool g_embedding = false;
bool g_running = false;

std::wstring Setting(const wchar_t* name) {
    wchar_t buf[1024];
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_SZ, nullptr, buf, &size) !=
        ERROR_SUCCESS) {
        return L"";
    }
    return buf;
}

void Record(const wchar_t* markerValue) {
    std::wstring marker = Setting(markerValue);
    if (marker.empty()) return;
    HANDLE f = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(f, "once\r\n", 6, &written, nullptr);
    CloseHandle(f);
}

// What every object here answers of IDispatch but Invoke and GetIDsOfNames.
class DispatchBase : public IDispatch {
  public:
    virtual ~DispatchBase() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
};

// `Inspectors`: only its `Count`, the open item windows.
class Inspectors : public DispatchBase {
  public:
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (count != 1 || lstrcmpiW(names[0], L"Count") != 0) return DISP_E_UNKNOWNNAME;
        ids[0] = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id != 1 || !(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        VariantInit(result);
        result->vt = VT_I4;
        result->lVal = _wtoi(Setting(L"Inspectors").c_str());
        return S_OK;
    }

  private:
    LONG refs_ = 1;
};

class Application : public DispatchBase {
  public:
    Application() { InterlockedIncrement(&g_objects); }

    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) {
            delete this;
            if (InterlockedDecrement(&g_objects) == 0 && g_embedding) {
                PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
            }
        }
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            if (lstrcmpiW(names[i], L"Version") == 0) {
                ids[i] = 1;
            } else if (lstrcmpiW(names[i], L"Quit") == 0) {
                ids[i] = 2;
            } else if (lstrcmpiW(names[i], L"Inspectors") == 0) {
                ids[i] = 3;
            } else {
                ids[i] = DISPID_UNKNOWN;
                hr = DISP_E_UNKNOWNNAME;
            }
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id == 1 && (flags & DISPATCH_PROPERTYGET)) {
            if (!result) return E_INVALIDARG;
            if (const std::wstring hang = Setting(L"Hang"); !hang.empty())
                Sleep(_wtoi(hang.c_str()));
            VariantInit(result);
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(Setting(L"Version").c_str());
            return S_OK;
        }
        if (id == 2 && (flags & DISPATCH_METHOD)) {
            Record(L"QuitMarker");
            if (result) VariantInit(result);
            // Outlook closes its windows and ends once the call has returned.
            if (g_running) PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
            return S_OK;
        }
        if (id == 3 && (flags & DISPATCH_PROPERTYGET) && result) {
            VariantInit(result);
            result->vt = VT_DISPATCH;
            result->pdispVal = new Inspectors;
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

  private:
    LONG refs_ = 1;
};

class Factory : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* app = new Application;
        HRESULT hr = app->QueryInterface(riid, out);
        app->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// Runs incoming calls until WM_QUIT, `stop` is signalled, or a minute passes (a test that failed
// half-way must not leave the server behind).
void Serve(HANDLE stop) {
    const ULONGLONG deadline = GetTickCount64() + 60000;
    for (;;) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return;
        DWORD handles = stop ? 1 : 0;
        DWORD r = MsgWaitForMultipleObjects(handles, &stop, FALSE,
                                            static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (stop && r == WAIT_OBJECT_0) return;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    g_mainThread = GetCurrentThreadId();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    // Make the thread's message queue before anyone can post to it.
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);

    static Factory factory;
    int status = 0;
    if (argc >= 4 && lstrcmpiW(argv[1], L"-running") == 0) {
        g_running = true;
        HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
        HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
        auto* app = new Application;
        DWORD rot = 0;
        if (!stop || FAILED(RegisterActiveObject(app, kClsid, ACTIVEOBJECT_STRONG, &rot))) {
            status = 3;
        } else {
            if (ready) SetEvent(ready);
            Serve(stop);
            RevokeActiveObject(rot, nullptr);
        }
        app->Release();
        if (ready) CloseHandle(ready);
        if (stop) CloseHandle(stop);
    } else {
        g_embedding = true;
        Record(L"CreateMarker");
        DWORD cookie = 0;
        if (FAILED(CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE,
                                         &cookie))) {
            status = 4;
        } else {
            Serve(nullptr);
            CoRevokeClassObject(cookie);
        }
    }
    CoUninitialize();
    LocalFree(argv);
    return status;
}
