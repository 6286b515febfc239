// The shared store suite (store_suite.h): records, deletion and clearing, names, transactions,
// indexes, reservations across processes, the catalogue. Each store instantiates it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "db/dyn_array.h"
#include "db/status.h"
#include "store_suite.h"

namespace cortevane::db {
namespace {

// Every record of `file` as "key=record" with visible marks, in key order.
std::string Dump(Store& store, std::string_view file) {
  std::string out;
  int s = store.Scan(file, [&](std::string_view k, std::string_view r) {
    out += (out.empty() ? "" : " | ") + std::string(k) + "=" + ToVisible(r);
    return true;
  });
  return s == kOk ? out : "status " + std::to_string(s);
}

std::string Lookup(Store& store, std::string_view file, std::string_view item,
                   std::string_view value, bool prefix) {
  std::vector<std::string> keys;
  int s = store.IndexLookup(file, item, value, prefix, &keys);
  if (s != kOk) return "status " + std::to_string(s);
  std::string out;
  for (const auto& k : keys) out += (out.empty() ? "" : " ") + k;
  return out;
}

TEST_P(StoreTest, RecordsKeepMarksFrenchTextAndEveryByte) {
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  const std::string record = FromVisible("00042^DUPONT]Hélène\\Zoé^^Rue de l'Église ; \"quotes\"") +
                             std::string("\x00\x01\xFF", 3);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00042", record), kOk);
  std::string back;
  ASSERT_EQ(store_->Read("CIVILAIDE", "00042", &back), kOk);
  EXPECT_EQ(back, record);
  DynArray array(back);
  EXPECT_EQ(array.Value(2, 2), FromVisible("Hélène\\Zoé"));
  EXPECT_EQ(array.SubValue(2, 2, 2), "Zoé");

  ASSERT_EQ(store_->Write("CIVILAIDE", "00042", ""), kOk);  // the empty record is a record
  EXPECT_EQ(store_->Read("CIVILAIDE", "00042", &back), kOk);
  EXPECT_EQ(back, "");
  back = "stale";
  EXPECT_EQ(store_->Read("CIVILAIDE", "00043", &back), kRecordNotFound);
  EXPECT_EQ(back, "");
  EXPECT_EQ(store_->Write("CIVILAIDE", "", "x"), kNoKey);
}

TEST_P(StoreTest, ScanIsInBytewiseKeyOrderAndStopsWhenAsked) {
  ASSERT_EQ(store_->CreateFile("F"), kOk);
  for (const char* key : {"b", "00042", "a", "00007", "B", "é", "000420"})
    ASSERT_EQ(store_->Write("F", key, key), kOk);
  std::string keys;
  ASSERT_EQ(store_->Scan("F",
                         [&](std::string_view k, std::string_view r) {
                           EXPECT_EQ(k, r);
                           keys += std::string(k) + " ";
                           return true;
                         }),
            kOk);
  EXPECT_EQ(keys, "00007 00042 000420 B a b é ");
  int seen = 0;
  EXPECT_EQ(store_->Scan("F", [&](std::string_view, std::string_view) { return ++seen < 2; }), kOk);
  EXPECT_EQ(seen, 2);
  long long count = 0;
  EXPECT_EQ(store_->CountRecords("F", &count), kOk);
  EXPECT_EQ(count, 7);
}

TEST_P(StoreTest, PrefixScanIsKeyRangesInBytewiseOrder) {
  ASSERT_EQ(store_->CreateFile("F"), kOk);
  const std::string ff = "\xFF", fe = "\xFE";
  for (const std::string& key : {std::string("00042"), std::string("00042*1"), std::string("0004"),
                                 std::string("00043"), std::string("a1"), std::string("A1"),
                                 "a" + ff, "a" + ff + ff, ff, ff + "x", fe + ff, std::string("b")})
    ASSERT_EQ(store_->Write("F", key, "r"), kOk);
  auto keys = [&](const std::vector<std::string>& prefixes, int stop_after = -1) {
    std::string out;
    int seen = 0;
    int s = store_->PrefixScan("F", prefixes, [&](std::string_view k, std::string_view) {
      out += ToVisible(std::string(k)) + " ";
      return ++seen != stop_after;
    });
    return s == kOk ? out : "status " + std::to_string(s);
  };
  // Bytes, case included; a prefix ending in 0xFF bytes has its range closed after them, or
  // open to the end of the file when it is nothing but 0xFF; overlapping prefixes give each
  // record once, in key order.
  const std::string x = ToVisible(ff), y = ToVisible(fe);
  EXPECT_EQ(keys({"00042"}), "00042 00042*1 ");
  EXPECT_EQ(keys({"a"}), "a1 a" + x + " a" + x + x + " ");
  EXPECT_EQ(keys({"a" + ff}), "a" + x + " a" + x + x + " ");
  EXPECT_EQ(keys({ff}), x + " " + x + "x ");
  EXPECT_EQ(keys({fe}), y + x + " ");
  EXPECT_EQ(keys({"b", "00042", "0004", "00042*"}), "0004 00042 00042*1 00043 b ");
  EXPECT_EQ(keys({"A"}), "A1 ");
  EXPECT_EQ(keys({"c", "00044"}), "");
  EXPECT_EQ(keys({}), "");
  EXPECT_EQ(keys({""}, 3), "0004 00042 00042*1 ");
  EXPECT_EQ(keys({"0004", "a"}, 2), "0004 00042 ");
  EXPECT_EQ(store_->PrefixScan("NOFILE", {"a"}, [](auto, auto) { return true; }), kNoSuchFile);
}

TEST_P(StoreTest, DeleteAndClearRemoveRecordsButKeepTheFile) {
  ASSERT_EQ(store_->CreateFile("F"), kOk);
  for (const char* key : {"1", "2", "3"}) ASSERT_EQ(store_->Write("F", key, "r"), kOk);
  EXPECT_EQ(store_->Delete("F", "2"), kOk);
  EXPECT_EQ(store_->Delete("F", "2"), kRecordNotFound);
  EXPECT_EQ(Dump(*store_, "F"), "1=r | 3=r");
  EXPECT_EQ(store_->Clear("F"), kOk);
  EXPECT_EQ(Dump(*store_, "F"), "");
  EXPECT_TRUE(store_->FileExists("F"));
  EXPECT_EQ(store_->Clear("F"), kOk);  // clearing an empty file is no failure
  EXPECT_EQ(store_->Write("F", "4", "again"), kOk);
  EXPECT_EQ(Dump(*store_, "F"), "4=again");
}

TEST_P(StoreTest, UnknownFilesAndRefusedNamesGiveStatuses) {
  std::string record;
  EXPECT_EQ(store_->Read("ABSENT", "1", &record), kNoSuchFile);
  EXPECT_EQ(store_->Write("ABSENT", "1", "x"), kNoSuchFile);
  EXPECT_EQ(store_->Clear("ABSENT"), kNoSuchFile);
  EXPECT_FALSE(store_->FileExists("ABSENT"));

  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00042", "DUPONT"), kOk);
  const std::string attempts[] = {"CIVILAIDE\"; DROP TABLE \"f_civilaide",
                                  "X; DELETE FROM f_civilaide",
                                  "A'B",
                                  "A B",
                                  "",
                                  "_LEADING",
                                  "TAB\tNAME",
                                  std::string("NUL\0NAME", 8),
                                  "MARK" + std::string(1, kFieldMark),
                                  "ÉTÉ",
                                  std::string(64, 'A')};
  for (const std::string& name : attempts) {
    EXPECT_EQ(store_->CreateFile(name), kBadName) << name;
    EXPECT_EQ(store_->Read(name, "00042", &record), kBadName) << name;
    EXPECT_EQ(store_->Write(name, "00042", "x"), kBadName) << name;
    EXPECT_EQ(store_->DropFile(name), kBadName) << name;
  }
  EXPECT_EQ(store_->CreateFile(std::string(63, 'A')), kOk);
  EXPECT_EQ(Dump(*store_, "CIVILAIDE"), "00042=DUPONT");
  EXPECT_EQ(store_->CreateFile("CIVILAIDE"), kFileExists);
}

TEST_P(StoreTest, TransactionsCommitWholeOrRollBack) {
  ASSERT_EQ(store_->CreateFile("F"), kOk);
  ASSERT_EQ(store_->Write("F", "1", "one"), kOk);
  auto other = account_->Open();
  ASSERT_NE(other, nullptr);

  ASSERT_EQ(store_->Begin(), kOk);
  EXPECT_EQ(store_->Write("F", "2", "two"), kOk);
  EXPECT_EQ(store_->Delete("F", "1"), kOk);
  EXPECT_EQ(store_->Write("F", "1", ""), kOk);
  EXPECT_EQ(store_->Delete("F", "1"), kOk);
  EXPECT_EQ(Dump(*store_, "F"), "2=two");
  // A write inside the transaction does not commit on its own.
  EXPECT_EQ(Dump(*other, "F"), "1=one");
  ASSERT_EQ(store_->Rollback(), kOk);
  EXPECT_EQ(Dump(*store_, "F"), "1=one");

  ASSERT_EQ(store_->Begin(), kOk);
  EXPECT_EQ(store_->Write("F", "3", "three"), kOk);
  EXPECT_EQ(store_->Clear("F"), kOk);
  EXPECT_EQ(store_->Write("F", "4", "four"), kOk);
  ASSERT_EQ(store_->Commit(), kOk);
  EXPECT_EQ(Dump(*other, "F"), "4=four");
  EXPECT_NE(store_->Commit(), kOk);  // nothing to commit
}

// A batch is made whole or not at all; a failed condition names the first change refused, and
// the index entries follow the changes that were made.
TEST_P(StoreTest, ABatchOfChangesIsMadeWholeOrNotAtAll) {
  ASSERT_EQ(store_->CreateFile("G"), kOk);
  ASSERT_EQ(store_->SetDictItem("G", {"Nom", 1, 0, false, true}), kOk);
  ASSERT_EQ(store_->CreateFile("H"), kOk);
  ASSERT_EQ(store_->Write("G", "1", "ANNE"), kOk);
  ASSERT_EQ(store_->Write("H", "1", "one"), kOk);
  using C = Change;
  struct Case {
    const char* what;
    std::vector<Change> batch;
    int status;
    size_t refused;
    const char* g;
    const char* h;
  };
  const Case cases[] = {
      {"conditions that hold",
       {{C::kWrite, C::kIfAbsent, "G", "2", "BRUNO", ""},
        {C::kWrite, C::kIfRecord, "G", "1", "ALINE", "ANNE"},
        {C::kDelete, C::kIfRecord, "H", "1", "", "one"},
        {C::kWrite, C::kAlways, "H", "2", "two", ""},
        {C::kDelete, C::kAlways, "H", "9", "", ""}},
       kOk,
       0,
       "1=ALINE | 2=BRUNO",
       "2=two"},
      {"a key taken",
       {{C::kWrite, C::kAlways, "H", "3", "three", ""},
        {C::kWrite, C::kIfAbsent, "G", "3", "CLAIRE", ""},
        {C::kWrite, C::kIfAbsent, "G", "2", "X", ""}},
       kConditionFailed,
       2,
       "1=ALINE | 2=BRUNO",
       "2=two"},
      {"a record changed since it was read",
       {{C::kDelete, C::kAlways, "G", "2", "", ""},
        {C::kWrite, C::kIfRecord, "G", "1", "X", "ANNE"}},
       kConditionFailed,
       1,
       "1=ALINE | 2=BRUNO",
       "2=two"},
      {"a delete of a record that is not there",
       {{C::kDelete, C::kIfRecord, "H", "7", "", "seven"}},
       kConditionFailed,
       0,
       "1=ALINE | 2=BRUNO",
       "2=two"},
      {"a file missing",
       {{C::kWrite, C::kAlways, "G", "4", "D", ""}, {C::kWrite, C::kAlways, "NONE", "1", "x", ""}},
       kNoSuchFile,
       0,
       "1=ALINE | 2=BRUNO",
       "2=two"},
      {"a key and a record written twice",
       {{C::kWrite, C::kAlways, "G", "5", "EMMA", ""},
        {C::kWrite, C::kIfRecord, "G", "5", "ELSA", "EMMA"},
        {C::kDelete, C::kIfAbsent, "G", "6", "", ""}},
       kOk,
       0,
       "1=ALINE | 2=BRUNO | 5=ELSA",
       "2=two"},
  };
  for (const Case& c : cases) {
    size_t refused = 99;
    EXPECT_EQ(store_->Apply(c.batch, &refused), c.status) << c.what;
    if (c.status == kConditionFailed) {
      EXPECT_EQ(refused, c.refused) << c.what;
    }
    EXPECT_EQ(Dump(*store_, "G"), c.g) << c.what;
    EXPECT_EQ(Dump(*store_, "H"), c.h) << c.what;
  }
  EXPECT_EQ(Lookup(*store_, "G", "Nom", "A", true), "1");
  EXPECT_EQ(Lookup(*store_, "G", "Nom", "E", true), "5");
  EXPECT_EQ(Lookup(*store_, "G", "Nom", "", true), "1 2 5");
  size_t refused = 0;
  ASSERT_EQ(store_->Begin(), kOk);
  EXPECT_EQ(store_->Apply({{C::kWrite, C::kAlways, "G", "8", "x", ""}}, &refused), kBadArgument);
  ASSERT_EQ(store_->Rollback(), kOk);
}

TEST_P(StoreTest, IndexesFollowWritesDeletesAndClear) {
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00001", FromVisible("^DUPONT^^012")), kOk);
  // An item indexed after records exist indexes them at once.
  ASSERT_EQ(store_->SetDictItem("CIVILAIDE", {"NomAide", 2, 0, false, true}), kOk);
  ASSERT_EQ(store_->SetDictItem("CIVILAIDE", {"CodeSecteurAide", 4, 3, true, true}), kOk);
  ASSERT_EQ(store_->SetDictItem("CIVILAIDE", {"PrenomAide", 3, 0, false, false}), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00002", FromVisible("^DURAND]DUPONT^^0125")), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00003", FromVisible("^Dupont^^12")), kOk);

  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "DUPONT", false), "00001 00002");
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "DU", true), "00001 00002");
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "Du", true), "00003");
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "CodeSecteurAide", "12", false), "00001 00002 00003");
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "PrenomAide", "x", false),
            "status " + std::to_string(kQueryUnknownItem));

  // Rewriting replaces the record's entries; deleting and clearing remove them.
  ASSERT_EQ(store_->Write("CIVILAIDE", "00002", FromVisible("^MARTIN^^013")), kOk);
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "DUPONT", false), "00001");
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "MARTIN", false), "00002");
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "CodeSecteurAide", "013", false), "00002");
  ASSERT_EQ(store_->Delete("CIVILAIDE", "00001"), kOk);
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "D", true), "00003");
  ASSERT_EQ(store_->Begin(), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00009", FromVisible("^DUPONT")), kOk);
  ASSERT_EQ(store_->Rollback(), kOk);
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "DUPONT", false), "");
  ASSERT_EQ(store_->Clear("CIVILAIDE"), kOk);
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "", true), "");
  ASSERT_EQ(store_->Write("CIVILAIDE", "00004", FromVisible("^DUPONT")), kOk);
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "DUPONT", false), "00004");

  std::vector<DictItem> items;
  ASSERT_EQ(store_->Dictionary("CIVILAIDE", &items), kOk);
  ASSERT_EQ(items.size(), 3u);
}

