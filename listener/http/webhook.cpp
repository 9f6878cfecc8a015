#include "listener/http/webhook.h"

#include <dirent.h>
#include <httplib.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <tuple>
#include <vector>

#include "listener/http/api.h"
#include "platform/pace.h"
#include "platform/textfile.h"
#include "store/record_store.h"
#include "store/settings.h"

namespace tavrel::http {
namespace {

using nlohmann::json;

std::tuple<int, int, int> DayOrder(const std::string& day) {
  int year = 0, month = 0, date = 0;
  std::sscanf(day.c_str(), "%d-%d-%d", &year, &month, &date);
  return {year, month, date};
}

// Day folders of the station after `after` and not after `last`, in order.
std::vector<std::string> DaysBetween(const Station& station, const std::string& after,
                                     const std::string& last) {
  std::vector<std::string> days;
  DIR* folder = ::opendir(station.root().c_str());
  if (folder == nullptr) return days;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (IsDayName(name) && DayOrder(name) > DayOrder(after) && DayOrder(name) <= DayOrder(last)) {
      days.push_back(name);
    }
  }
  ::closedir(folder);
  std::sort(days.begin(), days.end(),
            [](const std::string& a, const std::string& b) { return DayOrder(a) < DayOrder(b); });
  return days;
}

}  // namespace

std::optional<HookCursor> ReadHookCursor(const Station& station) {
  const std::optional<std::string> bytes = ReadFileBytes(station.Path(kHookCursorFile));
  if (!bytes) return std::nullopt;
  const json cursor = json::parse(*bytes, nullptr, false);
  if (!cursor.is_object() || !cursor["day"].is_string() || !cursor["record"].is_number_integer()) {
    return std::nullopt;
  }
  return HookCursor{cursor["day"].get<std::string>(), cursor["record"].get<long>()};
}

bool WriteHookCursor(const Station& station, const HookCursor& cursor) {
  MakeDirectory(station.Path("state"));
  const json bytes = {{"day", cursor.day}, {"record", cursor.record}};
  return ReplaceFile(station.Path(kHookCursorFile), bytes.dump() + "\n", Durability::Flushed);
}

std::optional<HookCursor> NextInboxMessage(const Station& station, const HookCursor& cursor) {
  const long filed = ReadMailboxCounter(station, cursor.day, kRecvBox).value_or(0);
  if (cursor.record < filed) return HookCursor{cursor.day, cursor.record + 1};
  for (const std::string& day : DaysBetween(station, cursor.day, station.Today())) {
    if (ReadMailboxCounter(station, day, kRecvBox).value_or(0) > 0) return HookCursor{day, 1};
  }
  return std::nullopt;
}

Webhook::Webhook(Station station, ListenerLog& log, std::string url)
    : station_(std::move(station)), log_(log) {
  const std::size_t host = url.find("://");
  const std::size_t slash = url.find('/', host == std::string::npos ? 0 : host + 3);
  base_ = url.substr(0, slash);
  path_ = slash == std::string::npos ? "/" : url.substr(slash);
  thread_ = std::thread([this] { Run(); });
}

Webhook::~Webhook() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool Webhook::Sleep(std::chrono::milliseconds nominal) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, Paced(nominal), [this] { return stop_; });
}

bool Webhook::Post(const HookCursor& message) {
  std::optional<json> body = InboxMessage(station_, message.day, message.record);
  if (!body) return true;  // a record without its files has nothing to send
  (*body)["day"] = message.day;
  httplib::Client client(base_);
  client.set_connection_timeout(10);
  client.set_read_timeout(10);
  client.set_write_timeout(10);
  const httplib::Result answer =
      client.Post(path_, body->dump(-1, ' ', false, json::error_handler_t::replace),
                  "application/json");
  const int status = answer ? answer->status : 0;
  const std::string which = message.day + "/recv/" + std::to_string(message.record);
  log_.Write("HOOK " + which + " -> " +
             (answer ? std::to_string(status) : httplib::to_string(answer.error())) + "\n");
  log_.Flush();
  return status >= 200 && status < 300;
}

void Webhook::Run() {
  // A station that never had a cursor starts with today's first message.
  HookCursor cursor = ReadHookCursor(station_).value_or(HookCursor{station_.Today(), 0});
  std::chrono::milliseconds retry{0};
  for (;;) {
    const std::optional<HookCursor> next = NextInboxMessage(station_, cursor);
    if (!next) {
      if (!Sleep(kHookPoll)) return;
      continue;
    }
    if (Post(*next)) {
      cursor = *next;
      WriteHookCursor(station_, cursor);
      retry = std::chrono::milliseconds(0);
      continue;
    }
    retry = retry.count() == 0 ? kFirstRetry : std::min(retry * 2, kLongestRetry);
    if (!Sleep(retry)) return;
  }
}

std::unique_ptr<Webhook> StartWebhook(const Station& station, ListenerLog& log) {
  const std::string url = ReadSetting(station, settings::kHook);
  if (url.empty()) return nullptr;
  if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) {
    log.Write("HOOK ignored: \"" + url + "\" is no http:// or https:// URL\n");
    log.Flush();
    return nullptr;
  }
  log.Write("HOOK posts received messages to " + url + "\n");
  log.Flush();
  return std::make_unique<Webhook>(station, log, url);
}

}  // namespace tavrel::http
