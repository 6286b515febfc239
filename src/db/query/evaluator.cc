// Runs a parsed query over a Store: see evaluator.h.
#include "db/query/evaluator.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "db/dictionary.h"
#include "db/dyn_array.h"
#include "db/query/compare.h"
#include "db/query/sort_block.h"
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
    if (int st = store_.BeginSelection(file_, &dict_); st == kNoSuchFile)
      return Fail(kQueryUnknownFile, "file \"" + file_ + "\" does not exist");
    else if (st != kOk)
      return Fail(st, "cannot read the dictionary of \"" + file_ + "\"");

    BoundCondition cond;
    if (q.has_condition && !BindCondition(q.condition, &cond)) return error_;
    std::vector<Bound> sorts;
    for (const SortKey& s : q.sorts) {
      Bound b;
      if (!Bind(s.item, &b)) return error_;
      sorts.push_back(std::move(b));
    }

    // Each row's sort block and output sit in two buffers shared by every row (sort_block.h).
    const bool sorting = !sorts.empty() || q.sort_by_key;
    std::vector<Row> rows;
    std::string blocks, outputs;
    std::vector<std::string_view> fields;  // one record's fields, reused from row to row
    auto take = [&](std::string_view key, std::string_view record) {
      if (q.has_condition && !Holds(cond, key, record)) return;
      Row row{blocks.size(), 0, outputs.size(), 0};
      if (sorting) {
        for (size_t i = 0; i < sorts.size(); ++i) {
          const size_t start = blocks.size();
          AnyValue(sorts[i].item, key, record, [&](std::string_view v) {
            AppendSortValue(v, sorts[i].item.right, &blocks);
            return false;
          });
          EndSortList(start, q.sorts[i].descending, &blocks);
        }
        // Ties go by key; the parts before it are prefix-free, so the key compares last.
        if (q.sort_by_key) blocks.append(key);
      }
      row.block_size = blocks.size() - row.block;
      Render(key, record, wanted, &fields, &outputs);
      row.output_size = outputs.size() - row.output;
      rows.push_back(row);
    };

    std::optional<std::vector<std::string>> keys;
    std::optional<IndexValues> any;
    std::optional<std::vector<std::string>> prefixes;
    if (q.has_condition && HasKeyPrefix(cond) && (prefixes = KeyPrefixes(cond))) {
      // Begins-with tests on the key: ranges of the store's key order.
      int st =
          store_.PrefixScan(file_, *prefixes, [&](std::string_view key, std::string_view record) {
            take(key, record);
            return true;
          });
      if (st != kOk) return Fail(st, "cannot read the keys of \"" + file_ + "\"");
    } else if (q.has_condition && cond.kind == Condition::Kind::kCompare && LeafIndexable(cond) &&
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
    } else if (!q.has_condition || (!Indexable(cond) && !prefixes)) {
      int st = store_.Scan(file_, [&](std::string_view key, std::string_view record) {
        take(key, record);
        return true;
      });
      if (st != kOk) return Fail(st, "cannot read the file \"" + file_ + "\"");
    }

    // The rows stay where they are and their order is sorted. Each entry carries the first
    // bytes of its block, which decide most comparisons without reading the blocks.
    std::vector<Entry> order;
    order.reserve(rows.size());
    for (uint32_t i = 0; i < rows.size(); ++i) {
      std::string_view block(blocks.data() + rows[i].block, rows[i].block_size);
      order.push_back(Entry{Head(block), i});
    }
    if (sorting) {
      std::stable_sort(order.begin(), order.end(), [&](const Entry& a, const Entry& b) {
        if (a.head != b.head) return a.head < b.head;
        const Row& x = rows[a.row];
        const Row& y = rows[b.row];
        return std::string_view(blocks.data() + x.block, x.block_size) <
               std::string_view(blocks.data() + y.block, y.block_size);
      });
    }

    result->reserve(outputs.size() + rows.size());
    for (const Entry& e : order) {
      if (&e != &order.front()) result->push_back(kFieldMark);
      result->append(outputs, rows[e.row].output, rows[e.row].output_size);
    }
    return {};
  }

 private:
  // Where a row's sort block and output sit in the shared buffers.
  struct Row {
    size_t block, block_size, output, output_size;
  };
  struct Entry {
    uint64_t head;  // the block's first 8 bytes, most significant first (0 past its end)
    uint32_t row;
  };
  static uint64_t Head(std::string_view block) {
    uint64_t head = 0;
    for (size_t i = 0; i < 8; ++i)
      head = (head << 8) | (i < block.size() ? static_cast<unsigned char>(block[i]) : 0u);
    return head;
  }

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

  // A begins-with test on the key, which a range of the store's key order answers. A cut of
  // the key (a dictionary item on field 0 with a number of first characters) keeps it: the
  // range of the whole value names a superset, which the full test narrows.
  static bool IsKeyPrefix(const BoundCondition& c) {
    return c.kind == Condition::Kind::kCompare && c.item.item.field == 0 &&
           c.compare.op == Op::kEq && c.compare.pattern == Pattern::kBeginsWith;
  }

  static bool HasKeyPrefix(const BoundCondition& c) {
    if (c.kind == Condition::Kind::kCompare) return IsKeyPrefix(c);
    return std::any_of(c.children.begin(), c.children.end(), HasKeyPrefix);
  }

  // Key prefixes such that every record satisfying `c` has a key beginning with one of them,
  // or nullopt when there are none. An exact key is its own prefix. An AND with an indexed
  // test is left to the index, which usually names fewer records than a key range.
  static std::optional<std::vector<std::string>> KeyPrefixes(const BoundCondition& c) {
    switch (c.kind) {
      case Condition::Kind::kNotEmpty:
        return std::nullopt;
      case Condition::Kind::kCompare:
        if (IsKeyPrefix(c) || IsExactKey(c)) return std::vector<std::string>{c.compare.value};
        return std::nullopt;
      case Condition::Kind::kAnd:
        if (std::any_of(c.children.begin(), c.children.end(), Indexable)) return std::nullopt;
        for (const auto& child : c.children)
          if (auto some = KeyPrefixes(child)) return some;
        return std::nullopt;
      case Condition::Kind::kOr: {
        std::vector<std::string> all;
        for (const auto& child : c.children) {
          auto some = KeyPrefixes(child);
          if (!some) return std::nullopt;
          all.insert(all.end(), some->begin(), some->end());
        }
        return all;
      }
    }
    return std::nullopt;
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

  // Appends the row of one record: one value per wanted field, in one pass over the record's
  // fields.
  static void Render(std::string_view key, std::string_view record, const std::vector<int>& wanted,
                     std::vector<std::string_view>* fields, std::string* out) {
    const int last = wanted.empty() ? 0 : *std::max_element(wanted.begin(), wanted.end());
    fields->clear();
    for (std::string_view field : FieldsOf(record)) {
      if (static_cast<int>(fields->size()) >= last) break;
      fields->push_back(field);
    }
    for (size_t i = 0; i < wanted.size(); ++i) {
      if (i > 0) out->push_back(kValueMark);
      if (wanted[i] == 0) {
        out->append(key);
        continue;
      }
      if (wanted[i] > static_cast<int>(fields->size())) continue;
      // One value per wanted field: the field's own values become subvalues. The text
      // between marks is copied a run at a time.
      std::string_view field = (*fields)[static_cast<size_t>(wanted[i]) - 1];
      for (size_t mark; (mark = field.find(kValueMark)) != std::string_view::npos;) {
        out->append(field.substr(0, mark));
        out->push_back(kSubValueMark);
        field.remove_prefix(mark + 1);
      }
      out->append(field);
    }
  }

  Store& store_;
  std::string file_;
  std::vector<DictItem> dict_;
  QueryError error_;
};

}  // namespace

QueryError RunQuery(Store& store, std::string_view file, const Query& query,
                    const std::vector<int>& wanted, std::string* result) {
  // A store that answered the dictionary from memory says when the file changed meanwhile:
  // the sentence is bound again with what the file is now (a few times at most, should an
  // administrator be changing it over and over).
  QueryError e;
  for (int attempt = 0; attempt < 3; ++attempt) {
    e = Runner(store, file).Run(query, wanted, result);
    store.EndSelection();
    if (e.status != kFileChanged) break;
    result->clear();
  }
  return e;
}

}  // namespace cortevane::db::query