// Staff write and search while an administrator changes the catalogue from another
// connection: what a store remembers of a file never outlives the change.
TEST_P(StoreTest, AnotherConnectionsCatalogueChangesAreSeenAtOnce) {
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00001", FromVisible("^DUPONT")), kOk);
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "DUPONT", false),
            "status " + std::to_string(kQueryUnknownItem));
  auto admin = account_->Open();
  ASSERT_EQ(admin->SetDictItem("CIVILAIDE", {"NomAide", 2, 0, false, true}), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00002", FromVisible("^DURAND")), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00001", FromVisible("^MARTIN")), kOk);
  EXPECT_EQ(Lookup(*admin, "CIVILAIDE", "NomAide", "D", true), "00002");
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "MARTIN", false), "00001");
  ASSERT_EQ(admin->SetDictItem("CIVILAIDE", {"PrenomAide", 3, 0, false, true}), kOk);
  ASSERT_EQ(store_->Begin(), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00003", FromVisible("^DURAND^Zoé")), kOk);
  ASSERT_EQ(store_->Commit(), kOk);
  EXPECT_EQ(Lookup(*admin, "CIVILAIDE", "PrenomAide", "Zoé", false), "00003");
  std::vector<DictItem> items;
  ASSERT_EQ(store_->Dictionary("CIVILAIDE", &items), kOk);
  EXPECT_EQ(items.size(), 2u);

  // Dropped by the other connection: gone here too, and free to be made again.
  ASSERT_EQ(admin->DropFile("CIVILAIDE"), kOk);
  std::string record;
  EXPECT_EQ(store_->Read("CIVILAIDE", "00001", &record), kNoSuchFile);
  EXPECT_EQ(store_->Write("CIVILAIDE", "00001", "x"), kNoSuchFile);
  EXPECT_FALSE(store_->FileExists("CIVILAIDE"));
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00004", FromVisible("^DUPONT")), kOk);
  // Dropped and made again there, with an index of its own.
  ASSERT_EQ(admin->DropFile("CIVILAIDE"), kOk);
  ASSERT_EQ(admin->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(admin->SetDictItem("CIVILAIDE", {"Ville", 11, 0, false, true}), kOk);
  DynArray city;
  city.SetField(11, "LYON");
  ASSERT_EQ(store_->Write("CIVILAIDE", "00005", city.Text()), kOk);
  EXPECT_EQ(Lookup(*admin, "CIVILAIDE", "Ville", "LYON", false), "00005");
  EXPECT_EQ(Lookup(*store_, "CIVILAIDE", "NomAide", "DUPONT", false),
            "status " + std::to_string(kQueryUnknownItem));
  EXPECT_EQ(Dump(*store_, "CIVILAIDE"), "00005=^^^^^^^^^^LYON");
}

TEST_P(StoreTest, ReservationExcludesOtherStoresAndIsFreed) {
  ASSERT_EQ(store_->CreateFile("COMPTEUR"), kOk);
  auto other = account_->Open();
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(store_->Reserve("COMPTEUR", "999", 1000), kOk);
  EXPECT_EQ(store_->Reserve("COMPTEUR", "999", 0), kOk);  // its own lock
  EXPECT_EQ(other->Reserve("COMPTEUR", "999", 100), kLockTimeout);
  EXPECT_EQ(other->Reserve("COMPTEUR", "998", 100), kOk);  // another key is free
  EXPECT_EQ(other->Free("COMPTEUR", "999"), kNotReserved);
  ASSERT_EQ(store_->Free("COMPTEUR", "999"), kOk);
  EXPECT_EQ(other->Reserve("COMPTEUR", "999", 100), kOk);
  // Closing a store releases its locks.
  other.reset();
  EXPECT_EQ(store_->Reserve("COMPTEUR", "999", 1000), kOk);
}

// A reservation held by another process blocks, times out with a status, and goes with the
// process when it dies without freeing it.
TEST_P(StoreTest, ReservationOfAKilledProcessIsReleased) {
  ASSERT_EQ(store_->CreateFile("COMPTEUR"), kOk);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child's own connection; it holds the lock until it is killed.
    auto mine = account_->Open();
    char status = mine && mine->Reserve("COMPTEUR", "999", 5000) == kOk ? 'y' : 'n';
    (void)!write(ready[1], &status, 1);
    while (true) pause();
  }
  close(ready[1]);
  char status = 0;
  ASSERT_EQ(read(ready[0], &status, 1), 1);
  close(ready[0]);
  ASSERT_EQ(status, 'y');

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(store_->Reserve("COMPTEUR", "999", 300), kLockTimeout);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::seconds(5));

  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(store_->Reserve("COMPTEUR", "999", 5000), kOk);
}

