// How the installer puts the city-code table into a common data folder that a
// user may have made: links on the way refused, the folders' permissions set,
// files placed only as new ones.
#include "HeldFolderChain.h"
#include "TableStore.h"
#include "TestFolders.h"
#include "TextConvert.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <fstream>
#include <functional>
#include <memory>

namespace {

void WriteText(const std::wstring& path, const std::string& text) {
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
    file << text;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsEmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool empty = true;
    do {
        const std::wstring name = data.cFileName;
        empty = empty && (name == L"." || name == L"..");
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return empty;
}

// The reparse data of a junction (a mount point), as FSCTL_SET_REPARSE_POINT takes it.
std::vector<BYTE> JunctionData(const std::wstring& target) {
    const std::wstring substitute = L"\\??\\" + target;
    const USHORT substituteBytes = static_cast<USHORT>(substitute.size() * sizeof(wchar_t));
    const size_t header = 8;   // tag, data length, reserved
    const size_t offsets = 8;  // substitute and print names' offsets and lengths
    std::vector<BYTE> data(header + offsets + substituteBytes + 2 * sizeof(wchar_t), 0);
    auto put16 = [&](size_t at, USHORT value) { memcpy(&data[at], &value, sizeof value); };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    memcpy(&data[0], &tag, sizeof tag);
    put16(4, static_cast<USHORT>(data.size() - header));
    put16(8, 0);
    put16(10, substituteBytes);
    put16(12, static_cast<USHORT>(substituteBytes + sizeof(wchar_t)));
    put16(14, 0);
    memcpy(&data[16], substitute.data(), substituteBytes);
    return data;
}

// Runs a Unix program in `folder` (Wine starts Unix programs as they are).
void RunUnix(const std::wstring& folder, std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                         &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}

bool WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 500; ++i) {
        if (done()) return true;
        ::Sleep(20);
    }
    return false;
}

// A folder that is a link to another one, as a user may leave it in the data
// folder: a junction where the file system makes them. Wine refuses to
// (FSCTL_SET_REPARSE_POINT fails, CreateSymbolicLinkW makes nothing), but shows
// a Unix symbolic link as a reparse point, so under Wine the test makes one of
// those with ln, to the target as seen from the link's folder; Wine's
// RemoveDirectoryW would remove the target, so rm removes it.
class TDirectoryLink {
public:
    TDirectoryLink(const std::wstring& parent, const std::wstring& name, const std::wstring& target,
                   const std::wstring& relativeTarget)
        : parent_(parent), name_(name) {
        const std::wstring link = Path();
        if (::CreateDirectoryW(link.c_str(), nullptr)) {
            UniqueFileHandle folder(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            std::vector<BYTE> data = JunctionData(target);
            DWORD returned = 0;
            junction_ = folder && ::DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, data.data(),
                                                    static_cast<DWORD>(data.size()), nullptr, 0, &returned, nullptr);
            folder.reset();
            if (!junction_) ::RemoveDirectoryW(link.c_str());
        }
        if (!junction_) {
            std::wstring target = relativeTarget;
            for (wchar_t& unit : target)
                if (unit == L'\\') unit = L'/';
            RunUnix(parent, L"/bin/ln -s \"" + target + L"\" \"" + name + L"\"");
            WaitUntil([&] { return IsLink(); });
        }
    }
    ~TDirectoryLink() {
        if (junction_) {
            ::RemoveDirectoryW(Path().c_str());
        } else if (IsLink()) {
            RunUnix(parent_, L"/bin/rm -f \"" + name_ + L"\"");
            WaitUntil([&] { return !Exists(Path()); });
        }
    }
    TDirectoryLink(const TDirectoryLink&) = delete;
    TDirectoryLink& operator=(const TDirectoryLink&) = delete;

    std::wstring Path() const { return parent_ + L"\\" + name_; }
    bool IsLink() const {
        const DWORD attributes = ::GetFileAttributesW(Path().c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }

private:
    std::wstring parent_;
    std::wstring name_;
    bool junction_ = false;
};

struct LocalFreeDeleter {
    void operator()(void* memory) const { ::LocalFree(memory); }
};
using LocalDescriptor = std::unique_ptr<void, LocalFreeDeleter>;

LocalDescriptor FromString(const wchar_t* security) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(security, SDDL_REVISION_1, &descriptor, nullptr));
    return LocalDescriptor(descriptor);
}

LocalDescriptor ReadBack(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_EQ(
        static_cast<DWORD>(ERROR_SUCCESS),
        ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, nullptr, nullptr, &descriptor));
    return LocalDescriptor(descriptor);
}

bool IsOneOf(PSID sid, std::initializer_list<WELL_KNOWN_SID_TYPE> kinds) {
    for (WELL_KNOWN_SID_TYPE kind : kinds)
        if (::IsWellKnownSid(sid, kind)) return true;
    return false;
}

