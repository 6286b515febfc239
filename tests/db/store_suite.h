// StoreTest: the behaviour every record store owes the layers above, run once per store.
// A store joins the suite with one instantiation giving a name and a maker:
//
//   INSTANTIATE_TEST_SUITE_P(Postgres, StoreTest,
//                            ::testing::Values(StoreParam{"Postgres", &MakePgAccount}),
//                            StoreParamName);
//
// The maker creates a fresh, empty account and returns it (nullptr skips the suite, e.g. when
// no server is available). The account's Open() gives a new, independent store on it: a second
// connection, as a second session or another process would have.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "db/store.h"

namespace cortevane::db {

class StoreAccount {
 public:
  virtual ~StoreAccount() = default;
  virtual std::shared_ptr<Store> Open() = 0;
};

struct StoreParam {
  std::string name;
  std::function<std::unique_ptr<StoreAccount>()> make;
};

inline void PrintTo(const StoreParam& param, std::ostream* os) { *os << param.name; }

inline std::string StoreParamName(const ::testing::TestParamInfo<StoreParam>& info) {
  return info.param.name;
}

class StoreTest : public ::testing::TestWithParam<StoreParam> {
 protected:
  void SetUp() override {
    account_ = GetParam().make();
    if (!account_) GTEST_SKIP() << GetParam().name << ": no account available";
    store_ = account_->Open();
    ASSERT_NE(store_, nullptr);
  }
  void TearDown() override {
    store_.reset();
    account_.reset();
  }

  std::unique_ptr<StoreAccount> account_;
  std::shared_ptr<Store> store_;
};

}  // namespace cortevane::db
