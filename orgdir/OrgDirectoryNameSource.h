#pragma once
#include "CallerNameSource.h"
#include "OrgDirectory.h"

// The organisation's directory as a source of callers' names: the name and, as
// the comment, the configured attributes, from the local cache only.
class TOrgDirectoryNameSource final : public ICallerNameSource {
public:
    explicit TOrgDirectoryNameSource(const TOrgDirectory& directory) : FDirectory(directory) {}
    bool FindCaller(TCaller& caller, TLookupFailure& failure) override;

private:
    const TOrgDirectory& FDirectory;
};
