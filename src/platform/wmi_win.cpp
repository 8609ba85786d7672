#include <windows.h>
// The WMI interfaces need the COM types of windows.h first.
#include <wbemidl.h>

#include "platform/com_win.h"
#include "platform/text.h"
#include "platform/wmi.h"

namespace kestrine::platform {

namespace {

// The proxies of a remote WMI service need the impersonate level; the in-process one may refuse
// the call, which is harmless.
void Impersonate(IUnknown* proxy) {
    CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

}  // namespace

std::optional<std::string> QueryOperatingSystemVersion() {
    ComSession com;
    if (!com.ok()) return std::nullopt;

    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(locator.out())))) {
        return std::nullopt;
    }
    ComPtr<IWbemServices> services;
    Bstr ns(L"root\\cimv2");
    if (FAILED(locator->ConnectServer(ns.s, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                      services.out()))) {
        return std::nullopt;
    }
    Impersonate(services.p);

    ComPtr<IEnumWbemClassObject> results;
    Bstr language(L"WQL");
    Bstr query(L"Select * from Win32_OperatingSystem");
    if (FAILED(services->ExecQuery(language.s, query.s,
                                   WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                   results.out()))) {
        return std::nullopt;
    }
    Impersonate(results.p);

    std::optional<std::string> version;
    for (;;) {
        ComPtr<IWbemClassObject> object;
        ULONG returned = 0;
        HRESULT hr = results->Next(WBEM_INFINITE, 1, object.out(), &returned);
        if (FAILED(hr) || returned == 0) break;
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(object->Get(L"Version", 0, &value, nullptr, nullptr)) &&
            value.vt == VT_BSTR && value.bstrVal) {
            version = Narrow(value.bstrVal);
        }
        VariantClear(&value);
    }
    return version;
}

}  // namespace kestrine::platform
