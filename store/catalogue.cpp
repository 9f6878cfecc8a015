#include "store/catalogue.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "platform/codepage.h"
#include "platform/profile.h"
#include "platform/textfile.h"
#include "store/text.h"

namespace tavrel {
namespace {

// Written first by the console's adds and searches, so that a catalogue they
// create begins with the two lines that every listing drops.
constexpr std::string_view kPlaceholderKey = "000000";
constexpr std::string_view kPlaceholderValue = "222222";

// Field sizes of the lookups; a value is cut to the size less one byte.
constexpr std::size_t kExistsCodeField = 10;
constexpr std::size_t kFindCodeField = 1024;
constexpr std::size_t kReplyField = 140;
constexpr std::size_t kListValueField = 1000;
constexpr std::size_t kExistsCustomerField = 1000;
constexpr std::size_t kFindCustomerField = 512;
constexpr std::size_t kResolveField = 512;

constexpr std::size_t kCounterChars = 9;
// A reply must fit one UCS-2 short message: 64 units, 256 hex digits.
constexpr std::size_t kMaxReplyHexChars = 259;
constexpr std::size_t kMinKeyBytes = 2;
// Bytes of an information file that each reader keeps.
constexpr std::size_t kFindInfoBytes = 1023;
constexpr std::size_t kListInfoBytes = 999;
constexpr std::size_t kBoxInfoBytes = 10239;
// The listing reads lines into a 1024-byte field: longer lines come in pieces.
constexpr std::size_t kListLinePiece = 1023;
constexpr std::size_t kMaxFileNameBytes = 255;

constexpr std::string_view kForbiddenNameBytes = "\\/:*?\"<>|";
constexpr std::string_view kCustFileName = "cust";

void EnsureQueryCatalogue(const Station& station, bool with_placeholder) {
  MakeDirectory(station.Path(kQueryDir));
  if (with_placeholder)
    WriteProfileString(kQuerySection, kPlaceholderKey, kPlaceholderValue, station.Path(kQueryPath));
}

void EnsureCustCatalogue(const Station& station) {
  MakeDirectory(station.Path(kCustDir));
  WriteProfileString(kCustSection, kPlaceholderKey, kPlaceholderValue, station.Path(kCustPath));
}

// ./query/acc counts the codes added less those removed. Nothing reads it
// but this, so a failed write is only lost bookkeeping.
void AdjustCodeCounter(const Station& station, long delta) {
  if (!FileExists(station.Path(kQueryCounterPath))) WriteTextFile(station.Path(kQueryCounterPath), "0");
  std::string text = ReadTextFile(station.Path(kQueryCounterPath)).value_or("");
  text = text.substr(0, text.find('\n'));
  if (text.size() > kCounterChars) text.resize(kCounterChars);
  WriteTextFile(station.Path(kQueryCounterPath), std::to_string(AtoL(text) + delta));
}

std::string BlankLineBreaks(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

// A key that would not read back as itself from its "key=value" line: a line
// break or '=' splits the line, a leading '[' or ';' makes it a section or a
// comment, and blanks around it are not part of the name read back. Writing
// one would leave a line that no remove reaches and that stops the listing.
bool BreaksCatalogueLine(std::string_view key) {
  constexpr std::string_view kBlanks = " \t";
  if (key.find_first_of(std::string_view("\r\n=\0", 4)) != std::string_view::npos) return true;
  if (key.empty()) return false;
  return kBlanks.find(key.front()) != std::string_view::npos ||
         kBlanks.find(key.back()) != std::string_view::npos || key.front() == '[' ||
         key.front() == ';';
}

// Splits a catalogue's text the way a reader with a 1024-byte line field
// meets it: a line (with its LF) or a 1023-byte piece of a longer one. A NUL
// ends what the reader sees of that piece.
std::vector<std::string> ListingLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = (end == std::string_view::npos) ? text.size() : end + 1;
    end = std::min(end, start + kListLinePiece);
    lines.emplace_back(UpToNul(text.substr(start, end - start)));
    start = end;
  }
  return lines;
}

// Calls row(k, key) for each line of a catalogue's text after the section
// line and the placeholder that holds more than its line end; stops when row
// returns false.
template <typename RowFn>
void ForEachListingKey(std::string_view text, RowFn row) {
  std::vector<std::string> lines = ListingLines(text);
  for (std::size_t i = 2; i < lines.size(); ++i) {
    if (lines[i].size() <= 1) continue;
    int k = static_cast<int>(i - 1);
    if (!row(k, SplitField(lines[i], 1, '=').field)) break;
  }
}

// Whether "./cust/" + name is a file of its own in ./cust/: never the folder
// itself or its parent, and never the catalogue file, which a customer of that
// name would overwrite or delete.
bool IsOwnFileName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxFileNameBytes && name != "." && name != ".." &&
         CleanCustomerName(name) == name && FoldAsciiCase(name) != kCustFileName;
}

