#include "JsonNameAnswer.h"

#include "PlainNameText.h"
#include "TextConvert.h"

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

enum class TValueRead { Text, Absent, NotText };

TValueRead ReadText(const json& document, const std::wstring& path, std::wstring& text) {
    const json* value = nullptr;
    try {
        const json::json_pointer pointer(WideToUtf8(path));
        if (!document.contains(pointer)) return TValueRead::Absent;
        value = &document.at(pointer);
    } catch (const json::exception&) {
        // An index that is not a number, or past the end of an array.
        return TValueRead::Absent;
    }
    if (value->is_null()) return TValueRead::Absent;
    if (value->is_string()) {
        text = Utf8ToWide(value->get_ref<const std::string&>());
        return TValueRead::Text;
    }
    if (value->is_number()) {
        text = Utf8ToWide(value->dump());
        return TValueRead::Text;
    }
    return TValueRead::NotText;
}

}  // namespace

int JsonNestingDepth(std::string_view text, int limit) {
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit) return deepest;
        } else if ((c == ']' || c == '}') && depth > 0) --depth;
    }
    return deepest;
}

TCrmNamesResult ReadNameAnswer(int status, std::string_view body, const std::wstring& namePath,
                               const std::wstring& commentPath) {
    if (status == 404) return TCrmNamesResult::NotFound();
    if (status != 200) return TCrmNamesResult::Fail(TCrmNamesError::HttpStatus, std::to_wstring(status));
    if (body.size() > kMaxAnswerBytes)
        return TCrmNamesResult::Fail(TCrmNamesError::BodyTooLarge, std::to_wstring(body.size()));
    if (JsonNestingDepth(body, kMaxAnswerDepth) > kMaxAnswerDepth)
        return TCrmNamesResult::Fail(TCrmNamesError::TooDeep);
    // Without exceptions: invalid JSON, HTML and text that is not UTF-8 come
    // back discarded.
    const json document = json::parse(body, nullptr, false);
    if (document.is_discarded()) return TCrmNamesResult::Fail(TCrmNamesError::NotJson);
    if (!document.is_object() && !document.is_array()) return TCrmNamesResult::Fail(TCrmNamesError::NotObject);

    std::wstring name;
    switch (ReadText(document, namePath, name)) {
    case TValueRead::Absent: return TCrmNamesResult::NotFound();
    case TValueRead::NotText: return TCrmNamesResult::Fail(TCrmNamesError::ValueNotText, namePath);
    case TValueRead::Text: break;
    }
    TCrmNamesResult result;
    result.Name = PlainNameText(std::move(name), kMaxNameLength);
    if (result.Name.empty()) return TCrmNamesResult::NotFound();
    std::wstring comment;
    if (!commentPath.empty() && ReadText(document, commentPath, comment) == TValueRead::Text)
        result.Comment = PlainNameText(std::move(comment), kMaxCommentLength);
    result.Outcome = TCrmNamesOutcome::Found;
    return result;
}
