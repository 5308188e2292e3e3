// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Internet date texts (Date, Last-Modified, Expires) turned into local date-times.
//
// A date-time is the framework's day count: a double counting days since 30 December 1899,
// whose fraction is the time of day; 0 is the zero date. Dates that do not parse give 0 and
// never raise. Pure functions apart from LocalUtcOffset, which reads the process's time zone;
// all are safe from any thread (localtime_r).
#pragma once

#include <string>

#include "http/socket/connection_exceptions.h"

namespace pixhaul {

using TDateTime = double;

inline constexpr const char* kTimeZoneFailedMessage =
    "Failed attempting to retrieve time zone information.";

// The time-zone lookup failed.
PIXHAUL_FIXED_EXCEPTION(EIdFailedToRetreiveTimeZoneInfo, EIdException, kTimeZoneFailedMessage);

// The day count of a calendar date and time, or nothing when either is invalid (year 1..9999,
// month 1..12, a day of that month, hour < 24, minute < 60, second < 60).
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                       TDateTime& result);

// Parses "[Weekday] day month year [hh:mm:ss] rest" and leaves the trimmed rest (usually the
// zone) in `text`. Two-digit years below 80 mean 20xx, 80 to 99 mean 19xx. Any invalid date or
// time gives 0.
TDateTime ParseInternetDate(std::string& text);

// "+hhmm" or "-hhmm" (only the first 5 characters of the trimmed text count) as a signed time
// span in days; anything else gives 0.
TDateTime ParseZoneOffset(const std::string& text);

// The local zone's current offset from UTC as a time span in days (east positive). Raises
// EIdFailedToRetreiveTimeZoneInfo when the system cannot tell it.
TDateTime LocalUtcOffset();

// ParseInternetDate(text) shifted from the text's zone (when the rest after the time is longer
// than 4 characters) to local time. Raises only what LocalUtcOffset raises.
TDateTime InternetDateToLocal(const std::string& text);

}  // namespace pixhaul
