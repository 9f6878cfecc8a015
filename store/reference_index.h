#pragma once
// What the station keeps so that delivery reports find their journal line,
// and the concatenation reference it gives each long message.
//
// state/references: one line per recipient sent with REPORT=1, and one per
// status report matched to it, appended and synced (LF ends each line):
//
//   S <seconds> <modem> <number> <day> <record> <index> <ref>[,<ref>...]
//   R <seconds> <day> <record> <index> <part> <ref> <status>
//
// number is in national form, the refs are the +CMGS message references of
// the parts in order, part counts from 1 and status is TP-ST as two
// upper-case hex digits. An R line belongs to the last S line before it of
// the same day, record, index and ref at that part. Lines older than seven
// days are dropped.
//
// state/concat/<modem>: the last concatenation reference given, decimal.
#include <cstdint>
#include <ctime>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/station.h"
#include "store/state_lines.h"

namespace tavrel {

inline constexpr std::string_view kReferencesFile = "state/references";
inline constexpr std::string_view kConcatFolder = "state/concat";
inline constexpr std::time_t kReferenceDays = 7;

// "+86" or "86" followed by 11 digits is those 11 digits; any other number
// stays as it is.
std::string NationalNumber(std::string_view number);

// TP-ST as two upper-case hex digits, the form the journal keeps ("00", "46").
std::string StatusText(std::uint8_t status);
// "12" or "12,13,14", the references of a journal's sent line; nullopt when
// it is not such a list.
std::optional<std::vector<int>> ParseReferences(std::string_view text);

// The next 8-bit concatenation reference of a modem (1, 2, ... 255, 0, 1,
// ...), kept in state/concat; *kept is false when it could not be made
// durable (the reference is good for this message all the same).
int TakeConcatReference(const Station& station, std::string_view modem, bool* kept);

struct SentMessage {
  std::string modem;
  std::string number;  // national form
  std::string day;
  long record = 0;
  long index = 0;
  std::vector<int> references;                        // one per part
  std::vector<std::optional<std::uint8_t>> statuses;  // final reports so far, by part
  std::time_t sent = 0;

  bool Complete() const;
};

// Appends the S line of a message sent at now, without reading the index;
// false when it is not on the disk.
bool NoteSentMessage(const Station& station, std::time_t now, const SentMessage& message);

// Where a report belongs: a message and its part (from 0).
struct ReportMatch {
  std::size_t message = 0;
  std::size_t part = 0;
};

class ReferenceIndex {
 public:
  ReferenceIndex(const Station& station, std::time_t now);

  // The most recent message of this modem and number (any form) sent with
  // this reference, across days.
  std::optional<ReportMatch> Find(std::string_view modem, int reference,
                                  std::string_view number) const;
  // Appends the R line of a final report; false when it is not on the disk.
  bool NoteReport(const ReportMatch& match, std::uint8_t status);
  const SentMessage& message(const ReportMatch& match) const { return messages_[match.message]; }

 private:
  bool TakeSent(std::istream& fields, long long when);
  bool TakeReport(std::istream& fields);
  bool Append(const std::string& line);

  std::string path_;
  std::time_t now_;
  std::vector<SentMessage> messages_;  // in the order sent
};

}  // namespace tavrel
