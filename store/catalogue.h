#pragma once
// The two catalogues beside the message store, both profile files under the
// working directory: information codes in ./query/ (the texts the auto-reply
// sends for "*" + code) and customers in ./cust/ (name -> mobile number, plus
// one free information file per customer). All texts are GBK bytes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/station.h"

namespace tavrel {

inline constexpr const char* kQueryDir = "./query/";
inline constexpr const char* kQueryPath = "./query/query";
inline constexpr const char* kQueryCounterPath = "./query/acc";
inline constexpr std::string_view kQuerySection = "query";

inline constexpr const char* kCustDir = "./cust/";
inline constexpr const char* kCustPath = "./cust/cust";
inline constexpr std::string_view kCustSection = "cust";

// The console asks "does it exist?" with this default; getting it back means
// absent, so a stored value of exactly "wwwwww" reads as absent too.
inline constexpr std::string_view kAbsentMarker = "wwwwww";
// What a listing row shows when the second lookup of its key fails.
inline constexpr std::string_view kListFallback = "happy today to you!";
// The auto-reply for a code that is not in the catalogue ("wrong query code").
const std::string& WrongCodeReply();

// Outcome of a catalogue operation, for the console tabs to show or not.
enum class CatalogueResult {
  Added,                // a new entry was stored
  Exists,               // add of an entry that is already there: nothing written
  Stored,               // set: entry added or rewritten
  TooLong,              // information-code text over 64 UTF-16 units: nothing written
  Refused,              // unusable name, number or code: nothing written
  Found,
  Absent,
  NoInformation,        // customer known, but its information file cannot be read
  TooShort,             // lookup key under 2 bytes
  NotWritten,           // the catalogue could not be written (disk, permissions)
};

struct InfoCodeLookup {
  CatalogueResult result;  // Found, Absent or TooShort
  std::string text;        // when Found
};

struct InfoCodeRow {
  int row;  // counts every line read after the first two
  std::string code;
  std::string text;
};

// Information codes (the console's fifth tab, the engine's auto-reply).
CatalogueResult AddInfoCode(const Station& station, std::string_view code, std::string_view text);
CatalogueResult SetInfoCode(const Station& station, std::string_view code, std::string_view text);
void RemoveInfoCode(const Station& station, std::string_view code);
InfoCodeLookup FindInfoCode(const Station& station, std::string_view code);
std::vector<InfoCodeRow> ListInfoCodes(const Station& station);  // empty when ./query/query cannot be read
std::string InfoReplyText(const Station& station, std::string_view code);

// True when a text fits one short message as an information-code reply;
// every CR and LF counts as one unit.
bool InfoTextFits(std::string_view text);

struct CustomerLookup {
  CatalogueResult result;   // Found, Absent, NoInformation or TooShort
  std::string number;       // when Found
  std::string information;  // when Found; line breaks CR LF
};

struct CustomerRow {
  int row;
  std::string name;
  std::string number;
  std::string information;
};

struct CustomerListing {
  std::vector<CustomerRow> rows;
  // The key whose information file could not be opened; the listing stopped
  // there and rows holds the customers before it.
  std::optional<std::string> missing_information;
};

// The name as typed (up to a NUL) without \ / : * ? " < > | (byte by byte).
std::string CleanCustomerName(std::string_view name);
// Whether a cleaned name may become a catalogue key and an information file:
// at least 2 bytes, a file name of its own inside ./cust/ ("." and ".." are
// not, nor the catalogue file itself), short enough for the file system, and
// a key that reads back as itself (no line break or '=', no leading '[' or
// ';'). Codes and numbers with line breaks are refused for the same reason.
bool IsUsableCustomerName(std::string_view cleaned);

// Customers (the console's sixth tab and address book, the engine's sends).
CatalogueResult AddCustomer(const Station& station, std::string_view name, std::string_view number,
                            std::string_view information);
CatalogueResult SetCustomer(const Station& station, std::string_view name, std::string_view number,
                            std::string_view information);
void RemoveCustomer(const Station& station, std::string_view name);
CustomerLookup FindCustomer(const Station& station, std::string_view name);
// The information file with each line break as CR CR LF, as the box shows it
// (at most 10239 bytes); nullopt when it cannot be opened.
std::optional<std::string> ReadCustomerInfo(const Station& station, std::string_view cleaned_name);
CustomerListing ListCustomers(const Station& station);  // no rows when ./cust/cust cannot be read
// nullopt when ./cust/cust cannot be opened (the address book keeps its rows).
std::optional<std::vector<std::string>> ListCustomerNames(const Station& station);
// A customer's number for a recipient entry that names one; anything else
// comes back unchanged.
std::string ResolveRecipient(const Station& station, std::string_view key);

// "./cust/" + the file that holds the customer's information. File names are
// matched without regard to ASCII case, as on Windows where the catalogues
// began and as the catalogue keys are, so "Zhang" and "zhang" share one file. nullopt when "./cust/" + name
// would not be a file of its own there (empty, ".", "..", "cust", a '/').
std::optional<std::string> CustomerInfoPath(const Station& station, std::string_view cleaned_name);

}  // namespace tavrel