// What the DACL allows the standard users (Users, Authenticated Users,
// Everyone) on the object itself, or, with `inside`, on a file made in it.
DWORD UsersRights(PSECURITY_DESCRIPTOR descriptor, bool inside) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!descriptor || !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return 0;
    if (!present || !dacl) return GENERIC_ALL;  // no list at all: everyone may do everything
    DWORD rights = 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) continue;
        const auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        const bool applies =
            inside ? (header->AceFlags & OBJECT_INHERIT_ACE) != 0 : (header->AceFlags & INHERIT_ONLY_ACE) == 0;
        if (applies &&
            IsOneOf(const_cast<DWORD*>(&allowed->SidStart), {WinBuiltinUsersSid, WinAuthenticatedUserSid, WinWorldSid}))
            rights |= allowed->Mask;
    }
    return rights;
}

// Rights by which a user could put something into a folder, or take it away
// or re-permission it.
constexpr DWORD kChangingFolder = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// A common data folder in a folder of the test's own, like "C:\ProgramData".
class DataFolder : public ::testing::Test {
protected:
    std::wstring Root() const { return programData_.file(L"Kordavin Data"); }
    std::wstring Codes() const { return Root() + L"\\Localize\\RUS\\TQR"; }

    TempFolder programData_;
    TempFolder elsewhere_;
};

}  // namespace

TEST(FolderChain, FromTheRootDownOrNothingForAPathThatIsNotPlain) {
    using Chain = std::vector<std::wstring>;
    EXPECT_EQ(
        (Chain{L"C:\\", L"C:\\ProgramData", L"C:\\ProgramData\\Kordavin Data", L"C:\\ProgramData\\Kordavin Data\\PQR"}),
        FolderChain(L"C:\\ProgramData\\Kordavin Data\\PQR"));
    EXPECT_EQ((Chain{L"D:\\", L"D:\\Data", L"D:\\Data\\Codes"}), FolderChain(L"D:/Data//Codes/"));
    EXPECT_EQ((Chain{L"\\\\files\\phones\\", L"\\\\files\\phones\\codes"}), FolderChain(L"\\\\files\\phones\\codes"));
    EXPECT_EQ((Chain{L"C:\\"}), FolderChain(L"C:\\"));
    for (const wchar_t* refused : {L"", L"Codes", L"C:Codes", L"\\Codes", L"\\\\?\\C:\\Data", L"\\\\.\\pipe\\codes",
                                   L"C:\\Data\\..\\Windows", L"C:\\Data\\.\\Codes", L"\\\\files", L"\\\\files\\"})
        EXPECT_TRUE(FolderChain(refused).empty()) << WideToUtf8(refused);
}

TEST(DataFolderLinks, ALinkAnywhereOnTheWayIsRefusedAndNothingIsWrittenWhereItPoints) {
    // The link's place below the common application data folder.
    const struct {
        const wchar_t* parent;
        const wchar_t* name;
    } cases[] = {{L"", L"Kordavin Data"}, {L"Kordavin Data", L"Localize"}, {L"Kordavin Data\\Localize\\RUS", L"TQR"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.name));
        TempFolder programData;
        TempFolder elsewhere;
        const std::wstring parent = std::wstring(c.parent).empty() ? programData.path() : programData.file(c.parent);
        ASSERT_TRUE(CreateFolderWithParents(parent));
        // From the link's folder up to the temporary folder, then into the other one.
        std::wstring up = L"..\\";
        for (const wchar_t* at = c.parent; *at; ++at)
            if (*at == L'\\') up += L"..\\";
        if (*c.parent) up += L"..\\";
        const size_t nameStart = elsewhere.path().find_last_of(L'\\') + 1;
        const TDirectoryLink link(parent, c.name, elsewhere.path(), up + elsewhere.path().substr(nameStart));
        ASSERT_TRUE(link.IsLink()) << "the test could not make a link";

        const std::wstring root = programData.file(L"Kordavin Data");
        THeldFolderChain chain;
        const TPlaceResult opened = chain.Open(root, root + L"\\Localize\\RUS\\TQR");
        EXPECT_EQ(TPlaceStatus::LinkRefused, opened.Status) << WideToUtf8(PlaceResultText(opened));
        EXPECT_EQ(link.Path(), opened.Where);
        EXPECT_EQ(TPlaceStatus::NotAFolder, chain.PlaceCopy(L"CityCodes.db", programData.file(L"x")).Status);
        EXPECT_TRUE(IsEmptyFolder(elsewhere.path())) << "nothing made where the link points";
    }
}

TEST_F(DataFolder, SomethingOnTheWayThatIsNoFolderIsRefused) {
    ASSERT_TRUE(::CreateDirectoryW(Root().c_str(), nullptr));
    WriteText(Root() + L"\\Localize", "a file");
    THeldFolderChain chain;
    EXPECT_EQ(TPlaceStatus::NotAFolder, chain.Open(Root(), Codes()).Status);
    EXPECT_EQ(TPlaceStatus::NotAFolder, chain.Open(Root(), L"Localize\\RUS").Status);
}

