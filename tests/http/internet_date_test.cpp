// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Internet dates: parsing the accepted forms, zone offsets and the shift to local time.
#include "http/internet_date.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace pixhaul::test {
namespace {

constexpr double kHour = 1.0 / 24;
constexpr double kEpsilon = 1e-9;

// A fixed zone three hours east of UTC, without daylight saving, for the whole test program.
class FixedZone : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("TZ", "XYZ-3", 1);
    ::tzset();
  }
};
const auto* const kZone = ::testing::AddGlobalTestEnvironment(new FixedZone);

TEST(TryEncodeDateTime, CountsDaysFromTheZeroDate) {
  struct Case {
    int y, m, d, h, mi, s;
    bool valid;
    double days;
  };
  const std::vector<Case> cases = {
      {1899, 12, 30, 0, 0, 0, true, 0},    {1899, 12, 31, 12, 0, 0, true, 1.5},
      {1994, 11, 6, 0, 0, 0, true, 34644}, {2020, 2, 29, 6, 0, 0, true, 43890.25},
      {1899, 12, 29, 0, 0, 0, true, -1},   {2019, 2, 29, 0, 0, 0, false, 0},
      {2020, 13, 1, 0, 0, 0, false, 0},    {2020, 0, 1, 0, 0, 0, false, 0},
      {2020, 1, 0, 0, 0, 0, false, 0},     {2020, 1, 1, 24, 0, 0, false, 0},
      {2020, 1, 1, 0, 60, 0, false, 0},    {2020, 1, 1, 0, 0, 60, false, 0},
      {0, 1, 1, 0, 0, 0, false, 0},
  };
  for (const auto& c : cases) {
    double result = -99;
    const bool valid = TryEncodeDateTime(c.y, c.m, c.d, c.h, c.mi, c.s, result);
    EXPECT_EQ(valid, c.valid) << c.y << "-" << c.m << "-" << c.d << " " << c.h << ":" << c.mi << ":"
                              << c.s;
    if (c.valid) {
      EXPECT_NEAR(result, c.days, kEpsilon) << c.y << "-" << c.m << "-" << c.d;
    }
  }
}

TEST(ParseInternetDate, AcceptedAndRejectedForms) {
  const double kNov6 = 34644 + (8 * 3600 + 49 * 60 + 37) / 86400.0;
  struct Case {
    std::string text;
    double expected;
    std::string rest;
  };
  const std::vector<Case> cases = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", kNov6, "GMT"},
      {"06 Nov 1994 08:49:37 +0100", kNov6, "+0100"},
      {"  sun, 06 nov 1994   08:49:37   GMT  ", kNov6, "GMT"},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 0, ""},  // dashes between the parts
      {"Sun Nov  6 08:49:37 1994", 0, ""},        // month first
      {"", 0, ""},
      {"-1", 0, ""},
      {"06 Nov 1994", 34644, ""},
      {"06 Nov 94", 34644, ""},
      {"xx Nov 1994", 34644 - 5, ""},          // a day that is not a number is 1
      {"06 Nov abcd", 311, ""},                // a year that is not a number is 1900
      {"01 Jan 05", 38353, ""},                // below 80: 2005
      {"31 Feb 2020", 0, ""},                  // no such day
      {"06 Nov 1994 25:00:00 GMT", 0, "GMT"},  // no such hour
      {"Mon, 06 Nov 1994 8:5:7 GMT", 34644 + (8 * 3600 + 5 * 60 + 7) / 86400.0, "GMT"},
      {"06 Nov 1994 08:xx:37", 34644 + (8 * 3600 + 37) / 86400.0, ""},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    const double result = ParseInternetDate(text);
    EXPECT_NEAR(result, c.expected, kEpsilon) << "text: \"" << c.text << "\"";
    if (c.expected != 0) {
      EXPECT_EQ(text, c.rest) << "text: \"" << c.text << "\"";
    }
  }
}

TEST(ParseZoneOffset, SignedHoursAndMinutes) {
  struct Case {
    std::string text;
    double expected;
  };
  const std::vector<Case> cases = {
      {"+0100", kHour},
      {"-0530", -5.5 * kHour},
      {"  +0200xyz", 2 * kHour},
      {"+0000", 0},
      {"GMT", 0},
      {"+01", 0},
      {"+0a00", 0},
      {"", 0},
      {"+2500", 0},
      {"-+100", 0},
      {"+2359", (23 + 59.0 / 60) * kHour},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(ParseZoneOffset(c.text), c.expected, kEpsilon) << "text: \"" << c.text << "\"";
  }
}

TEST(LocalUtcOffset, ReportsTheProcessZone) { EXPECT_NEAR(LocalUtcOffset(), 3 * kHour, kEpsilon); }

TEST(InternetDateToLocal, ShiftsFromTheTextZoneToLocalTime) {
  const double kNov6 = 34644 + (8 * 3600 + 49 * 60 + 37) / 86400.0;
  struct Case {
    std::string text;
    double expected;
  };
  const std::vector<Case> cases = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", kNov6 + 3 * kHour},
      {"06 Nov 1994 08:49:37 +0100", kNov6 - kHour + 3 * kHour},
      {"06 Nov 1994 08:49:37 -0200", kNov6 + 2 * kHour + 3 * kHour},
      {"06 Nov 1994 08:49:37 +01", kNov6 + 3 * kHour},  // a rest of 4 characters or less
      {"-1", 3 * kHour},                                // zero date, shifted, no error
      {"", 3 * kHour},
      {"garbage +0100", 3 * kHour},  // no date: the zone is not reached
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(InternetDateToLocal(c.text), c.expected, kEpsilon) << "text: \"" << c.text << "\"";
  }
}

}  // namespace
}  // namespace pixhaul::test
