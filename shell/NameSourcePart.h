#pragma once
#include "CallEvent.h"
#include "CallJournal.h"
#include "CallerNameSource.h"
#include "EventDiagnostics.h"
#include "MainFormSettings.h"
#include "RecorderDispatch.h"
#include "SettingsTable.h"

#include <functional>
#include <string>

// What the controller holds of a name source: made from the source's entry in
// NameSources.cpp, told of the applied settings, woken with the PC and stopped
// at the program's end. Main thread, but for Stop.
class INameSourcePart {
public:
    virtual ~INameSourcePart() = default;
    // The applied settings, every part of them: it starts, restarts or stops as they say.
    virtual void Apply(const TMainFormSettings& settings) = 0;
    // Its own dialog's OK applied its part.
    virtual void ApplyOwnPart(const TMainFormSettings& settings) { Apply(settings); }
    // The PC woke up: work that fell due during the sleep is done now.
    virtual void WakeUp() {}
    // Ends its work at the program's end, on a thread of its own beside the
    // other parts' stops; one that takes too long is left to the process's end.
    virtual void Stop() = 0;
};

// What a name source's part is made with.
struct TNameSourceContext {
    TRecorderDispatch& Dispatch;
    TCallJournal& Journal;
    TEventDiagnostics& Diagnostics;
    // Where the parts keep their files; empty: each its built-in place.
    std::wstring DataFolder;
    // It names the callers no directory knows, after the sources added before it.
    std::function<void(ICallerNameSource&)> AddNameSource;
    // It hears the call-event stream.
    std::function<void(ICallEventListener&)> AddListener;
};

// What a window may read of the name sources' parts (the diagnostics' lines).
class INameSourceParts {
public:
    // The part of that settings part's source, or null.
    virtual const INameSourcePart* NameSourcePart(TSettingsPart part) const = 0;

protected:
    ~INameSourceParts() = default;
};
