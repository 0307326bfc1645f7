#pragma once
#include "CrmNamesResult.h"
#include "PlainNameText.h"

#include <cstddef>
#include <string>
#include <string_view>

// Reading a CRM's answer: the HTTP status and the body as received.
inline constexpr size_t kMaxAnswerBytes = 1024 * 1024;
// Deeper nesting is refused before the body is parsed at all.
inline constexpr int kMaxAnswerDepth = 64;

// 200 with a JSON object or array: the texts at the paths (a string, or a
// number as written). 404, a missing or null name, or a name that is empty as
// plain text: NotFound. Anything else: Failed with the reason. A comment path
// that is missing or leads to no text gives an empty comment.
TCrmNamesResult ReadNameAnswer(int status, std::string_view body, const std::wstring& namePath,
                               const std::wstring& commentPath);

// The deepest nesting of arrays and objects in the text, counted without
// parsing (brackets inside strings do not count); stops counting past limit.
int JsonNestingDepth(std::string_view text, int limit);
