#include "db/date_converter.h"

#include <ctime>

namespace cortevane::db {

std::string DateConverter::ToInternalDate(std::chrono::year_month_day date) {
  using namespace std::chrono;
  constexpr sys_days kDayZero = sys_days{year{1967} / December / 31};
  return std::to_string((sys_days{date} - kDayZero).count());
}

std::string DateConverter::Today() {
  using namespace std::chrono;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return ToInternalDate(year{local.tm_year + 1900} /
                        month(static_cast<unsigned>(local.tm_mon + 1)) /
                        day(static_cast<unsigned>(local.tm_mday)));
}

}  // namespace cortevane::db
