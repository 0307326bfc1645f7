#include "HeldFolderChain.h"

#include "AppError.h"
#include "FileBytes.h"
#include "LongPath.h"
#include "PathText.h"
#include "ThreadPrivileges.h"
#include "TextConvert.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>

// The folders' owner is Administrators; FA full control, FRFX read and execute;
// 0x1200af is read and execute plus creating files and folders (not deleting
// the folder), 0x1301bf ("modify") is what the files and folders inside get.
const wchar_t kDataFolderSecurity[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";
const wchar_t kSharedFolderSecurity[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200af;;;BU)(A;OICIIO;0x1301bf;;;BU)";

namespace {

struct LocalMemoryTraits {
    using Value = HLOCAL;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::LocalFree(v); }
};
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;

UniqueLocalMemory Descriptor(const wchar_t* security) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(security, SDDL_REVISION_1, &descriptor, nullptr))
        return UniqueLocalMemory();
    return UniqueLocalMemory(descriptor);
}

TPlaceResult Result(TPlaceStatus status, const std::wstring& where, DWORD error = ERROR_SUCCESS) {
    return {status, where, error == ERROR_SUCCESS ? std::wstring() : SystemErrorText(error)};
}

// The folder itself, never what a link in its place points to.
UniqueFileHandle OpenFolderItself(const std::wstring& path, DWORD access, DWORD share) {
    return UniqueFileHandle(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// What the opened object is, and what its name shows: some file systems (Wine's
// among them) open a link's target even when asked for the link, so the name is
// looked at as well.
TPlaceResult CheckFolder(HANDLE folder, const std::wstring& path) {
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!::GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &info, sizeof info))
        return Result(TPlaceStatus::Failed, path, ::GetLastError());
    const DWORD named = ::GetFileAttributesW(path.c_str());
    if (named == INVALID_FILE_ATTRIBUTES) return Result(TPlaceStatus::Failed, path, ::GetLastError());
    if ((info.FileAttributes | named) & FILE_ATTRIBUTE_REPARSE_POINT) return Result(TPlaceStatus::LinkRefused, path);
    if (!(info.FileAttributes & named & FILE_ATTRIBUTE_DIRECTORY)) return Result(TPlaceStatus::NotAFolder, path);
    return Result(TPlaceStatus::Done, path);
}

TPlaceResult MakeFolderWith(const std::wstring& path, const wchar_t* security) {
    const UniqueLocalMemory descriptor = Descriptor(security);
    if (!descriptor) return Result(TPlaceStatus::Failed, path, ::GetLastError());
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    if (::CreateDirectoryW(path.c_str(), &attributes)) return Result(TPlaceStatus::Done, path);
    const DWORD error = ::GetLastError();
    return Result(error == ERROR_ALREADY_EXISTS ? TPlaceStatus::Kept : TPlaceStatus::Failed, path, error);
}

DWORD ApplySecurity(HANDLE folder, const wchar_t* security) {
    const UniqueLocalMemory descriptor = Descriptor(security);
    if (!descriptor) return ::GetLastError();
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) ||
        !::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted))
        return ::GetLastError();
    return ::SetSecurityInfo(folder, SE_FILE_OBJECT,
                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                 PROTECTED_DACL_SECURITY_INFORMATION,
                             owner, nullptr, dacl, nullptr);
}

bool Mark(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD size) {
    return ::SetFileInformationByHandle(file, kind, info, size) != FALSE;
}

void Discard(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    Mark(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// Names the open file `target`; false (ERROR_ALREADY_EXISTS) when that name is taken.
bool RenameWithoutReplacing(HANDLE file, const std::wstring& target) {
    const size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->FileName, target.data(), nameBytes);
    return Mark(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size()));
}

}  // namespace

std::vector<std::wstring> FolderChain(const std::wstring& folder) {
    std::wstring path = folder;
    for (wchar_t& unit : path)
        if (unit == L'/') unit = L'\\';
    std::wstring root;
    size_t rest = 0;
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return {};
    if (path.rfind(L"\\\\", 0) == 0) {
        const size_t server = path.find(L'\\', 2);
        if (server == std::wstring::npos || server == 2) return {};
        const size_t share = path.find(L'\\', server + 1);
        const size_t shareEnd = share == std::wstring::npos ? path.size() : share;
        if (shareEnd == server + 1) return {};
        root = path.substr(0, shareEnd) + L"\\";
        rest = shareEnd;
    } else if (path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
               path[1] == L':' && path[2] == L'\\') {
        root = path.substr(0, 3);
        rest = 3;
    } else {
        return {};
    }
    std::vector<std::wstring> chain{root};
    std::wstring current = root;
    while (rest < path.size()) {
        size_t end = path.find(L'\\', rest);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring part = path.substr(rest, end - rest);
        rest = end + 1;
        if (part.empty()) continue;
        if (part == L"." || part == L"..") return {};
        current = chain.size() == 1 ? root + part : current + L"\\" + part;
        chain.push_back(current);
    }
    return chain;
}

