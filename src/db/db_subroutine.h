// DbSubroutine: a call of a catalogued routine of an account (DBA.SELECT, IMPORTDONNEES).
// ResetArgs, SetArg(index, text) from 0, Call, Error() (0 success), GetArg(index).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cortevane::db {

class Session;

class DbSubroutine {
 public:
  DbSubroutine(Session* session, std::string name, int arg_count);

  void ResetArgs();
  // An index outside [0, arg_count) sets Error() to kBadArgument and changes nothing.
  void SetArg(int index, std::string_view value);
  int Call();
  int Error() const { return error_; }
  // The argument's text after Call, or the empty text for an index out of range.
  std::string GetArg(int index) const;

 private:
  Session* session_;
  std::string name_;
  std::vector<std::string> args_;
  int error_ = 0;
};

}  // namespace cortevane::db
