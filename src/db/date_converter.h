// DateConverter: the form in which the database stores a date, the number of days since
// 31 December 1967 (day 0) written in decimal; 1 January 1968 is 1, 26 June 1987 is 7117.
#pragma once

#include <chrono>
#include <string>

namespace cortevane::db {

class DateConverter {
 public:
  static std::string ToInternalDate(std::chrono::year_month_day date);
  // Today's date in the machine's local time zone, stored form.
  static std::string Today();
};

}  // namespace cortevane::db
