#pragma once
#include "CallActions.h"
#include "InformerController.h"
#include "MainFormSettings.h"

#include <windows.h>

#include <functional>

// The program's other windows, opened from the tray menu, the popups and the
// journal with what each of them does; none is handed a part of the controller.
class TProgramWindows {
public:
    // journalSeen: the journal's calls have been seen (the tray's hint follows).
    TProgramWindows(HINSTANCE instance, TInformerController& controller, const TCallActions& callActions,
                    std::function<void()> journalSeen);

    void OpenContactEditor(const TCaller& caller, bool isPreview);
    // The subscriber directory's browser over the applied folders, the directory
    // server or the SQL directory's replica.
    void OpenDirectory(const TMainFormSettings& settings);
    void OpenDiagnostics();
    // Opens the journal or brings it forward; its calls count as seen from now on.
    void OpenJournal();
    // Closes every one of them without applying anything, at the program's end:
    // none may be left to start a save once the parts go.
    static void CloseAll();

private:
    HINSTANCE FInstance;
    TInformerController& FController;
    const TCallActions& FCallActions;
    std::function<void()> FJournalSeen;
};
