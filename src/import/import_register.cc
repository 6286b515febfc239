#include "import/import_register.h"

#include <unordered_map>

#include "db/db_file.h"
#include "db/status.h"

namespace cortevane::import {

RegisterVerdict CheckRegister(const db::DynArray& rows, const std::vector<std::string>& codes,
                              std::string_view user) {
  // One pass over the rows: where the user's first row is, and where each code first appears.
  // A chosen person is stopped by whichever of the two comes first in key order.
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t first_own = kNone;
  std::unordered_map<std::string, std::pair<size_t, std::string>> first_row;
  size_t index = 0;
  for (std::string_view row : rows.Fields()) {
    const std::string_view code = db::PieceOf(row, db::kValueMark, 1);
    const std::string_view holder = db::PieceOf(row, db::kValueMark, 2);
    if (holder == user && first_own == kNone) first_own = index;
    first_row.try_emplace(std::string(code), index, holder);
    ++index;
  }

  for (const std::string& code : codes) {
    auto found = first_row.find(code);
    size_t found_at = found == first_row.end() ? kNone : found->second.first;
    if (first_own != kNone && first_own <= found_at)
      return {RegisterVerdict::kUserHasRecords, {}, code};
    if (found_at != kNone) return {RegisterVerdict::kAlreadyOut, found->second.second, code};
  }
  return {};
}

Registration RegisterPersons(db::DbFile& file, const std::vector<std::string>& codes,
                             const db::DynArray& record) {
  std::vector<std::pair<std::string, std::string>> records;
  records.reserve(codes.size());
  for (const std::string& code : codes) records.emplace_back(code, record.Text());
  // A person found registered may be released before its holder is read: the batch is then
  // tried again, a few times at most.
  constexpr int kAttempts = 3;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string taken;
    const int status = file.WriteNewRecords(records, &taken);
    if (status == db::kOk) return {};
    if (status != db::kConditionFailed) return {Registration::kFailed, status, {}, {}};
    file.SetKey(taken);
    const int read = file.ReadRecord();
    if (read == db::kOk) return {Registration::kTaken, 0, file.GetRecord().Field(1), taken};
    if (read != db::kRecordNotFound) return {Registration::kFailed, read, {}, taken};
  }
  return {Registration::kFailed, db::kConditionFailed, {}, {}};
}

int WithdrawRegistrations(db::DbFile& file, const std::vector<std::string>& codes,
                          std::string_view user) {
  int first_failure = db::kOk;
  for (const std::string& code : codes) {
    file.SetKey(code);
    int status = file.ReserveRecord();
    if (status == db::kOk && file.GetRecord().Field(1) == user) status = file.DeleteRecord();
    if (status == db::kRecordNotFound) status = db::kOk;
    file.FreeRecord();
    if (status != db::kOk && first_failure == db::kOk) first_failure = status;
  }
  return first_failure;
}

}  // namespace cortevane::import
