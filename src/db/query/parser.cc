// Second stage of DBA.SELECT: turns the tokens of a sentence (tokenizer.h) into a Query
// (query.h). Hand-written recursive descent; the first error is kept in one parse context and
// reported once, with the offending text quoted.
//
// Keywords are words the parser recognises by their place, in any letter case:
//   - the first word must be SELECT or SSELECT, and the second is the file name whatever it is;
//   - between clauses, AVEC/WITH opens a condition and PAR/BY (PAR.DSND/BY.DSND for
//     descending order) a sort on the item that follows;
//   - inside a condition, after a value, OR/OU and AND/ET join comparisons (AND binds tighter);
//   - after an item, EQ NE LT LE GT GE stand for = # < <= > >=.
// Anywhere an item is expected, any word is an item, so a dictionary item named like a keyword
// still works there.
//
// A comparison that starts with an operator or a value, as in `AVEC 39 = "12" OR = "15"`,
// repeats the previous item of the same AVEC clause; one that starts with a value alone also
// repeats the previous operator. Several values after one operator (`= "12" "15"`) mean any
// of them; after # (not equal) they mean none of them. A value is a quoted text, or after an
// explicit operator an unquoted field-number-like word (`AVEC 39 = 12`). `AVEC item` alone
// holds when the item has a non-empty value.
#include <optional>
#include <string>
#include <vector>

#include "db/query/query.h"
#include "db/query/tokenizer.h"
#include "db/status.h"

