#pragma once
// Wall-clock instants and their ISO 8601 texts as the backend writes and reads them.

#include <chrono>
#include <string>
#include <string_view>

namespace ZelSim {

using TInstant = std::chrono::system_clock::time_point;

TInstant Now();

// "2025-03-03T10:15:30.123Z".
std::string FormatUTC(TInstant AValue);

// Reads "YYYY-MM-DDTHH:MM:SS[.fff][Z|+HH:MM|-HH:MM|+HHMM]"; no zone means UTC. A blank in
// place of the offset sign is read as "+" (a "+" that went through form decoding).
bool ParseISO8601(std::string_view AText, TInstant& AValue);

}  // namespace ZelSim