TEST(FolderSecurity, UsersReadTheDataFoldersAndWriteOnlyInsideTheSharedOne) {
    const LocalDescriptor data = FromString(kDataFolderSecurity);
    const LocalDescriptor shared = FromString(kSharedFolderSecurity);
    for (const LocalDescriptor* descriptor : {&data, &shared}) {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor->get(), &control, &revision));
        EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing handed down from a parent a user may own";
        PSID owner = nullptr;
        BOOL defaulted = FALSE;
        ASSERT_TRUE(::GetSecurityDescriptorOwner(descriptor->get(), &owner, &defaulted));
        EXPECT_TRUE(::IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    }
    EXPECT_EQ(0u, UsersRights(data.get(), false) & kChangingFolder);
    EXPECT_EQ(0u, UsersRights(data.get(), true) & (kChangingFolder | FILE_WRITE_DATA));
    EXPECT_EQ(static_cast<DWORD>(FILE_GENERIC_READ | FILE_GENERIC_EXECUTE), UsersRights(data.get(), true));

    // The program keeps the shared table there: users make, change and delete
    // its files, but cannot remove or re-permission the folder itself.
    const DWORD folder = UsersRights(shared.get(), false);
    EXPECT_EQ(static_cast<DWORD>(FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY),
              folder & (FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY));
    EXPECT_EQ(0u, folder & (DELETE | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER));
    const DWORD files = UsersRights(shared.get(), true);
    EXPECT_EQ(static_cast<DWORD>(FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE),
              files & (FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE));
    EXPECT_EQ(0u, files & (WRITE_DAC | WRITE_OWNER));
}

// Read back as Windows reports them. Wine keeps a folder's permissions as its
// Unix permissions, so there only what Everyone may do reads back (and the owner
// is always the Wine user): enough to see that the folder is no longer open to
// everyone.
TEST_F(DataFolder, TheFoldersAreMadeOrTakenOverWithTheirOwnPermissionsAndTheTableGoesInOnce) {
    // A user ran the program first and left the data folder open to everyone.
    ASSERT_TRUE(::CreateDirectoryW(Root().c_str(), nullptr));
    {
        const LocalDescriptor open = FromString(L"D:(A;OICI;FA;;;WD)");
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL dacl = nullptr;
        ASSERT_TRUE(::GetSecurityDescriptorDacl(open.get(), &present, &dacl, &defaulted));
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
                  ::SetNamedSecurityInfoW(const_cast<wchar_t*>(Root().c_str()), SE_FILE_OBJECT,
                                          DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr));
        ASSERT_NE(0u, UsersRights(ReadBack(Root()).get(), false) & kChangingFolder) << "the test's own set-up";
    }
    const std::wstring source = elsewhere_.file(L"CityCodes.db");
    WriteText(source, "the shipped table");

    THeldFolderChain chain;
    const TPlaceResult opened = chain.Open(Root(), Codes());
    ASSERT_EQ(TPlaceStatus::Done, opened.Status) << WideToUtf8(PlaceResultText(opened));
    for (const std::wstring& folder : {Root(), Root() + L"\\Localize", Codes()}) {
        SCOPED_TRACE(WideToUtf8(folder));
        EXPECT_EQ(0u, UsersRights(ReadBack(folder).get(), false) & kChangingFolder);
    }
    EXPECT_TRUE(chain.Holds(Root()));
    // What the users may do there is the descriptor's (see FolderSecurity); Wine
    // keeps only what Everyone may do, as the Unix permissions of the folder.
    EXPECT_EQ(TPlaceStatus::Done, chain.MakeFolder(Root(), L"PQR", kSharedFolderSecurity).Status);
    EXPECT_EQ(TPlaceStatus::Kept, chain.MakeFolder(Root(), L"PQR", kSharedFolderSecurity).Status);
    EXPECT_EQ(TPlaceStatus::NotAFolder, chain.MakeFolder(elsewhere_.path(), L"PQR", kSharedFolderSecurity).Status)
        << "only inside a held folder";

    const TPlaceResult placed = chain.PlaceCopy(L"CityCodes.db", source);
    EXPECT_EQ(TPlaceStatus::Done, placed.Status) << WideToUtf8(PlaceResultText(placed));
    EXPECT_EQ("the shipped table", ReadBytes(Codes() + L"\\CityCodes.db"));
    WriteText(source, "another table");
    EXPECT_EQ(TPlaceStatus::Kept, chain.PlaceCopy(L"CityCodes.db", source).Status);
    EXPECT_EQ("the shipped table", ReadBytes(Codes() + L"\\CityCodes.db")) << "never over an existing table";
    EXPECT_EQ(TPlaceStatus::Failed, chain.PlaceCopy(L"Other.db", elsewhere_.file(L"missing.db")).Status);

    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((Codes() + L"\\*.tmp").c_str(), &data);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find) << "no temporary file left";
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
    EXPECT_FALSE(Exists(Codes() + L"\\Other.db"));
}
