// A whole import on realistic bases: the office base seeded with sample data, an empty laptop.
// The user searches by sector, chooses three persons and presses "Ok": the laptop then holds
// their records, the office keeps reference copies of them, and the register names the user.
#include <QPushButton>
#include <algorithm>

#include "db/sample_data.h"
#include "db/status.h"
#include "import_fixture.h"

namespace cortevane::import::testing {
namespace {

TEST(ImportEndToEndTest, SearchChooseThreeAndImport) {
  cortevane::testing::EnsureQApplication();
  test_support::TempAccount server(test_support::Flavour::kServer);
  test_support::TempAccount laptop(test_support::Flavour::kLaptop);
  db::sample::SeedOptions options;
  options.persons = 400;
  options.seed = 7;
  db::sample::SeedSummary summary;
  std::string message;
  ASSERT_EQ(db::sample::Seed(server.store(), options, &summary, &message), db::kOk) << message;
  auto ses_serveur = server.Connect();
  auto ses_autonome = laptop.Connect();
  ASSERT_TRUE(ses_serveur && ses_autonome);
  HookedUi ui;
  ui.SetMenuEnabled(ui::MenuEntry::kExport, false);  // as the main window leaves it

  Chd_Import w(*ses_autonome, *ses_serveur, server.User(), ui);
  w.show();
  ImportTest::Option(w, "Opt_Secteur")->click();
  ui::ListBox* sectors = ImportTest::List(w, "Lst_SelPossible");
  ASSERT_GT(sectors->count(), 0);
  ImportTest::Select(sectors, {0});
  ImportTest::Child<QPushButton>(w, "Cmd_AjoutSel")->click();
  ImportTest::Child<QPushButton>(w, "Cmd_Recherche")->click();
  ui::ListBox* possible = ImportTest::List(w, "Lst_Possible");
  ASSERT_GE(possible->count(), 3);
  ImportTest::Select(possible, {0, 1, possible->count() - 1});
  ImportTest::Child<QPushButton>(w, "Cmd_AjoutAide")->click();
  ui::ListBox* chosen = ImportTest::List(w, "Lst_Selection");
  ASSERT_EQ(chosen->count(), 3);
  std::vector<std::string> codes;
  for (int i = 0; i < 3; ++i) codes.push_back(PadCode(chosen->ItemData(i)));

  ImportTest::Child<QPushButton>(w, "Cmd_Ok")->click();

  EXPECT_EQ(ImportTest::Boxes(ui), "");
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(ui.MenuEnabled(ui::MenuEntry::kExport));
  std::vector<std::string> sorted = codes;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(laptop.Keys("CIVILAIDE"), sorted[0] + " " + sorted[1] + " " + sorted[2]);
  for (const std::string& code : codes) {
    const std::string original = server.Get("CIVILAIDE", code);
    EXPECT_EQ(laptop.Get("CIVILAIDE", code), original) << code;
    EXPECT_EQ(server.Get("CIVILAIDE_" + server.User(), code), original) << code;
    EXPECT_EQ(server.Get("SDEXPORTAIDES", code).substr(0, server.User().size() + 1),
              server.User() + "^")
        << code;
  }
}

}  // namespace
}  // namespace cortevane::import::testing
