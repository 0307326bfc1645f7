#include "SlapdServer.h"

#include "FreePort.h"
#include "ProcessRunner.h"
#include "TextConvert.h"

#include <windows.h>

#include <fstream>

namespace {

constexpr wchar_t kScriptName[] = L"slapd-control.sh";

std::wstring ScriptPath() { return ProgramFolder() + L"\\orgdir-data\\" + kScriptName; }

std::string Base64(const std::string& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
        text += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
    }
    if (i + 1 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        text += {kDigits[v >> 18], kDigits[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        text += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], '='};
    }
    return text;
}

// LDIF wants values other than plain ASCII in base64 ("name:: ...").
std::wstring LdifLine(const std::wstring& name, const std::wstring& value) {
    bool plain = value.empty() || (value.front() != L' ' && value.front() != L':' && value.front() != L'<');
    for (const wchar_t c : value) plain = plain && c >= 0x20 && c < 0x7f;
    if (plain) return name + L": " + value + L"\n";
    return name + L":: " + Utf8ToWide(Base64(WideToUtf8(value))) + L"\n";
}

}  // namespace

std::wstring PersonDn(const std::wstring& uid) { return L"uid=" + uid + L",ou=people," + TSlapdServer::kSuffix; }

std::wstring LdifPerson(const std::wstring& uid, const TLdifAttributes& attributes) {
    std::wstring ldif = L"dn: " + PersonDn(uid) + L"\nobjectClass: inetOrgPerson\nuid: " + uid + L"\n";
    bool hasCn = false, hasSn = false;
    for (const auto& [name, value] : attributes) {
        hasCn = hasCn || name == L"cn";
        hasSn = hasSn || name == L"sn";
        ldif += LdifLine(name, value);
    }
    if (!hasCn) ldif += L"cn: " + uid + L"\n";
    if (!hasSn) ldif += L"sn: " + uid + L"\n";
    return ldif + L"\n";
}

TSlapdServer::~TSlapdServer() {
    std::string ignored;
    if (started_) Stop(ignored);
}

bool TSlapdServer::Available() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr &&
           ::GetFileAttributesW(ScriptPath().c_str()) != INVALID_FILE_ATTRIBUTES && !UnixPath(ScriptPath()).empty();
}

std::wstring TSlapdServer::WriteFile(const std::wstring& name, const std::wstring& text) {
    const std::wstring path = folder_.file(name);
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
    file << WideToUtf8(text);
    return UnixPath(path);
}

bool TSlapdServer::Run(const std::wstring& arguments, std::string& why, unsigned timeoutMs) {
    std::string log;
    if (RunLinuxScript(ScriptPath(), arguments, folder_.path(), timeoutMs, log) == 0) return true;
    why = "slapd-control.sh failed: " + log;
    return false;
}

bool TSlapdServer::Start(const std::wstring& entriesLdif, int sizeLimit, std::string& why, TSlapdSecurity security) {
    const std::wstring data = std::wstring(L"dn: ") + kSuffix +
                              L"\nobjectClass: dcObject\nobjectClass: organization\no: Kordavin\ndc: kordavin\n\n"
                              L"dn: ou=people," + kSuffix + L"\nobjectClass: organizationalUnit\nou: people\n\n" +
                              entriesLdif;
    const std::wstring ldif = WriteFile(L"data.ldif", data);
    port_ = FreePort();
    std::wstring securityArguments;
    switch (security) {
    case TSlapdSecurity::Plain: break;
    case TSlapdSecurity::Tls:
        do securePort_ = FreePort();
        while (securePort_ == port_);
        securityArguments = L" tls " + std::to_wstring(securePort_);
        break;
    case TSlapdSecurity::PlainRefusing: securityArguments = L" plain-refusing"; break;
    }
    // Stopped in the end even when the start fails half-way.
    started_ = true;
    const bool done = Run(L"start " + QuoteArgument(UnixPath(folder_.path())) + L" " + std::to_wstring(port_) + L" " +
                              std::to_wstring(sizeLimit) + L" " + QuoteArgument(ldif) + securityArguments,
                          why, 300000);
    return done;
}

bool TSlapdServer::Stop(std::string& why) {
    const bool done = Run(L"stop " + QuoteArgument(UnixPath(folder_.path())), why);
    if (done) started_ = false;
    return done;
}

bool TSlapdServer::Restart(std::string& why) {
    const bool done = Run(L"restart " + QuoteArgument(UnixPath(folder_.path())), why);
    started_ = started_ || done;
    return done;
}

bool TSlapdServer::Modify(const std::wstring& changesLdif, std::string& why) {
    const std::wstring ldif = WriteFile(L"changes.ldif", changesLdif);
    return Run(L"modify " + QuoteArgument(UnixPath(folder_.path())) + L" " + QuoteArgument(ldif), why);
}
