#include "OrgDirectoryNameSource.h"

bool TOrgDirectoryNameSource::FindCaller(TCaller& caller, TLookupFailure&) {
    TOrgName found;
    if (!FDirectory.Lookup(caller.Number, found) || found.Name.empty()) return false;
    caller.Name = std::move(found.Name);
    caller.Comment = std::move(found.Comment);
    return true;
}
