// An export killed at any moment, then run again to its end answering Fusionner where it is
// offered and Yes elsewhere (the office changing a record while it is asked), leaves the
// office as one uninterrupted export would: every laptop change on the office,
// every person created on the laptop there exactly once under a code of its own, no
// registration left, the laptop and the reference copies cleared, sound embedded stores.
//
// The kill points are changes of the stores (writes, deletions, clearings, reservations...),
// counted by the runner: a first run counts them, then points spread over that count are drawn
// from a fixed seed, one in each of as many equal stretches. A few more runs are killed after
// a random delay instead, which can land inside a store operation. Every other trial also
// kills the second run before the last one.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "db/postgres/postgres_store.h"
#include "db/session.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "export/mod_exportation.h"
#include "relay/tcp_proxy.h"
#include "stress_world.h"
#include "support/temp_account.h"
#include "ui/scripted_ui.h"

namespace cortevane::stress {
namespace {

constexpr int kKillPoints = 32;
constexpr int kTimedKills = 6;
constexpr int kCuts = 8;
constexpr uint64_t kSeed = 20240611;

constexpr char kFinished[] =
    "Exportation des données de l'ordinateur portable vers le serveur terminée.";

const std::vector<std::string> kImported = {"00003", "00007", "00011", "00015",
                                            "00019", "00023", "00027", "00031"};

// The conflict questions a run asked (the "box|" lines of its output with the question's
// style, with or without Fusionner), in order. A question asked again at once, because the
// office changed the record while it waited, counts once unless `repeats`.
std::vector<std::string> Questions(const RunResult& run, bool repeats = false) {
  const std::string yes_no = "box|" + std::to_string(ui::kYesNo + ui::kQuestion) + "|";
  const std::string merge =
      "box|" + std::to_string(ui::kYesNo + ui::kMergeButton + ui::kQuestion) + "|";
  std::vector<std::string> questions;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(yes_no, 0) != 0 && line.rfind(merge, 0) != 0) continue;
    if (repeats || questions.empty() || questions.back() != line) questions.push_back(line);
  }
  return questions;
}

// The questions of `all` about the persons of `codes`.
std::vector<std::string> About(const std::vector<std::string>& all,
                               const std::set<std::string>& codes) {
  std::vector<std::string> questions;
  for (const std::string& q : all) {
    const size_t at = q.find("de l'aidé \"");
    if (at != std::string::npos && codes.count(q.substr(at + 12, 5))) questions.push_back(q);
  }
  return questions;
}

class ExportFaultTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    world_ = std::make_unique<World>(scratch_.path(), GetParam());
    if (world_->unavailable()) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
    ASSERT_NO_FATAL_FAILURE(world_->Seed(40, kSeed));
    laptop_ = world_->Laptop("ALICE", kImported, 3).string();
    expectation_ = world_->Expect("ALICE");
    ASSERT_EQ(expectation_.created.size(), 3u);
    counter_ = world_->Counter();
    world_->Snapshot();
  }

  std::vector<std::string> Args() const {
    return {"export", world_->OfficeName(), laptop_, "ALICE"};
  }

  // Checks that the interrupted run left every person whole; keeps the persons still to send.
  void Interrupted() { unsent_ = world_->CheckWhole(expectation_, counter_); }

  // Runs the export to its end and checks the outcome: it asks again only what the
  // uninterrupted run asked about the persons not sent yet, nothing about those already sent.
  // The office changes the first record asked while its question waits (STRESS_RETRY).
  void Finish(const std::string& what, const std::vector<std::string>& whole_questions) {
    RunResult last = RunToEnd(Args(), {"STRESS_RETRY=1"});
    ASSERT_EQ(last.exit_code, 0) << what << ": the run after the kill did not end\n" << last.output;
    EXPECT_EQ(Questions(last), About(whole_questions, unsent_)) << what;
    world_->Verify({expectation_}, counter_, false);
  }

  // One program's sessions: the laptop, and the office store `office` named `office_host`
  // (the host the laptop imported through, or another name of the same server).
  void Sessions(std::shared_ptr<db::PostgresStore> office, const std::string& office_host) {
    std::shared_ptr<db::SqliteStore> laptop_store;
    ASSERT_EQ(db::SqliteStore::Open(laptop_, &laptop_store), db::kOk);
    server_.SetDataBaseType(2);
    server_.SetHostName(office_host);
    server_.SetAccountPath(world_->address().account);
    server_.AttachStore(std::move(office));
    laptop_session_.SetDataBaseType(2);
    laptop_session_.SetHostName("localhost");
    laptop_session_.SetAccountPath(laptop_);
    laptop_session_.AttachStore(laptop_store);
  }
  // Exports in this program; the last box shown.
  std::string ExportHere() {
    exporting::Mod_Exportation exporting(laptop_session_, server_, user_, ui_);
    exporting.Demarrage_Exportation();
    return ui_.boxes().back().text;
  }
  // Answers each question as the runner does: Fusionner where it is offered, Yes elsewhere;
  // `also` acts on each box first.
  void AnswerAsTheRunner(std::function<void(const ui::ScriptedUi::Box&)> also = nullptr) {
    ui_.on_box = [this, also](const ui::ScriptedUi::Box& box) {
      if (also) also(box);
      if ((box.style & 7) == ui::kYesNo)
        ui_.Answer(box.style & ui::kMergeButton ? ui::kAnswerMerge : ui::kAnswerYes);
    };
  }
  // True when the export ended with its final box (followed by its summary line).
  bool Finished(const std::string& last_box) { return last_box.rfind(kFinished, 0) == 0; }
  void VerifyHere() {
    laptop_session_.Disconnect();
    server_.Disconnect();
    world_->Verify({expectation_}, counter_, false);
  }

  test_support::TempFolder scratch_;
  std::unique_ptr<World> world_;
  std::string laptop_;
  Expectation expectation_;
  long counter_ = 0;
  std::set<std::string> unsent_;
  db::Session laptop_session_, server_;
  ui::ScriptedUi ui_;
  const std::string user_ = "ALICE";  // the export keeps a reference to it
};

