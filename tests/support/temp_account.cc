#include "support/temp_account.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <system_error>

#include "db/dyn_array.h"
#include "db/status.h"

namespace cortevane::test_support {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "cortevane-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot make a temporary folder";
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TempAccount::TempAccount(Flavour flavour, std::string user, std::string password)
    : folder_(scratch_.path() / "BASE"), user_(std::move(user)), password_(std::move(password)) {
  if (int s = db::SqliteStore::Create(folder_, flavour == Flavour::kServer))
    ADD_FAILURE() << "creating the account: " << db::StatusText(s);
  if (int s = db::SqliteStore::Open(folder_, &store_))
    ADD_FAILURE() << "opening the account: " << db::StatusText(s);
  if (store_) AddUser(user_, password_);
}

TempAccount::~TempAccount() = default;

std::unique_ptr<db::Session> TempAccount::Unconnected() const {
  auto session = std::make_unique<db::Session>();
  session->SetDataBaseType(2);
  session->SetHostName("localhost");
  session->SetAccountPath(Path());
  session->SetUserName(user_);
  session->SetPassword(password_);
  return session;
}

std::unique_ptr<db::Session> TempAccount::Connect() {
  auto session = Unconnected();
  if (int s = session->Connect()) {
    ADD_FAILURE() << "connecting to " << Path() << ": " << db::StatusText(s);
    return nullptr;
  }
  return session;
}

void TempAccount::AddUser(std::string_view name, std::string_view password) {
  if (int s = store_->AddUser(name, password))
    ADD_FAILURE() << "adding user " << name << ": " << db::StatusText(s);
}

void TempAccount::CreateFiles(const std::vector<std::string>& files) {
  for (const std::string& f : files) {
    int s = store_->CreateFile(f);
    if (s != db::kOk && s != db::kFileExists)
      ADD_FAILURE() << "creating file " << f << ": " << db::StatusText(s);
  }
}

void TempAccount::Put(std::string_view file, std::string_view key,
                      std::string_view visible_record) {
  if (!store_->FileExists(file)) CreateFiles({std::string(file)});
  if (int s = store_->Write(file, key, db::FromVisible(visible_record)))
    ADD_FAILURE() << "writing " << file << " " << key << ": " << db::StatusText(s);
}

std::string TempAccount::Get(std::string_view file, std::string_view key) {
  std::string record;
  if (store_->Read(file, key, &record) != db::kOk) return "<none>";
  return db::ToVisible(record);
}

std::string TempAccount::Dump(std::string_view file) {
  std::string out;
  int s = store_->Scan(file, [&](std::string_view key, std::string_view record) {
    if (!out.empty()) out += " | ";
    out += std::string(key) + "=" + db::ToVisible(record);
    return true;
  });
  return s == db::kOk ? out : "<none>";
}

std::string TempAccount::Keys(std::string_view file) {
  std::string out;
  store_->Scan(file, [&](std::string_view key, std::string_view) {
    if (!out.empty()) out += " ";
    out += key;
    return true;
  });
  return out;
}

void TempAccount::SetDict(std::string_view file, const db::DictItem& item) {
  if (int s = store_->SetDictItem(file, item))
    ADD_FAILURE() << "dictionary item " << item.name << " of " << file << ": " << db::StatusText(s);
}

void TempAccount::SetPointer(std::string_view name, std::string_view host, std::string_view account,
                             std::string_view file) {
  db::PointerTarget target{std::string(host), std::string(account), std::string(file)};
  if (int s = store_->SetPointer(name, target))
    ADD_FAILURE() << "pointer " << name << ": " << db::StatusText(s);
}

}  // namespace cortevane::test_support
