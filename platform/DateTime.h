// Date-time values: a double counting days since 30 December 1899, the
// fraction being the time of day. Due times and delays are such values.
#pragma once

#include <cstdint>

using TDateTime = double;

constexpr double MillisecondsPerDay = 86400000.0;

// The time of day that many milliseconds after midnight, as whole seconds
// plus the rest; callers stay below 60 000, so the seconds stay under a minute.
constexpr TDateTime MillisecondsToDateTime(std::uint32_t milliseconds) {
  const std::uint32_t seconds = milliseconds / 1000;
  const std::uint32_t rest = milliseconds % 1000;
  return (seconds * 1000.0 + rest) / MillisecondsPerDay;
}

constexpr double DateTimeToMilliseconds(TDateTime value) { return value * MillisecondsPerDay; }

// Days from 30 December 1899 to the civil date given (proleptic Gregorian).
constexpr std::int64_t DaysSince18991230(int year, unsigned month, unsigned day) {
  // Howard Hinnant's days_from_civil, shifted to the 1899-12-30 epoch.
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t daysSince1970 = era * 146097 + static_cast<std::int64_t>(doe) - 719468;
  return daysSince1970 + 25569;
}

constexpr TDateTime EncodeDateTime(int year, unsigned month, unsigned day, unsigned hour,
                                   unsigned minute, unsigned second, unsigned millisecond) {
  return static_cast<double>(DaysSince18991230(year, month, day)) +
         (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) /
             MillisecondsPerDay;
}
