#pragma once
#include <optional>
#include <string>

// The text with its %NAME% references replaced from the process environment, as
// Windows expands a REG_EXPAND_SZ value; a name that is not set stays as written.
// Nothing when the expansion fails.
std::optional<std::wstring> ExpandEnvironmentText(const std::wstring& text);
