#pragma once
#include "DirectoryTextLimit.h"
#include "SaveDataThreadUnit.h"

#include <string>

// The error box's text for a failed save: the number and the error's own text,
// or for a text too long for the directories, which one and what to do.
std::wstring SaveFailureText(const TSaveFailure& failure);

// The text for a save still running when the program had to end without it.
std::wstring UnfinishedSaveText(const std::wstring& phone);

// Why a text of the row was refused: the text and the longest one allowed.
std::wstring DirectoryTextTooLongText(TDirectoryTextField field);
