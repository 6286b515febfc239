// IMPORTDONNEES through the server session, as the import window calls it: what it copies,
// when it refuses, and that a failed call leaves both accounts as they were.
#include <gtest/gtest.h>

#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/dyn_array.h"
#include "db/sample_data.h"
#include "db/session.h"
#include "db/status.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using test_support::Flavour;
using test_support::TempAccount;

class ImportDonneesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sample::Seed(server_.store(), {60, 5, {}}, nullptr), kOk);
    on_server_ = server_.Connect();
    on_laptop_ = laptop_.Connect();
    ASSERT_TRUE(on_server_ && on_laptop_);
  }

  std::string Identity() const {
    return "TESTEUR|localhost|" + laptop_.Path() + "|localhost|" + server_.Path();
  }

  int Call(const std::string& identity, const std::string& codes, Session* on = nullptr) {
    auto sub = (on ? on : on_server_.get())->Subroutine("IMPORTDONNEES", 3);
    sub->ResetArgs();
    sub->SetArg(0, identity);
    sub->SetArg(1, codes);
    int s = sub->Call();
    result_ = sub->GetArg(2);
    return s;
  }

  // The records of `file` whose key begins with one of the codes, "key=record" joined by " | ".
  std::string Of(TempAccount& account, std::string_view file,
                 std::initializer_list<std::string_view> codes) {
    std::string out;
    account.store().Scan(file, [&](std::string_view k, std::string_view r) {
      for (std::string_view c : codes)
        if (k.starts_with(c)) {
          if (!out.empty()) out += " | ";
          out += std::string(k) + "=" + ToVisible(r);
        }
      return true;
    });
    return out;
  }

  // Everything both accounts hold, to show that a refused call changed nothing.
  std::string Everything() {
    std::string out;
    for (TempAccount* a : {&server_, &laptop_}) {
      std::vector<std::string> files;
      a->store().ListFiles(&files);
      for (const std::string& f : files) out += f + ":" + a->Dump(f) + "\n";
      std::vector<std::pair<std::string, PointerTarget>> pointers;
      a->store().ListPointers(&pointers);
      for (const auto& [name, to] : pointers) out += name + "->" + to.account + "\n";
    }
    return out;
  }

  TempAccount server_{Flavour::kServer};
  TempAccount laptop_{Flavour::kLaptop};
  std::unique_ptr<Session> on_server_, on_laptop_;
  std::string result_;
};

TEST_F(ImportDonneesTest, CopiesPersonsRecordsReferenceCopiesSectorsThresholdsAndPointer) {
  ASSERT_EQ(Call(Identity(), FromVisible("00003^00042^00003")), kOk);
  EXPECT_EQ(ToVisible(result_).substr(0, 2), "2^");  // two persons

  for (const char* f : {"CIVILAIDE", "AIDEDOSSIER", "AIDEINTERV", "AIDENOTES"}) {
    const std::string want = Of(server_, f, {"00003", "00042"});
    EXPECT_EQ(laptop_.Dump(f), want) << f;  // nothing else on the laptop
    EXPECT_EQ(server_.Dump(std::string(f) + "_TESTEUR"), want) << f;
  }
  EXPECT_NE(laptop_.Dump("AIDEINTERV"), "");
  EXPECT_EQ(laptop_.Dump("PLANNINGAIDE"), Of(server_, "PLANNINGAIDE", {"00003", "00042"}));
  EXPECT_EQ(server_.Dump("PLANNINGAIDE_TESTEUR"), "<none>");  // no reference copy of planning
  EXPECT_EQ(laptop_.Dump("SECTEUR"), server_.Dump("SECTEUR"));
  EXPECT_EQ(laptop_.Dump("RESPONSABLE"), "<none>");

  const std::string counter = DynArray(FromVisible(server_.Get("COMPTEUR", "999"))).Field(11);
  EXPECT_EQ(counter, "00060");
  EXPECT_EQ(DynArray(FromVisible(laptop_.Get("COMPTEUR", "999"))).Field(11), counter);
  EXPECT_EQ(DynArray(FromVisible(server_.Get("COMPTEUR_TESTEUR", "999"))).Field(11), counter);

  // The laptop's dictionary came along, so its own queries can use it.
  std::vector<DictItem> items;
  laptop_.store().Dictionary("CIVILAIDE", &items);
  EXPECT_FALSE(items.empty());

  // The laptop's SDEXPORTAIDES is the server's register.
  auto reg = on_server_->OpenFile("SDEXPORTAIDES");
  ASSERT_TRUE(reg);
  reg->SetKey("00042");
  reg->SetRecord(DynArray(FromVisible("TESTEUR^7117^9:5")));
  ASSERT_EQ(reg->WriteRecord(), kOk);
  auto through = on_laptop_->OpenFile("SDEXPORTAIDES");
  ASSERT_TRUE(through);
  through->SetKey("00042");
  ASSERT_EQ(through->ReadRecord(), kOk);
  EXPECT_EQ(ToVisible(through->GetRecord().Text()), "TESTEUR^7117^9:5");
}

