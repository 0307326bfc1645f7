#include "HttpGet.h"

#include "UniqueHandle.h"

#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct InternetHandleTraits {
    using Value = HINTERNET;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::WinHttpCloseHandle(v); }
};
using UniqueInternet = UniqueHandle<InternetHandleTraits>;

constexpr DWORD kReadChunk = 64 * 1024;

// What WinHTTP's callback hands to the waiting thread. Each call the thread
// makes completes once; the fields are written before Done is set and read
// after the wait on it.
struct TExchange {
    UniqueKernelHandle Done{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    // What a pending call may still use after this thread has given up on
    // it: the read buffer and the request headers live as long as the request.
    std::vector<char> Buffer = std::vector<char>(kReadChunk);
    std::wstring Headers;
    DWORD Status = 0;
    DWORD Error = 0;
    DWORD Bytes = 0;
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD infoLength) noexcept {
    auto* exchange = reinterpret_cast<TExchange*>(context);
    if (!exchange) return;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
        // The last call for this request.
        delete exchange;
        return;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        exchange->Error = info ? static_cast<DWORD>(static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError)
                               : ERROR_WINHTTP_INTERNAL_ERROR;
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        exchange->Bytes = infoLength;
        break;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        break;
    default:
        return;
    }
    exchange->Status = status;
    ::SetEvent(exchange->Done.get());
}

THttpGetResponse Failure(TCrmNamesError error, std::wstring detail = {}) {
    THttpGetResponse response;
    response.Error = error;
    response.Detail = std::move(detail);
    return response;
}

THttpGetResponse FromWinHttpError(DWORD error) {
    switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case ERROR_WINHTTP_CONNECTION_ERROR:
        return Failure(TCrmNamesError::ServerNotReached, std::to_wstring(error));
    case ERROR_WINHTTP_TIMEOUT:
        return Failure(TCrmNamesError::TimedOut);
    default:
        return Failure(TCrmNamesError::RequestFailed, std::to_wstring(error));
    }
}

struct TUrlParts {
    INTERNET_SCHEME Scheme = INTERNET_SCHEME_HTTP;
    std::wstring Host;
    INTERNET_PORT Port = 0;
    std::wstring PathAndQuery;
};

bool CrackUrl(const std::wstring& url, TUrlParts& parts) {
    URL_COMPONENTS components{};
    components.dwStructSize = sizeof(components);
    components.dwHostNameLength = static_cast<DWORD>(-1);
    components.dwUrlPathLength = static_cast<DWORD>(-1);
    components.dwExtraInfoLength = static_cast<DWORD>(-1);
    components.dwSchemeLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &components)) return false;
    if (components.nScheme != INTERNET_SCHEME_HTTP && components.nScheme != INTERNET_SCHEME_HTTPS) return false;
    parts.Scheme = components.nScheme;
    parts.Host.assign(components.lpszHostName, components.dwHostNameLength);
    parts.Port = components.nPort;
    parts.PathAndQuery.assign(components.lpszUrlPath, components.dwUrlPathLength);
    if (components.lpszExtraInfo) {
        // The fragment stays with us; the query goes to the server.
        std::wstring extra(components.lpszExtraInfo, components.dwExtraInfoLength);
        parts.PathAndQuery += extra.substr(0, extra.find(L'#'));
    }
    if (parts.PathAndQuery.empty()) parts.PathAndQuery = L"/";
    return !parts.Host.empty();
}

// Where a Location header points, as an absolute URL; empty when the target
// names a scheme other than http and https or is not understood.
std::wstring ResolveLocation(const TUrlParts& base, const std::wstring& location) {
    const std::wstring scheme = base.Scheme == INTERNET_SCHEME_HTTPS ? L"https:" : L"http:";
    if (location.rfind(L"//", 0) == 0) return scheme + location;
    const size_t colon = location.find(L':');
    const size_t firstSlash = location.find(L'/');
    if (colon != std::wstring::npos && (firstSlash == std::wstring::npos || colon < firstSlash)) return location;
    const std::wstring origin = scheme + L"//" + base.Host + L":" + std::to_wstring(base.Port);
    if (!location.empty() && location.front() == L'/') return origin + location;
    const std::wstring path = base.PathAndQuery.substr(0, base.PathAndQuery.find(L'?'));
    return origin + path.substr(0, path.rfind(L'/') + 1) + location;
}

