// simclient: a console client of the recording server SDK. It connects like the
// tray program does and prints every event it reads, for demos and diagnosis.
#include "AppError.h"
#include "ComVariant.h"
#include "KordavinClient.h"
#include "RecorderEvent.h"
#include "TextConvert.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <span>
#include <string>

namespace {

void Out(const std::wstring& text) {
    const std::string bytes = WideToUtf8(text + L"\n");
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int Run(int argc, wchar_t** argv) {
    std::wstring server;
    unsigned seconds = 30;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--server" && i + 1 < argc) server = argv[++i];
        else if (option == L"--seconds" && i + 1 < argc) seconds = static_cast<unsigned>(_wtoi(argv[++i]));
        else {
            Out(L"usage: simclient [--server NAME] [--seconds N]");
            return 1;
        }
    }
    ComApartment apartment;
    KordavinClient client = KordavinClient::Create(server);
    const int32_t connected = client.Connect();
    Out(L"connect " + std::to_wstring(connected) + L" pid " + std::to_wstring(::GetCurrentProcessId()));
    if (connected != 0) return 2;
    std::wstring channels;
    if (client.GetChannelList(channels) == 0) Out(L"channels " + channels);

    const ULONGLONG deadline = ::GetTickCount64() + seconds * 1000ull;
    while (::GetTickCount64() < deadline) {
        ComVariant message;
        while (client.ReadMessage(message) == 0) {
            const VARIANT* value = message.get();
            if (value->vt != (VT_ARRAY | VT_UI1)) throw AppError(L"event is not a byte array");
            SafeArrayDataLock lock(value->parray);
            const auto size = static_cast<size_t>(value->parray->rgsabound[0].cElements);
            const auto event = DecodeRecorderEvent(
                std::span(static_cast<const uint8_t*>(lock.data()), size));
            if (!event) throw AppError(L"event record too short");
            const std::wstring_view name = RecorderEventName(event->Code);
            Out(L"event " + (name.empty() ? std::to_wstring(event->Code) : std::wstring(name)) + L" [" +
                event->Channel + L"] [" + event->Text + L"]");
            if (event->Code == KDV_MSG_DESTROY_CONNECTION) return 0;
        }
        ::Sleep(200);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Run(argc, argv);
    } catch (const AppError& error) {
        Out(L"error " + error.message());
        return 3;
    }
}
