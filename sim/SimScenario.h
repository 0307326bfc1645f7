#pragma once
#include <string>
#include <vector>

// One step of a scenario file: a pause or a command line for the simulator.
struct SimScenarioStep {
    int line = 0;
    unsigned pauseMs = 0;             // "sleep MS" or "wait MS"
    std::vector<std::wstring> words;  // empty for a pause
};

struct SimScenario {
    std::vector<SimScenarioStep> steps;
    std::vector<std::wstring> errors;  // "line N: ..." for every bad line
};

// Reads a scenario text: one command a line, blank lines and lines starting
// with # ignored. Every line is checked before anything is played.
SimScenario ParseSimScenario(const std::wstring& text);
