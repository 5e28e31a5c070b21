// The korimba program: command-line wiring of init-db, script, serve, account,
// person, attachments, backup, restore and copy.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>

#include "cli/account_command.h"
#include "cli/attachments_sweep.h"
#include "cli/backup_command.h"
#include "cli/copy_command.h"
#include "cli/init_db.h"
#include "cli/person_command.h"
#include "cli/script_host.h"
#include "cli/serve_config.h"
#include "db/open.h"
#include "frame/error.h"
#include "web/secret_mask.h"
#include "web/server.h"

namespace {

int RunScript(const std::string& db, bool trace) {
  std::shared_ptr<korimba::Connection> conn;
  try {
    conn = korimba::OpenConnection(db);
  } catch (const korimba::AutomationError& e) {
    std::cerr << "korimba script: " << korimba::web::MaskSecrets(e.description()) << "\n";
    return 1;
  }
  korimba::cli::ScriptHost host(std::move(conn), {.trace = trace});
  host.Run(std::cin, std::cout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Korimba: the office messaging and planning component, its database and hosts"};
  app.require_subcommand(1);

  korimba::cli::InitDbOptions init;
  CLI::App* init_db = app.add_subcommand(
      "init-db", "Create the tables and indexes that are missing (never dropping data)");
  init_db
      ->add_option("--db", init.db, "Connection string: sqlite:PATH, sqlite::memory: or odbc:...")
      ->capture_default_str();
  init_db->add_flag("--demo", init.demo,
                    "Also add a small demo office (only to a database without persons)");

  std::string script_db = "sqlite::memory:";
  bool trace = false;
  CLI::App* script = app.add_subcommand(
      "script", "Drive the component with JSON requests on stdin, one answer per line on stdout");
  script->add_option("--db", script_db, "Connection string of the run's database")
      ->capture_default_str();
  script->add_flag("--trace", trace,
                   "Add to every answer the statements the component sent (\"sql\")");

  korimba::cli::ServeSources serve_sources;
  serve_sources.environment = korimba::cli::ProcessEnvironment;
  CLI::App* serve = app.add_subcommand(
      "serve", "Serve the office's pages over HTTP (options: command line > environment > file)");
  korimba::cli::AddServeFlags(*serve, serve_sources);

  korimba::cli::SweepOptions sweep_options;
  CLI::App* attachments = app.add_subcommand("attachments", "Look after the attachments directory");
  attachments->require_subcommand(1);
  CLI::App* sweep = attachments->add_subcommand(
      "sweep", "Remove attachment files whose message no longer exists, printing each");
  sweep->add_option("--db", sweep_options.db, "Connection string of the database")
      ->capture_default_str();
  sweep->add_option("--attachments", sweep_options.attachments, "The attachments directory")
      ->capture_default_str();
  const std::string db_help = "Connection string: sqlite:PATH, sqlite::memory: or odbc:...";
  korimba::cli::AccountOptions account;
  CLI::App* account_cmd = app.add_subcommand("account", "Sign-in accounts of the pages");
  account_cmd->require_subcommand(1);
  CLI::App* account_set = account_cmd->add_subcommand(
      "set", "Create an account or change its person and password (password from stdin)");
  account_set->add_option("login", account.login, "The login")->required();
  account_set->add_option("--person", account.person, "The person (HR_Person id)")->required();
  CLI::App* account_list = account_cmd->add_subcommand("list", "List the accounts");
  CLI::App* account_remove = account_cmd->add_subcommand("remove", "Remove an account");
  account_remove->add_option("login", account.login, "The login")->required();
  for (CLI::App* sub : {account_set, account_list, account_remove}) {
    sub->add_option("--db", account.db, db_help)->capture_default_str();
  }

  korimba::cli::PersonOptions person;
  CLI::App* person_cmd = app.add_subcommand("person", "Persons of the office (HR_Person)");
  person_cmd->require_subcommand(1);
  CLI::App* person_add = person_cmd->add_subcommand("add", "Add a person");
  CLI::App* person_list = person_cmd->add_subcommand("list", "List the persons");
  CLI::App* person_rename = person_cmd->add_subcommand("rename", "Change a person's name");
  for (CLI::App* sub : {person_add, person_rename}) {
    sub->add_option("id", person.id, "The person's id")->required();
    sub->add_option("name", person.name, "The person's name")->required();
  }
  for (CLI::App* sub : {person_add, person_list, person_rename}) {
    sub->add_option("--db", person.db, db_help)->capture_default_str();
  }

  korimba::cli::BackupOptions backup;
  CLI::App* backup_cmd = app.add_subcommand(
      "backup", "A consistent copy of the embedded database and the attachments, while it runs");
  backup_cmd->add_option("--to", backup.dir, "A new folder for the backup")->required();
  CLI::App* restore_cmd =
      app.add_subcommand("restore", "Put a backup back (stop the server first)");
  restore_cmd->add_option("--from", backup.dir, "The backup's folder")->required();
  restore_cmd->add_flag("--overwrite", backup.overwrite,
                        "Replace an existing database and attachment files");
  for (CLI::App* sub : {backup_cmd, restore_cmd}) {
    sub->add_option("--db", backup.db, "The embedded database (sqlite:PATH)")
        ->capture_default_str();
    sub->add_option("--attachments", backup.attachments, "The attachments directory")
        ->capture_default_str();
  }

  korimba::cli::CopyOptions copy;
  CLI::App* copy_cmd = app.add_subcommand(
      "copy", "Copy a whole office (persons, messages, plans, accounts) into another database");
  copy_cmd->add_option("--from", copy.from, "Connection string of the source")->required();
  copy_cmd->add_option("--to", copy.to, "Connection string of the target")->required();
  copy_cmd->add_flag("--replace", copy.replace, "Empty the target's tables first");
  copy_cmd->add_flag("--append", copy.append, "Add to the rows the target holds");

  CLI11_PARSE(app, argc, argv);

  copy.progress = isatty(STDERR_FILENO) == 1;
  if (*copy_cmd) return korimba::cli::Copy(copy, std::cout, std::cerr);

  backup.progress = isatty(STDERR_FILENO) == 1;
  if (*backup_cmd) return korimba::cli::Backup(backup, std::cout, std::cerr);
  if (*restore_cmd) return korimba::cli::Restore(backup, std::cout, std::cerr);

  if (*account_set) {
    return korimba::cli::AccountSet(account, std::cin, isatty(STDIN_FILENO) == 1, std::cout,
                                    std::cerr);
  }
  if (*account_list) return korimba::cli::AccountList(account, std::cout, std::cerr);
  if (*account_remove) return korimba::cli::AccountRemove(account, std::cout, std::cerr);
  if (*person_add) return korimba::cli::PersonAdd(person, std::cout, std::cerr);
  if (*person_list) return korimba::cli::PersonList(person, std::cout, std::cerr);
  if (*person_rename) return korimba::cli::PersonRename(person, std::cout, std::cerr);

  if (*init_db) return korimba::cli::InitDb(init, std::cout, std::cerr);
  if (*script) return RunScript(script_db, trace);
  if (*sweep) return korimba::cli::SweepAttachments(sweep_options, std::cout, std::cerr);
  if (*serve) {
    korimba::web::ServeOptions serve_options;
    try {
      serve_options = korimba::cli::ResolveServeOptions(serve_sources);
    } catch (const korimba::web::OptionError& e) {
      std::cerr << "korimba serve: " << e.what() << "\n";
      return 2;
    }
    return korimba::web::Serve(serve_options);
  }
  return 0;
}
