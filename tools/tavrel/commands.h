#pragma once
// The tool's subcommands, each on the station of its context. Each returns
// the exit status; with --json it leaves its answer in the context's doc.
#include <optional>
#include <string>
#include <vector>

#include "tools/tavrel/output.h"

namespace tavrel::cli {

// text: nullopt when it is to be read from standard input.
int Send(Context& c, const std::vector<std::string>& numbers, std::optional<std::string> text);
int Status(Context& c, const std::optional<std::string>& day, std::optional<long> record);
int Inbox(Context& c, const std::optional<std::string>& day, long after);

int CodesList(Context& c);
int CodesSet(Context& c, const std::string& code, const std::string& text);
int CodesRemove(Context& c, const std::string& code);

int CustomersList(Context& c);
int CustomersSet(Context& c, const std::string& name, const std::string& number,
                 const std::optional<std::string>& info);
int CustomersRemove(Context& c, const std::string& name);

int OptOutList(Context& c);
int OptOutRemove(Context& c, const std::string& number);

// which: "engine" (sms.log) or "listener" (log.txt).
int Log(Context& c, const std::string& which, bool follow);

// port: the device to use instead of COM, for this call only.
int ModemTest(Context& c, const std::optional<std::string>& port);
int ModemInfo(Context& c, const std::optional<std::string>& port);

}  // namespace tavrel::cli
