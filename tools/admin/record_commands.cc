// record put/get/delete/list, select.
#include <iostream>

#include "commands.h"
#include "db/dyn_array.h"
#include "db/routines.h"
#include "db/status.h"
#include "db/store.h"

namespace cortevane::admin {
namespace {

// `record get` exits with this when there is no such record, so scripts can tell "absent"
// from "failed".
constexpr int kExitNoRecord = 3;

struct {
  std::string file, key;
  bool raw = false;
  std::string fields, sentence;
} options;

std::string RecordName() {
  return "record " + Quoted(options.key) + " of file " + Quoted(options.file);
}

void PutRecord(AdminContext& ctx) {
  std::string input = ReadAllStdin();
  if (!options.raw) {
    // A record typed or echoed ends with a line ending that is not part of it.
    if (!input.empty() && input.back() == '\n') input.pop_back();
    if (!input.empty() && input.back() == '\r') input.pop_back();
    input = db::FromVisible(input);
  }
  auto store = ctx.OpenStore();
  if (!store) return;
  if (int s = store->Write(options.file, options.key, input)) Fail(ctx, RecordName(), s);
}

void GetRecord(AdminContext& ctx) {
  auto store = ctx.OpenStore();
  if (!store) return;
  std::string record;
  int s = store->Read(options.file, options.key, &record);
  if (s == db::kRecordNotFound) {
    Fail(ctx, RecordName(), s, kExitNoRecord);
    return;
  }
  if (s) {
    Fail(ctx, RecordName(), s);
    return;
  }
  if (options.raw)
    std::cout << record;
  else
    std::cout << db::ToVisible(record) << "\n";
}

void DeleteRecord(AdminContext& ctx) {
  auto store = ctx.OpenStore();
  if (!store) return;
  if (int s = store->Delete(options.file, options.key)) Fail(ctx, RecordName(), s);
}

void ListKeys(AdminContext& ctx) {
  auto store = ctx.OpenStore();
  if (!store) return;
  int s = store->Scan(options.file, [](std::string_view key, std::string_view) {
    std::cout << key << "\n";
    return true;
  });
  if (s) Fail(ctx, "file " + Quoted(options.file), s);
}

void Select(AdminContext& ctx) {
  auto store = ctx.OpenStore();
  if (!store) return;
  db::DynArray request;
  request.SetField(1, options.sentence);
  request.SetField(2, options.file);
  request.SetField(3, options.fields);
  std::string result;
  if (int s = db::DbaSelect(*store, request.Text(), &result)) {
    Fail(ctx, "select on file " + Quoted(options.file) + " " + Quoted(options.sentence), s);
    return;
  }
  // One line per row, laid out in one buffer and written at once.
  std::string out;
  out.reserve(result.size() + result.size() / 16);
  for (std::string_view row : db::FieldsOf(result)) {
    out += db::ToVisible(row);
    out.push_back('\n');
  }
  std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
}

}  // namespace

void AddRecordCommands(CLI::App& app, AdminContext& ctx) {
  auto* record = app.add_subcommand(
      "record",
      "Records. Marks are written ^ (field), ] (value), \\ (subvalue); with --raw, bytes as "
      "they are (for records holding those three characters themselves)");
  record->require_subcommand(1);
  auto file_and_key = [](CLI::App* c) {
    c->add_option("FILE", options.file, "File name")->required();
    c->add_option("KEY", options.key, "Record key")->required();
  };
  auto* put = record->add_subcommand("put", "Write the record read from standard input");
  file_and_key(put);
  put->add_flag("--raw", options.raw, "Standard input is the record's bytes, marks included");
  put->callback([&ctx] { PutRecord(ctx); });
  auto* get = record->add_subcommand("get", "Print a record; exit status 3 when there is none");
  file_and_key(get);
  get->add_flag("--raw", options.raw, "Print the record's bytes as they are");
  get->callback([&ctx] { GetRecord(ctx); });
  auto* del = record->add_subcommand("delete", "Delete a record");
  file_and_key(del);
  del->callback([&ctx] { DeleteRecord(ctx); });
  auto* list = record->add_subcommand("list", "Keys of a file, one a line, in key order");
  list->add_option("FILE", options.file, "File name")->required();
  list->callback([&ctx] { ListKeys(ctx); });

  auto* select = app.add_subcommand(
      "select", "Run a DBA.SELECT sentence: one line per selected record, values joined by ]");
  select->add_option("FILE", options.file, "File name")->required();
  select->add_option("FIELDS", options.fields, "Wanted field numbers, e.g. \"0 2 3\" (0: key)")
      ->required();
  select->add_option("SENTENCE", options.sentence, "e.g. 'SSELECT CIVILAIDE AVEC 2 = \"DUP]\"'")
      ->required();
  select->callback([&ctx] { Select(ctx); });
}

}  // namespace cortevane::admin
