// Sample data and the demo: `seed` fills a server account from a seed; `demo` builds, under the
// drive mapping, everything the program needs on a first run (configuration file, an office
// base with sample data, an empty laptop base, a user, scanned documents, sector folders).
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>

#include "commands.h"
#include "db/dyn_array.h"
#include "db/names.h"
#include "db/postgres/postgres_store.h"
#include "db/routines.h"
#include "db/sample_data.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "db/store.h"
#include "platform/drive_mapping.h"
#include "platform/login.h"

namespace cortevane::admin {
namespace {

namespace fs = std::filesystem;

struct {
  long persons = 2000;
  uint64_t seed = 1;
  long demo_persons = 2000;
  bool rebuild = false;
  bool postgres = false;
} options;

// Where the demo's office base lives: an embedded folder, or (demo --postgres) a database on
// the PostgreSQL server named by --host, called kesta_demo unless --account says otherwise.
struct OfficeBase {
  std::string host = "localhost";
  std::string path;
};

// The demo's places, as the configuration file names them.
constexpr const char* kServerBase = "C:\\KESTA\\SERVEUR";
constexpr const char* kLaptopBase = "C:\\KESTA\\PORTABLE";
constexpr const char* kDocScan = "C:\\KESTA\\DOCSCAN";
constexpr const char* kSectors = "C:\\KESTA\\SECTEURS";
constexpr const char* kIniFile = "C:\\windows\\Cortevane.ini";
// The demo's user and password, kept for the next run of `demo` (the bases keep only a hash).
constexpr const char* kCredentials = "C:\\KESTA\\demo-utilisateur.txt";

void ShowProgress(long done, long total) {
  std::cerr << "seeded " << done << " of " << total << " persons\n";
}

int SeedStore(AdminContext& ctx, db::Store& store, long persons, uint64_t seed, bool progress,
              db::sample::SeedSummary* summary) {
  db::sample::SeedOptions seed_options{persons, seed, {}};
  if (progress && persons >= 20000) seed_options.progress = ShowProgress;
  std::string message;
  if (int s = db::sample::Seed(store, seed_options, summary, &message)) {
    Fail(ctx, "seed: " + message, s);
    return s;
  }
  return db::kOk;
}

void RunSeed(AdminContext& ctx) {
  if (options.persons < 0) return FailMessage(ctx, "--persons cannot be negative");
  auto store = ctx.OpenStore();
  if (!store) return;
  if (!store->RoutineCatalogued(db::kImportDonnees))
    return FailMessage(ctx, "account " + Quoted(ctx.account) +
                                " is not a server account (it does not catalogue IMPORTDONNEES)");
  if (options.persons > 99999)
    std::cerr << "cortevane-admin: note: codes above 99999 have 6 digits, which the program "
                 "cannot carry; such a base is for measurements only\n";
  const auto start = std::chrono::steady_clock::now();
  db::sample::SeedSummary summary;
  if (SeedStore(ctx, *store, options.persons, options.seed, true, &summary)) return;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "seeded " << summary.persons << " persons (" << summary.deleted
            << " marked deleted), " << summary.records << " records in " << seconds << " s\n";
}

// A password for the demo user: 14 characters without look-alikes (0/O, 1/l/I).
std::string NewPassword() {
  static constexpr char kAlphabet[] = "abcdefghjkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
  std::random_device device;
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::string password;
  for (int i = 0; i < 14; ++i) password.push_back(kAlphabet[pick(device)]);
  return password;
}

bool WriteText(const fs::path& path, const std::string& text, std::string* error) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    *error = "cannot write " + path.string();
    return false;
  }
  return true;
}

// The configuration file in the program's format: host lines whose first 8 ("Serveur=") and 9
// ("Serveur2=") characters are skipped, sections ended by an empty line, Windows line ends.
std::string IniText(const OfficeBase& office) {
  return std::string("[SERVEUR]\r\nServeur=localhost\r\n\r\n") +
         "[DISTANT SERVEUR]\r\nServeur2=" + office.host + "\r\n\r\n" +
         "[BASES]\r\nPortable=" + kLaptopBase + "\r\n\r\n" +
         "[DISTANT BASES]\r\nServeur=" + office.path + "\r\n\r\n";
}