// Writes the information file before the entry, so that no reader ever meets
// a customer without one (the listing stops at such a customer).
CatalogueResult WriteCustomer(const Station& station, const std::string& cleaned, std::string_view number,
                              std::string_view information, CatalogueResult success) {
  std::optional<std::string> path = CustomerInfoPath(station, cleaned);
  if (!path || !WriteTextFile(*path, information)) return CatalogueResult::NotWritten;
  if (!WriteProfileString(kCustSection, cleaned, number, station.Path(kCustPath)))
    return CatalogueResult::NotWritten;
  return success;
}

// Steps shared by add and set; the cleaned name when the customer may be written.
std::optional<std::string> AdmitCustomer(const Station& station, std::string_view name, std::string_view number) {
  std::string cleaned = CleanCustomerName(name);
  EnsureCustCatalogue(station);
  if (!IsUsableCustomerName(cleaned) || number.size() < kMinKeyBytes ||
      number.find_first_of("\r\n") != std::string_view::npos)
    return std::nullopt;
  return cleaned;
}

}  // namespace

const std::string& WrongCodeReply() {
  static const std::string reply = Gbk("查询代码错误。");
  return reply;
}

bool InfoTextFits(std::string_view text) {
  return TextToUcs2Hex(text).size() <= kMaxReplyHexChars;
}

CatalogueResult AddInfoCode(const Station& station, std::string_view code, std::string_view text) {
  EnsureQueryCatalogue(station, true);
  std::string known = GetProfileString(kQuerySection, code, kAbsentMarker, kExistsCodeField, station.Path(kQueryPath));
  if (!InfoTextFits(text)) return CatalogueResult::TooLong;
  if (known != kAbsentMarker) return CatalogueResult::Exists;
  if (BreaksCatalogueLine(code)) return CatalogueResult::Refused;
  if (!WriteProfileString(kQuerySection, code, BlankLineBreaks(text), station.Path(kQueryPath)))
    return CatalogueResult::NotWritten;
  AdjustCodeCounter(station, +1);
  return CatalogueResult::Added;
}

CatalogueResult SetInfoCode(const Station& station, std::string_view code, std::string_view text) {
  EnsureQueryCatalogue(station, false);
  if (!InfoTextFits(text)) return CatalogueResult::TooLong;
  if (BreaksCatalogueLine(code)) return CatalogueResult::Refused;
  if (!WriteProfileString(kQuerySection, code, BlankLineBreaks(text), station.Path(kQueryPath)))
    return CatalogueResult::NotWritten;
  return CatalogueResult::Stored;
}

void RemoveInfoCode(const Station& station, std::string_view code) {
  EnsureQueryCatalogue(station, false);
  WriteProfileString(kQuerySection, code, std::nullopt, station.Path(kQueryPath));
  AdjustCodeCounter(station, -1);
}

InfoCodeLookup FindInfoCode(const Station& station, std::string_view code) {
  EnsureQueryCatalogue(station, true);
  if (code.size() < kMinKeyBytes) return {CatalogueResult::TooShort, {}};
  std::string text = GetProfileString(kQuerySection, code, kAbsentMarker, kFindCodeField, station.Path(kQueryPath));
  if (text == kAbsentMarker) return {CatalogueResult::Absent, {}};
  return {CatalogueResult::Found, std::move(text)};
}

std::vector<InfoCodeRow> ListInfoCodes(const Station& station) {
  std::vector<InfoCodeRow> rows;
  std::optional<std::string> catalogue = ReadTextFile(station.Path(kQueryPath));
  if (!catalogue) return rows;
  const ProfileSection values(*catalogue, kQuerySection);
  ForEachListingKey(*catalogue, [&](int k, std::string key) {
    std::string text = values.Value(key, kListFallback, kListValueField);
    rows.push_back({k, std::move(key), std::move(text)});
    return true;
  });
  return rows;
}

std::string InfoReplyText(const Station& station, std::string_view code) {
  return GetProfileString(kQuerySection, code, WrongCodeReply(), kReplyField, station.Path(kQueryPath));
}

std::string CleanCustomerName(std::string_view name) {
  std::string cleaned;
  for (char c : UpToNul(name)) {
    if (kForbiddenNameBytes.find(c) == std::string_view::npos) cleaned += c;
  }
  return cleaned;
}

bool IsUsableCustomerName(std::string_view cleaned) {
  return cleaned.size() >= kMinKeyBytes && IsOwnFileName(cleaned) &&
         !BreaksCatalogueLine(cleaned);
}

