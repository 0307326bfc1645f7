#pragma once
#include "TestFolders.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// The real KordavinInformer.exe started for a black-box test: a copy of it runs
// from a folder of the test's own, configured through the INI file beside it
// (directories inside that folder too), with the test's simulator session.
class InformerProcess {
public:
    struct Options {
        std::wstring simSession;
        bool active = true;
        // Where the copy runs; empty: a temporary folder of its own. Its call
    // journal is the folder's "Journal\CallJournal.db".
        std::wstring folder;
        // More "Key=Value" lines of the section Main.
        std::vector<std::wstring> iniLines;
        // A file where the program records the URLs it would open in the browser;
        // set, the test build of the program runs. Braced: the many callers
        // without one leave it out unwarned.
        std::wstring urlLog{};
    };

    explicit InformerProcess(const Options& options);
    ~InformerProcess();
    InformerProcess(const InformerProcess&) = delete;
    InformerProcess& operator=(const InformerProcess&) = delete;

    bool started() const { return process_.valid(); }
    DWORD processId() const { return processId_; }

    // Waits until the program has created its recording-server object.
    bool WaitForSimulator(DWORD timeoutMs = 15000) const;
    // The program's main window (hidden or not), found by process and class. A busy
    // machine may take many seconds to start a Wine process.
    HWND MainWindow(DWORD timeoutMs = 30000) const;
    std::wstring StatusText() const;
    // The texts of the message boxes the program shows, for diagnosing a failure.
    std::wstring DialogTexts() const;
    // A visible message box of the program whose text holds part, once it appears.
    HWND FindMessageBox(const std::wstring& part, DWORD timeoutMs = 10000) const;
    static std::wstring MessageBoxText(HWND box);
    // The program's visible top-level window with this caption, once it appears.
    HWND FindVisibleWindow(const std::wstring& caption, DWORD timeoutMs = 10000) const;
    // The program's visible top-level windows of this window class.
    std::vector<HWND> VisibleWindowsOfClass(const std::wstring& className) const;
    // The program's visible popup windows, and what one of them shows.
    std::vector<HWND> Popups() const;
    static std::wstring PopupTitle(HWND popup);
    static std::wstring PopupText(HWND popup);
    // Waits until exactly count popups are visible.
    bool WaitForPopups(size_t count, DWORD timeoutMs = 10000) const;
    // Waits until the popup's text holds part.
    static bool WaitForPopupText(HWND popup, const std::wstring& part, DWORD timeoutMs = 10000);
    // "Внести данные" in the popup, the name typed into the editor it opens and
    // saved with Enter; true once the editor has closed.
    bool SaveNameFromPopup(HWND popup, const std::wstring& name) const;
    // Runs recsim.exe against this program; returns its exit code.
    DWORD Recsim(const std::vector<std::wstring>& arguments) const;
    // A caller-ID event on the channel; the popup once it shows the canonical
    // number, nullptr when no popup came.
    HWND Call(const std::wstring& channel, const std::wstring& number, const std::wstring& canonical) const;
    // The call on the channel ends; its popup must go.
    void EndCall(const std::wstring& channel) const;
    // Chooses "Выход" and waits for the program to end; returns its exit code.
    DWORD Exit(DWORD timeoutMs = 15000);
    // Sends the tray icon's callback message as the shell does for an icon of
    // NOTIFYICON_VERSION_4: the event and the icon's id in lParam, the anchor in wParam.
    void TrayEvent(UINT event, POINT anchor = {}) const;
    // Chooses "Выход" without waiting.
    void RequestExit();
    // Waits for the program to end; its exit code, or -1 when it is still running.
    DWORD WaitForExit(DWORD timeoutMs) const;

    const std::wstring& folder() const { return folder_; }

    // The texts of a list view's row in another process, column by column.
    static std::vector<std::wstring> ListViewRow(HWND list, int row, int columns);

    // Writes a UTF-16 INI file with the section Main holding these lines.
    static void WriteIniFile(const std::wstring& path, const std::vector<std::wstring>& lines);

private:
    std::vector<HWND> TopLevelWindows() const;

    std::unique_ptr<TempFolder> ownFolder_;
    std::wstring folder_;
    std::wstring session_;
    UniqueKernelHandle process_;
    DWORD processId_ = 0;
};
