#include <windows.h>
//
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>

#include "base/text.h"
#include "platform/run_lock.h"
#include "platform/system.h"
#include "platform/text.h"

namespace kestrine::platform {

namespace {

// The user's own objects, owned by the user (not by the Administrators group, the default owner of
// an administrator's objects): only the user and the system may open them.
class UserOnly {
  public:
    explicit UserOnly(const std::wstring& sid) {
        const std::wstring sddl = L"O:" + sid + L"D:P(A;;GA;;;" + sid + L")(A;;GA;;;SY)";
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                 &descriptor_, nullptr))
            attributes_.lpSecurityDescriptor = descriptor_;
    }
    ~UserOnly() { LocalFree(descriptor_); }
    UserOnly(const UserOnly&) = delete;
    UserOnly& operator=(const UserOnly&) = delete;
    SECURITY_ATTRIBUTES* get() { return descriptor_ ? &attributes_ : nullptr; }

  private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

bool OwnedBy(HANDLE object, const std::string& sid) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    wchar_t* text = nullptr;
    bool own = false;
    if (owner && ConvertSidToStringSidW(owner, &text)) {
        own = base::EqualsNoCase(Narrow(text), sid);
        LocalFree(text);
    }
    LocalFree(descriptor);
    return own;
}

// The namespace of the user's private objects: its boundary is the user's SID, so only a process
// of that user can create it, and nobody else can make a lock there that keeps the user's runs out.
HANDLE OpenUserNamespace(const std::wstring& sid, UserOnly& security) {
    HANDLE boundary = CreateBoundaryDescriptorW(L"Kestrine", 0);
    if (!boundary) return nullptr;
    PSID user = nullptr;
    HANDLE space = nullptr;
    if (ConvertStringSidToSidW(sid.c_str(), &user) && AddSIDToBoundaryDescriptor(&boundary, user)) {
        space = CreatePrivateNamespaceW(security.get(), boundary, L"Kestrine");
        if (!space && GetLastError() == ERROR_ALREADY_EXISTS)
            space = OpenPrivateNamespaceW(boundary, L"Kestrine");
    }
    if (user) LocalFree(user);
    DeleteBoundaryDescriptor(boundary);
    return space;
}

// The run lock of the user `sid`, and the namespace it lives in (kept open with it).
HANDLE OpenLock(const std::string& sid, HANDLE& space) {
    const std::wstring wideSid = Widen(sid);
    UserOnly security(wideSid);
    space = OpenUserNamespace(wideSid, security);
    if (space) {
        if (HANDLE mutex = CreateMutexW(security.get(), FALSE, L"Kestrine\\Run")) return mutex;
        ClosePrivateNamespace(space, 0);
        space = nullptr;
    }
    // Where the system has no private namespaces: the global name of the user's SID, used only
    // when it is the user's own; a lock another user made under it is passed by for the session's.
    const std::wstring name = L"Kestrine.Run." + wideSid;
    for (const wchar_t* scope : {L"Global\\", L"Local\\"}) {
        HANDLE mutex = CreateMutexW(security.get(), FALSE, (scope + name).c_str());
        if (!mutex) continue;
        if (GetLastError() != ERROR_ALREADY_EXISTS || OwnedBy(mutex, sid)) return mutex;
        CloseHandle(mutex);
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<RunLock> RunLock::Take(std::chrono::milliseconds wait,
                                       const std::function<bool()>& stop) {
    // One lock per user, whose runs share files; by SID, which no other account shares.
    HANDLE space = nullptr;
    const std::string sid = CurrentUserSid();
    HANDLE mutex = sid.empty() ? nullptr : OpenLock(sid, space);
    // A lock the system cannot make at all must not keep every run from working.
    if (!mutex) return std::unique_ptr<RunLock>(new RunLock(nullptr, nullptr));
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(wait.count());
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD slice =
            now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 100));
        const DWORD result = WaitForSingleObject(mutex, slice);
        // Abandoned: the holder was ended midway; what it left is the next run's to remove.
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
            return std::unique_ptr<RunLock>(new RunLock(mutex, space));
        if (result != WAIT_TIMEOUT || GetTickCount64() >= deadline || (stop && stop())) break;
    }
    CloseHandle(mutex);
    if (space) ClosePrivateNamespace(space, 0);
    return nullptr;
}

RunLock::~RunLock() {
    if (handle_) {
        ReleaseMutex(handle_);
        CloseHandle(handle_);
    }
    if (space_) ClosePrivateNamespace(space_, 0);
}

}  // namespace kestrine::platform