TEST_P(ExportFaultTest, KilledAnywhereTheNextRunFinishesTheWork) {
  // An export that is never interrupted: it gives the codes in order, and tells how many
  // changes a run makes and how long it takes.
  world_->Restore();
  const RunResult whole = RunToEnd(Args());
  ASSERT_EQ(whole.exit_code, 0) << whole.output;
  world_->Verify({expectation_}, counter_, true);
  const long changes = whole.Changes();
  ASSERT_GT(changes, kKillPoints) << whole.output;
  const std::vector<std::string> asked = Questions(whole);
  ASSERT_FALSE(asked.empty()) << whole.output;
  // Both answers in the mix: merges where offered, a Yes where the sides changed one field.
  EXPECT_NE(whole.output.find(" dont 1 fusion,"), std::string::npos) << whole.output;
  EXPECT_NE(whole.output.find("box|" + std::to_string(ui::kYesNo + ui::kQuestion) + "|"),
            std::string::npos)
      << whole.output;

  // The office changing the record asked, then putting it back: the question is asked three
  // times, and the outcome is the same.
  world_->Restore();
  const RunResult retried = RunToEnd(Args(), {"STRESS_RETRY=1"});
  ASSERT_EQ(retried.exit_code, 0) << retried.output;
  EXPECT_EQ(Questions(retried), asked);
  EXPECT_EQ(Questions(retried, true).size(), asked.size() + 2) << retried.output;
  world_->Verify({expectation_}, counter_, true);

  std::mt19937_64 rng(kSeed);
  for (int t = 0; t < kKillPoints && !HasFailure(); ++t) {
    const long from = 1 + t * changes / kKillPoints;
    const long to = std::max(from, (t + 1) * changes / kKillPoints);
    const long point = std::uniform_int_distribution<long>(from, to)(rng);
    const std::string what =
        "killed before change " + std::to_string(point) + " of " + std::to_string(changes);
    SCOPED_TRACE(what);
    world_->Restore();
    RunResult killed = RunToEnd(Args(), {"STRESS_KILL_AT=" + std::to_string(point)});
    ASSERT_EQ(killed.signal, SIGKILL) << killed.output;
    ASSERT_NO_FATAL_FAILURE(Interrupted());
    if (t % 2 == 1) {
      // Killed again, somewhere in the second run (or not at all if it ends sooner).
      const long again = std::uniform_int_distribution<long>(1, changes)(rng);
      RunResult second = RunToEnd(Args(), {"STRESS_KILL_AT=" + std::to_string(again)});
      ASSERT_TRUE(second.signal == SIGKILL || second.exit_code == 0) << second.output;
      ASSERT_NO_FATAL_FAILURE(Interrupted());
    }
    Finish(what, asked);
  }

  for (int t = 0; t < kTimedKills && !HasFailure(); ++t) {
    const double delay = std::uniform_real_distribution<double>(0, whole.seconds)(rng);
    const std::string what = "killed after " + std::to_string(delay) + " s";
    SCOPED_TRACE(what);
    world_->Restore();
    Runner runner(Args());
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    kill(runner.pid(), SIGKILL);
    RunResult killed = runner.Finish();
    ASSERT_TRUE(killed.signal == SIGKILL || killed.exit_code == 0) << killed.output;
    ASSERT_NO_FATAL_FAILURE(Interrupted());
    Finish(what, asked);
  }
  RecordProperty("changes", static_cast<int>(changes));
  std::cout << "[ stress   ] " << kKillPoints << " kill points over " << changes << " changes, "
            << kTimedKills << " timed kills; an export takes " << whole.seconds << " s\n";
}

