// send, status and inbox: the day folders of the message store.
#include <algorithm>
#include <ctime>
#include <iterator>
#include <sstream>

#include "engine/codec/long_message.h"
#include "engine/send_phase.h"
#include "platform/codepage.h"
#include "store/engine_status.h"
#include "store/journal.h"
#include "store/message_settings.h"
#include "store/record_store.h"
#include "store/station_lock.h"
#include "store/text.h"
#include "tools/tavrel/commands.h"

namespace tavrel::cli {
namespace {

// The compose tab's limit: without PARTS one SMS of 70 UCS-2 characters,
// every CR and LF counting as one; with PARTS as many parts as it allows in
// the text's alphabet. The one place that says how long a message may be.
bool MessageFits(const Station& station, std::string_view gbk) {
  const int parts = PartsSetting(station);
  if (parts > 1) return MeasureMessage(gbk, parts).fits;
  return TextToUcs2Hex(gbk).size() < 284;
}

long CounterOrZero(const Station& station, std::string_view day, std::string_view box) {
  const std::optional<long> counter = ReadMailboxCounter(station, day, box);
  return counter && *counter > 0 ? *counter : 0;
}

// Seconds since a time stamp of the store ("2026-12-7 09:05:03"); nullopt
// when the stamp is not one.
std::optional<long long> AgeOf(const Station& station, const std::string& stamp) {
  std::tm filed{};
  if (std::sscanf(stamp.c_str(), "%d-%d-%d %d:%d:%d", &filed.tm_year, &filed.tm_mon, &filed.tm_mday,
                  &filed.tm_hour, &filed.tm_min, &filed.tm_sec) != 6) {
    return std::nullopt;
  }
  filed.tm_year -= 1900;
  filed.tm_mon -= 1;
  filed.tm_isdst = -1;
  std::tm now = station.clock().LocalNow();
  return static_cast<long long>(std::difftime(std::mktime(&now), std::mktime(&filed)));
}

std::string Duration(long long seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

std::string ClockTime(long long unix_seconds) {
  if (unix_seconds <= 0) return "-";
  const std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm local{};
  localtime_r(&t, &local);
  return DayFolderName(local) + " " + TimeOfDayText(local);
}

constexpr Outcome kOutcomes[] = {Outcome::Sent, Outcome::Failed, Outcome::Skipped,
                                 Outcome::Delivered, Outcome::Undelivered};

std::string OutcomeCounts(const long (&counts)[5]) {
  std::string text;
  for (std::size_t i = 0; i < std::size(kOutcomes); ++i) {
    text +=
        (i ? ", " : "") + std::string(OutcomeName(kOutcomes[i])) + " " + std::to_string(counts[i]);
  }
  return text;
}

int Queue(Context& c) {
  const Station& station = c.station;
  const std::string day = station.Today();
  const long filed = CounterOrZero(station, day, kNewBox);
  const long finished = CounterOrZero(station, day, kSendBox);
  const long received = CounterOrZero(station, day, kRecvBox);
  const long waiting = std::max(0L, filed - finished);

  long counts[5] = {};
  for (long n = 1; n <= filed; ++n) {
    const JournalSummary summary = SummariseJournal(station, day, n);
    for (std::size_t i = 0; i < std::size(kOutcomes); ++i) counts[i] += summary.Count(kOutcomes[i]);
  }

  const std::optional<StationHolder> holder = StationLockHolder(station);
  c.doc["day"] = day;
  c.doc["engine_pid"] = holder ? Json(holder->pid) : Json(nullptr);
  c.Line("engine    " +
         (holder ? "running, process " + std::to_string(holder->pid) : std::string("not running")));

  c.doc["waiting"] = waiting;
  std::string queue = std::to_string(waiting) + " records";
  if (waiting > 0) {
    const long oldest = finished + 1;
    const std::string stamp =
        ReadRecordTime(RecordFilePath(station, day, kNewBox, RecordPart::Header, oldest));
    const std::optional<long long> age = AgeOf(station, stamp);
    c.doc["oldest_waiting"] = {
        {"record", oldest}, {"filed", stamp}, {"age_seconds", age ? Json(*age) : Json(nullptr)}};
    queue += ", the oldest record " + std::to_string(oldest) + " filed " + stamp +
             (age ? " (" + Duration(*age) + " ago)" : "");
  } else {
    c.doc["oldest_waiting"] = nullptr;
  }
  c.Line("waiting   " + queue);

  c.doc["filed"] = filed;
  c.doc["finished"] = finished;
  c.doc["received"] = received;
  Json outcomes = Json::object();
  for (std::size_t i = 0; i < std::size(kOutcomes); ++i) {
    outcomes[std::string(OutcomeName(kOutcomes[i]))] = counts[i];
  }
  c.doc["outcomes"] = outcomes;
  c.Line("today     " + day + ": filed " + std::to_string(filed) + ", finished " +
         std::to_string(finished) + ", received " + std::to_string(received) + "; " +
         OutcomeCounts(counts));

  Json modems = Json::array();
  const std::optional<EngineStatus> status = ReadEngineStatus(station);
  if (status) {
    for (const ModemStatus& m : status->modems) {
      modems.push_back({{"key", m.key},
                        {"port", Utf8(m.port)},
                        {"state", m.state},
                        {"last_cycle", m.last_cycle},
                        {"sent_today", m.sent_today},
                        {"until", m.until},
                        {"note", Utf8(m.note)}});
      c.Line("modem     " + m.key + " " + Utf8(m.port) + ": " + m.state + ", last cycle " +
             ClockTime(m.last_cycle) + ", sent today " + std::to_string(m.sent_today) +
             (m.note.empty() ? "" : ", " + Utf8(m.note)));
    }
    c.doc["status_written"] = status->written;
  } else {
    c.Line("modem     no engine status yet");
  }
  c.doc["modems"] = modems;
  return kOk;
}

int RecordOutcomes(Context& c, const std::string& day, long n) {
  const Station& station = c.station;
  const long filed = CounterOrZero(station, day, kNewBox);
  const std::optional<std::string> recipients =
      n >= 1 && n <= filed ? ReadRecordFile(station, day, kNewBox, RecordPart::Recipients, n)
                           : std::nullopt;
  if (!recipients) return c.Fail("there is no record " + std::to_string(n) + " in " + day + "/new");

  // The last line of each index wins: a delivery report comes after its send.
  std::vector<std::optional<JournalEntry>> last;
  for (JournalEntry& entry : ReadJournal(station, day, n)) {
    if (entry.index < 1) continue;
    if (static_cast<std::size_t>(entry.index) > last.size()) last.resize(entry.index);
    last[entry.index - 1] = std::move(entry);
  }
  const bool finished = n <= CounterOrZero(station, day, kSendBox);
  const std::vector<std::string> lines = RecipientLines(*recipients);
  c.doc["day"] = day;
  c.doc["record"] = n;
  c.doc["finished"] = finished;
  c.Line(day + " record " + std::to_string(n) + ": " + std::to_string(lines.size()) +
         " recipients" + (finished ? ", finished" : ", not finished"));
  Json rows = Json::array();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string key = Utf8(RecipientKey(lines[i]));
    const std::optional<JournalEntry>& entry = i < last.size() ? last[i] : std::nullopt;
    Json row = {{"index", i + 1}, {"recipient", key}};
    std::string text = std::to_string(i + 1) + "  " + key;
    if (entry) {
      const std::string state(OutcomeName(entry->state));
      row["number"] = Utf8(entry->number);
      row["state"] = state;
      row["time"] = entry->time;
      row["detail"] = Utf8(entry->detail);
      text += "  " + Utf8(entry->number) + "  " + state + "  " + entry->time +
              (entry->detail.empty() ? "" : "  " + Utf8(entry->detail));
    } else {
      row["state"] = "waiting";
      text += "  waiting";
    }
    rows.push_back(std::move(row));
    c.Line(text);
  }
  c.doc["recipients"] = rows;
  return kOk;
}

}  // namespace

int Send(Context& c, const std::vector<std::string>& numbers, std::optional<std::string> text) {
  if (!text) {
    text = std::string(std::istreambuf_iterator<char>(c.in), std::istreambuf_iterator<char>());
    if (text->ends_with("\r\n")) {
      text->resize(text->size() - 2);
    } else if (text->ends_with('\n')) {
      text->pop_back();
    }
  }
  std::string joined;
  for (const std::string& number : numbers) joined += (joined.empty() ? "" : ";") + number;
  const GbkText recipients = ToGbk(joined);
  if (!recipients.error.empty())
    return c.Fail("recipients: " + recipients.error + "; nothing was filed");
  const GbkText message = ToGbk(WithBoxLineBreaks(*text));
  if (!message.error.empty()) return c.Fail("text: " + message.error + "; nothing was filed");

  // The compose tab's checks, in its order and with its words.
  if (recipients.gbk.empty()) return c.Fail("收信人不能为空！");
  if (message.gbk.empty()) return c.Fail("收信内容不能为空！");
  if (!MessageFits(c.station, message.gbk)) return c.Fail("收信内容不能太多！");

  const OutboxResult filed = WriteOutboxRecord(c.station, recipients.gbk, message.gbk);
  if (!filed) return c.Fail(Utf8(filed.error().text) + " (" + filed.error().detail + ")");
  c.doc["day"] = filed.value().day;
  c.doc["record"] = filed.value().number;
  c.Line(filed.value().day + " " + std::to_string(filed.value().number));
  return kOk;
}

int Status(Context& c, const std::optional<std::string>& day, std::optional<long> record) {
  if (!day) return Queue(c);
  const std::optional<std::string> folder = DayFromArgument(*day);
  if (!folder) return c.Fail("not a day: " + *day + " (2026-12-7 or 2026-12-07)", kUsage);
  if (!record) return c.Fail("status DAY needs the record number after it", kUsage);
  return RecordOutcomes(c, *folder, *record);
}

int Inbox(Context& c, const std::optional<std::string>& day, long after) {
  std::string folder = c.station.Today();
  if (day) {
    const std::optional<std::string> parsed = DayFromArgument(*day);
    if (!parsed) return c.Fail("not a day: " + *day + " (2026-12-7 or 2026-12-07)", kUsage);
    folder = *parsed;
  }
  const long received = CounterOrZero(c.station, folder, kRecvBox);
  Json messages = Json::array();
  for (long n = std::max(after, 0L) + 1; n <= received; ++n) {
    const std::optional<StoredRecord> record = ReadRecord(c.station, folder, kRecvBox, n, 10240);
    if (!record) break;  // as the received view: the listing stops at a gap
    const std::string sender = Utf8(record->recipients);
    const std::string text = Utf8(record->text);
    messages.push_back({{"record", n}, {"time", record->time}, {"sender", sender}, {"text", text}});
    c.Line(std::to_string(n) + "  " + record->time + "  " + sender);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) c.Line("    " + line);
  }
  c.doc["day"] = folder;
  c.doc["messages"] = messages;
  return kOk;
}

}  // namespace tavrel::cli
