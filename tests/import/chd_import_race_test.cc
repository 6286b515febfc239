// Two users import the same person at the same moment, each from an import window of its
// own: the second window has checked the register before the first registers the person, and
// registers after it. The first keeps its import; the second gets the "déjà importé" message
// and keeps no registration.
#include "db/status.h"
#include "import_fixture.h"

namespace cortevane::import::testing {
namespace {

class RaceTest : public ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    server_.AddUser("MARTIN", "secret-43");
    laptop_b_.AddUser("MARTIN", "secret-43");
    ses_serveur_b_ = server_.Unconnected();
    ses_serveur_b_->SetUserName("MARTIN");
    ses_serveur_b_->SetPassword("secret-43");
    ses_autonome_b_ = laptop_b_.Unconnected();
    ses_autonome_b_->SetUserName("MARTIN");
    ses_autonome_b_->SetPassword("secret-43");
    ASSERT_EQ(ses_serveur_b_->Connect(), db::kOk);
    ASSERT_EQ(ses_autonome_b_->Connect(), db::kOk);
  }

  static void Choose(Chd_Import& w, std::initializer_list<const char*> codes) {
    for (const char* code : codes) {
      Field(w, "Txt_CodeAide")->setText(code);
      w.Cmd_Tous_Click();
    }
  }

  test_support::TempAccount laptop_b_{test_support::Flavour::kLaptop};
  std::unique_ptr<db::Session> ses_serveur_b_;
  std::unique_ptr<db::Session> ses_autonome_b_;
  HookedUi ui_b_;
};

TEST_F(RaceTest, SecondToRegisterLosesAndKeepsNothing) {
  auto first = std::make_unique<Chd_Import>(*ses_autonome_b_, *ses_serveur_b_, "martin", ui_b_);
  Choose(*first, {"00002"});
  auto second = Open();  // TESTEUR
  Choose(*second, {"00001", "00002"});
  ui_.ClearLog();

  // The second window has read the register (empty) and is about to register its first
  // person when the first window's whole import runs.
  ui_.on_progress = [&](const std::string& text) {
    if (text.find("au registre") != std::string::npos && first) {
      first->Cmd_Ok_Click();
      first.reset();
    }
  };
  second->Cmd_Ok_Click();

  EXPECT_EQ(Boxes(ui_b_), "");
  EXPECT_EQ(Boxes(ui_),
            "box|48|Message CORTEVANE|Impossible d'importer. L'utilisateur MARTIN a déjà importé "
            "l'aidé 00002.\r\nAucun aidé importé.");
  EXPECT_EQ(server_.Keys("SDEXPORTAIDES"), "00002");
  EXPECT_EQ(server_.Get("SDEXPORTAIDES", "00002").substr(0, 7), "MARTIN^");
  EXPECT_EQ(laptop_b_.Keys("CIVILAIDE"), "00002");
  EXPECT_EQ(laptop_.Keys("CIVILAIDE"), "");
  EXPECT_EQ(second->W_ListeCodes().Text(), "");
}

}  // namespace
}  // namespace cortevane::import::testing