void PrintCredentials(const std::string& user, const std::string& password) {
  std::cout << "user: " << user << "\n"
            << "password: " << password << "\n";
}

// Every place the demo makes, so that --rebuild removes exactly those.
std::vector<fs::path> DemoPlaces() {
  return {platform::MapPath(kServerBase), platform::MapPath(kLaptopBase),
          platform::MapPath(kDocScan),    platform::MapPath(kSectors),
          platform::MapPath(kIniFile),    platform::MapPath(kCredentials)};
}

// The laptop as it is between two cycles: the files the export opens, empty, its counter,
// and its SDEXPORTAIDES standing for the office register. So an Export before any Import
// runs through instead of stopping on a missing file.
int PrepareLaptop(AdminContext& ctx, db::Store& server, db::Store& laptop,
                  const OfficeBase& office) {
  std::vector<std::string> files = {"SECTEUR", "COMPTEUR"};
  for (const char* record : {"AIDE", "PLANNING"}) {
    std::string text;
    if (server.Read("SDPARAMEXPORT", record, &text) != db::kOk) continue;
    for (std::string_view field : db::FieldsOf(text))
      files.emplace_back(db::PieceOf(field, db::kValueMark, 1));
  }
  for (const std::string& f : files) {
    if (laptop.FileExists(f)) continue;
    if (int s = laptop.CreateFile(f)) return Fail(ctx, "laptop file " + Quoted(f), s);
    std::vector<db::DictItem> items;
    if (server.Dictionary(f, &items) == db::kOk)
      for (const db::DictItem& item : items) laptop.SetDictItem(f, item);
  }
  std::string counter;
  if (server.Read("COMPTEUR", "999", &counter) == db::kOk) {
    db::DynArray record;
    record.SetField(11, db::DynArray(counter).Field(11));
    if (int s = laptop.Write("COMPTEUR", "999", record.Text()))
      return Fail(ctx, "laptop record \"999\" of file \"COMPTEUR\"", s);
  }
  if (int s = laptop.SetPointer("SDEXPORTAIDES", {office.host, office.path, "SDEXPORTAIDES"}))
    return Fail(ctx, "laptop pointer \"SDEXPORTAIDES\"", s);
  return db::kOk;
}

// The user's threshold on the server, as `user add` makes it on a server account.
int AddUserCounter(AdminContext& ctx, db::Store& server, const std::string& user) {
  const std::string file = "COMPTEUR_" + user;
  std::string counter;
  if (int s = server.Read("COMPTEUR", "999", &counter)) return Fail(ctx, "server counter", s);
  if (!server.FileExists(file))
    if (int s = server.CreateFile(file)) return Fail(ctx, "file " + Quoted(file), s);
  db::DynArray record;
  record.SetField(11, db::DynArray(counter).Field(11));
  if (int s = server.Write(file, "999", record.Text())) return Fail(ctx, "file " + Quoted(file), s);
  return db::kOk;
}

int ScannedDocuments(AdminContext& ctx, const db::sample::SeedSummary& summary) {
  static constexpr const char* kDocuments[] = {"attestation-caisse.txt", "carte-vitale.txt",
                                               "ordonnance.txt", "plan-d-aide.txt"};
  std::string error;
  for (size_t i = 0; i < summary.codes.size(); ++i) {
    const fs::path folder = platform::MapPath(std::string(kDocScan) + "\\" + summary.codes[i]);
    for (size_t d = 0; d <= i % 3; ++d) {
      const std::string text = "Document numérisé de l'aidé " + summary.codes[i] + " : " +
                               kDocuments[(i + d) % 4] + "\r\n";
      if (!WriteText(folder / kDocuments[(i + d) % 4], text, &error)) {
        FailMessage(ctx, error);
        return db::kIoError;
      }
    }
  }
  for (const std::string& sector : summary.sector_folders) {
    std::error_code ec;
    fs::create_directories(platform::MapPath(sector), ec);
    if (ec) {
      FailMessage(ctx, "cannot create " + platform::MapPath(sector).string() + ": " + ec.message());
      return db::kIoError;
    }
  }
  return db::kOk;
}