// The office server ends the export's connection at points spread over a run: the export
// connects again and goes on, or, where the loss leaves a person's outcome unknown, stops with
// one message that says the server went away; nothing crashes, and the next run finishes the
// work.
TEST_P(ExportFaultTest, TheServerGoingAwayStopsWithAMessageAndTheNextRunFinishes) {
  if (!GetParam()) GTEST_SKIP() << "an embedded office has no server to lose";
  world_->Restore();
  const RunResult whole = RunToEnd(Args());
  const long changes = whole.Changes();
  ASSERT_GT(changes, kCuts);
  std::mt19937_64 rng(kSeed + 1);
  for (int t = 0; t < kCuts && !HasFailure(); ++t) {
    const long from = 1 + t * changes / kCuts;
    const long to = std::max(from, (t + 1) * changes / kCuts);
    const long point = std::uniform_int_distribution<long>(from, to)(rng);
    const std::string what = "server gone before change " + std::to_string(point);
    SCOPED_TRACE(what);
    world_->Restore();
    RunResult cut = RunToEnd(Args(), {"STRESS_CUT_AT=" + std::to_string(point)});
    ASSERT_EQ(cut.signal, 0) << cut.output;
    if (cut.exit_code == 0) {
      // The connection went after the export's last use of it: nothing may be missing.
      world_->Verify({expectation_}, counter_, false);
      continue;
    }
    ASSERT_EQ(cut.exit_code, 3) << cut.output;
    EXPECT_NE(cut.output.find("La liaison avec le serveur a été perdue"), std::string::npos)
        << cut.output;
    ASSERT_NO_FATAL_FAILURE(Interrupted());
    Finish(what, Questions(whole));
  }
}

// Inside one program: the server ends the connection while the user is asked about a
// conflict; nothing of the person is written yet, so the export connects again once, reads
// and asks about the person again, and goes on to its end.
TEST_P(ExportFaultTest, AConnectionLostBetweenPersonsIsMadeAgainAndTheExportGoesOn) {
  if (!GetParam()) GTEST_SKIP() << "an embedded office has no server to lose";
  int status = 0;
  std::shared_ptr<db::PostgresStore> office =
      db::PostgresStore::Connect(world_->address(), &status);
  ASSERT_EQ(status, db::kOk);
  std::shared_ptr<db::SqliteStore> laptop_store;
  ASSERT_EQ(db::SqliteStore::Open(laptop_, &laptop_store), db::kOk);
  db::Session server, laptop;
  server.SetDataBaseType(2);
  server.SetHostName(world_->address().host);
  server.SetAccountPath(world_->address().account);
  server.AttachStore(office);
  laptop.SetDataBaseType(2);
  laptop.SetHostName("localhost");
  laptop.SetAccountPath(laptop_);
  laptop.AttachStore(laptop_store);
  laptop_store.reset();

  ui::ScriptedUi ui;
  // As the runner answers: the start, the merge offered for the first person (when the server
  // goes), that merge again once the export has connected again, and Yes to the last person's
  // question.
  for (int answer : {ui::kAnswerYes, ui::kAnswerMerge, ui::kAnswerMerge, ui::kAnswerYes})
    ui.Answer(answer);
  bool cut = false;
  ui.on_box = [&](const ui::ScriptedUi::Box& box) {
    if (box.text.starts_with("Les informations de ") && !cut) {
      world_->TerminateBackend(PQbackendPID(office->connection()));
      cut = true;
    }
  };
  const std::string user = "ALICE";  // the module keeps a reference to it
  exporting::Mod_Exportation exporting(laptop, server, user, ui);
  exporting.Demarrage_Exportation();
  ASSERT_TRUE(cut);
  EXPECT_EQ(ui.boxes().back().text.rfind(
                "Exportation des données de l'ordinateur portable vers le serveur terminée.", 0),
            0u)
      << ui.boxes().back().text;
  // The person under way when the connection went was asked about again.
  const auto& boxes = ui.boxes();
  const auto first = std::find_if(boxes.begin(), boxes.end(), [](const auto& b) {
    return b.text.starts_with("Les informations de ");
  });
  ASSERT_NE(first, boxes.end());
  EXPECT_EQ(std::count_if(boxes.begin(), boxes.end(),
                          [&](const auto& b) { return b.text == first->text; }),
            2);
  laptop.Disconnect();
  server.Disconnect();
  office.reset();
  world_->Verify({expectation_}, counter_, false);
}

