// cortevane-admin: administration of Cortevane accounts from the command line. Each group of
// commands registers itself (commands.h); this file holds only the global options.
#include <CLI/CLI.hpp>

#include "commands.h"

int main(int argc, char** argv) {
  cortevane::admin::AdminContext ctx;
  CLI::App app{
      "Administration of Cortevane accounts: accounts, users, files, dictionaries, "
      "records, queries.",
      "cortevane-admin"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("cortevane-admin ") + CORTEVANE_VERSION);
  app.add_option("--account", ctx.account,
                 "The account: a folder (/path or C:\\PATH) for an embedded account, else the "
                 "name of a PostgreSQL database");
  app.add_option("--host", ctx.host,
                 "Host of the account (default localhost); for PostgreSQL HOST[:PORT], or a "
                 "comma-separated list of them (a primary and its standbys: the writable one "
                 "is used)");
  app.add_option("--user", ctx.user, "PostgreSQL user (default PGUSER)");
  app.add_flag("--password-stdin", ctx.password_stdin,
               "PostgreSQL password on the first line of standard input (default PGPASSWORD)");

  cortevane::admin::AddAccountCommands(app, ctx);
  cortevane::admin::AddFileCommands(app, ctx);
  cortevane::admin::AddRecordCommands(app, ctx);
  cortevane::admin::AddSampleCommands(app, ctx);
  cortevane::admin::AddPreviewCommands(app, ctx);

  // The administrator's password is the first line of standard input, read before any command
  // reads its own input (a record, a new user's password) from the rest.
  app.parse_complete_callback([&ctx] { ctx.ReadPasswordLine(); });

  CLI11_PARSE(app, argc, argv);
  return ctx.exit_code;
}
