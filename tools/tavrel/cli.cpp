#include "tools/tavrel/cli.h"

#include <algorithm>
#include <functional>
#include <iostream>

#include <CLI/CLI.hpp>

#include "tools/tavrel/commands.h"

namespace tavrel::cli {
namespace {

// "send NUMBER... -- TEXT": what follows the first "--" after send is the
// text, words joined by one blank. The parser never sees it, so a text may
// look like an option.
struct SplitArgs {
  std::vector<std::string> args;
  std::optional<std::string> text;
};

SplitArgs SplitSendText(const std::vector<std::string>& args) {
  SplitArgs split{args, std::nullopt};
  const auto send = std::find(args.begin() + 1, args.end(), "send");
  if (send == args.end()) return split;
  const auto dashes = std::find(send, args.end(), "--");
  if (dashes == args.end()) return split;
  std::string text;
  for (auto word = dashes + 1; word != args.end(); ++word) {
    text += (word == dashes + 1 ? "" : " ") + *word;
  }
  split.text = text;
  split.args.assign(args.begin(), dashes);
  return split;
}

}  // namespace

int RunTavrel(const std::vector<std::string>& raw_args, std::istream& in, std::ostream& out,
              std::ostream& err) {
  const SplitArgs split = SplitSendText(raw_args);

  CLI::App app{"tavrel: the SMS station's files from a terminal, UTF-8 in and out", "tavrel"};
  app.fallthrough();
  app.require_subcommand(1);
  std::string dir = ".";
  bool json = false;
  app.add_option("--dir", dir, "the station's folder (default: the current one)");
  app.add_flag("--json", json, "print one JSON document");

  std::function<int(Context&)> run;

  std::vector<std::string> numbers;
  auto* send = app.add_subcommand(
      "send", "file an SMS: send NUMBER... -- TEXT (or the text on standard input)");
  send->add_option("numbers", numbers, "mobile numbers or customer names")->required();
  send->callback([&] { run = [&](Context& c) { return Send(c, numbers, split.text); }; });

  std::vector<std::string> status_args;
  auto* status = app.add_subcommand(
      "status",
      "the queue, today's counts and the modems; with DAY RECORD each recipient's outcome");
  status->add_option("day_record", status_args, "DAY RECORD")->expected(0, 2);
  status->callback([&] {
    run = [&](Context& c) {
      std::optional<long> record;
      if (status_args.size() == 2) {
        try {
          std::size_t used = 0;
          record = std::stol(status_args[1], &used);
          if (used != status_args[1].size()) throw std::invalid_argument("record");
        } catch (const std::exception&) {
          return c.Fail("not a record number: " + status_args[1], kUsage);
        }
      }
      return Status(c, status_args.empty() ? std::nullopt : std::optional(status_args[0]), record);
    };
  });

  std::optional<std::string> inbox_day;
  long after = 0;
  auto* inbox = app.add_subcommand("inbox", "received messages");
  inbox->add_option("--day", inbox_day, "2026-12-7 or 2026-12-07 (default: today)");
  inbox->add_option("--after", after, "only records after this number");
  inbox->callback([&] { run = [&](Context& c) { return Inbox(c, inbox_day, after); }; });

  std::string code, code_text;
  auto* codes = app.add_subcommand("codes", "information codes: list, set CODE TEXT, remove CODE");
  codes->require_subcommand(1);
  codes->add_subcommand("list")->callback([&] { run = CodesList; });
  auto* codes_set = codes->add_subcommand("set");
  codes_set->add_option("code", code)->required();
  codes_set->add_option("text", code_text)->required();
  codes_set->callback([&] { run = [&](Context& c) { return CodesSet(c, code, code_text); }; });
  auto* codes_remove = codes->add_subcommand("remove");
  codes_remove->add_option("code", code)->required();
  codes_remove->callback([&] { run = [&](Context& c) { return CodesRemove(c, code); }; });

  std::string name, number;
  std::optional<std::string> info;
  auto* customers = app.add_subcommand(
      "customers", "customers: list, set NAME NUMBER [--info TEXT], remove NAME");
  customers->require_subcommand(1);
  customers->add_subcommand("list")->callback([&] { run = CustomersList; });
  auto* customers_set = customers->add_subcommand("set");
  customers_set->add_option("name", name)->required();
  customers_set->add_option("number", number)->required();
  customers_set->add_option("--info", info, "the customer's notes (kept when not given)");
  customers_set->callback(
      [&] { run = [&](Context& c) { return CustomersSet(c, name, number, info); }; });
  auto* customers_remove = customers->add_subcommand("remove");
  customers_remove->add_option("name", name)->required();
  customers_remove->callback([&] { run = [&](Context& c) { return CustomersRemove(c, name); }; });

  auto* optout =
      app.add_subcommand("optout", "numbers that asked for no more SMS: list, remove NUMBER");
  optout->require_subcommand(1);
  optout->add_subcommand("list")->callback([&] { run = OptOutList; });
  auto* optout_remove = optout->add_subcommand("remove");
  optout_remove->add_option("number", number)->required();
  optout_remove->callback([&] { run = [&](Context& c) { return OptOutRemove(c, number); }; });

  std::optional<std::string> port;
  auto* modem = app.add_subcommand("modem", "the modem: test (service centre and PDU mode), info");
  modem->require_subcommand(1);
  auto* modem_test = modem->add_subcommand("test");
  modem_test->add_option("--port", port, "this device instead of COM (not saved)");
  modem_test->callback([&] { run = [&](Context& c) { return ModemTest(c, port); }; });
  auto* modem_info = modem->add_subcommand("info");
  modem_info->add_option("--port", port, "this device instead of COM (not saved)");
  modem_info->callback([&] { run = [&](Context& c) { return ModemInfo(c, port); }; });

  std::string which = "engine";
  bool follow = false;
  auto* log =
      app.add_subcommand("log", "a trace log in UTF-8: engine (sms.log) or listener (log.txt)");
  log->add_option("which", which)->check(CLI::IsMember({"engine", "listener"}));
  log->add_flag("--follow,-f", follow, "keep printing what is added");
  log->callback([&] { run = [&](Context& c) { return Log(c, which, follow); }; });

  std::vector<const char*> argv;
  for (const std::string& arg : split.args) argv.push_back(arg.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? kOk : kUsage;
  }
  if (send->parsed() && split.text && numbers.empty()) {
    return Context{Station(dir), json, in, out, err}.Fail("收信人不能为空！");
  }

  Context context{Station(dir), json, in, out, err};
  const int result = run ? run(context) : kUsage;
  if (json) out << context.doc.dump(2) << '\n';
  return result;
}

}  // namespace tavrel::cli
