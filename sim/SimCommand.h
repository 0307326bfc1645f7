#pragma once
#include "RecorderEvent.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The simulator's control language: one command a line, words separated by blanks,
// a word with blanks (or an empty word) written in double quotes, "" inside quotes
// standing for one quote character.
enum class SimCommandKind { QueueEvent, SetChannels, SetConnectResult, Vanish, Revive, ClearQueues, Status };

struct SimCommand {
    SimCommandKind kind = SimCommandKind::Status;
    TRecorderEvent event;        // QueueEvent
    std::wstring channels;       // SetChannels: the text GetChannelList returns
    int32_t connectResult = 0;   // SetConnectResult: what the next Connect returns
};

struct SimParseResult {
    std::optional<SimCommand> command;
    std::wstring error;  // set when command is empty
};

// Splits a line into words; returns nullopt and sets error on an unclosed quote.
std::optional<std::vector<std::wstring>> SplitSimWords(std::wstring_view line, std::wstring& error);

// Joins words back into a line that SplitSimWords reads as the same words.
std::wstring JoinSimWords(const std::vector<std::wstring>& words);

SimParseResult ParseSimCommand(const std::vector<std::wstring>& words);

// Decimal (optionally negative) or hexadecimal after 0x; the whole 32 bits.
std::optional<int32_t> ParseSimInteger(std::wstring_view text);

// One line per command, for usage texts.
std::wstring_view SimCommandHelp();