bool BuildDemo(AdminContext& ctx, const std::string& user, const std::string& password,
               const OfficeBase& office, bool* office_made);

// Before anything is touched: the PostgreSQL user must be allowed to make the office base and
// its login role, and with --rebuild the database in place must be the demo's own. False
// after a message naming what is missing.
bool OfficeDemoPossible(AdminContext& ctx, const OfficeBase& office) {
  db::PgAddress address = ctx.OfficeAddress();
  address.account = office.path;
  const std::string where = "on the PostgreSQL server " + Quoted(office.host);
  bool databases = false, roles = false;
  if (int s = db::PostgresStore::ServerRights(address, &databases, &roles)) {
    Fail(ctx, "server " + Quoted(office.host), s);
    return false;
  }
  for (const auto& [allowed, right] : {std::pair{databases, "databases (CREATEDB)"},
                                       std::pair{roles, "login roles (CREATEROLE)"}}) {
    if (allowed) continue;
    FailMessage(ctx, "user " + Quoted(address.user) + " may not create " + right + " " + where +
                         ", which the demo needs; nothing was changed");
    return false;
  }
  if (!options.rebuild) return true;
  int s = db::PostgresStore::DropAccount(address, true);
  if (s == db::kAccountExists) {
    FailMessage(ctx, "the database " + Quoted(office.path) + " " + where +
                         " was not made by the demo; it is left as it is (name another one "
                         "with --account)");
    return false;
  }
  if (s != db::kOk) {
    Fail(ctx, "office base " + Quoted(office.path), s);
    return false;
  }
  return true;
}

OfficeBase DemoOffice(AdminContext& ctx) {
  if (!options.postgres) return {"localhost", kServerBase};
  return {ctx.host, ctx.account.empty() ? "kesta_demo" : ctx.account};
}

void RunDemo(AdminContext& ctx) {
  if (options.demo_persons < 0) return FailMessage(ctx, "--persons cannot be negative");
  const fs::path root = platform::DriveCRoot();
  const fs::path credentials = platform::MapPath(kCredentials);
  bool exists = false;
  for (const fs::path& p : DemoPlaces()) exists |= fs::exists(p);
  if (exists && !options.rebuild) {
    std::cout << "the demo exists under " << root.string()
              << "; nothing changed (demo --rebuild makes it again)\n";
    std::ifstream in(credentials);
    std::string line;
    while (std::getline(in, line)) std::cout << line << "\n";
    return;
  }
  const OfficeBase office = DemoOffice(ctx);
  if (options.postgres && !OfficeDemoPossible(ctx, office)) return;
  if (exists) {
    for (const fs::path& p : DemoPlaces()) {
      std::error_code ec;
      fs::remove_all(p, ec);
      if (ec) return FailMessage(ctx, "cannot remove " + p.string() + ": " + ec.message());
    }
  }

  std::string user = Upper(platform::LoginName());
  if (db::ValidateName(user) != db::kOk || db::ValidateName("COMPTEUR_" + user) != db::kOk) {
    std::cerr << "cortevane-admin: the login name " << Quoted(user)
              << " cannot be a user name of the bases; the demo user is DEMO\n";
    user = "DEMO";
  }
  const std::string password = NewPassword();

  std::cerr << "building the demo under " << root.string() << "\n";
  bool office_made = false;
  if (!BuildDemo(ctx, user, password, office, &office_made)) {
    // A demo half made would pass for a made one at the next run.
    for (const fs::path& p : DemoPlaces()) {
      std::error_code ec;
      fs::remove_all(p, ec);
    }
    if (options.postgres && office_made) {
      db::PgAddress address = ctx.OfficeAddress();
      address.account = office.path;
      db::PostgresStore::DropAccount(address, true);
    }
    return;
  }
  std::cout << "demo ready under " << root.string() << ": an office base " << office.path
            << (options.postgres ? " on the PostgreSQL server " + office.host : std::string())
            << " with " << options.demo_persons << " persons, an empty laptop base " << kLaptopBase
            << "\n";
  PrintCredentials(user, password);
}

