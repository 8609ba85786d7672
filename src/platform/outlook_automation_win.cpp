#include <windows.h>
// oleauto.h: the dispatch calls; needs the types of windows.h first.
#include <oleauto.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/com_win.h"
#include "platform/outlook_automation.h"
#include "platform/text.h"

namespace kestrine::platform {

namespace {

bool DispatchId(IDispatch* object, const wchar_t* name, DISPID& id) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
}

bool ReadVersion(IDispatch* object, std::string& version) {
    DISPID id = 0;
    if (!DispatchId(object, L"Version", id)) return false;
    DISPPARAMS none{};
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                &result, nullptr, nullptr);
    bool ok = SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BSTR));
    if (ok) version = result.bstrVal ? Narrow(result.bstrVal) : std::string();
    VariantClear(&result);
    return ok;
}

bool CallQuit(IDispatch* object) {
    DISPID id = 0;
    if (!DispatchId(object, L"Quit", id)) return false;
    DISPPARAMS none{};
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result,
                                nullptr, nullptr);
    VariantClear(&result);
    return SUCCEEDED(hr);
}

OutlookVersionProbe Probe(const std::string& progId, bool mayStart) {
    OutlookVersionProbe probe;
    ComSession com;
    if (!com.ok()) return probe;

    CLSID clsid;
    if (FAILED(CLSIDFromProgID(Widen(progId).c_str(), &clsid))) return probe;

    ComPtr<IDispatch> object;
    {
        ComPtr<IUnknown> running;
        if (SUCCEEDED(GetActiveObject(clsid, nullptr, running.out())) && running.p &&
            SUCCEEDED(
                running->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.out())))) {
            probe.attached = true;
        }
    }
    if (!object.p && (!mayStart || FAILED(CoCreateInstance(
                                       clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                                       IID_IDispatch, reinterpret_cast<void**>(object.out()))))) {
        return probe;
    }
    probe.objectObtained = object.p != nullptr;
    if (!probe.objectObtained) return probe;

    probe.versionRead = ReadVersion(object.p, probe.version);
    // Only the instance started here is asked to quit: closing the user's own Outlook at start-up
    // would lose their unsaved work.
    if (!probe.attached) probe.quitRequested = CallQuit(object.p);
    return probe;
}

}  // namespace

OutlookVersionProbe ProbeOutlookVersion(const std::string& progId, bool mayStart, uint32_t waitMs) {
    // The probe runs on a thread of its own, which is left to finish by itself when it does not
    // answer in time.
    struct Shared {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
        OutlookVersionProbe probe;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, progId, mayStart] {
        OutlookVersionProbe probe = Probe(progId, mayStart);
        std::lock_guard lock(shared->mutex);
        shared->probe = std::move(probe);
        shared->done = true;
        shared->answered.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (!shared->answered.wait_for(lock, std::chrono::milliseconds(waitMs),
                                   [&] { return shared->done; })) {
        OutlookVersionProbe late;
        late.timedOut = true;
        return late;
    }
    return shared->probe;
}

}  // namespace kestrine::platform
