// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/internet_date.h"

#include <ctime>

#include "framework/ascii_text.h"
#include "framework/integer_text.h"

namespace pixhaul {

namespace {

constexpr double kSecondsPerDay = 86400.0;

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1 January of year 1 to the given date (proleptic Gregorian calendar).
long DaysFromCivilStart(int year, int month, int day) {
  const long y = year - 1;
  long days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}

int NumberOr(const std::string& text, int fallback) {
  const auto value = ParseInt32(text);
  return value ? *value : fallback;
}

int MonthNumber(const std::string& text) {
  static constexpr const char* kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                              "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  const std::string upper = UpperCase(text);
  for (int i = 0; i < 12; ++i) {
    if (upper == kMonths[i]) return i + 1;
  }
  return 0;
}

bool IsWeekday(const std::string& text) {
  static constexpr const char* kDays[7] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
  const std::string head = UpperCase(text.substr(0, 3));
  for (const char* day : kDays) {
    if (head == day) return true;
  }
  return false;
}

}  // namespace

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                       TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return false;
  }
  if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60) {
    return false;
  }
  // Day 0 is 30 December 1899.
  static const long kZeroDate = DaysFromCivilStart(1899, 12, 30);
  const double days = static_cast<double>(DaysFromCivilStart(year, month, day) - kZeroDate);
  result = days + (hour * 3600.0 + minute * 60.0 + second) / kSecondsPerDay;
  return true;
}

TDateTime ParseInternetDate(std::string& text) {
  text = TrimBlanks(text);
  if (text.empty()) return 0;
  if (IsWeekday(text)) Fetch(text, ' ');

  const int day = NumberOr(Fetch(text, ' '), 1);
  text = TrimLeftBlanks(text);
  const int month = MonthNumber(Fetch(text, ' '));
  text = TrimLeftBlanks(text);
  int year = NumberOr(Fetch(text, ' '), 1900);
  if (year < 80) {
    year += 2000;
  } else if (year >= 80 && year <= 99) {
    year += 1900;
  }

  int hour = 0, minute = 0, second = 0;
  if (text.find(':') != std::string::npos) {
    text = TrimLeftBlanks(text);
    std::string time = Fetch(text, ' ');
    hour = NumberOr(Fetch(time, ':'), 0);
    minute = NumberOr(Fetch(time, ':'), 0);
    second = NumberOr(Fetch(time, ':'), 0);
  }
  text = TrimLeftBlanks(text);

  TDateTime result = 0;
  if (!TryEncodeDateTime(year, month, day, hour, minute, second, result)) return 0;
  return result;
}

TDateTime ParseZoneOffset(const std::string& text) {
  const std::string zone(TrimBlanks(text).substr(0, 5));
  if (zone.empty() || (zone[0] != '+' && zone[0] != '-')) return 0;
  const std::string hoursText = zone.substr(1, 2);
  const std::string minutesText = zone.size() > 3 ? zone.substr(3, 2) : std::string();
  // A sign inside the digits would make "+-1" look like a number.
  for (char c : hoursText + minutesText) {
    if (c < '0' || c > '9') return 0;
  }
  const auto hours = ParseInt32(hoursText);
  const auto minutes = ParseInt32(minutesText);
  if (!hours || !minutes || *hours >= 24 || *minutes >= 60) return 0;
  const double span = (*hours * 3600.0 + *minutes * 60.0) / kSecondsPerDay;
  return zone[0] == '-' ? -span : span;
}

TDateTime LocalUtcOffset() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) {
    throw EIdFailedToRetreiveTimeZoneInfo();
  }
  return static_cast<double>(local.tm_gmtoff) / kSecondsPerDay;
}

TDateTime InternetDateToLocal(const std::string& text) {
  std::string rest = text;
  const TDateTime date = ParseInternetDate(rest);
  const TDateTime zone = rest.size() > 4 ? ParseZoneOffset(rest) : 0;
  return date - zone + LocalUtcOffset();
}

}  // namespace pixhaul
