// directory-shot.exe WINDOW.bmp IMPORT.bmp [EDITOR.bmp]: the subscriber
// directory window over a few sample rows, its import preview of a sample file
// and the contact editor of one row, saved as 24-bit BMPs for the screenshots
// in docs/ (scripts/screenshots).
#include "ContactEditorForm.h"
#include "ControlsStartup.h"
#include "DirectoryBrowserForm.h"
#include "DirectoryBrowserRes.h"
#include "DirectoryBulk.h"
#include "DirectoryImportForm.h"
#include "DirectoryTestSupport.h"
#include "MessagePump.h"
#include "ScreenBitmap.h"
#include "TestFolders.h"
#include "TextConvert.h"

#include <windows.h>

#include <cstdio>

namespace {

bool Shoot(HWND window, const std::wstring& path) {
    PumpFor(1500);
    RECT area{};
    ::GetWindowRect(window, &area);
    return SaveBitmap(area, path);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 && argc != 4) {
        std::fputs("usage: directory-shot WINDOW.bmp IMPORT.bmp [EDITOR.bmp]\n", stderr);
        return 2;
    }
    EnsureCommonControls();
    TempFolder folder;
    TempFolder cities;
    MakeCityTable(cities.path(), {{L"7495", L"Москва"}, {L"7812", L"Санкт-Петербург"}, {L"7343", L"Екатеринбург"}});
    const DirectoryRow rows[] = {
        {L"74951234567", L"Иванов Иван Петрович", L"бухгалтерия, доб. 12"},
        {L"74959876543", L"ООО «Ромашка»", L"поставки по вторникам"},
        {L"78121234500", L"Иванова Анна", L""},
        {L"73432223344", L"Кузнецов Сергей", L"перезвонить после 15:00"},
        {L"79161112233", L"Smith John", L"говорит по-английски"},
        {L"74957654321", L"Сидорова Мария", L""},
    };
    for (const DirectoryRow& row : rows) PutDirectoryRow(folder.path(), row);

    TDirectorySource source;
    source.AbonentPhoneDir = folder.path();
    source.CityCodesDir = cities.path();
    const HWND browser = TDirectoryBrowserForm::Open(::GetModuleHandleW(nullptr), source);
    const HWND search = ::GetDlgItem(browser, IDC_DIRBROWSER_SEARCH);
    ::SendMessageW(browser, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(search), TRUE);
    for (wchar_t c : std::wstring(L"иванов")) ::PostMessageW(search, WM_CHAR, c, 1);
    bool saved = Shoot(browser, argv[1]);

    // An address book as a Russian desktop mail client exports it: every
    // number of a contact, the name from its parts.
    const std::string csv = WideToUtf8(
        L"\"Имя\",\"Отчество\",\"Фамилия\",\"Организация\",\"Должность\",\"Рабочий телефон\",\"Мобильный телефон\","
        L"\"Домашний телефон\",\"Заметки\"\r\n"
        L"\"Иван\",\"Петрович\",\"Иванов\",\"\",\"\",\"8 (495) 123-45-67\",\"+7 916 111-22-33\",\"\",\"\"\r\n"
        L"\"Ольга\",\"\",\"Лебедева\",\"ООО Ромашка\",\"бухгалтер\",\"8 495 000-11-22\",\"8 903 555-44-33\",\"\",\"\"\r\n"
        L"\"Елена\",\"\",\"Морозова\",\"\",\"\",\"\",\"8 (812) 700-00-01\",\"8 (812) 700-00-01\",\"до 18:00\"\r\n"
        L"\"\",\"\",\"\",\"ЗАО Вектор\",\"\",\"8 (343) 222-33-44\",\"\",\"\",\"\"\r\n"
        L"\"Олег\",\"\",\"Петров\",\"\",\"\",\"звонить вечером\",\"\",\"\",\"\"\r\n");
    const HWND preview = TDirectoryImportForm::Open(::GetModuleHandleW(nullptr), browser, folder.path(),
                                                    TDiallingSettings{}, L"C:\\Контакты\\клиенты.csv", csv, {});
    saved = Shoot(preview, argv[2]) && saved;
    ::DestroyWindow(preview);
    if (argc == 4) {
        const HWND editor = TEditorForm::Open(::GetModuleHandleW(nullptr), rows[0].phone, rows[0].name,
                                              rows[0].comment, false,
                                              [](const std::wstring&, const std::wstring&, const std::wstring&) {});
        saved = Shoot(editor, argv[3]) && saved;
        TEditorForm::CloseAll();
    }
    TDirectoryBrowserForm::CloseAll();
    PumpPending();
    return saved ? 0 : 1;
}
