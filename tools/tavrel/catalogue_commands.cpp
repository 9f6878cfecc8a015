// codes, customers, optout and log: the catalogues beside the store and the
// trace logs, with the tabs' checks and messages.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/codepage.h"
#include "platform/textfile.h"
#include "store/catalogue.h"
#include "store/optout.h"
#include "tools/tavrel/commands.h"

namespace tavrel::cli {
namespace {

// The information-code tab's word for a code its file could not give back.
constexpr const char* kCodeRefused =
    "信息代码不能含有'='，前后不能有空格，也不能以'['或';'开头，请重新输入。";

// Converts each argument or fails the call naming what could not be.
bool Convert(Context& c, std::string_view what, const std::string& utf8, std::string& gbk,
             int& status) {
  GbkText converted = ToGbk(utf8);
  if (!converted.error.empty()) {
    status = c.Fail(std::string(what) + ": " + converted.error + "; nothing was written");
    return false;
  }
  gbk = std::move(converted.gbk);
  return true;
}

}  // namespace

int CodesList(Context& c) {
  Json rows = Json::array();
  for (const InfoCodeRow& row : ListInfoCodes(c.station)) {
    rows.push_back({{"code", Utf8(row.code)}, {"text", Utf8(row.text)}});
    c.Line(Utf8(row.code) + "\t" + Utf8(row.text));
  }
  c.doc["codes"] = rows;
  return kOk;
}

int CodesSet(Context& c, const std::string& code_utf8, const std::string& text_utf8) {
  std::string code, text;
  int status = kOk;
  if (!Convert(c, "code", code_utf8, code, status) ||
      !Convert(c, "text", WithBoxLineBreaks(text_utf8), text, status)) {
    return status;
  }
  // A new code goes in as the add button files it (placeholder entry and
  // count); a known one is rewritten in place as the modify button does.
  const bool known = FindInfoCode(c.station, code).result == CatalogueResult::Found;
  switch (known ? SetInfoCode(c.station, code, text) : AddInfoCode(c.station, code, text)) {
    case CatalogueResult::Added:
    case CatalogueResult::Stored:
      c.doc["code"] = code_utf8;
      c.doc["stored"] = known ? "changed" : "added";
      c.Line(code_utf8 + (known ? " changed" : " added"));
      return kOk;
    case CatalogueResult::TooLong:
      return c.Fail(known ? "收信内容不能太多!!" : "收信内容不能太多！");
    case CatalogueResult::Refused: return c.Fail(kCodeRefused);
    default: return c.Fail("the catalogue query/query could not be written");
  }
}

int CodesRemove(Context& c, const std::string& code_utf8) {
  std::string code;
  int status = kOk;
  if (!Convert(c, "code", code_utf8, code, status)) return status;
  if (FindInfoCode(c.station, code).result != CatalogueResult::Found) return c.Fail("无此信息!");
  RemoveInfoCode(c.station, code);
  c.doc["removed"] = code_utf8;
  c.Line(code_utf8 + " removed");
  return kOk;
}

int CustomersList(Context& c) {
  const CustomerListing listing = ListCustomers(c.station);
  Json rows = Json::array();
  for (const CustomerRow& row : listing.rows) {
    rows.push_back(
        {{"name", Utf8(row.name)}, {"number", Utf8(row.number)}, {"info", Utf8(row.information)}});
    std::string info = Utf8(row.information);
    for (char& ch : info) {
      if (ch == '\n') ch = ' ';
    }
    c.Line(Utf8(row.name) + "\t" + Utf8(row.number) + "\t" + info);
  }
  c.doc["customers"] = rows;
  if (listing.missing_information) {
    // The tab stops at such a customer and names it; so does the list.
    return c.Fail("the listing stopped at " + Utf8(*listing.missing_information) +
                  ": its information file " + kCustDir + Utf8(*listing.missing_information) +
                  " cannot be read");
  }
  return kOk;
}

int CustomersSet(Context& c, const std::string& name_utf8, const std::string& number_utf8,
                 const std::optional<std::string>& info_utf8) {
  std::string name, number, info;
  int status = kOk;
  if (!Convert(c, "name", name_utf8, name, status) ||
      !Convert(c, "number", number_utf8, number, status) ||
      (info_utf8 && !Convert(c, "info", WithBoxLineBreaks(*info_utf8), info, status))) {
    return status;
  }
  const std::string cleaned = CleanCustomerName(name);
  const CustomerLookup found = FindCustomer(c.station, cleaned);
  const bool known =
      found.result == CatalogueResult::Found || found.result == CatalogueResult::NoInformation;
  // Without --info the customer's notes stay as they are.
  if (!info_utf8 && found.result == CatalogueResult::Found) info = found.information;
  switch (known ? SetCustomer(c.station, name, number, info)
                : AddCustomer(c.station, name, number, info)) {
    case CatalogueResult::Added:
    case CatalogueResult::Stored:
      c.doc["name"] = Utf8(cleaned);
      c.doc["stored"] = known ? "changed" : "added";
      c.Line(Utf8(cleaned) + (known ? " changed" : " added"));
      return kOk;
    case CatalogueResult::Refused:
      return c.Fail(
          "refused: a name needs at least 2 bytes besides \\ / : * ? \" < > | (one Chinese "
          "character or two letters), a number at least 2 characters");
    default: return c.Fail("the catalogue cust/cust could not be written");
  }
}

int CustomersRemove(Context& c, const std::string& name_utf8) {
  std::string name;
  int status = kOk;
  if (!Convert(c, "name", name_utf8, name, status)) return status;
  const std::string cleaned = CleanCustomerName(name);
  if (FindCustomer(c.station, cleaned).result == CatalogueResult::Absent || cleaned.size() < 2) {
    return c.Fail("无此客户!");
  }
  RemoveCustomer(c.station, name);
  c.doc["removed"] = Utf8(cleaned);
  c.Line(Utf8(cleaned) + " removed");
  return kOk;
}

int OptOutList(Context& c) {
  Json rows = Json::array();
  for (const OptOutEntry& entry : ListOptOuts(c.station)) {
    rows.push_back({{"number", Utf8(entry.number)}, {"since", Utf8(entry.since)}});
    c.Line(Utf8(entry.number) + "\t" + Utf8(entry.since));
  }
  c.doc["optout"] = rows;
  return kOk;
}

int OptOutRemove(Context& c, const std::string& number_utf8) {
  std::string number;
  int status = kOk;
  if (!Convert(c, "number", number_utf8, number, status)) return status;
  bool listed = false;
  for (const OptOutEntry& entry : ListOptOuts(c.station)) listed = listed || entry.number == number;
  if (!listed) return c.Fail(number_utf8 + " is not on the opt-out list");
  RemoveOptOut(c.station, number);
  c.doc["removed"] = number_utf8;
  c.Line(number_utf8 + " removed");
  return kOk;
}

int Log(Context& c, const std::string& which, bool follow) {
  const std::string name = which == "listener" ? "log.txt" : "sms.log";
  const std::string path = c.station.Path(name);
  if (follow && c.json)
    return c.Fail("--follow prints lines as they come, not one document", kUsage);
  std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes && !follow) return c.Fail("there is no " + name + " in " + c.station.root());
  if (!follow) {
    c.doc["log"] = name;
    c.doc["text"] = Utf8(*bytes);
    c.Line(Utf8(*bytes));
    return kOk;
  }
  // Printed piece by piece as the log grows. The engine truncates its log
  // when it starts: a log that shrank is read again from its start. A GBK
  // character cut by the end of a piece waits for its second byte.
  std::size_t offset = 0;
  std::string held;
  for (;;) {
    bytes = ReadFileBytes(path);
    if (bytes) {
      if (bytes->size() < offset) offset = 0, held.clear();
      std::string piece = held + bytes->substr(offset);
      offset = bytes->size();
      held.clear();
      std::size_t whole = 0;
      for (std::size_t i = 0; i < piece.size(); ++i) {
        if (IsGbkLeadByte(piece[i])) {
          if (i + 1 == piece.size()) break;
          ++i;
        }
        whole = i + 1;
      }
      held = piece.substr(whole);
      piece.resize(whole);
      if (!piece.empty()) c.out << Utf8(piece) << std::flush;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
}

}  // namespace tavrel::cli
