// The whole-process baseline of `cortevane-admin select` on the surname search: the same work
// done straight on the account's SQLite file, with nothing of Cortevane but the file's layout.
//
//   select_raw DATABASE SQL
//
// SQL selects (key, record) of the matching persons. Each record is cut into the wanted
// fields, the rows are sorted by surname, first name and code (raw_rows.h) and printed one a
// line with the marks shown as ^ ] \, exactly as `cortevane-admin select` prints them.
#include <sqlite3.h>

#include <cstdio>

#include "../raw_rows.h"

using namespace cortevane::bench;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: select_raw DATABASE SQL\n");
    return 2;
  }
  sqlite3* db = nullptr;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db, argv[2], -1, &st, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "select_raw: %s\n", sqlite3_errmsg(db));
    return 1;
  }
  std::vector<RawRow> rows;
  while (sqlite3_step(st) == SQLITE_ROW) {
    rows.push_back(RawCutRow({static_cast<const char*>(sqlite3_column_blob(st, 0)),
                              static_cast<size_t>(sqlite3_column_bytes(st, 0))},
                             {static_cast<const char*>(sqlite3_column_blob(st, 1)),
                              static_cast<size_t>(sqlite3_column_bytes(st, 1))}));
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  RawSortRows(&rows);

  std::string out;
  for (const RawRow& row : rows) {
    for (char c : row.output)
      out.push_back(c == kRawFieldMark      ? '^'
                    : c == kRawValueMark    ? ']'
                    : c == kRawSubValueMark ? '\\'
                                            : c);
    out.push_back('\n');
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
