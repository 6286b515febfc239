#include "db/names.h"

#include "db/status.h"

namespace cortevane::db {
namespace {

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

int ValidateName(std::string_view name) {
  if (name.empty() || name.size() > 63) return kBadName;
  if (!IsAsciiLetterOrDigit(name.front())) return kBadName;
  for (char c : name) {
    if (!IsAsciiLetterOrDigit(c) && c != '_' && c != '.' && c != '-' && c != '$') return kBadName;
  }
  return kOk;
}

std::string QuotedTableName(std::string_view name) {
  if (ValidateName(name) != kOk) return {};
  std::string out = "\"f_";
  for (char c : name) {
    if (c >= 'A' && c <= 'Z')
      out += static_cast<char>(c - 'A' + 'a');
    else if (c == '.' || c == '-' || c == '$')
      out += '_';
    else
      out += c;
  }
  out += '"';
  return out;
}

}  // namespace cortevane::db
