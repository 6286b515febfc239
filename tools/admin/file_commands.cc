// file create/list/clear/drop, pointer create/list, dict set.
#include <iostream>

#include "commands.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "db/store.h"

namespace cortevane::admin {
namespace {

struct {
  std::vector<std::string> files;
  std::string file;
  std::string pointer, to_host = "localhost", to_account, to_file;
  std::string item;
  int field = -1;
  bool key = false;
  int first = 0;
  bool right = false;
  bool index = false;
} options;

void CreateFiles(AdminContext& ctx) {
  auto store = ctx.OpenStore();
  if (!store) return;
  for (const std::string& f : options.files)
    if (int s = store->CreateFile(f)) Fail(ctx, "file " + Quoted(f), s);
}

void ListFiles(AdminContext& ctx) {
  auto store = ctx.OpenStore();
  if (!store) return;
  std::vector<std::string> files;
  if (int s = store->ListFiles(&files)) {
    Fail(ctx, "account " + Quoted(ctx.account), s);
    return;
  }
  for (const std::string& f : files) std::cout << f << "\n";
}

void ClearFile(AdminContext& ctx) {
  auto store = ctx.OpenStore();
  if (!store) return;
  if (int s = store->Clear(options.file)) Fail(ctx, "file " + Quoted(options.file), s);
}

void DropFile(AdminContext& ctx) {
  auto store = ctx.OpenStore();
  if (!store) return;
  if (int s = store->DropFile(options.file)) Fail(ctx, "file " + Quoted(options.file), s);
}

void CreatePointer(AdminContext& ctx) {
  auto store = ctx.OpenStore();
  if (!store) return;
  db::PointerTarget target{options.to_host, options.to_account, options.to_file};
  if (int s = store->SetPointer(options.pointer, target))
    Fail(ctx, "pointer " + Quoted(options.pointer), s);
}

void ListPointers(AdminContext& ctx) {
  auto store = ctx.OpenEmbedded();
  if (!store) return;
  std::vector<std::pair<std::string, db::PointerTarget>> pointers;
  if (int s = store->ListPointers(&pointers)) {
    Fail(ctx, "account " + Quoted(ctx.account), s);
    return;
  }
  for (const auto& [name, t] : pointers)
    std::cout << name << " -> " << t.host << " " << t.account << " " << t.file << "\n";
}

void SetDict(AdminContext& ctx) {
  if (options.key == (options.field >= 0))
    return FailMessage(ctx, "dict set: give exactly one of --field N and --key");
  auto store = ctx.OpenStore();
  if (!store) return;
  db::DictItem item;
  item.name = options.item;
  item.field = options.key ? 0 : options.field;
  item.first = options.first;
  item.right = options.right;
  item.indexed = options.index;
  if (int s = store->SetDictItem(options.file, item))
    Fail(ctx, "dictionary item " + Quoted(options.item) + " of file " + Quoted(options.file), s);
}

}  // namespace

void AddFileCommands(CLI::App& app, AdminContext& ctx) {
  auto* file = app.add_subcommand("file", "Files of the account");
  file->require_subcommand(1);
  auto* create = file->add_subcommand("create", "Create files");
  create->add_option("NAME", options.files, "File names")->required();
  create->callback([&ctx] { CreateFiles(ctx); });
  file->add_subcommand("list", "List the files, one a line")->callback([&ctx] { ListFiles(ctx); });
  auto* clear = file->add_subcommand("clear", "Remove every record of a file");
  clear->add_option("NAME", options.file, "File name")->required();
  clear->callback([&ctx] { ClearFile(ctx); });
  auto* drop = file->add_subcommand("drop", "Remove a file, its records and its dictionary");
  drop->add_option("NAME", options.file, "File name")->required();
  drop->callback([&ctx] { DropFile(ctx); });

  auto* pointer = app.add_subcommand("pointer", "File pointers to files of other accounts");
  pointer->require_subcommand(1);
  auto* pcreate =
      pointer->add_subcommand("create", "Make NAME stand for a file of another account");
  pcreate->add_option("NAME", options.pointer, "Pointer name")->required();
  pcreate->add_option("--to-host", options.to_host, "Host of the target account");
  pcreate->add_option("--to-account", options.to_account, "Target account path")->required();
  pcreate->add_option("--to-file", options.to_file, "Target file name")->required();
  pcreate->callback([&ctx] { CreatePointer(ctx); });
  pointer->add_subcommand("list", "List the pointers of an embedded account")->callback([&ctx] {
    ListPointers(ctx);
  });

  auto* dict = app.add_subcommand("dict", "Dictionaries");
  dict->require_subcommand(1);
  auto* set = dict->add_subcommand("set", "Define (or redefine) a dictionary item");
  set->add_option("FILE", options.file, "File name")->required();
  set->add_option("ITEM", options.item, "Item name")->required();
  auto* field = set->add_option("--field", options.field, "Field number read by the item");
  auto* key = set->add_flag("--key", options.key, "The item reads the record key");
  field->excludes(key);
  set->add_option("--first", options.first, "Only the first N characters")
      ->check(CLI::NonNegativeNumber);
  set->add_flag("--right", options.right, "Right-justified: compared and sorted as numbers");
  set->add_flag("--index", options.index, "Keep an index on the item");
  set->callback([&ctx] { SetDict(ctx); });
}

}  // namespace cortevane::admin
