#include "db/db_subroutine.h"

#include "db/routines.h"
#include "db/session.h"
#include "db/status.h"

namespace cortevane::db {

DbSubroutine::DbSubroutine(Session* session, std::string name, int arg_count)
    : session_(session), name_(std::move(name)), args_(arg_count < 0 ? 0 : arg_count) {}

void DbSubroutine::ResetArgs() {
  for (std::string& arg : args_) arg.clear();
  error_ = kOk;
}

void DbSubroutine::SetArg(int index, std::string_view value) {
  if (index < 0 || index >= static_cast<int>(args_.size())) {
    error_ = kBadArgument;
    return;
  }
  args_[index] = value;
}

int DbSubroutine::Call() {
  if (!session_ || !session_->IsConnected()) return error_ = kNotConnected;
  return error_ = CallRoutine(*session_, name_, args_);
}

std::string DbSubroutine::GetArg(int index) const {
  if (index < 0 || index >= static_cast<int>(args_.size())) return {};
  return args_[index];
}

}  // namespace cortevane::db
