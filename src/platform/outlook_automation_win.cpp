#include <windows.h>
// oleauto.h: the dispatch calls; needs the types of windows.h first.
#include <oleauto.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
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

// Reads the property `name` of `object` into `result` (which the caller clears).
bool GetProperty(IDispatch* object, const wchar_t* name, VARIANT& result) {
    DISPID id = 0;
    if (!DispatchId(object, name, id)) return false;
    DISPPARAMS none{};
    return SUCCEEDED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                    &result, nullptr, nullptr));
}

bool ReadVersion(IDispatch* object, std::string& version) {
    VARIANT result;
    VariantInit(&result);
    bool ok = GetProperty(object, L"Version", result) &&
              SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BSTR));
    if (ok) version = result.bstrVal ? Narrow(result.bstrVal) : std::string();
    VariantClear(&result);
    return ok;
}

// `Inspectors.Count`: how many item windows (a draft, an opened message or appointment) are open.
std::optional<long> OpenItemWindows(IDispatch* application) {
    VARIANT inspectors;
    VariantInit(&inspectors);
    std::optional<long> count;
    if (GetProperty(application, L"Inspectors", inspectors) && inspectors.vt == VT_DISPATCH &&
        inspectors.pdispVal) {
        VARIANT n;
        VariantInit(&n);
        if (GetProperty(inspectors.pdispVal, L"Count", n) &&
            SUCCEEDED(VariantChangeType(&n, &n, 0, VT_I4)))
            count = n.lVal;
        VariantClear(&n);
    }
    VariantClear(&inspectors);
    return count;
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

// The instance registered in the running object table, if one is.
bool Running(const CLSID& clsid, ComPtr<IDispatch>& object) {
    ComPtr<IUnknown> running;
    return SUCCEEDED(GetActiveObject(clsid, nullptr, running.out())) && running.p &&
           SUCCEEDED(
               running->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.out())));
}

OutlookVersionProbe Probe(const std::string& progId) {
    OutlookVersionProbe probe;
    ComSession com;
    if (!com.ok()) return probe;

    CLSID clsid;
    if (FAILED(CLSIDFromProgID(Widen(progId).c_str(), &clsid))) return probe;

    ComPtr<IDispatch> object;
    probe.attached = probe.objectObtained = Running(clsid, object) && object.p;
    if (!probe.objectObtained) return probe;
    probe.versionRead = ReadVersion(object.p, probe.version);
    return probe;
}

OutlookQuitAnswer QuitIfNoItemsOpen(const std::string& progId) {
    ComSession com;
    CLSID clsid;
    ComPtr<IDispatch> application;
    if (!com.ok() || FAILED(CLSIDFromProgID(Widen(progId).c_str(), &clsid)) ||
        !Running(clsid, application))
        return OutlookQuitAnswer::NoObject;
    // An Outlook that does not say how many item windows it has open may have a draft there.
    const std::optional<long> open = OpenItemWindows(application.p);
    if (!open || *open != 0) return OutlookQuitAnswer::ItemsOpen;
    return CallQuit(application.p) ? OutlookQuitAnswer::QuitCalled : OutlookQuitAnswer::NoObject;
}

// Runs `call` on a thread of its own, which is left to finish by itself when it does not answer
// within `waitMs` (a hung or busy Outlook); `late` is the answer then.
template <class Answer, class Call>
Answer WithinWait(uint32_t waitMs, Answer late, Call call) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
        Answer answer;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, call] {
        Answer answer = call();
        std::lock_guard lock(shared->mutex);
        shared->answer = std::move(answer);
        shared->done = true;
        shared->answered.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (!shared->answered.wait_for(lock, std::chrono::milliseconds(waitMs),
                                   [&] { return shared->done; }))
        return late;
    return shared->answer;
}

}  // namespace

OutlookVersionProbe ProbeOutlookVersion(const std::string& progId, uint32_t waitMs) {
    OutlookVersionProbe late;
    late.timedOut = true;
    return WithinWait(waitMs, late, [progId] { return Probe(progId); });
}

OutlookQuitAnswer AskRunningOutlookToQuit(const std::string& progId, uint32_t waitMs) {
    return WithinWait(waitMs, OutlookQuitAnswer::TimedOut,
                      [progId] { return QuitIfNoItemsOpen(progId); });
}

}  // namespace kestrine::platform
