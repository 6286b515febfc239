// Starting an export: declining, the server and laptop files it cannot open, and the
// parameters and counters it must be able to read before anything is written.
#include <gtest/gtest.h>

#include "export_fixture.h"

namespace cortevane::exporting::testing {
namespace {

class ExportStartTest : public ExportTest {
 protected:
  void SetUp() override {
    ExportTest::SetUp();
    Imported("00042", Person("DUPONT", "Anne", "0123"));
    Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne-Marie", "0123"));
  }
  // What must hold after any export that stopped at its start: nothing written, nothing
  // released, nothing cleared, both menu entries usable.
  void ExpectNothingWritten() {
    auto expect = [](db::Session& session, const char* file, const std::string& dump) {
      if (!session.store()->FileExists(file)) return;
      EXPECT_EQ(Dump(session, file), dump) << file;
    };
    expect(server_, "CIVILAIDE", "00042=" + Person("DUPONT", "Anne", "0123"));
    expect(server_, "SDEXPORTAIDES", "00042=ALICE^20000^10:5");
    expect(laptop_, "CIVILAIDE", "00042=" + Person("DUPONT", "Anne-Marie", "0123"));
    expect(server_, "COMPTEUR", "999=" + Counter("00150"));
    EXPECT_TRUE(ui_.MenuEnabled(ui::MenuEntry::kImport));
    EXPECT_TRUE(ui_.MenuEnabled(ui::MenuEntry::kExport));
    EXPECT_EQ(ui_.screen_pointer(), ui::Pointer::kDefault);
  }
  // The log of an export that failed at its start with `message`.
  static std::string FailedAtStart(const std::string& message) {
    return "box|" + kStartBox + "\npointer|screen|11\npointer|screen|0\nbox|0|Cortevane KESTA|" +
           message + "\nmenu|export|on\nmenu|import|on";
  }
};

TEST_F(ExportStartTest, DecliningTouchesNothingAndEnablesBothMenus) {
  Drop(server_, "SDEXPORTAIDES");  // would fail at once if anything were opened
  ui_.SetMenuEnabled(ui::MenuEntry::kImport, false);
  ui_.ClearLog();
  ui_.AnswerNo();
  export_->Demarrage_Exportation();
  EXPECT_EQ(ui_.LogText(), "box|" + kStartBox + "\nmenu|export|on\nmenu|import|on");
  ExpectNothingWritten();
}

struct OpenFailure {
  const char* name;
  bool on_laptop;
  const char* file;
  const char* message;
  friend void PrintTo(const OpenFailure& p, std::ostream* os) { *os << p.name; }
};

class ExportOpenFailureTest : public ExportStartTest,
                              public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(ExportOpenFailureTest, ReportsTheFileAndStops) {
  const OpenFailure& p = GetParam();
  Drop(p.on_laptop ? laptop_ : server_, p.file);
  Run();
  // The second line names the base whose file is missing as damaged.
  const std::string message =
      p.message + std::string("\r\n") +
      (p.on_laptop ? "La base de l'ordinateur portable est endommagée : un de ses fichiers "
                     "manque. Vérifiez-la avec : cortevane-admin --account \"" +
                         (root_ / "laptop").string() + "\" account check"
                   : "La base du bureau est endommagée : un de ses fichiers manque. Prévenez le "
                     "bureau.");
  std::string log = ui_.LogText();
  // Failures past the start happen with the progress indication up: it goes first.
  if (log.find("progress|") != std::string::npos) {
    EXPECT_EQ(log, "box|" + kStartBox +
                       "\npointer|screen|11\nprogress|Aidé 1 sur 1\nprogress|hide\n"
                       "pointer|screen|0\nbox|0|Cortevane KESTA|" +
                       message + "\nmenu|export|on\nmenu|import|on");
  } else {
    EXPECT_EQ(log, FailedAtStart(message));
  }
  // A person goes whole or not at all: its CIVILAIDE, read before NOTES failed, stays behind.
  ExpectNothingWritten();
}

INSTANTIATE_TEST_SUITE_P(
    Files, ExportOpenFailureTest,
    ::testing::Values(OpenFailure{"Register", false, "SDEXPORTAIDES",
                                  "Problème d'ouverture de fichier : SDEXPORTAIDES (32001)"},
                      OpenFailure{"Parameters", false, "SDPARAMEXPORT",
                                  "Problème d'ouverture de fichier : SDPARAMEXPORT (32001)"},
                      OpenFailure{"UserCounter", false, "COMPTEUR_ALICE",
                                  "Problème d'ouverture de fichier : COMPTEURSERV (32001)"},
                      OpenFailure{"CommonCounter", false, "COMPTEUR",
                                  "Problème d'ouverture de fichier : COMPTEURSERVACTIF (32001)"},
                      OpenFailure{"LaptopPersons", true, "CIVILAIDE",
                                  "Problème d'ouverture de fichier : CIVILAIDE (32001)"},
                      OpenFailure{"ReferenceCopy", false, "CIVILAIDE_ALICE",
                                  "Problème d'ouverture de fichier : CIVILAIDE (32001)"},
                      OpenFailure{"ServerFile", false, "CIVILAIDE",
                                  "Problème d'ouverture de fichier : CIVILAIDE (32001)"},
                      OpenFailure{"LaptopFile", true, "NOTES",
                                  "Problème d'ouverture de fichier : NOTES( 32001)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExportStartTest, UnreadableParametersStopWithTheirStatus) {
  ASSERT_EQ(server_.store()->Delete("SDPARAMEXPORT", "PARAMETRES"), 0);
  Run();
  EXPECT_EQ(ui_.LogText(), FailedAtStart("Erreur lecture SDPARAMEXPORT30001"));
  ExpectNothingWritten();
}

TEST_F(ExportStartTest, MissingAideRecordStopsOnlyWhenThereArePersons) {
  ASSERT_EQ(server_.store()->Delete("SDPARAMEXPORT", "AIDE"), 0);
  Run();
  EXPECT_EQ(ui_.LogText(), FailedAtStart("Erreur lecture SDPARAMEXPORT30001"));
  ExpectNothingWritten();

  // Without persons the record is not needed: the export ends normally.
  ASSERT_EQ(laptop_.store()->Clear("CIVILAIDE"), 0);
  ui_.ClearLog();
  Run();
  EXPECT_EQ(LastBox(), kFinalText);
}

struct CounterCase {
  const char* name;
  const char* file;
  const char* record;  // ToVisible form, or nullptr for no record at all
  const char* message;
  friend void PrintTo(const CounterCase& p, std::ostream* os) { *os << p.name; }
};

class ExportCounterTest : public ExportStartTest,
                          public ::testing::WithParamInterface<CounterCase> {};

TEST_P(ExportCounterTest, AnUnusableCounterStopsBeforeAnythingIsWritten) {
  const CounterCase& p = GetParam();
  ASSERT_EQ(server_.store()->Delete(p.file, "999"), 0);
  if (p.record) Put(server_, p.file, "999", p.record);
  Imported("00101", Person("NOUVEAU", "Né", "0123"));  // would take a new code
  Run();
  EXPECT_EQ(ui_.LogText(), FailedAtStart(p.message));
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00042"), Person("DUPONT", "Anne", "0123"));
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00151"), "-");
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "00042=ALICE^20000^10:5 | 00101=ALICE^20000^10:5");
  EXPECT_EQ(Get(laptop_, "CIVILAIDE", "00042"), Person("DUPONT", "Anne-Marie", "0123"));
}

INSTANTIATE_TEST_SUITE_P(
    Records, ExportCounterTest,
    ::testing::Values(
        CounterCase{"ThresholdMissing", "COMPTEUR_ALICE", nullptr,
                    "Lecture impossible de l'enregistrement 999 du fichier COMPTEUR_ALICE (erreur "
                    "30001). Exportation interrompue : rien n'a été écrit."},
        CounterCase{"CounterMissing", "COMPTEUR", nullptr,
                    "Lecture impossible de l'enregistrement 999 du fichier COMPTEUR (erreur "
                    "30001). Exportation interrompue : rien n'a été écrit."},
        CounterCase{"ThresholdEmpty", "COMPTEUR_ALICE", "Compteur",
                    "Le champ 11 de l'enregistrement 999 du fichier COMPTEUR_ALICE n'est pas un "
                    "nombre : \"\". Exportation interrompue : rien n'a été écrit."},
        CounterCase{"CounterNotANumber", "COMPTEUR", "^^^^^^^^^^12a",
                    "Le champ 11 de l'enregistrement 999 du fichier COMPTEUR n'est pas un "
                    "nombre : \"12a\". Exportation interrompue : rien n'a été écrit."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cortevane::exporting::testing
