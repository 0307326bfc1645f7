#pragma once
#include <string>

// One caller as the program shows, stores and hands on: the number in canonical
// international form and what the name sources found for it.
struct TCaller {
    std::wstring Number;
    std::wstring Name;
    std::wstring Region;
    std::wstring Comment;

    bool operator==(const TCaller&) const = default;
};
