// DBA.SELECT, first two stages: the tokenizer and the parser. Each table row is numbered and
// gives a sentence and the query it must give, written back compactly, or the error.
#include <gtest/gtest.h>

#include "db/query/query.h"
#include "db/query/tokenizer.h"
#include "db/status.h"

namespace cortevane::db::query {
namespace {

// ---- Tokenizer

std::string Kinds(std::string_view in) {
  static const char* names[] = {"end", "space", "word", "string", "op", "unterminated", "illegal"};
  std::string out;
  while (true) {
    Token t = NextToken(in);
    if (t.kind == TokenKind::kSpace) {
      in.remove_prefix(t.length);
      continue;
    }
    if (!out.empty()) out += " ";
    out += names[static_cast<int>(t.kind)];
    if (t.kind == TokenKind::kEnd) return out;
    out += "(" + std::string(in.substr(0, t.length)) + ")";
    if (t.kind == TokenKind::kIllegal || t.kind == TokenKind::kUnterminated) return out;
    in.remove_prefix(t.length);
  }
}

struct TokCase {
  int n;
  const char* in;
  const char* want;
};

TEST(QueryTokenizerTest, CutsSentencesIntoKinds) {
  const TokCase cases[] = {
      {1, "", "end"},
      {2, "   \t ", "end"},
      {3, "SSELECT CIVILAIDE", "word(SSELECT) word(CIVILAIDE) end"},
      {4, "AVEC 39 = \"12\"", "word(AVEC) word(39) op(=) string(\"12\") end"},
      {5, "NomAide=\"DUP]\"", "word(NomAide) op(=) string(\"DUP]\") end"},
      {6, "<= >= <> < > # =", "op(<=) op(>=) op(<>) op(<) op(>) op(#) op(=) end"},
      {7, "@ID BY.DSND", "word(@ID) word(BY.DSND) end"},
      {8, "'it\"s'", "string('it\"s') end"},
      {9, "= \"open", "op(=) unterminated(\"open) "},
      {10,
       "A\x01"
       "B",
       "word(A) illegal(\x01)"},
      {11, "A \xFE B", "word(A) illegal(\xFE)"},
      {12,
       "\"a\xFD"
       "b\"",
       "string(\"a\xFD"
       "b\") end"},                        // marks are allowed inside quotes
      {13, "HÉLÈNE", "word(HÉLÈNE) end"},  // UTF-8 in a word
  };
  for (const TokCase& c : cases) {
    std::string got = Kinds(c.in);
    if (std::string(c.want).ends_with(" ")) got += " ";
    EXPECT_EQ(got, c.want) << "case " << c.n;
  }
}

// ---- Parser

std::string Item(const ItemRef& i) {
  switch (i.kind) {
    case ItemRef::Kind::kKey:
      return "@ID";
    case ItemRef::Kind::kField:
      return "#" + std::to_string(i.field);
    case ItemRef::Kind::kName:
      return i.name;
  }
  return "?";
}

std::string Cond(const Condition& c) {
  static const char* ops[] = {"=", "#", "<", "<=", ">", ">="};
  static const char* pats[] = {"", "begins ", "ends ", "contains "};
  switch (c.kind) {
    case Condition::Kind::kCompare:
      return Item(c.compare.item) + " " + ops[static_cast<int>(c.compare.op)] + " " +
             pats[static_cast<int>(c.compare.pattern)] + "'" + c.compare.value + "'";
    case Condition::Kind::kNotEmpty:
      return Item(c.compare.item) + " set";
    case Condition::Kind::kAnd:
    case Condition::Kind::kOr: {
      std::string out = "(";
      for (size_t i = 0; i < c.children.size(); ++i) {
        if (i > 0) out += c.kind == Condition::Kind::kAnd ? " AND " : " OR ";
        out += Cond(c.children[i]);
      }
      return out + ")";
    }
  }
  return "?";
}

std::string Describe(const Query& q) {
  std::string out = std::string(q.sort_by_key ? "SSELECT " : "SELECT ") + q.file;
  if (q.has_condition) out += " WHERE " + Cond(q.condition);
  for (const SortKey& s : q.sorts) out += (s.descending ? " DESC " : " BY ") + Item(s.item);
  return out;
}

struct ParseCase {
  int n;
  const char* sentence;
  const char* want;  // Describe() of the query, or "error: " and a part of the message
};

std::string Parse(const char* sentence) {
  Query q;
  QueryError e = ParseQuery(sentence, &q);
  if (e.status == kOk) return Describe(q);
  EXPECT_EQ(e.status, kQuerySyntax) << sentence;
  return "error: " + e.message;
}

TEST(QueryParserTest, SentencesTheProgramSends) {
  const ParseCase cases[] = {
      {1, "SELECT RESPONSABLE PAR 1", "SELECT RESPONSABLE BY #1"},
      {2, "SELECT COMMUNES PAR 1 ", "SELECT COMMUNES BY #1"},
      {3, "SSELECT CIVILAIDE  AVEC 39 = \"12\" OR = \"15\" PAR NomAide PAR PrenomAide PAR CodeAide",
       "SSELECT CIVILAIDE WHERE (#39 = '12' OR #39 = '15') BY NomAide BY PrenomAide BY CodeAide"},
      {4, "SSELECT CIVILAIDE AVEC CodeSecteurAide = \"12\" PAR NomAide",
       "SSELECT CIVILAIDE WHERE CodeSecteurAide = '12' BY NomAide"},
      {5, "SSELECT CIVILAIDE AVEC NomAide = \"DUP]\" PAR NomAide",
       "SSELECT CIVILAIDE WHERE NomAide = begins 'DUP' BY NomAide"},
      {6, "SSELECT SDEXPORTAIDES PAR @ID", "SSELECT SDEXPORTAIDES BY @ID"},
      {7, "SELECT CIVILAIDE", "SELECT CIVILAIDE"},
      {8, "SELECT SDEXPORTAIDES AVEC 1 = \"DUPONT\"", "SELECT SDEXPORTAIDES WHERE #1 = 'DUPONT'"},
      {9, "SELECT AIDEDOC AVEC 0 = \"00042]\"", "SELECT AIDEDOC WHERE #0 = begins '00042'"},
      {10, "SSELECT CIVILAIDE AVEC NomAide = \"]\"", "SSELECT CIVILAIDE WHERE NomAide = begins ''"},
  };
  for (const ParseCase& c : cases) EXPECT_EQ(Parse(c.sentence), c.want) << "case " << c.n;
}

TEST(QueryParserTest, GeneralForms) {
  const ParseCase cases[] = {
      {1, "select civilaide with 2 eq \"A\"", "SELECT civilaide WHERE #2 = 'A'"},
      {2, "SELECT F AVEC 2 # \"A\" AND 3 >= \"5\" OR 4 < \"x\"",
       "SELECT F WHERE ((#2 # 'A' AND #3 >= '5') OR #4 < 'x')"},
      {3, "SELECT F AVEC 2 = \"A\" OU 3 = \"B\" ET 4 = \"C\"",
       "SELECT F WHERE (#2 = 'A' OR (#3 = 'B' AND #4 = 'C'))"},
      {4, "SELECT F AVEC 2 = \"A\" AVEC 3 = \"B\" OR = \"C\"",
       "SELECT F WHERE (#2 = 'A' AND (#3 = 'B' OR #3 = 'C'))"},
      {5, "SELECT F AVEC 2 = \"A\" \"B\"", "SELECT F WHERE (#2 = 'A' OR #2 = 'B')"},
      {6, "SELECT F AVEC 2 # \"A\" \"B\"", "SELECT F WHERE (#2 # 'A' AND #2 # 'B')"},
      {7, "SELECT F AVEC 2 > \"A\" OR \"B\"", "SELECT F WHERE (#2 > 'A' OR #2 > 'B')"},
      {8, "SELECT F AVEC 2 = \"[ONT\"", "SELECT F WHERE #2 = ends 'ONT'"},
      {9, "SELECT F AVEC 2 # \"[UPO]\"", "SELECT F WHERE #2 # contains 'UPO'"},
      {10, "SELECT F AVEC 43", "SELECT F WHERE #43 set"},
      {11, "SELECT F AVEC 43 PAR 2", "SELECT F WHERE #43 set BY #2"},
      {12, "SELECT F AVEC 39 = 12", "SELECT F WHERE #39 = '12'"},
      {13, "SELECT F AVEC NomAide \"X\"", "SELECT F WHERE NomAide = 'X'"},
      {14, "SELECT F BY.DSND 2 PAR @id", "SELECT F DESC #2 BY @ID"},
      {15, "SELECT F AVEC PAR = \"x\"", "SELECT F WHERE PAR = 'x'"},  // an item named PAR
      {16, "SELECT F AVEC 2 <> \"\"", "SELECT F WHERE #2 # ''"},
      {17, "SELECT F AVEC 2 = 'it\"s'", "SELECT F WHERE #2 = 'it\"s'"},
  };
  for (const ParseCase& c : cases) EXPECT_EQ(Parse(c.sentence), c.want) << "case " << c.n;
}

TEST(QueryParserTest, ErrorsQuoteTheOffendingText) {
  const ParseCase cases[] = {
      {1, "", "error: unexpected end of sentence: expected SELECT or SSELECT"},
      {2, "LIST CIVILAIDE", "error: unexpected \"LIST\" at position 1: expected SELECT"},
      {3, "SELECT", "error: unexpected end of sentence: expected a file name"},
      {4, "SELECT \"F\"", "error: unexpected \"\"F\"\" at position 8: expected a file name"},
      {5, "SELECT F TRI 1", "error: unexpected \"TRI\" at position 10"},
      {6, "SELECT F PAR", "error: unexpected end of sentence: expected an item"},
      {7, "SELECT F AVEC", "error: unexpected end of sentence: expected an item"},
      {8, "SELECT F AVEC = \"1\"", "error: unexpected \"=\" at position 15: expected an item"},
      {9, "SELECT F AVEC 2 =", "error: unexpected end of sentence: expected a value"},
      {10, "SELECT F AVEC 2 = \"1\" OR", "error: unexpected end of sentence: expected an item"},
      {11, "SELECT F AVEC 2 = \"1",
       "error: a value's closing quote is missing (\"\"1\" at position 19)"},
      {12, "SELECT F AVEC 2 < \"A]\"", "error: \"]\" (begins with) and \"[\" (ends with) go with"},
      {13, "SELECT F AVEC 2 = \"1\" 3", "error: unexpected \"3\" at position 23"},
      {14, "SELECT F AVEC 9999999 = \"1\"", "error: field number too large"},
      {15,
       "SELECT F\xFE"
       "X",
       "error: a character that has no place in a sentence"},
      {16, "SELECT F AVEC 2 = \"1\" OR \"2\" AVEC = \"3\"",
       "error: unexpected \"=\" at position 35: expected an item"},  // no item across AVEC
      {17, "SELECT F AVEC 2 = = \"1\"", "error: unexpected \"=\" at position 19: expected a value"},
  };
  for (const ParseCase& c : cases) {
    std::string got = Parse(c.sentence);
    EXPECT_TRUE(got.starts_with(c.want)) << "case " << c.n << ": " << got;
  }
}

TEST(QueryParserTest, NeverFailsOnArbitraryBytes) {
  // Every prefix of a sentence, and every single byte, parses or fails with a status: no
  // crash, no other status.
  const std::string s =
      "SSELECT CIVILAIDE AVEC NomAide = \"DUP]\" OR = \"[X]\" AND 3 >= 'a' PAR.DSND 2 BY @ID";
  for (size_t n = 0; n <= s.size(); ++n) {
    Query q;
    int st = ParseQuery(s.substr(0, n), &q).status;
    EXPECT_TRUE(st == kOk || st == kQuerySyntax) << n;
  }
  for (int b = 0; b < 256; ++b) {
    Query q;
    std::string in = "SELECT F AVEC 1 = " + std::string(1, static_cast<char>(b));
    int st = ParseQuery(in, &q).status;
    EXPECT_TRUE(st == kOk || st == kQuerySyntax) << b;
  }
}

}  // namespace
}  // namespace cortevane::db::query
