#pragma once
#include "SaveDataThreadUnit.h"

#include <string>

// The error box's text for a failed save: the number and the error's own text.
std::wstring SaveFailureText(const TSaveFailure& failure);

// The text for a save still running when the program had to end without it.
std::wstring UnfinishedSaveText(const std::wstring& phone);