std::optional<std::string> CustomerInfoPath(const Station& station, std::string_view cleaned_name) {
  if (!IsOwnFileName(cleaned_name)) return std::nullopt;
  std::string exact = station.Path(kCustDir) + std::string(cleaned_name);
  if (FileExists(exact)) return exact;
  DIR* dir = ::opendir(station.Path(kCustDir).c_str());
  if (!dir) return exact;
  const std::string folded = FoldAsciiCase(cleaned_name);
  std::string found = exact;
  while (const dirent* entry = ::readdir(dir)) {
    if (FoldAsciiCase(entry->d_name) == folded) {
      found = station.Path(kCustDir) + std::string(entry->d_name);
      break;
    }
  }
  ::closedir(dir);
  return found;
}

CatalogueResult AddCustomer(const Station& station, std::string_view name, std::string_view number,
                            std::string_view information) {
  std::optional<std::string> cleaned = AdmitCustomer(station, name, number);
  if (!cleaned) return CatalogueResult::Refused;
  std::string known = GetProfileString(kCustSection, *cleaned, kAbsentMarker, kExistsCustomerField, station.Path(kCustPath));
  if (known != kAbsentMarker) return CatalogueResult::Exists;
  return WriteCustomer(station, *cleaned, number, information, CatalogueResult::Added);
}

CatalogueResult SetCustomer(const Station& station, std::string_view name, std::string_view number,
                            std::string_view information) {
  std::optional<std::string> cleaned = AdmitCustomer(station, name, number);
  if (!cleaned) return CatalogueResult::Refused;
  return WriteCustomer(station, *cleaned, number, information, CatalogueResult::Stored);
}

void RemoveCustomer(const Station& station, std::string_view name) {
  std::string cleaned = CleanCustomerName(name);
  EnsureCustCatalogue(station);
  WriteProfileString(kCustSection, cleaned, std::nullopt, station.Path(kCustPath));
  // Only a file of its own is deleted: never the folder or the catalogue,
  // even for a key a hand edit put there.
  if (std::optional<std::string> path = CustomerInfoPath(station, cleaned)) ::unlink(path->c_str());
}

CustomerLookup FindCustomer(const Station& station, std::string_view name) {
  EnsureCustCatalogue(station);
  if (name.size() < kMinKeyBytes) return {CatalogueResult::TooShort, {}, {}};
  std::string number = GetProfileString(kCustSection, name, kAbsentMarker, kFindCustomerField, station.Path(kCustPath));
  if (number == kAbsentMarker) return {CatalogueResult::Absent, {}, {}};
  // A name that is no file of its own in ./cust/ has no information file to
  // open, whatever a hand edit put into the catalogue.
  std::optional<std::string> path = CustomerInfoPath(station, CleanCustomerName(name));
  std::optional<std::string> information =
      path ? ReadTextPrefix(*path, kFindInfoBytes) : std::nullopt;
  if (!information) return {CatalogueResult::NoInformation, {}, {}};
  return {CatalogueResult::Found, std::move(number), std::move(*information)};
}

std::optional<std::string> ReadCustomerInfo(const Station& station, std::string_view cleaned_name) {
  std::optional<std::string> path = CustomerInfoPath(station, cleaned_name);
  if (!path) return std::nullopt;
  std::optional<std::string> text = ReadTextPrefix(*path, kBoxInfoBytes);
  if (!text) return std::nullopt;
  // The box separates lines with CR LF and shows a bare LF as nothing.
  std::string shown = ToTextMode(*text);
  if (shown.size() > kBoxInfoBytes) shown.resize(kBoxInfoBytes);
  return shown;
}

CustomerListing ListCustomers(const Station& station) {
  CustomerListing listing;
  std::optional<std::string> catalogue = ReadTextFile(station.Path(kCustPath));
  if (!catalogue) return listing;
  const ProfileSection numbers(*catalogue, kCustSection);
  ForEachListingKey(*catalogue, [&](int k, std::string key) {
    std::optional<std::string> path = CustomerInfoPath(station, key);
    std::optional<std::string> information =
        path ? ReadTextPrefix(*path, kListInfoBytes) : std::nullopt;
    if (!information) {
      listing.missing_information = std::move(key);
      return false;
    }
    std::string number = numbers.Value(key, kListFallback, kListValueField);
    listing.rows.push_back({k, std::move(key), std::move(number), std::move(*information)});
    return true;
  });
  return listing;
}

std::optional<std::vector<std::string>> ListCustomerNames(const Station& station) {
  std::optional<std::string> catalogue = ReadTextFile(station.Path(kCustPath));
  if (!catalogue) return std::nullopt;
  std::vector<std::string> names;
  ForEachListingKey(*catalogue, [&](int, std::string key) {
    names.push_back(std::move(key));
    return true;
  });
  return names;
}

std::string ResolveRecipient(const Station& station, std::string_view key) {
  return GetProfileString(kCustSection, key, key, kResolveField, station.Path(kCustPath));
}

}  // namespace tavrel
