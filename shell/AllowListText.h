#pragma once
#include "AllowedClients.h"

#include <string>

// Where an unreadable DBAllowedClients is told: the settings window refuses it
// on Apply; at start-up it came from the settings file and stays in force.
enum class TAllowListContext { Apply, Startup };

// The message naming the entry, why it cannot be read and what follows from it.
std::wstring UnreadableAllowListText(const TUnreadableEntry& entry, TAllowListContext context);
