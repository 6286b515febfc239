// DBA.SELECT: reads the request array, finds the file (following a file pointer to the
// connected session of its account), parses the sentence and runs it.
#include <optional>

#include "db/dyn_array.h"
#include "db/query/evaluator.h"
#include "db/query/query.h"
#include "db/query/tokenizer.h"
#include "db/routines.h"
#include "db/session.h"
#include "db/status.h"
#include "db/store.h"

namespace cortevane::db {
namespace query {
namespace {

// The wanted field numbers of request field 3: blank-separated decimal numbers, at least one.
bool ParseWanted(std::string_view text, std::vector<int>* wanted) {
  size_t at = 0;
  while (at < text.size()) {
    if (text[at] == ' ') {
      ++at;
      continue;
    }
    size_t stop = text.find(' ', at);
    if (stop == std::string_view::npos) stop = text.size();
    std::string_view word = text.substr(at, stop - at);
    if (!IsFieldNumber(word) || word.size() > 6) return false;
    wanted->push_back(std::stoi(std::string(word)));
    at = stop;
  }
  return !wanted->empty();
}

}  // namespace

QueryError Select(Store& store, std::string_view request, std::string* result) {
  result->clear();
  const DynArray req{std::string(request)};
  const std::string sentence = req.Field(1);
  const std::string requested_file = req.Field(2);
  std::vector<int> wanted;
  if (!ParseWanted(req.Field(3), &wanted))
    return {kBadArgument,
            "the wanted fields \"" + req.Field(3) + "\" are not field numbers separated by blanks"};

  Query q;
  if (QueryError e = ParseQuery(sentence, &q); e.status != kOk) return e;
  if (!requested_file.empty() && requested_file != q.file)
    return {kBadArgument, "the sentence names the file \"" + q.file +
                              "\" but the request names \"" + requested_file + "\""};

  // A pointer stands for a file of another account; follow it (a few hops at most, so that
  // pointers that lead to each other cannot loop). The file is looked for first: a search of a
  // file the store knows costs no question about pointers.
  Store* target = &store;
  std::string file = q.file;
  for (int hop = 0;; ++hop) {
    QueryError e = RunQuery(*target, file, q, wanted, result);
    if (e.status != kQueryUnknownFile || hop == 4) return e;
    std::optional<PointerTarget> to = target->Pointer(file);
    if (!to) return e;
    Session* other = Session::FindConnected(to->host, to->account);
    if (other == nullptr || !other->store())
      return {kPointerTargetAbsent, "file \"" + file + "\" stands for \"" + to->file +
                                        "\" of account " + to->account + " on " + to->host +
                                        ", to which no session of this program is connected"};
    target = other->store().get();
    file = to->file;
  }
}

}  // namespace query

int DbaSelect(Store& store, std::string_view request, std::string* result) {
  return query::Select(store, request, result).status;
}

}  // namespace cortevane::db
