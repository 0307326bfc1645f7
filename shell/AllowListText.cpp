#include "AllowListText.h"

#include "ResourceText.h"
#include "SharingRes.h"

namespace {

UINT ProblemTextId(TAllowListProblem problem) {
    switch (problem) {
    case TAllowListProblem::Wildcard: return IDS_ALLOWLIST_WILDCARD;
    case TAllowListProblem::WrongSeparator: return IDS_ALLOWLIST_SEPARATOR;
    case TAllowListProblem::BadPrefixLength: return IDS_ALLOWLIST_PREFIX;
    case TAllowListProblem::NotAnAddress: break;
    }
    return IDS_ALLOWLIST_NOT_ADDRESS;
}

}  // namespace

std::wstring UnreadableAllowListText(const TUnreadableEntry& entry, TAllowListContext context) {
    const std::wstring problem = FormatResourceString(ProblemTextId(entry.Problem), entry.Entry);
    if (context == TAllowListContext::Apply) return problem + L" " + LoadResourceString(IDS_ALLOWLIST_NOT_APPLIED);
    return problem + L"\r\n\r\n" + LoadResourceString(IDS_ALLOWLIST_AT_STARTUP);
}