// The office base and its user: an embedded account, or a database and a login role of the
// PostgreSQL server.
std::shared_ptr<db::Store> MakeOffice(AdminContext& ctx, const OfficeBase& office,
                                      const std::string& user, const std::string& password,
                                      bool* made) {
  if (!options.postgres) {
    const fs::path folder = platform::MapPath(office.path);
    std::shared_ptr<db::SqliteStore> server;
    int s = db::SqliteStore::Create(folder, true);
    if (s == db::kOk) s = db::SqliteStore::Open(folder, &server);
    if (s == db::kOk) s = server->AddUser(user, password);
    if (s != db::kOk) {
      Fail(ctx, "server base " + Quoted(folder.string()), s);
      return nullptr;
    }
    return server;
  }
  db::PgAddress address = ctx.OfficeAddress();
  address.account = office.path;
  int s = db::PostgresStore::CreateAccount(address, true, true);
  std::shared_ptr<db::PostgresStore> server;
  *made = s == db::kOk;
  if (s == db::kOk) server = db::PostgresStore::Connect(address, &s);
  if (s == db::kOk) s = server->CreateUser(user, password);
  if (s != db::kOk) {
    Fail(ctx, "office base " + Quoted(office.path) + " on host " + Quoted(office.host), s);
    return nullptr;
  }
  return server;
}

bool BuildDemo(AdminContext& ctx, const std::string& user, const std::string& password,
               const OfficeBase& office, bool* office_made) {
  const fs::path laptop_folder = platform::MapPath(kLaptopBase);
  if (int s = db::SqliteStore::Create(laptop_folder, false))
    return !Fail(ctx, "laptop base " + Quoted(laptop_folder.string()), s);
  std::shared_ptr<db::SqliteStore> laptop;
  if (int s = db::SqliteStore::Open(laptop_folder, &laptop))
    return !Fail(ctx, "laptop base " + Quoted(laptop_folder.string()), s);
  std::shared_ptr<db::Store> server = MakeOffice(ctx, office, user, password, office_made);
  if (!server) return false;

  db::sample::SeedSummary summary;
  if (SeedStore(ctx, *server, options.demo_persons, 1, true, &summary)) return false;
  if (int s = laptop->AddUser(user, password)) return !Fail(ctx, "laptop user", s);
  if (AddUserCounter(ctx, *server, user)) return false;
  if (PrepareLaptop(ctx, *server, *laptop, office)) return false;
  if (ScannedDocuments(ctx, summary)) return false;

  std::string error;
  const fs::path credentials = platform::MapPath(kCredentials);
  if (!WriteText(platform::MapPath(kIniFile), IniText(office), &error) ||
      !WriteText(credentials, "user: " + user + "\npassword: " + password + "\n", &error)) {
    FailMessage(ctx, error);
    return false;
  }
  ::chmod(credentials.c_str(), 0600);
  return true;
}

}  // namespace

void AddSampleCommands(CLI::App& app, AdminContext& ctx) {
  auto* seed = app.add_subcommand(
      "seed",
      "Fill a server account with sample data made from a seed (French names and addresses, "
      "responsables, communes, sectors, export parameters, counters, dependent and planning "
      "files, dictionaries and indexes). The same seed gives the same data");
  seed->add_option("--persons", options.persons, "Number of persons (default 2000)");
  seed->add_option("--seed", options.seed, "Seed of the made-up data (default 1)");
  seed->callback([&ctx] { RunSeed(ctx); });

  auto* demo = app.add_subcommand(
      "demo",
      "Build the demo under the drive mapping (CORTEVANE_DRIVE_C): configuration file, an "
      "office base with sample data, an empty laptop base, the login name as user with a "
      "printed password, scanned documents and sector folders. Does nothing when it exists");
  demo->add_option("--persons", options.demo_persons, "Persons on the office base (default 2000)");
  demo->add_flag("--rebuild", options.rebuild,
                 "Remove the demo's bases and folders and build it again");
  demo->add_flag("--postgres", options.postgres,
                 "Keep the office base on the PostgreSQL server --host (database --account, "
                 "default kesta_demo; credentials --user or PGUSER, --password-stdin or "
                 "PGPASSWORD)");
  demo->callback([&ctx] { RunDemo(ctx); });
}

}  // namespace cortevane::admin
