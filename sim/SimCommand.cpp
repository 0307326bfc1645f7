#include "SimCommand.h"

#include <cwctype>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

SimParseResult Fail(std::wstring text) { return {std::nullopt, std::move(text)}; }

SimParseResult Event(int32_t code, std::wstring channel = {}, std::wstring text = {}) {
    SimCommand command;
    command.kind = SimCommandKind::QueueEvent;
    command.event = {code, std::move(channel), std::move(text)};
    return {command, {}};
}

SimParseResult Simple(SimCommandKind kind) {
    SimCommand command;
    command.kind = kind;
    return {command, {}};
}

struct Verb {
    const wchar_t* name;
    size_t minArgs;
    size_t maxArgs;
};

const Verb kVerbs[] = {
    {L"ring", 1, 1},     {L"ani", 2, 2},     {L"missed", 1, 1},  {L"begin", 1, 1},
    {L"end", 1, 1},      {L"device", 0, 1},  {L"rename", 2, 2},  {L"destroy", 0, 0},
    {L"event", 1, 3},    {L"channels", 1, 1}, {L"connect-result", 1, 1},
    {L"vanish", 0, 0},   {L"revive", 0, 0},  {L"clear", 0, 0},   {L"status", 0, 0},
};

}  // namespace

std::optional<std::vector<std::wstring>> SplitSimWords(std::wstring_view line, std::wstring& error) {
    std::vector<std::wstring> words;
    size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size()) break;
        std::wstring word;
        if (line[i] == L'"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == L'"') {
                    if (i + 1 < line.size() && line[i + 1] == L'"') {
                        word.push_back(L'"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                word.push_back(line[i++]);
            }
            if (!closed) {
                error = L"unclosed quote";
                return std::nullopt;
            }
            if (i < line.size() && !IsBlank(line[i])) {
                error = L"a quoted word must be followed by a blank";
                return std::nullopt;
            }
        } else {
            while (i < line.size() && !IsBlank(line[i])) word.push_back(line[i++]);
        }
        words.push_back(std::move(word));
    }
    return words;
}

std::wstring JoinSimWords(const std::vector<std::wstring>& words) {
    std::wstring line;
    for (const auto& word : words) {
        if (!line.empty()) line.push_back(L' ');
        bool quote = word.empty() || word.front() == L'"';
        for (wchar_t c : word) quote = quote || IsBlank(c);
        if (!quote) {
            line += word;
            continue;
        }
        line.push_back(L'"');
        for (wchar_t c : word) {
            if (c == L'"') line.push_back(L'"');
            line.push_back(c);
        }
        line.push_back(L'"');
    }
    return line;
}

std::optional<int32_t> ParseSimInteger(std::wstring_view text) {
    if (text.empty()) return std::nullopt;
    bool negative = false;
    unsigned base = 10;
    size_t i = 0;
    if (text[0] == L'-') {
        negative = true;
        i = 1;
    } else if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        base = 16;
        i = 2;
    }
    if (i >= text.size()) return std::nullopt;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        unsigned digit;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        else if (base == 16 && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        else if (base == 16 && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        else return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    if (negative) {
        if (value > 0x80000000ull) return std::nullopt;
        return static_cast<int32_t>(-static_cast<int64_t>(value));
    }
    if (base == 10 && value > 0x7FFFFFFFull) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

SimParseResult ParseSimCommand(const std::vector<std::wstring>& words) {
    if (words.empty()) return Fail(L"empty command");
    const std::wstring& verb = words[0];
    const Verb* found = nullptr;
    for (const auto& candidate : kVerbs)
        if (verb == candidate.name) found = &candidate;
    if (!found) return Fail(L"unknown command \"" + verb + L"\"");
    const size_t args = words.size() - 1;
    if (args < found->minArgs || args > found->maxArgs) {
        return Fail(L"\"" + verb + L"\" takes " +
                    (found->minArgs == found->maxArgs
                         ? std::to_wstring(found->minArgs)
                         : std::to_wstring(found->minArgs) + L" to " + std::to_wstring(found->maxArgs)) +
                    L" argument(s), got " + std::to_wstring(args));
    }
    auto arg = [&](size_t n) { return n < words.size() ? words[n] : std::wstring(); };

    if (verb == L"ring") return Event(KDV_MSG_RING, arg(1));
    if (verb == L"ani") return Event(KDV_MSG_ANI_DETECT, arg(1), arg(2));
    if (verb == L"missed") return Event(KDV_MSG_MISSED_PHONE, arg(1));
    if (verb == L"begin") return Event(KDV_MSG_CONVERSATION_BEGIN, arg(1));
    if (verb == L"end") return Event(KDV_MSG_CONVERSATION_END, arg(1));
    if (verb == L"device") return Event(KDV_MSG_DEVICE_CONNECTED, arg(1));
    if (verb == L"rename") return Event(KDV_MSG_CHANGE_CHANNEL_NAME, arg(1), arg(2));
    if (verb == L"destroy") return Event(KDV_MSG_DESTROY_CONNECTION);
    if (verb == L"event") {
        const auto code = ParseSimInteger(arg(1));
        if (!code) return Fail(L"\"" + arg(1) + L"\" is not an event code");
        return Event(*code, arg(2), arg(3));
    }
    if (verb == L"channels") {
        SimCommand command;
        command.kind = SimCommandKind::SetChannels;
        command.channels = arg(1);
        return {command, {}};
    }
    if (verb == L"connect-result") {
        const auto code = ParseSimInteger(arg(1));
        if (!code) return Fail(L"\"" + arg(1) + L"\" is not a result code");
        SimCommand command;
        command.kind = SimCommandKind::SetConnectResult;
        command.connectResult = *code;
        return {command, {}};
    }
    if (verb == L"vanish") return Simple(SimCommandKind::Vanish);
    if (verb == L"revive") return Simple(SimCommandKind::Revive);
    if (verb == L"clear") return Simple(SimCommandKind::ClearQueues);
    return Simple(SimCommandKind::Status);
}

std::wstring_view SimCommandHelp() {
    return L"  channels TEXT          channel list returned by GetChannelList (names joined by |)\n"
           L"  ring CHANNEL           KDV_MSG_RING\n"
           L"  ani CHANNEL NUMBER     KDV_MSG_ANI_DETECT with the caller's number\n"
           L"  begin CHANNEL          KDV_MSG_CONVERSATION_BEGIN\n"
           L"  end CHANNEL            KDV_MSG_CONVERSATION_END\n"
           L"  missed CHANNEL         KDV_MSG_MISSED_PHONE\n"
           L"  device [CHANNEL]       KDV_MSG_DEVICE_CONNECTED\n"
           L"  rename OLD NEW         KDV_MSG_CHANGE_CHANNEL_NAME\n"
           L"  destroy                KDV_MSG_DESTROY_CONNECTION\n"
           L"  event CODE [CHANNEL [TEXT]]  an event with any code (decimal or 0x hex)\n"
           L"  connect-result CODE    the next Connect returns CODE\n"
           L"  vanish | revive        calls fail as with a server that has gone away | answer again\n"
           L"  clear                  empty the event queues\n"
           L"  status                 clients, queued events and settings\n";
}
