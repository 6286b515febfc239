// Runs a parsed query over a Store: see evaluator.h.
#include "db/query/evaluator.h"

#include <algorithm>
#include <optional>

#include "db/dictionary.h"
#include "db/dyn_array.h"
#include "db/query/compare.h"
#include "db/status.h"
#include "db/store.h"

namespace cortevane::db::query {
namespace {

// An item of the sentence bound to what it reads. `index` names the dictionary item whose
// index answers equality and begins-with tests on it, or is empty.
struct Bound {
  DictItem item;
  std::string index;
};

struct BoundCondition {
  Condition::Kind kind = Condition::Kind::kCompare;
  Bound item;
  Comparison compare;  // its item is not used: `item` above is
  std::vector<BoundCondition> children;
};

// Field `f` of a record (without copying it), the empty view when it does not exist.
std::string_view FieldOf(std::string_view record, int f) {
  size_t start = 0;
  for (int i = 1; i < f; ++i) {
    size_t next = record.find(kFieldMark, start);
    if (next == std::string_view::npos) return {};
    start = next + 1;
  }
  size_t stop = record.find(kFieldMark, start);
  return record.substr(start,
                       stop == std::string_view::npos ? std::string_view::npos : stop - start);
}

// Calls fn for each value the item reads, cut as db::ItemValues cuts it (the form the store's
// indexes hold). Stops early when fn returns true; returns whether it did.
template <typename Fn>
bool AnyValue(const DictItem& item, std::string_view key, std::string_view record, Fn fn) {
  auto cut = [&](std::string_view v) {
    if (item.first > 0 && v.size() > static_cast<size_t>(item.first)) v = v.substr(0, item.first);
    return v;
  };
  if (item.field == 0) return fn(cut(key));
  const std::string_view field = FieldOf(record, item.field);
  size_t start = 0;
  while (true) {
    size_t stop = field.find(kValueMark, start);
    std::string_view v =
        field.substr(start, stop == std::string_view::npos ? std::string_view::npos : stop - start);
    if (fn(cut(v))) return true;
    if (stop == std::string_view::npos) return false;
    start = stop + 1;
  }
}

bool Holds(const BoundCondition& c, std::string_view key, std::string_view record) {
  switch (c.kind) {
    case Condition::Kind::kCompare:
      return AnyValue(c.item.item, key, record, [&](std::string_view v) {
        return Satisfies(v, c.compare, c.item.item.right);
      });
    case Condition::Kind::kNotEmpty:
      return AnyValue(c.item.item, key, record, [](std::string_view v) { return !v.empty(); });
    case Condition::Kind::kAnd:
      for (const auto& child : c.children)
        if (!Holds(child, key, record)) return false;
      return true;
    case Condition::Kind::kOr:
      for (const auto& child : c.children)
        if (Holds(child, key, record)) return true;
      return false;
  }
  return false;
}

class Runner {
 public:
  Runner(Store& store, std::string_view file) : store_(store), file_(file) {}

  QueryError Run(const Query& q, const std::vector<int>& wanted, std::string* result) {
    result->clear();
    if (!store_.FileExists(file_))
      return Fail(kQueryUnknownFile, "file \"" + file_ + "\" does not exist");
    if (int st = store_.Dictionary(file_, &dict_); st != kOk)
      return Fail(st, "cannot read the dictionary of \"" + file_ + "\"");

    BoundCondition cond;
    if (q.has_condition && !BindCondition(q.condition, &cond)) return error_;
    std::vector<Bound> sorts;
    for (const SortKey& s : q.sorts) {
      Bound b;
      if (!Bind(s.item, &b)) return error_;
      sorts.push_back(std::move(b));
    }

    std::vector<Row> rows;
    auto take = [&](std::string_view key, std::string_view record) {
      if (q.has_condition && !Holds(cond, key, record)) return;
      Row row;
      row.key = std::string(key);
      for (const Bound& s : sorts) {
        std::vector<std::string> values;
        AnyValue(s.item, key, record, [&](std::string_view v) {
          values.emplace_back(v);
          return false;
        });
        row.sort_values.push_back(std::move(values));
      }
      row.output = Render(key, record, wanted);
      rows.push_back(std::move(row));
    };

    std::optional<std::vector<std::string>> keys;
    if (q.has_condition) {
      keys = Candidates(cond);
      if (error_.status != kOk) return error_;
    }
    if (keys) {
      std::string record;
      for (const std::string& key : *keys) {
        int st = store_.Read(file_, key, &record);
        if (st == kRecordNotFound) continue;
        if (st != kOk) return Fail(st, "cannot read record \"" + key + "\" of \"" + file_ + "\"");
        take(key, record);
      }
    } else {
      int st = store_.Scan(file_, [&](std::string_view key, std::string_view record) {
        take(key, record);
        return true;
      });
      if (st != kOk) return Fail(st, "cannot read the file \"" + file_ + "\"");
    }

    if (!sorts.empty() || q.sort_by_key) {
      std::vector<bool> descending;
      for (const SortKey& s : q.sorts) descending.push_back(s.descending);
      std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        for (size_t i = 0; i < sorts.size(); ++i) {
          int c = CompareLists(a.sort_values[i], b.sort_values[i], sorts[i].item.right);
          if (c != 0) return descending[i] ? c > 0 : c < 0;
        }
        return q.sort_by_key && a.key < b.key;
      });
    }

    for (size_t i = 0; i < rows.size(); ++i) {
      if (i > 0) result->push_back(kFieldMark);
      result->append(rows[i].output);
    }
    return {};
  }