namespace cortevane::db::query {
namespace {

struct Tok {
  TokenKind kind;
  std::string_view text;
  size_t offset;
};

std::string Upper(std::string_view word) {
  std::string out(word);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool IsWord(const Tok& t, std::initializer_list<std::string_view> words) {
  if (t.kind != TokenKind::kWord) return false;
  const std::string up = Upper(t.text);
  for (std::string_view w : words)
    if (up == w) return true;
  return false;
}

std::optional<Op> OperatorOf(const Tok& t) {
  if (t.kind == TokenKind::kOperator) {
    if (t.text == "=") return Op::kEq;
    if (t.text == "#" || t.text == "<>") return Op::kNe;
    if (t.text == "<") return Op::kLt;
    if (t.text == "<=") return Op::kLe;
    if (t.text == ">") return Op::kGt;
    if (t.text == ">=") return Op::kGe;
    return std::nullopt;
  }
  if (t.kind != TokenKind::kWord) return std::nullopt;
  const std::string up = Upper(t.text);
  if (up == "EQ") return Op::kEq;
  if (up == "NE") return Op::kNe;
  if (up == "LT") return Op::kLt;
  if (up == "LE") return Op::kLe;
  if (up == "GT") return Op::kGt;
  if (up == "GE") return Op::kGe;
  return std::nullopt;
}

// The one place parse errors are gathered: the first one wins, later ones are consequences.
class ParseContext {
 public:
  bool failed() const { return error_.status != 0; }
  const QueryError& error() const { return error_; }

  void Fail(const Tok& at, std::string_view expected) {
    if (failed()) return;
    error_.status = kQuerySyntax;
    if (at.kind == TokenKind::kEnd) {
      error_.message = "unexpected end of sentence: expected " + std::string(expected);
      return;
    }
    error_.message = "unexpected \"" + std::string(at.text) + "\" at position " +
                     std::to_string(at.offset + 1) + ": expected " + std::string(expected);
  }
  void FailText(const Tok& at, std::string_view what) {
    if (failed()) return;
    error_.status = kQuerySyntax;
    error_.message = std::string(what) + " (\"" + std::string(at.text) + "\" at position " +
                     std::to_string(at.offset + 1) + ")";
  }

 private:
  QueryError error_;
};

class Parser {
 public:
  explicit Parser(std::string_view sentence) : sentence_(sentence) { Tokenize(); }

  QueryError Parse(Query* q) {
    *q = Query{};
    if (ctx_.failed()) return ctx_.error();
    const Tok verb = Next();
    if (IsWord(verb, {"SSELECT"})) {
      q->sort_by_key = true;
    } else if (!IsWord(verb, {"SELECT"})) {
      ctx_.Fail(verb, "SELECT or SSELECT");
      return ctx_.error();
    }
    const Tok file = Next();
    if (file.kind != TokenKind::kWord) {
      ctx_.Fail(file, "a file name");
      return ctx_.error();
    }
    q->file = std::string(file.text);

    while (!ctx_.failed() && Peek().kind != TokenKind::kEnd) {
      const Tok clause = Next();
      if (IsWord(clause, {"AVEC", "WITH"})) {
        last_.reset();
        Condition c = ParseOr();
        if (!q->has_condition) {
          q->condition = std::move(c);
          q->has_condition = true;
        } else {
          q->condition = Join(Condition::Kind::kAnd, std::move(q->condition), std::move(c));
        }
      } else if (IsWord(clause, {"PAR", "BY", "PAR.DSND", "BY.DSND"})) {
        SortKey s;
        s.descending = Upper(clause.text).ends_with(".DSND");
        if (!ParseItem(&s.item)) break;
        q->sorts.push_back(std::move(s));
      } else {
        ctx_.Fail(clause, "AVEC, WITH, PAR, BY or the end of the sentence");
      }
    }
    return ctx_.error();
  }

 private:
  void Tokenize() {
    size_t at = 0;
    while (true) {
      const Token t = NextToken(sentence_.substr(at));
      const Tok tok{t.kind, sentence_.substr(at, t.length), at};
      if (t.kind == TokenKind::kEnd) break;
      at += t.length;
      if (t.kind == TokenKind::kSpace) continue;
      if (t.kind == TokenKind::kUnterminated) {
        ctx_.FailText(tok, "a value's closing quote is missing");
        return;
      }
      if (t.kind == TokenKind::kIllegal) {
        ctx_.FailText(tok, "a character that has no place in a sentence");
        return;
      }
      toks_.push_back(tok);
    }
    end_ = Tok{TokenKind::kEnd, {}, sentence_.size()};
  }

  const Tok& Peek() const { return pos_ < toks_.size() ? toks_[pos_] : end_; }
  Tok Next() { return pos_ < toks_.size() ? toks_[pos_++] : end_; }

  static Condition Join(Condition::Kind kind, Condition a, Condition b) {
    if (a.kind == kind) {
      a.children.push_back(std::move(b));
      return a;
    }
    Condition c;
    c.kind = kind;
    c.children.push_back(std::move(a));
    c.children.push_back(std::move(b));
    return c;
  }

  bool ParseItem(ItemRef* item) {
    const Tok t = Next();
    if (t.kind != TokenKind::kWord) {
      ctx_.Fail(t, "an item (a field number, @ID or a dictionary name)");
      return false;
    }
    item->name = std::string(t.text);
    if (Upper(t.text) == "@ID") {
      item->kind = ItemRef::Kind::kKey;
    } else if (IsFieldNumber(t.text)) {
      if (t.text.size() > 6) {
        ctx_.FailText(t, "field number too large");
        return false;
      }
      item->kind = ItemRef::Kind::kField;
      item->field = std::stoi(std::string(t.text));
    } else {
      item->kind = ItemRef::Kind::kName;
    }
    return true;
  }

  Condition ParseOr() {
    Condition c = ParseAnd();
    while (!ctx_.failed() && IsWord(Peek(), {"OR", "OU"})) {
      Next();
      c = Join(Condition::Kind::kOr, std::move(c), ParseAnd());
    }
    return c;
  }

  Condition ParseAnd() {
    Condition c = ParseComparison();
    while (!ctx_.failed() && IsWord(Peek(), {"AND", "ET"})) {
      Next();
      c = Join(Condition::Kind::kAnd, std::move(c), ParseComparison());
    }
    return c;
  }

  // One comparison, or several joined when it lists several values.
  Condition ParseComparison() {
    Condition out;
    const Tok start = Peek();
    ItemRef item;
    std::optional<Op> op;
    bool inherited = false;
    if (start.kind == TokenKind::kWord && !OperatorOf(start)) {
      if (!ParseItem(&item)) return out;
    } else if (last_ && (start.kind == TokenKind::kOperator || start.kind == TokenKind::kString ||
                         OperatorOf(start))) {
      item = last_->item;
      inherited = true;
    } else {
      ctx_.Fail(start, "an item (a field number, @ID or a dictionary name)");
      return out;
    }

    if (auto o = OperatorOf(Peek())) {
      Next();
      op = o;
    }
    std::vector<Tok> values;
    while (Peek().kind == TokenKind::kString) values.push_back(Next());
    if (values.empty() && op && Peek().kind == TokenKind::kWord && IsFieldNumber(Peek().text))
      values.push_back(Next());

    if (values.empty()) {
      if (op || inherited) {
        ctx_.Fail(Peek(), "a value in double quotes");
        return out;
      }
      out.kind = Condition::Kind::kNotEmpty;
      out.compare.item = item;
      last_ = Last{item, Op::kEq};
      return out;
    }
    if (!op) op = inherited ? last_->op : Op::kEq;
    last_ = Last{item, *op};

    std::vector<Condition> leaves;
    for (const Tok& v : values) {
      Condition leaf;
      leaf.compare.item = item;
      leaf.compare.op = *op;
      if (!SplitPattern(v, *op, &leaf.compare)) return out;
      leaves.push_back(std::move(leaf));
    }
    if (leaves.size() == 1) return std::move(leaves.front());
    out.kind = *op == Op::kNe ? Condition::Kind::kAnd : Condition::Kind::kOr;
    out.children = std::move(leaves);
    return out;
  }

  // Reads the begins-with / ends-with markers of a value token into `cmp`.
  bool SplitPattern(const Tok& v, Op op, Comparison* cmp) {
    std::string_view body = v.kind == TokenKind::kString ? StringBody(v.text) : v.text;
    const bool begins = !body.empty() && body.back() == ']';
    if (begins) body.remove_suffix(1);
    const bool ends = !body.empty() && body.front() == '[';
    if (ends) body.remove_prefix(1);
    if ((begins || ends) && op != Op::kEq && op != Op::kNe) {
      ctx_.FailText(v, "\"]\" (begins with) and \"[\" (ends with) go with = or # only");
      return false;
    }
    cmp->pattern = begins && ends ? Pattern::kContains
                   : begins       ? Pattern::kBeginsWith
                   : ends         ? Pattern::kEndsWith
                                  : Pattern::kWhole;
    cmp->value = std::string(body);
    return true;
  }

  struct Last {
    ItemRef item;
    Op op;
  };

  std::string_view sentence_;
  std::vector<Tok> toks_;
  Tok end_{TokenKind::kEnd, {}, 0};
  size_t pos_ = 0;
  ParseContext ctx_;
  std::optional<Last> last_;  // the previous comparison of the current AVEC clause
};

}  // namespace

QueryError ParseQuery(std::string_view sentence, Query* query) {
  return Parser(sentence).Parse(query);
}

}  // namespace cortevane::db::query
