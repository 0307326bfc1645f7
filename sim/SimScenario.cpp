#include "SimScenario.h"

#include "SimCommand.h"

#include <sstream>

SimScenario ParseSimScenario(const std::wstring& text) {
    SimScenario scenario;
    std::wistringstream lines(text);
    std::wstring line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        auto fail = [&](const std::wstring& why) {
            scenario.errors.push_back(L"line " + std::to_wstring(number) + L": " + why);
        };
        std::wstring error;
        auto words = SplitSimWords(line, error);
        if (!words) {
            fail(error);
            continue;
        }
        if (words->empty() || (*words)[0].starts_with(L"#")) continue;
        if ((*words)[0] == L"sleep" || (*words)[0] == L"wait") {
            const auto ms = words->size() == 2 ? ParseSimInteger((*words)[1]) : std::nullopt;
            if (!ms || *ms < 0) {
                fail(L"\"" + (*words)[0] + L"\" takes a pause in milliseconds");
                continue;
            }
            scenario.steps.push_back({number, static_cast<unsigned>(*ms), {}});
            continue;
        }
        const auto parsed = ParseSimCommand(*words);
        if (!parsed.command) {
            fail(parsed.error);
            continue;
        }
        scenario.steps.push_back({number, 0, std::move(*words)});
    }
    return scenario;
}
