// popup-shot.exe OUT.bmp [QUIET.bmp]: starts the real tray program against the
// simulated server, rings a channel with a caller the subscriber directory knows
// and saves the popup, with "Перезвонить" beside "Внести данные", as a 24-bit
// BMP; with QUIET.bmp also the dialog "Тихие часы" of the tray menu. For docs/
// (scripts/screenshots).
#include "InformerProcess.h"
#include "QuietTimeRes.h"
#include "ScreenBitmap.h"
#include "TestFolders.h"
#include "pqrUnit.h"

#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: popup-shot OUT.bmp\n", stderr);
        return 2;
    }
    // The simulated server, registered as the tests register it.
    HMODULE sim = ::LoadLibraryW((ProgramFolder() + L"\\KordavinSim.dll").c_str());
    using Register = HRESULT(STDAPICALLTYPE*)();
    auto registerServer =
        sim ? reinterpret_cast<Register>(reinterpret_cast<void*>(::GetProcAddress(sim, "DllRegisterServer"))) : nullptr;
    if (!registerServer || FAILED(registerServer())) return 1;
    TempFolder folder;
    {
        TPQRDataModule subscribers(folder.file(L"PQR"));
        subscribers.Open();
        subscribers.AddEditRow(L"74951234567", L"Иванов Пётр", L"Поставщик бумаги");
        subscribers.Close();
    }
    InformerProcess informer({UniqueSimSession(), true, folder.path(), {L"TrayMsgAnimate=0"}});
    if (!informer.WaitForSimulator()) return 1;
    ::Sleep(1000);
    informer.Recsim({L"ring", L"Приёмная"});
    informer.Recsim({L"ani", L"Приёмная", L"84951234567"});
    if (!informer.WaitForPopups(1)) return 1;
    ::Sleep(1500);
    RECT area{};
    ::GetWindowRect(informer.Popups().front(), &area);
    bool saved = SaveBitmap(area, argv[1]);
    if (argc > 2) {
        // "Не беспокоить" > "Тихие часы…" of the tray menu.
        ::PostMessageW(informer.MainWindow(), WM_COMMAND, MAKEWPARAM(IDM_QUIET_HOURS, 0), 0);
        const HWND quiet = informer.FindVisibleWindow(L"Тихие часы");
        ::Sleep(1000);
        ::GetWindowRect(quiet, &area);
        saved = quiet && SaveBitmap(area, argv[2]) && saved;
    }
    informer.Exit();
    return saved ? 0 : 1;
}