std::wstring PlaceResultText(const TPlaceResult& result) {
    switch (result.Status) {
    case TPlaceStatus::Done: return L"done: " + result.Where;
    case TPlaceStatus::Kept: return L"already there, kept: " + result.Where;
    case TPlaceStatus::LinkRefused:
        return L"refused: " + result.Where + L" is a junction, symbolic link or mount point";
    case TPlaceStatus::NotAFolder: return L"refused: " + result.Where + L" is no folder of a plain absolute path";
    case TPlaceStatus::Failed: break;
    }
    return L"failed: " + result.Where + L": " + result.Reason;
}

TPlaceResult THeldFolderChain::Open(const std::wstring& dataRoot, const std::wstring& folder) {
    held_.clear();
    chain_ = FolderChain(folder);
    if (chain_.empty()) return Result(TPlaceStatus::NotAFolder, folder);
    const std::vector<std::wstring> rootChain = FolderChain(dataRoot);
    size_t securedFrom = chain_.size();
    if (!rootChain.empty() && rootChain.size() <= chain_.size() &&
        SamePath(rootChain.back(), chain_[rootChain.size() - 1]))
        securedFrom = rootChain.size() - 1;

    // A user's folder may deny Administrators everything: the backup and
    // restore privileges open it anyway, and taking ownership lets its
    // permissions be replaced.
    const TThreadPrivileges privileges{SE_BACKUP_NAME, SE_RESTORE_NAME, SE_TAKE_OWNERSHIP_NAME};
    for (size_t i = 0; i < chain_.size(); ++i) {
        const std::wstring& path = chain_[i];
        const bool secured = i >= securedFrom;
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            // Made by us, so ours whatever the parent hands down.
            const TPlaceResult made = MakeFolderWith(path, kDataFolderSecurity);
            if (made.Status == TPlaceStatus::Failed) return made;
        }
        // The data folders are held without sharing write access either: a
        // handle a user opened for writing before their permissions changed
        // makes this fail rather than keep its rights.
        const DWORD access = FILE_READ_ATTRIBUTES | READ_CONTROL | (secured ? WRITE_DAC | WRITE_OWNER : 0);
        const DWORD share = secured ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
        UniqueFileHandle handle = OpenFolderItself(path, access, share);
        if (!handle) return Result(TPlaceStatus::Failed, path, ::GetLastError());
        if (TPlaceResult checked = CheckFolder(handle.get(), path); checked.Status != TPlaceStatus::Done)
            return checked;
        if (secured) {
            if (const DWORD error = ApplySecurity(handle.get(), kDataFolderSecurity); error != ERROR_SUCCESS)
                return Result(TPlaceStatus::Failed, path, error);
        }
        held_.push_back(std::move(handle));
    }
    return Result(TPlaceStatus::Done, chain_.back());
}

bool THeldFolderChain::Holds(const std::wstring& folder) const {
    if (held_.size() != chain_.size()) return false;
    for (const std::wstring& path : chain_)
        if (SamePath(path, folder)) return true;
    return false;
}

TPlaceResult THeldFolderChain::MakeFolder(const std::wstring& parent, const std::wstring& name,
                                          const wchar_t* security) {
    const std::wstring path = JoinPath(parent, name);
    if (!Holds(parent) || name.empty() || name.find_first_of(L"\\/") != std::wstring::npos)
        return Result(TPlaceStatus::NotAFolder, path);
    return MakeFolderWith(path, security);
}

TPlaceResult THeldFolderChain::PlaceCopy(const std::wstring& name, const std::wstring& sourceFile) {
    if (chain_.empty() || held_.size() != chain_.size()) return Result(TPlaceStatus::NotAFolder, name);
    const std::wstring target = JoinPath(chain_.back(), name);
    if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) return Result(TPlaceStatus::Kept, target);
    std::string bytes;
    try {
        bytes = ReadFileBytes(sourceFile);
    } catch (const AppError& error) {
        return {TPlaceStatus::Failed, sourceFile, error.message()};
    }
    const std::wstring temporary =
        target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64()) + L".tmp";
    // A new file or none: whatever is found under the temporary name is not ours.
    UniqueFileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Result(TPlaceStatus::Failed, temporary, ::GetLastError());
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !::FlushFileBuffers(file.get())) {
        const DWORD error = ::GetLastError();
        Discard(file.get());
        return Result(TPlaceStatus::Failed, temporary, error);
    }
    if (!RenameWithoutReplacing(file.get(), target)) {
        const DWORD error = ::GetLastError();
        Discard(file.get());
        return Result(error == ERROR_ALREADY_EXISTS ? TPlaceStatus::Kept : TPlaceStatus::Failed, target, error);
    }
    return Result(TPlaceStatus::Done, target);
}
