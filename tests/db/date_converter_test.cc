#include "db/date_converter.h"

#include <gtest/gtest.h>

namespace cortevane::db {
namespace {

using namespace std::chrono;

TEST(DateConverterTest, CountsDaysFromTheLastDayOf1967) {
  EXPECT_EQ(DateConverter::ToInternalDate(year{1967} / December / 31), "0");
  EXPECT_EQ(DateConverter::ToInternalDate(year{1968} / January / 1), "1");
  EXPECT_EQ(DateConverter::ToInternalDate(year{1987} / June / 26), "7117");
  EXPECT_EQ(DateConverter::ToInternalDate(year{1967} / December / 30), "-1");
}

}  // namespace
}  // namespace cortevane::db