class TGetExchange {
public:
    TGetExchange(const THttpGetRequest& request, HANDLE cancelEvent)
        : FAsked(request), FCancel(cancelEvent),
          FDeadline(Clock::now() + std::chrono::milliseconds(std::max(request.TimeoutMs, 1))) {}

    THttpGetResponse Run();

private:
    enum class TWait { Completed, TimedOut, Canceled };

    DWORD RemainingMs() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(FDeadline - Clock::now()).count();
        return left > 0 ? static_cast<DWORD>(left) : 0;
    }
    TWait WaitForCompletion();
    // The failure of a call that did not start or did not complete.
    THttpGetResponse StepFailure(TWait wait, DWORD error) const;
    bool OpenSession();
    THttpGetResponse OneHop(const TUrlParts& target, bool sendExtraHeader, std::wstring& location);
    void CloseRequest();

    const THttpGetRequest& FAsked;
    HANDLE FCancel;
    Clock::time_point FDeadline;
    UniqueInternet FSession;
    UniqueInternet FConnection;
    UniqueInternet FRequest;
    // Handed to WinHTTP when the request closes (see CloseRequest).
    std::unique_ptr<TExchange> FExchange;
    // Only a request with our callback reports its closing.
    bool FCallbackSet = false;
};

TGetExchange::TWait TGetExchange::WaitForCompletion() {
    HANDLE handles[2] = {FExchange->Done.get(), FCancel};
    const DWORD count = FCancel ? 2 : 1;
    const DWORD result = ::WaitForMultipleObjects(count, handles, FALSE, RemainingMs());
    if (result == WAIT_OBJECT_0) return TWait::Completed;
    if (result == WAIT_OBJECT_0 + 1) return TWait::Canceled;
    return TWait::TimedOut;
}

THttpGetResponse TGetExchange::StepFailure(TWait wait, DWORD error) const {
    if (wait == TWait::Canceled || (FCancel && ::WaitForSingleObject(FCancel, 0) == WAIT_OBJECT_0))
        return Failure(TCrmNamesError::Canceled);
    if (wait == TWait::TimedOut || RemainingMs() == 0) return Failure(TCrmNamesError::TimedOut);
    return FromWinHttpError(error);
}

