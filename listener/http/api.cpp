#include "listener/http/api.h"

#include <charconv>
#include <vector>

#include "listener/http/message_text.h"
#include "platform/codepage.h"
#include "store/catalogue.h"
#include "store/journal.h"
#include "store/message_settings.h"
#include "store/record_store.h"

namespace tavrel::http {
namespace {

using nlohmann::json;

constexpr long kDefaultLimit = 100;
constexpr long kMaxLimit = 1000;

std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

Reply JsonReply(int status, const json& value) { return {status, Dump(value)}; }

// A whole decimal number of at most nine digits, or nullopt.
std::optional<long> Number(std::string_view text) {
  long value = 0;
  if (text.empty() || text.size() > 9) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// FNV-1a of the request's to list and text: what "the same body" means.
std::string Digest(const json& to, const json& text) {
  const std::string bytes = Dump(json{{"to", to}, {"text", text}});
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

json Filed(std::string_view day, long record) { return {{"day", day}, {"record", record}}; }

// The lines of R<n> as read in text mode; a last empty piece is no line.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// The recipients of a request as the lines of R<n>, or the refusal.
Result<std::string> RecipientLinesOf(const json& to) {
  if (!to.is_array() || to.empty()) return Error{"bad recipients", "\"to\" must be a non-empty list"};
  std::string lines;
  for (const json& entry : to) {
    if (!entry.is_string()) return Error{"bad recipients", "every entry of \"to\" is a string"};
    const Result<std::string> gbk = ToGbk(entry.get<std::string>());
    if (!gbk) return Error{"bad recipients", "a recipient with " + gbk.error().text};
    if (auto refusal = RecipientRefusal(gbk.value())) {
      return Error{"bad recipients", *refusal + ": " + entry.get<std::string>()};
    }
    lines += gbk.value() + "\n";
  }
  return lines;
}

}  // namespace

Reply ErrorReply(int status, std::string_view error, std::string_view detail) {
  return JsonReply(status, {{"error", error}, {"detail", detail}});
}

bool IsDayName(std::string_view text) {
  int parts = 0, digits = 0;
  for (char c : text) {
    if (c == '-') {
      if (digits == 0) return false;
      ++parts;
      digits = 0;
    } else if (c >= '0' && c <= '9' && digits < 4) {
      ++digits;
    } else {
      return false;
    }
  }
  return parts == 2 && digits > 0;
}

Reply PostMessage(ApiContext& context, std::string_view token_name, std::string_view body) {
  const json request = json::parse(body, nullptr, false);
  if (!request.is_object()) return ErrorReply(400, "bad request", "the body is not a JSON object");
  const json to = request.value("to", json());
  const json text = request.value("text", json());
  const json id = request.value("id", json());
  const Result<std::string> recipients = RecipientLinesOf(to);
  if (!recipients) return ErrorReply(400, recipients.error().text, recipients.error().detail);
  if (!text.is_string() || text.get<std::string>().empty()) {
    return ErrorReply(400, "bad text", "\"text\" must be a non-empty string");
  }
  if (!id.is_null() && (!id.is_string() || id.get<std::string>().empty())) {
    return ErrorReply(400, "bad id", "\"id\" is a non-empty string when given");
  }
  const Result<std::string> gbk = ToGbk(UnifyLineEnds(text.get<std::string>()));
  if (!gbk) return ErrorReply(422, "characters without a GBK form", gbk.error().text);
  if (auto refusal = MessageLimitRefusal(gbk.value(), PartsSetting(context.station))) {
    return ErrorReply(400, "text too long", *refusal);
  }

  std::unique_lock<std::mutex> held;
  std::string digest;
  if (id.is_string()) {
    if (context.keys == nullptr) return ErrorReply(503, "no key store", "ids cannot be kept");
    held = std::unique_lock(context.keys->mutex());
    digest = Digest(to, text);
    if (auto kept = context.keys->Find(token_name, id.get<std::string>())) {
      if (kept->digest != digest) {
        return ErrorReply(409, "id reused", "this id was used for another message");
      }
      return JsonReply(200, Filed(kept->day, kept->record));
    }
  }
  const OutboxResult filed =
      context.write_outbox ? context.write_outbox(recipients.value(), gbk.value())
                           : WriteRequestRecord(context.station, recipients.value(), gbk.value());
  if (!filed) return ErrorReply(503, "not filed", filed.error().detail);
  if (context.on_filed) context.on_filed(filed.value());
  if (id.is_string()) {
    context.keys->Keep(token_name, id.get<std::string>(),
                       {digest, filed.value().day, filed.value().number,
                        static_cast<long long>(std::time(nullptr))});
  }
  return JsonReply(201, Filed(filed.value().day, filed.value().number));
}

Reply GetMessage(const ApiContext& context, std::string_view day, std::string_view record) {
  const std::optional<long> n = Number(record);
  const Station& station = context.station;
  if (!IsDayName(day) || !n || *n < 1) {
    return ErrorReply(404, "no such record", "a record is named by a day such as 2026-12-7 and a "
                                             "number from 1");
  }
  const std::optional<long> counted = ReadMailboxCounter(station, day, kNewBox);
  const auto recipients = ReadRecordFile(station, day, kNewBox, RecordPart::Recipients, *n);
  const auto text = ReadRecordFile(station, day, kNewBox, RecordPart::Text, *n);
  if (!counted || *n > *counted || !recipients || !text) {
    return ErrorReply(404, "no such record", "no record " + std::to_string(*n) + " of " +
                                                 std::string(day) + " in the outbox");
  }
  // The last line of a recipient tells its state: delivery follows sending.
  std::vector<const JournalEntry*> latest;
  const std::vector<JournalEntry> journal = ReadJournal(station, day, *n);
  for (const JournalEntry& entry : journal) {
    if (entry.index < 1 || entry.index > 100000) continue;
    if (latest.size() < static_cast<std::size_t>(entry.index)) latest.resize(entry.index, nullptr);
    latest[entry.index - 1] = &entry;
  }
  json list = json::array();
  const std::vector<std::string> lines = Lines(*recipients);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string key = lines[i].substr(0, lines[i].find(';'));
    const JournalEntry* entry = i < latest.size() ? latest[i] : nullptr;
    json row = {{"index", i + 1}, {"recipient", GbkToUtf8(key)}};
    if (entry) {
      row["number"] = GbkToUtf8(entry->number);
      row["state"] = OutcomeName(entry->state);
      row["time"] = entry->time;
      row["detail"] = GbkToUtf8(entry->detail);
    } else {
      row["number"] = GbkToUtf8(ResolveRecipient(station, key));
      row["state"] = "queued";
      row["time"] = nullptr;
      row["detail"] = "";
    }
    list.push_back(std::move(row));
  }
  return JsonReply(200, {{"day", day},
                         {"record", *n},
                         {"text", GbkToUtf8(*text)},
                         {"recipients", std::move(list)}});
}

std::optional<json> InboxMessage(const Station& station, std::string_view day, long n) {
  const auto sender = ReadRecordFile(station, day, kRecvBox, RecordPart::Recipients, n);
  const auto text = ReadRecordFile(station, day, kRecvBox, RecordPart::Text, n);
  if (!sender || !text) return std::nullopt;
  const std::string time =
      ReadRecordTime(RecordFilePath(station, day, kRecvBox, RecordPart::Header, n));
  return json{{"record", n},
              {"sender", GbkToUtf8(FirstLine(*sender))},
              {"time", time},
              {"text", GbkToUtf8(*text)}};
}

Reply GetInbox(const ApiContext& context, std::optional<std::string> day,
               std::optional<std::string> after, std::optional<std::string> limit) {
  const std::optional<ListQuery> query = ReadListQuery(context.station, day, after, limit);
  if (!query) return BadListQuery();
  const std::string& folder = query->day;
  const long last = ReadMailboxCounter(context.station, folder, kRecvBox).value_or(0);
  json messages = json::array();
  for (long n = query->after + 1; n <= last && n <= query->after + query->limit; ++n) {
    if (auto message = InboxMessage(context.station, folder, n)) messages.push_back(*message);
  }
  return JsonReply(200, {{"day", folder}, {"messages", std::move(messages)}});
}

std::optional<ListQuery> ReadListQuery(const Station& station,
                                       const std::optional<std::string>& day,
                                       const std::optional<std::string>& after,
                                       const std::optional<std::string>& limit) {
  const std::string folder = day ? *day : station.Today();
  const std::optional<long> from = after ? Number(*after) : 0L;
  const std::optional<long> count = limit ? Number(*limit) : kDefaultLimit;
  if (!IsDayName(folder) || !from || !count || *count < 1 || *count > kMaxLimit) {
    return std::nullopt;
  }
  return ListQuery{folder, *from, *count};
}

Reply BadListQuery() {
  return ErrorReply(400, "bad query", "day is a day such as 2026-12-7, after a record number, "
                                      "limit from 1 to 1000");
}

}  // namespace tavrel::http