 private:
  struct Row {
    std::string key;
    std::vector<std::vector<std::string>> sort_values;
    std::string output;
  };

  QueryError Fail(int status, std::string message) {
    if (error_.status == kOk) error_ = QueryError{status, std::move(message)};
    return error_;
  }

  bool Bind(const ItemRef& ref, Bound* out) {
    switch (ref.kind) {
      case ItemRef::Kind::kKey:
      case ItemRef::Kind::kField:
        // A bare number (or @ID) reads the field as exact text; when the dictionary indexes
        // that same whole field as text, its index gives the same answers, so it is used.
        out->item =
            DictItem{ref.name, ref.kind == ItemRef::Kind::kKey ? 0 : ref.field, 0, false, false};
        for (const DictItem& d : dict_) {
          if (d.indexed && d.field == out->item.field && d.first == 0 && !d.right) {
            out->index = d.name;
            break;
          }
        }
        return true;
      case ItemRef::Kind::kName:
        for (const DictItem& d : dict_) {
          if (d.name == ref.name) {
            out->item = d;
            if (d.indexed) out->index = d.name;
            return true;
          }
        }
        if (ref.name == "@ID" || ref.name == "@id") {
          out->item = DictItem{ref.name, 0, 0, false, false};
          return true;
        }
        Fail(kQueryUnknownItem,
             "item \"" + ref.name + "\" is not in the dictionary of \"" + file_ + "\"");
        return false;
    }
    return false;
  }

  bool BindCondition(const Condition& c, BoundCondition* out) {
    out->kind = c.kind;
    if (c.kind == Condition::Kind::kCompare || c.kind == Condition::Kind::kNotEmpty) {
      out->compare = c.compare;
      return Bind(c.compare.item, &out->item);
    }
    for (const Condition& child : c.children) {
      out->children.emplace_back();
      if (!BindCondition(child, &out->children.back())) return false;
    }
    return true;
  }

  // The keys that can satisfy `c` as told by indexes or the key itself, sorted; nullopt when
  // only reading every record can tell.
  std::optional<std::vector<std::string>> Candidates(const BoundCondition& c) {
    switch (c.kind) {
      case Condition::Kind::kNotEmpty:
        return std::nullopt;
      case Condition::Kind::kCompare:
        return LeafCandidates(c);
      case Condition::Kind::kAnd: {
        std::optional<std::vector<std::string>> best;
        for (const auto& child : c.children) {
          auto keys = Candidates(child);
          if (error_.status != kOk) return std::nullopt;
          if (!keys) continue;
          if (!best) {
            best = std::move(keys);
            continue;
          }
          std::vector<std::string> both;
          std::set_intersection(best->begin(), best->end(), keys->begin(), keys->end(),
                                std::back_inserter(both));
          best = std::move(both);
        }
        return best;
      }
      case Condition::Kind::kOr: {
        std::vector<std::string> all;
        for (const auto& child : c.children) {
          auto keys = Candidates(child);
          if (!keys) return std::nullopt;
          std::vector<std::string> merged;
          std::set_union(all.begin(), all.end(), keys->begin(), keys->end(),
                         std::back_inserter(merged));
          all = std::move(merged);
        }
        return all;
      }
    }
    return std::nullopt;
  }

  std::optional<std::vector<std::string>> LeafCandidates(const BoundCondition& c) {
    const Comparison& cmp = c.compare;
    const DictItem& item = c.item.item;
    if (cmp.op != Op::kEq) return std::nullopt;
    // The key itself: an exact key needs one read.
    if (item.field == 0 && item.first == 0 && !item.right && cmp.pattern == Pattern::kWhole)
      return std::vector<std::string>{cmp.value};
    if (c.item.index.empty()) return std::nullopt;
    // A right-justified index holds numbers in canonical form, which keeps equality but not
    // the text prefixes a begins-with test asks about.
    const bool prefix = cmp.pattern == Pattern::kBeginsWith;
    if (!(cmp.pattern == Pattern::kWhole || (prefix && !item.right))) return std::nullopt;
    std::vector<std::string> keys;
    int st = store_.IndexLookup(file_, c.item.index, IndexForm(item, cmp.value), prefix, &keys);
    if (st != kOk) {
      Fail(st, "cannot read the index \"" + c.item.index + "\" of \"" + file_ + "\"");
      return std::nullopt;
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
  }

  static int CompareLists(const std::vector<std::string>& a, const std::vector<std::string>& b,
                          bool right) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
      if (int c = CompareForSort(a[i], b[i], right); c != 0) return c;
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
  }

  static std::string Render(std::string_view key, std::string_view record,
                            const std::vector<int>& wanted) {
    std::string out;
    for (size_t i = 0; i < wanted.size(); ++i) {
      if (i > 0) out.push_back(kValueMark);
      if (wanted[i] == 0) {
        out.append(key);
        continue;
      }
      // One value per wanted field: the field's own values become subvalues.
      for (char ch : FieldOf(record, wanted[i]))
        out.push_back(ch == kValueMark ? kSubValueMark : ch);
    }
    return out;
  }

  Store& store_;
  std::string file_;
  std::vector<DictItem> dict_;
  QueryError error_;
};

}  // namespace

QueryError RunQuery(Store& store, std::string_view file, const Query& query,
                    const std::vector<int>& wanted, std::string* result) {
  return Runner(store, file).Run(query, wanted, result);
}

}  // namespace cortevane::db::query
