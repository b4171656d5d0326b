// Date-time values: a double counting days since 30 December 1899, the
// fraction being the time of day. Due times and delays are such values.
#pragma once

#include <cstdint>

using TDateTime = double;

constexpr double MillisecondsPerDay = 86400000.0;

// The time of day that many milliseconds after midnight, as whole seconds
// plus the rest; callers stay below 60 000, so the seconds stay under a minute.
constexpr TDateTime MillisecondsToDateTime(std::uint32_t Milliseconds) {
  const std::uint32_t seconds = Milliseconds / 1000;
  const std::uint32_t rest = Milliseconds % 1000;
  return (seconds * 1000.0 + rest) / MillisecondsPerDay;
}

constexpr double DateTimeToMilliseconds(TDateTime Value) { return Value * MillisecondsPerDay; }

// Days from 30 December 1899 to the civil date given (proleptic Gregorian).
constexpr std::int64_t DaysSince18991230(int Year, unsigned Month, unsigned Day) {
  // Howard Hinnant's days_from_civil, shifted to the 1899-12-30 epoch.
  Year -= Month <= 2 ? 1 : 0;
  const std::int64_t era = (Year >= 0 ? Year : Year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(Year - era * 400);
  const unsigned doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t daysSince1970 = era * 146097 + static_cast<std::int64_t>(doe) - 719468;
  return daysSince1970 + 25569;
}

constexpr TDateTime EncodeDateTime(int Year, unsigned Month, unsigned Day, unsigned Hour,
                                   unsigned Minute, unsigned Second, unsigned Millisecond) {
  return static_cast<double>(DaysSince18991230(Year, Month, Day)) +
         (Hour * 3600000.0 + Minute * 60000.0 + Second * 1000.0 + Millisecond) /
             MillisecondsPerDay;
}