TEST_P(StoreTest, CatalogueOfFilesPointersAndRoutines) {
  ASSERT_EQ(store_->CreateFile("SECTEUR"), kOk);
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store_->SetDictItem("CIVILAIDE", {"NomAide", 2, 0, false, true}), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "1", FromVisible("^DUPONT")), kOk);
  std::vector<std::string> files;
  ASSERT_EQ(store_->ListFiles(&files), kOk);
  EXPECT_EQ(files, (std::vector<std::string>{"CIVILAIDE", "SECTEUR"}));

  // Dropping takes the records, the dictionary and the index; a new file of the name is empty.
  ASSERT_EQ(store_->DropFile("CIVILAIDE"), kOk);
  EXPECT_FALSE(store_->FileExists("CIVILAIDE"));
  EXPECT_EQ(store_->DropFile("CIVILAIDE"), kNoSuchFile);
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  EXPECT_EQ(Dump(*store_, "CIVILAIDE"), "");
  std::vector<DictItem> items;
  ASSERT_EQ(store_->Dictionary("CIVILAIDE", &items), kOk);
  EXPECT_TRUE(items.empty());

  ASSERT_EQ(store_->SetPointer("SDEXPORTAIDES", {"serveur", "/srv/BASE", "SDEXPORTAIDES"}), kOk);
  auto target = store_->Pointer("SDEXPORTAIDES");
  ASSERT_TRUE(target.has_value());
  EXPECT_EQ(target->host + " " + target->account + " " + target->file,
            "serveur /srv/BASE SDEXPORTAIDES");
  EXPECT_FALSE(store_->Pointer("SECTEUR").has_value());
  EXPECT_EQ(store_->SetPointer("SECTEUR", {"h", "/a", "SECTEUR"}), kFileExists);
  EXPECT_EQ(store_->SetPointer("BAD;NAME", {"h", "/a", "F"}), kBadName);
  EXPECT_EQ(store_->CreateFile("SDEXPORTAIDES"), kFileExists);

  EXPECT_TRUE(store_->RoutineCatalogued("DBA.SELECT"));
  EXPECT_FALSE(store_->RoutineCatalogued("NOSUCH"));
  ASSERT_EQ(store_->CatalogueRoutine("NOSUCH"), kOk);
  EXPECT_TRUE(store_->RoutineCatalogued("NOSUCH"));
}

}  // namespace
}  // namespace cortevane::db
