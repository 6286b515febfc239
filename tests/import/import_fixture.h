// What the import window tests share: a server account seeded with a few persons, criteria
// files and an empty register, an empty laptop account, both connected as the user TESTEUR,
// a scripted Ui that can also act while a progress indication is up, and readers that render
// the window's lists and boxes as text.
#pragma once

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRadioButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/dyn_array.h"
#include "db/session.h"
#include "import/chd_import.h"
#include "support/qt_app.h"
#include "support/temp_account.h"
#include "ui/list_box.h"
#include "ui/scripted_ui.h"

namespace cortevane::import::testing {

// A ScriptedUi that also calls `on_progress` with each progress text (once the line is logged),
// so a test can act "at the same moment" as a step of the import.
class HookedUi : public ui::ScriptedUi {
 public:
  std::function<void(const std::string&)> on_progress;
  void ShowProgress(std::string_view text) override {
    ScriptedUi::ShowProgress(text);
    if (on_progress) on_progress(std::string(text));
  }
};

struct Person {
  std::string code, nom, prenom;
  std::vector<std::string> adresse;  // up to six parts
  std::string ville, responsable, secteur, commune, etat;
};

// The CIVILAIDE record of a person, with visible marks.
inline std::string PersonRecord(const Person& p) {
  db::DynArray r;
  r.SetField(2, p.nom);
  r.SetField(3, p.prenom);
  for (size_t i = 0; i < p.adresse.size(); ++i) r.SetField(5 + static_cast<int>(i), p.adresse[i]);
  r.SetField(11, p.ville);
  r.SetField(39, p.responsable);
  r.SetField(40, p.secteur);
  r.SetField(41, p.commune);
  r.SetField(43, p.etat);
  return db::ToVisible(r.Text());
}

inline void SeedServer(test_support::TempAccount& server, bool sector_item = true) {
  server.CreateFiles({"CIVILAIDE", "TEMPO", "SDEXPORTAIDES", "RESPONSABLE", "COMMUNES", "SECTEUR"});
  server.SetDict("CIVILAIDE", {"NomAide", 2, 0, false, true});
  server.SetDict("CIVILAIDE", {"PrenomAide", 3, 0, false, true});
  server.SetDict("CIVILAIDE", {"CodeAide", 0, 0, true, false});
  if (sector_item) server.SetDict("CIVILAIDE", {"CodeSecteurAide", 40, 3, true, false});
  const std::vector<Person> persons = {
      {"00001", "DUPONT", "Anne", {"12 RUE HAUTE", "", "BP 4"}, "PARIS", "12", "012A", "7", ""},
      {"00002", "DUPRE", "Marc", {"3 PLACE DU MARCHE"}, "PARIS", "15", "003", "7", ""},
      {"00003", "DUPONT", "Alain", {"5 ALLEE DES PINS"}, "LYON", "12", "012", "9", "D"},
      {"00007", "DURAND", "Zoé", {"1 RUE VERTE"}, "AMIENS", "20", "012", "11", ""},
      {"00012", "MARTIN", "Anne", {"8 AVENUE FOCH"}, "LYON", "20", "040", "9", ""},
      {"00042", "PETIT", "Luc", {"2 RUE BASSE"}, "AMIENS", "15", "003", "11", ""},
  };
  for (const Person& p : persons) server.Put("CIVILAIDE", p.code, PersonRecord(p));
  server.Put("RESPONSABLE", "12", "BERNARD Paul");
  server.Put("RESPONSABLE", "15", "ARNAUD Julie");
  server.Put("RESPONSABLE", "20", "CARON Marc");
  server.Put("COMMUNES", "7", "PARIS");
  server.Put("COMMUNES", "9", "LYON");
  server.Put("COMMUNES", "11", "AMIENS");
  server.Put("SECTEUR", "012", "Nord");
  server.Put("SECTEUR", "003", "Centre");
  server.Put("SECTEUR", "040", "Sud");
  // What the copy to the laptop needs: the persons' file as the only exported file, and the
  // office counter.
  server.Put("SDPARAMEXPORT", "PARAMETRES", "");
  server.Put("SDPARAMEXPORT", "AIDE", "CIVILAIDE]Dossier]]O");
  server.Put("SDPARAMEXPORT", "PLANNING", "");
  server.Put("COMPTEUR", "999", "^^^^^^^^^^00042");
}

class ImportTest : public ::testing::Test {
 protected:
  ImportTest() { cortevane::testing::EnsureQApplication(); }

  void SetUp() override {
    SeedServer(server_);
    ses_serveur_ = server_.Connect();
    ses_autonome_ = laptop_.Connect();
    ASSERT_TRUE(ses_serveur_ && ses_autonome_);
  }

  std::unique_ptr<Chd_Import> Open() {
    auto window = std::make_unique<Chd_Import>(*ses_autonome_, *ses_serveur_, "testeur", ui_);
    window->SetJournalFolder((journal_.path() / "").string());
    window->SetClock([] {
      std::tm t{};
      t.tm_year = 2024 - 1900;
      t.tm_mon = 2;  // March
      t.tm_mday = 14;
      t.tm_hour = 9;
      t.tm_min = 5;
      return t;
    });
    return window;
  }

  // Readers of the window, open to tests without a fixture too.
 public:
  template <typename T>
  static T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  static ui::ListBox* List(QWidget& w, const char* name) { return Child<ui::ListBox>(w, name); }
  static QLineEdit* Field(QWidget& w, const char* name) { return Child<QLineEdit>(w, name); }
  static QRadioButton* Option(QWidget& w, const char* name) { return Child<QRadioButton>(w, name); }

  // Item data of every item, in order, joined by blanks.
  static std::string Data(const ui::ListBox* list) {
    std::string out;
    for (int i = 0; i < list->count(); ++i) {
      if (!out.empty()) out += ' ';
      out += std::to_string(list->ItemData(i));
    }
    return out;
  }
  // Text of every item, joined by " | ".
  static std::string Texts(const ui::ListBox* list) {
    std::string out;
    for (int i = 0; i < list->count(); ++i) {
      if (!out.empty()) out += " | ";
      out += list->item(i)->text().toStdString();
    }
    return out;
  }
  static void Select(ui::ListBox* list, std::initializer_list<int> rows) {
    for (int row : rows) list->item(row)->setSelected(true);
  }

  // The box lines of the log, joined by '\n'.
  static std::string Boxes(const ui::ScriptedUi& ui) {
    std::string out;
    for (const std::string& line : ui.log())
      if (line.rfind("box|", 0) == 0) out += (out.empty() ? "" : "\n") + line;
    return out;
  }

 protected:
  // Declared before the sessions, so the sessions go first.
  test_support::TempAccount server_{test_support::Flavour::kServer};
  test_support::TempAccount laptop_{test_support::Flavour::kLaptop};
  std::unique_ptr<db::Session> ses_serveur_;
  std::unique_ptr<db::Session> ses_autonome_;
  HookedUi ui_;
  test_support::TempFolder journal_;  // where each import writes its journal
};

}  // namespace cortevane::import::testing