TEST_F(ImportDonneesTest, RefusesANonEmptyLaptopAndWritesNothing) {
  laptop_.Put("CIVILAIDE", "00061", "^NOUVEAU^Né sur le portable");
  const std::string before = Everything();
  EXPECT_EQ(Call(Identity(), "00003"), kLaptopNotEmpty);
  EXPECT_EQ(Everything(), before);

  // Once the laptop has been cleared, the next cycle may start.
  auto file = on_laptop_->OpenFile("CIVILAIDE");
  ASSERT_EQ(file->EmptyFile(), kOk);
  EXPECT_EQ(Call(Identity(), "00003"), kOk);
}

TEST_F(ImportDonneesTest, FailsWithoutAConnectedLaptopSession) {
  on_laptop_.reset();
  const std::string before = Everything();
  EXPECT_EQ(Call(Identity(), "00003"), kLaptopNotConnected);
  EXPECT_EQ(Everything(), before);
}

TEST_F(ImportDonneesTest, AFailureLeavesBothAccountsAsTheyWere) {
  // A real, non-empty SDEXPORTAIDES on the laptop cannot become the pointer.
  laptop_.Put("SDEXPORTAIDES", "00001", "AUTRE");
  std::string before = Everything();
  EXPECT_EQ(Call(Identity(), "00003"), kFileExists);
  EXPECT_EQ(Everything(), before);
  ASSERT_EQ(laptop_.store().DropFile("SDEXPORTAIDES"), kOk);

  // A code the server does not know.
  before = Everything();
  EXPECT_EQ(Call(Identity(), FromVisible("00003^00099")), kRecordNotFound);
  EXPECT_EQ(Everything(), before);

  // An AIDE file missing on the server; then no AIDE record at all.
  server_.Put("SDPARAMEXPORT", "AIDE", "CIVILAIDE^ABSENT]Absent]]");
  before = Everything();
  EXPECT_EQ(Call(Identity(), "00003"), kNoSuchFile);
  EXPECT_EQ(Everything(), before);
  ASSERT_EQ(server_.store().Delete("SDPARAMEXPORT", "AIDE"), kOk);
  before = Everything();
  EXPECT_EQ(Call(Identity(), "00003"), kMissingParameters);
  EXPECT_EQ(Everything(), before);
}

TEST_F(ImportDonneesTest, AFailureInTheMiddleOfTheWritesUndoesThemAll) {
  // The laptop has a pointer where the fourth AIDE file should be created: the failure comes
  // after the server's reference copies, its counter and three laptop files are written.
  laptop_.SetPointer("AIDENOTES", "localhost", server_.Path(), "AIDENOTES");
  const std::string before = Everything();
  EXPECT_EQ(Call(Identity(), FromVisible("00003^00004")), kFileExists);
  EXPECT_EQ(Everything(), before);
}

TEST_F(ImportDonneesTest, MalformedArgumentsAndTheWrongAccount) {
  const std::string before = Everything();
  EXPECT_EQ(Call("TESTEUR|localhost|" + laptop_.Path(), "00003"), kBadArgument);
  EXPECT_EQ(Call(Identity(), "00003^12a"), kBadArgument);
  EXPECT_EQ(Call(Identity(), ""), kBadArgument);
  EXPECT_EQ(Call("TEST\"EUR|localhost|" + laptop_.Path() + "|localhost|" + server_.Path(), "00003"),
            kBadName);
  // The server itself named as the laptop.
  EXPECT_EQ(Call("TESTEUR|localhost|" + server_.Path() + "|localhost|" + server_.Path(), "00003"),
            kBadArgument);
  EXPECT_EQ(Everything(), before);
  // A laptop account does not catalogue the routine.
  EXPECT_EQ(Call(Identity(), "00003", on_laptop_.get()), kNoSuchRoutine);
}

}  // namespace
}  // namespace cortevane::db