// Imported through 127.0.0.1, exported through localhost and a relay that goes silent for a
// while: the register pointer finds the office, the wait shows in the progress window, and
// the export clears the laptop. A pointer to a database the program is not connected to
// stops the export before anything is sent, saying how to recover.
TEST_P(ExportFaultTest, TheLaptopFollowsItsOfficeAndShowsTheWait) {
  if (!GetParam()) GTEST_SKIP() << "an embedded office is on this machine";
  relay::TcpProxy relay(world_->address().host);
  db::PgAddress through = world_->address();
  through.host = "127.0.0.1:" + std::to_string(relay.port());
  int status = 0;
  auto office = db::PostgresStore::Connect(through, &status);
  ASSERT_EQ(status, db::kOk);
  const std::string& imported_host = world_->address().host;
  ASSERT_NO_FATAL_FAILURE(
      Sessions(office, "localhost" + imported_host.substr(imported_host.rfind(':'))));
  server_.SetWaitObserver([this](int seconds) { ui_.ServerWait(seconds); });
  auto laptop = laptop_session_.store();
  const db::PointerTarget pointer = *laptop->Pointer("SDEXPORTAIDES");
  EXPECT_EQ(pointer.host, imported_host);

  ASSERT_EQ(laptop->SetPointer("SDEXPORTAIDES", {pointer.host, "ailleurs", pointer.file}), 0);
  ui_.AnswerYes();
  EXPECT_EQ(ExportHere().rfind("Problème d'ouverture de fichier : SDEXPORTAIDES (32005)\r\nLe "
                               "registre des aidés du portable désigne une base du bureau",
                               0),
            0u);
  EXPECT_EQ(ui_.LogText().find("progress|"), std::string::npos) << "nothing sent";
  ASSERT_EQ(laptop->SetPointer("SDEXPORTAIDES", pointer), 0);

  ui_.ClearLog();
  AnswerAsTheRunner([&](const ui::ScriptedUi::Box& box) {
    if (box.style == ui::kYesNo + ui::kQuestion) relay.Stall();
  });
  ui_.on_server_wait = [&](int) { relay.Resume(); };
  EXPECT_TRUE(Finished(ExportHere())) << ui_.LogText();
  EXPECT_NE(ui_.LogText().find("\nAttente du serveur… 1 s\nprogress|Aidé "), std::string::npos)
      << ui_.LogText();
  laptop.reset();
  VerifyHere();
}

// An administrator's work holds the office's files while a person is sent: the export stops
// naming the busy file, the persons are whole, and the next run finishes.
TEST_P(ExportFaultTest, AFileHeldOnTheServerIsNamedAndTheNextRunFinishes) {
  if (!GetParam()) GTEST_SKIP() << "an embedded office has no other connections";
  db::PgAddress quick = world_->address();
  quick.request_timeout_s = 4;  // the server's lock wait: 2 s
  int status = 0;
  auto office = db::PostgresStore::Connect(quick, &status);
  auto administrator = db::PostgresStore::Connect(world_->address(), &status);
  ASSERT_EQ(status, db::kOk);
  ASSERT_NO_FATAL_FAILURE(Sessions(office, quick.host));
  AnswerAsTheRunner([&](const ui::ScriptedUi::Box& box) {
    if (box.style != ui::kYesNo + ui::kQuestion || administrator->Begin() != 0) return;
    PQclear(administrator->Exec("SELECT name FROM cv_files FOR UPDATE", {}));
  });
  const std::string stopped = ExportHere();
  EXPECT_EQ(stopped.rfind("Impossible d'envoyer l'aidé ", 0), 0u) << stopped;
  EXPECT_NE(stopped.find(" sur le serveur : fichier "), std::string::npos) << stopped;
  EXPECT_NE(stopped.find(" occupé sur le serveur ; rien n'a été écrit pour cet aidé.\r\nUn "
                         "fichier est occupé sur le serveur"),
            std::string::npos)
      << stopped;
  ASSERT_NO_FATAL_FAILURE(Interrupted());

  ASSERT_EQ(administrator->Rollback(), 0);
  AnswerAsTheRunner();
  ui_.ClearLog();
  EXPECT_TRUE(Finished(ExportHere())) << ui_.LogText();
  VerifyHere();
}

INSTANTIATE_TEST_SUITE_P(Stores, ExportFaultTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Postgres" : "Embedded"; });

}  // namespace
}  // namespace cortevane::stress
