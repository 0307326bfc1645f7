#pragma once
#include "NameSourcePart.h"
#include "OrgDirectory.h"
#include "OrgDirectoryNameSource.h"

#include <string>

// The organisation's directory as the controller holds it: the cache's sync
// follows the applied settings, and its names come after the directories'.
class TOrgDirectoryPart final : public INameSourcePart {
public:
    explicit TOrgDirectoryPart(std::wstring cachePath) : FDirectory(std::move(cachePath)), FNameSource(FDirectory) {}

    // The cache in the context's folder (or its built-in place), its names a source of the lookup.
    static std::unique_ptr<INameSourcePart> Make(const TNameSourceContext& context);

    // The worker compares the settings and dialling codes with those of the
    // cached names and reads again only when they differ. A failed sync is
    // only shown in the diagnostics: nothing here waits for or reports it.
    void Apply(const TMainFormSettings& settings) override { FDirectory.Start(settings, settings); }
    // What the dialog's OK applies is read at once: a corrected password or
    // server need not wait for the next retry.
    void ApplyOwnPart(const TMainFormSettings& settings) override {
        Apply(settings);
        FDirectory.SyncNow();
    }
    void WakeUp() override { FDirectory.SyncIfDue(); }
    // A read in progress is abandoned between pages; the cache keeps what it had.
    void Stop() override { FDirectory.Stop(); }

    const TOrgDirectory& Directory() const { return FDirectory; }
    ICallerNameSource& NameSource() { return FNameSource; }

private:
    TOrgDirectory FDirectory;
    TOrgDirectoryNameSource FNameSource;
};
