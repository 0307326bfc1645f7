#include "SingleInstance.h"

#include "LongPath.h"
#include "TextCompare.h"

#include <sddl.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr DWORD kPollMs = 50;

uint64_t Fnv1a(const std::wstring& text) {
    uint64_t hash = 14695981039346656037ull;
    for (wchar_t unit : text) {
        for (int shift = 0; shift < 16; shift += 8) {
            hash ^= static_cast<uint8_t>(static_cast<unsigned>(unit) >> shift);
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

std::wstring WithoutTrailingDelimiters(std::wstring path) {
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

}  // namespace

std::wstring SingleInstanceName(const std::wstring& programFolder, const std::wstring& userSid) {
    // A start through a short (8.3) path is the same copy as through the long one.
    std::wstring folder = LowerCaseText(WithoutTrailingDelimiters(LongPathOf(programFolder)));
    for (wchar_t& unit : folder)
        if (unit == L'/') unit = L'\\';
    wchar_t hash[17] = {};
    std::swprintf(hash, 17, L"%016llx", static_cast<unsigned long long>(Fnv1a(folder)));
    return L"Local\\KordavinInformer." + (userSid.empty() ? std::wstring(L"nouser") : userSid) + L"." + hash;
}

std::wstring CurrentUserSid() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    UniqueKernelHandle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
    std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

UINT ShowSettingsMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"KordavinInformer.ShowSettings");
    return message;
}

TSingleInstance::TSingleInstance(const std::wstring& name) : FName(name) {
    // Owned by this thread from the start when it is new: the main thread holds
    // it for the life of the process, and its end lets a waiting copy take over.
    FMutex.reset(::CreateMutexW(nullptr, TRUE, FName.c_str()));
    FFirst = !FMutex || ::GetLastError() != ERROR_ALREADY_EXISTS;
}

void TSingleInstance::Publish(HWND window) {
    if (!FFirst || !FMutex) return;
    FWindowMapping.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(uint64_t),
                                              (FName + L".Window").c_str()));
    if (!FWindowMapping) return;
    void* view = ::MapViewOfFile(FWindowMapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(uint64_t));
    if (!view) return;
    const uint64_t value = reinterpret_cast<uintptr_t>(window);
    *static_cast<volatile uint64_t*>(view) = value;
    ::UnmapViewOfFile(view);
}

HWND TSingleInstance::PublishedWindow() const {
    UniqueKernelHandle mapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, (FName + L".Window").c_str()));
    if (!mapping) return nullptr;
    const void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(uint64_t));
    if (!view) return nullptr;
    const uint64_t value = *static_cast<const volatile uint64_t*>(view);
    ::UnmapViewOfFile(view);
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

THandOver TSingleInstance::HandOver(DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (true) {
        // The first copy has ended (or was killed): this one takes its place.
        const DWORD wait = ::WaitForSingleObject(FMutex.get(), 0);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
            FFirst = true;
            return THandOver::BecameFirst;
        }
        const HWND target = PublishedWindow();
        if (target && ::IsWindow(target)) {
            DWORD processId = 0;
            ::GetWindowThreadProcessId(target, &processId);
            // This process was just started by the user, so it may bring
            // another to the front; it passes that right on.
            ::AllowSetForegroundWindow(processId);
            ::PostMessageW(target, ShowSettingsMessage(), 0, 0);
            return THandOver::HandedOver;
        }
        if (::GetTickCount64() >= deadline) return THandOver::NoAnswer;
        ::Sleep(kPollMs);
    }
}
