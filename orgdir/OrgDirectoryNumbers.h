#pragma once
#include "KordavinUtils.h"

#include <string>
#include <string_view>
#include <vector>

// Fewer digits than this are no number a call can come from.
inline constexpr size_t kMinOrgDirectoryNumberDigits = 3;

// The numbers a person wrote into a directory's phone attribute, in the
// canonical form that calls are looked up by: "+7 (495) 111-22-33",
// "8 495 111 22 33 доб. 123" (an extension after "доб", "ext", "x", "#" or "вн"
// is cut), "111-22-33" (completed with the dialling codes), "2233" (a short
// internal number stays as it is). Several numbers may be separated by commas,
// semicolons or line breaks; parts that are no number are skipped. Each number
// appears once, in the order written.
std::vector<std::wstring> OrgDirectoryNumbers(std::wstring_view written, const TDiallingSettings& dialling);
