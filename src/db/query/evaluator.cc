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
// index helps with equality and begins-with tests on it, or is empty. A dictionary item uses
// its own index; a bare field number (or @ID) borrows the index of a text item on the same
// field, which holds that field's values cut to `index_first` characters (0: whole).
struct Bound {
  DictItem item;
  std::string index;
  bool borrowed = false;
  int index_first = 0;
};

struct BoundCondition {
  Condition::Kind kind = Condition::Kind::kCompare;
  Bound item;
  Comparison compare;  // its item is not used: `item` above is
  std::vector<BoundCondition> children;
};

// Calls fn for each value the item reads, cut as db::ItemValues cuts it (the form the store's
// indexes hold). Stops early when fn returns true; returns whether it did.
template <typename Fn>
bool AnyValue(const DictItem& item, std::string_view key, std::string_view record, Fn fn) {
  auto cut = [&](std::string_view v) {
    if (item.first > 0 && v.size() > static_cast<size_t>(item.first)) v = v.substr(0, item.first);
    return v;
  };
  if (item.field == 0) return fn(cut(key));
  const std::string_view field = PieceOf(record, kFieldMark, item.field);
  // An empty field still reads as one empty value, which an empty test may match.
  if (field.empty()) return fn(field);
  for (std::string_view v : ValuesOf(field))
    if (fn(cut(v))) return true;
  return false;
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
    std::vector<std::string_view> fields;  // one record's fields, reused from row to row
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
      row.output = Render(key, record, wanted, &fields);
      rows.push_back(std::move(row));
    };

    std::optional<std::vector<std::string>> keys;
    std::optional<IndexValues> any;
    if (q.has_condition && cond.kind == Condition::Kind::kCompare && LeafIndexable(cond) &&
        !IsExactKey(cond)) {
      // One indexed test: the store joins the index to the records in one step.
      const auto [value, prefix] = IndexQuestion(cond);
      int st = store_.IndexScan(file_, cond.item.index, value, prefix,
                                [&](std::string_view key, std::string_view record) {
                                  take(key, record);
                                  return true;
                                });
      if (st != kOk)
        return Fail(st, "cannot read the index \"" + cond.item.index + "\" of \"" + file_ + "\"");
    } else if (q.has_condition && (any = SameIndexQuestion(cond))) {
      // Values on one index joined by OR: one step too.
      int st = store_.IndexScanAny(file_, any->index, any->values, any->prefix,
                                   [&](std::string_view key, std::string_view record) {
                                     take(key, record);
                                     return true;
                                   });
      if (st != kOk)
        return Fail(st, "cannot read the index \"" + any->index + "\" of \"" + file_ + "\"");
    } else if (q.has_condition && Indexable(cond)) {
      keys = Candidates(cond);
      if (error_.status != kOk) return error_;
    }
    if (keys) {
      int st = store_.ReadMany(file_, *keys, [&](std::string_view key, std::string_view record) {
        take(key, record);
        return true;
      });
      if (st != kOk) return Fail(st, "cannot read the records of \"" + file_ + "\"");
    } else if (!q.has_condition || !Indexable(cond)) {
      int st = store_.Scan(file_, [&](std::string_view key, std::string_view record) {
        take(key, record);
        return true;
      });
      if (st != kOk) return Fail(st, "cannot read the file \"" + file_ + "\"");
    }

    // The rows stay where they are and their order is sorted: moving whole rows (key, sort
    // values, output) about would cost more than comparing them.
    std::vector<const Row*> order;
    order.reserve(rows.size());
    size_t bytes = 0;
    for (const Row& row : rows) {
      order.push_back(&row);
      bytes += row.output.size() + 1;
    }
    if (!sorts.empty() || q.sort_by_key) {
      std::vector<bool> descending;
      for (const SortKey& s : q.sorts) descending.push_back(s.descending);
      std::stable_sort(order.begin(), order.end(), [&](const Row* a, const Row* b) {
        for (size_t i = 0; i < sorts.size(); ++i) {
          int c = CompareLists(a->sort_values[i], b->sort_values[i], sorts[i].item.right);
          if (c != 0) return descending[i] ? c > 0 : c < 0;
        }
        return q.sort_by_key && a->key < b->key;
      });
    }

    result->reserve(bytes);
    for (const Row* row : order) {
      if (row != order.front()) result->push_back(kFieldMark);
      result->append(row->output);
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
        // A bare number (or @ID) reads the field as exact text. A text index on the same field
        // narrows the records to read (the whole index when there is one, else a cut one, as
        // the first 5 characters of keys that begin with a person code).
        out->item =
            DictItem{ref.name, ref.kind == ItemRef::Kind::kKey ? 0 : ref.field, 0, false, false};
        for (const DictItem& d : dict_) {
          if (!d.indexed || d.field != out->item.field || d.right) continue;
          const bool better = out->index.empty() || (out->index_first != 0 &&
                                                     (d.first == 0 || d.first > out->index_first));
          if (!better) continue;
          out->index = d.name;
          out->borrowed = true;
          out->index_first = d.first;
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

  // Whether the index (or the key) alone can name every record that may satisfy `c`.
  static bool Indexable(const BoundCondition& c) {
    switch (c.kind) {
      case Condition::Kind::kNotEmpty:
        return false;
      case Condition::Kind::kCompare:
        return LeafIndexable(c);
      case Condition::Kind::kAnd:
        return std::any_of(c.children.begin(), c.children.end(), Indexable);
      case Condition::Kind::kOr:
        return std::all_of(c.children.begin(), c.children.end(), Indexable);
    }
    return false;
  }

  static bool IsExactKey(const BoundCondition& c) {
    const DictItem& item = c.item.item;
    return item.field == 0 && item.first == 0 && !item.right && c.compare.op == Op::kEq &&
           c.compare.pattern == Pattern::kWhole;
  }

  static bool LeafIndexable(const BoundCondition& c) {
    if (IsExactKey(c)) return true;
    if (c.item.index.empty() || c.compare.op != Op::kEq) return false;
    // A right-justified index holds numbers in canonical form, which keeps equality but not
    // the text prefixes a begins-with test asks about.
    return c.compare.pattern == Pattern::kWhole ||
           (c.compare.pattern == Pattern::kBeginsWith && !c.item.item.right);
  }

  // What to ask the index for a leaf: the value in the index's form, and whether as a prefix.
  // A borrowed cut index holds only the first N characters, so a longer value is looked up by
  // its first N characters exactly: that finds a superset, which the full test then narrows.
  static std::pair<std::string, bool> IndexQuestion(const BoundCondition& c) {
    const Bound& b = c.item;
    const std::string& v = c.compare.value;
    const bool prefix = c.compare.pattern == Pattern::kBeginsWith;
    if (!b.borrowed || b.index_first == 0) return {IndexForm(b.item, v), prefix};
    const size_t n = static_cast<size_t>(b.index_first);
    if (v.size() >= n) return {v.substr(0, n), false};
    return {v, prefix};
  }

  // The keys, sorted, of the records that may satisfy an Indexable condition.
  std::optional<std::vector<std::string>> Candidates(const BoundCondition& c) {
    if (c.kind == Condition::Kind::kCompare) return LeafCandidates(c);
    if (auto keys = SameIndexCandidates(c)) return keys;
    if (error_.status != kOk) return std::nullopt;
    std::optional<std::vector<std::string>> keys;
    for (const auto& child : c.children) {
      if (!Indexable(child)) continue;  // only under AND: an OR is indexable in every branch
      auto more = Candidates(child);
      if (!more) return std::nullopt;
      if (!keys) {
        keys = std::move(more);
        continue;
      }
      std::vector<std::string> joined;
      if (c.kind == Condition::Kind::kAnd)
        std::set_intersection(keys->begin(), keys->end(), more->begin(), more->end(),
                              std::back_inserter(joined));
      else
        std::set_union(keys->begin(), keys->end(), more->begin(), more->end(),
                       std::back_inserter(joined));
      keys = std::move(joined);
    }
    return keys;
  }

  // `item = "a" OR = "b" ...` on one index: the index and every value, to ask at once.
  struct IndexValues {
    std::string index;
    std::vector<std::string> values;
    bool prefix = false;
  };
  static std::optional<IndexValues> SameIndexQuestion(const BoundCondition& c) {
    if (c.kind != Condition::Kind::kOr || c.children.size() < 2) return std::nullopt;
    IndexValues question;
    question.index = c.children.front().item.index;
    for (const auto& child : c.children) {
      if (child.kind != Condition::Kind::kCompare || !LeafIndexable(child) || IsExactKey(child) ||
          child.item.index != question.index)
        return std::nullopt;
      auto [value, is_prefix] = IndexQuestion(child);
      if (&child != &c.children.front() && is_prefix != question.prefix) return std::nullopt;
      question.prefix = is_prefix;
      question.values.push_back(std::move(value));
    }
    return question;
  }

  std::optional<std::vector<std::string>> SameIndexCandidates(const BoundCondition& c) {
    auto question = SameIndexQuestion(c);
    if (!question) return std::nullopt;
    std::vector<std::string> keys;
    int st =
        store_.IndexLookupAny(file_, question->index, question->values, question->prefix, &keys);
    if (st != kOk) {
      Fail(st, "cannot read the index \"" + question->index + "\" of \"" + file_ + "\"");
      return std::nullopt;
    }
    return keys;
  }

  std::optional<std::vector<std::string>> LeafCandidates(const BoundCondition& c) {
    if (IsExactKey(c)) return std::vector<std::string>{c.compare.value};
    std::vector<std::string> keys;
    const auto [value, prefix] = IndexQuestion(c);
    int st = store_.IndexLookup(file_, c.item.index, value, prefix, &keys);
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

  // The row of one record: one value per wanted field, in one pass over the record's fields.
  static std::string Render(std::string_view key, std::string_view record,
                            const std::vector<int>& wanted, std::vector<std::string_view>* fields) {
    const int last = wanted.empty() ? 0 : *std::max_element(wanted.begin(), wanted.end());
    fields->clear();
    for (std::string_view field : FieldsOf(record)) {
      if (static_cast<int>(fields->size()) >= last) break;
      fields->push_back(field);
    }
    std::string out;
    out.reserve(record.size() + key.size());
    for (size_t i = 0; i < wanted.size(); ++i) {
      if (i > 0) out.push_back(kValueMark);
      if (wanted[i] == 0) {
        out.append(key);
        continue;
      }
      if (wanted[i] > static_cast<int>(fields->size())) continue;
      // One value per wanted field: the field's own values become subvalues.
      for (char ch : (*fields)[static_cast<size_t>(wanted[i]) - 1])
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
