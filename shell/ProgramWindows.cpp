#include "ProgramWindows.h"

#include "CallJournalForm.h"
#include "ContactEditorForm.h"
#include "DiagnosticsForm.h"
#include "DirectoryBrowserForm.h"
#include "NameSources.h"
#include "QuietHoursForm.h"

#include <utility>

TProgramWindows::TProgramWindows(HINSTANCE instance, TInformerController& controller,
                                 const TCallActions& callActions, std::function<void()> journalSeen)
    : FInstance(instance), FController(controller), FCallActions(callActions), FJournalSeen(std::move(journalSeen)) {}

void TProgramWindows::OpenContactEditor(const TCaller& caller, bool isPreview) {
    TEditorForm::Open(FInstance, caller.Number, caller.Name, caller.Comment, isPreview, FController.ContactSaver(),
                      FController.SaveFailureReceiver());
}

void TProgramWindows::OpenDirectory(const TMainFormSettings& settings) {
    TInformerController::TSubscriberDirectory directory = FController.SubscriberDirectory();
    TDirectorySource source;
    source.AbonentPhoneDir = std::move(directory.Folder);
    source.Writes = std::move(directory.Writes);
    source.CityCodesDir = settings.FCityCodesDir;
    source.Remote = directory.Remote;
    source.ServerAddress = settings.FDBServerAddress + L":" + std::to_wstring(settings.FDBPort);
    source.Dialling = settings;
    source.OnSaveFailed = FController.SaveFailureReceiver();
    TDirectoryBrowserForm::Open(FInstance, std::move(source));
}

void TProgramWindows::OpenDiagnostics() {
    TDiagnosticsForm::Show(FInstance, FController.Diagnostics(), &FController.NameSourceParts());
}

void TProgramWindows::OpenJournal() {
    ICallJournalAccess& callJournal = FController.Journal();
    TCallJournalForm& journal =
        TCallJournalForm::Open(FInstance, callJournal.ReadAll(), callJournal.MaxCalls(),
                               [this](const std::wstring& number) {
                                   TCaller caller{number, {}, {}, {}};
                                   TLookupFailure failure;
                                   FController.LookUpCaller(caller, failure);
                                   OpenContactEditor(caller, false);
                               });
    FCallActions.OfferTo(journal);
    journal.SetSaveNote([this](int64_t recordId, const std::wstring& note) {
        return FController.Journal().SetNote(recordId, note);
    });
    journal.SetDialling(FController.Settings());
    callJournal.MarkViewed();
    if (FJournalSeen) FJournalSeen();
}

void TProgramWindows::CloseAll() {
    TEditorForm::CloseAll();
    TDirectoryBrowserForm::CloseAll();
    TDiagnosticsForm::CloseAll();
    for (const TNameSource& source : NameSources()) source.CloseAll();
    TQuietHoursForm::CloseAll();
    TCallJournalForm::CloseAll();
}