bool TGetExchange::OpenSession() {
    constexpr wchar_t kAgent[] = L"KordavinInformer";
    // The system's proxy configuration where Windows offers it (8.1 and
    // later), otherwise the one set for WinHTTP.
    FSession.reset(::WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (!FSession)
        FSession.reset(::WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                     WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    return static_cast<bool>(FSession);
}

void TGetExchange::CloseRequest() {
    // Once the callback is in place WinHTTP owns the exchange: its closing
    // callback deletes it whenever the last pending operation lets go of the
    // request, which may be after this thread has moved on.
    if (FRequest && FCallbackSet) (void)FExchange.release();
    FRequest.reset();
    FExchange.reset();
    FCallbackSet = false;
}

THttpGetResponse TGetExchange::OneHop(const TUrlParts& target, bool sendExtraHeader, std::wstring& location) {
    location.clear();
    FConnection.reset(::WinHttpConnect(FSession.get(), target.Host.c_str(), target.Port, 0));
    if (!FConnection) return FromWinHttpError(::GetLastError());
    static const wchar_t* const kAccept[] = {L"application/json", nullptr};
    FRequest.reset(::WinHttpOpenRequest(FConnection.get(), L"GET", target.PathAndQuery.c_str(), nullptr,
                                        WINHTTP_NO_REFERER, const_cast<LPCWSTR*>(kAccept),
                                        target.Scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
    if (!FRequest) return FromWinHttpError(::GetLastError());
    FExchange = std::make_unique<TExchange>();
    if (!FExchange->Done) return Failure(TCrmNamesError::Internal);
    auto context = reinterpret_cast<DWORD_PTR>(FExchange.get());
    // Redirects are ours to check; cookies are never kept.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
    const bool noRedirects =
        ::WinHttpSetOption(FRequest.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof(disabled)) ||
        ::WinHttpSetOption(FRequest.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
    DWORD noCookies = WINHTTP_DISABLE_COOKIES;
    ::WinHttpSetOption(FRequest.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noCookies, sizeof(noCookies));
    if (!noRedirects ||
        !::WinHttpSetOption(FRequest.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context)) ||
        ::WinHttpSetStatusCallback(FRequest.get(), OnStatus,
                                   WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                   0) == WINHTTP_INVALID_STATUS_CALLBACK)
        return FromWinHttpError(::GetLastError());
    FCallbackSet = true;
    // WinHTTP's own time-outs as a second guard behind the deadline.
    const int left = static_cast<int>(std::max<DWORD>(RemainingMs(), 1));
    ::WinHttpSetTimeouts(FRequest.get(), left, left, left, left);

    std::wstring& headers = FExchange->Headers;
    headers = L"Accept: application/json\r\n";
    if (sendExtraHeader && !FAsked.ExtraHeader.empty()) headers += FAsked.ExtraHeader + L"\r\n";
    const auto failed = [&](TWait wait) { return StepFailure(wait, FExchange->Error); };
    if (!::WinHttpSendRequest(FRequest.get(), headers.c_str(), static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0,
                              0, context))
        return StepFailure(TWait::Completed, ::GetLastError());
    TWait wait = WaitForCompletion();
    if (wait != TWait::Completed || FExchange->Status != WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE)
        return failed(wait);
    if (!::WinHttpReceiveResponse(FRequest.get(), nullptr)) return StepFailure(TWait::Completed, ::GetLastError());
    wait = WaitForCompletion();
    if (wait != TWait::Completed || FExchange->Status != WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE)
        return failed(wait);

    THttpGetResponse response;
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!::WinHttpQueryHeaders(FRequest.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return FromWinHttpError(::GetLastError());
    response.Status = static_cast<int>(status);
    if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
        size = 0;
        ::WinHttpQueryHeaders(FRequest.get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                              WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (::WinHttpQueryHeaders(FRequest.get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, text.data(),
                                  &size, WINHTTP_NO_HEADER_INDEX))
            location.assign(text.c_str(), size / sizeof(wchar_t));
        if (location.empty()) location = L"?";
        return response;
    }
    if (status != 200) return response;

    // A declared length over the limit is refused before a byte of it is read.
    wchar_t lengthText[32] = {};
    size = sizeof(lengthText) - sizeof(wchar_t);
    if (::WinHttpQueryHeaders(FRequest.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, lengthText,
                              &size, WINHTTP_NO_HEADER_INDEX)) {
        const unsigned long long declared = std::wcstoull(lengthText, nullptr, 10);
        if (declared > FAsked.MaxBodyBytes)
            return Failure(TCrmNamesError::BodyTooLarge, std::to_wstring(declared));
    }
    for (;;) {
        if (!::WinHttpReadData(FRequest.get(), FExchange->Buffer.data(), kReadChunk, nullptr))
            return StepFailure(TWait::Completed, ::GetLastError());
        wait = WaitForCompletion();
        if (wait != TWait::Completed || FExchange->Status != WINHTTP_CALLBACK_STATUS_READ_COMPLETE)
            return failed(wait);
        if (FExchange->Bytes == 0) break;
        response.Body.append(FExchange->Buffer.data(), std::min<DWORD>(FExchange->Bytes, kReadChunk));
        if (response.Body.size() > FAsked.MaxBodyBytes)
            return Failure(TCrmNamesError::BodyTooLarge, L">" + std::to_wstring(FAsked.MaxBodyBytes));
    }
    return response;
}

THttpGetResponse TGetExchange::Run() {
    TUrlParts target;
    if (!CrackUrl(FAsked.Url, target)) return Failure(TCrmNamesError::SettingsRefused, FAsked.Url);
    if (!OpenSession()) return FromWinHttpError(::GetLastError());
    const TUrlParts first = target;
    for (int hop = 0;; ++hop) {
        // The token is for the server it was configured for, not wherever that points.
        const bool sameOrigin = target.Scheme == first.Scheme && target.Host == first.Host && target.Port == first.Port;
        std::wstring location;
        THttpGetResponse response = OneHop(target, sameOrigin, location);
        CloseRequest();
        FConnection.reset();
        if (response.Error != TCrmNamesError::None || location.empty()) return response;
        const std::wstring next = ResolveLocation(target, location);
        TUrlParts nextParts;
        if (hop >= FAsked.MaxRedirects || !CrackUrl(next, nextParts) || nextParts.Scheme != target.Scheme)
            return Failure(TCrmNamesError::RedirectRefused, location);
        target = nextParts;
    }
}

}  // namespace

THttpGetResponse HttpGet(const THttpGetRequest& request, HANDLE cancelEvent) {
    TGetExchange exchange(request, cancelEvent);
    return exchange.Run();
}
