#include "listener/http/metrics.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/codepage.h"
#include "platform/textfile.h"
#include "store/engine_status.h"
#include "store/record_store.h"

namespace tavrel::http {
namespace {

constexpr long long kFreshSeconds = 60;
constexpr long kFreshCycles = 3;

// Bytes of path from offset to its end; empty when it cannot be read.
std::string ReadFrom(const std::string& path, long long offset, long long size) {
  std::string bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  bytes.resize(static_cast<std::size_t>(size - offset));
  const ssize_t count = ::pread(fd, bytes.data(), bytes.size(), offset);
  ::close(fd);
  bytes.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  return bytes;
}

// "2026-12-7 09:05:03" as local unix seconds; nullopt when it is not one.
std::optional<std::time_t> StampSeconds(const std::string& stamp) {
  std::tm when{};
  int year, month, day, hour, minute, second;
  if (std::sscanf(stamp.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute,
                  &second) != 6) {
    return std::nullopt;
  }
  when.tm_year = year - 1900;
  when.tm_mon = month - 1;
  when.tm_mday = day;
  when.tm_hour = hour;
  when.tm_min = minute;
  when.tm_sec = second;
  when.tm_isdst = -1;
  return std::mktime(&when);
}

std::string Label(std::string_view gbk) {
  std::string escaped;
  for (char c : GbkToUtf8(gbk)) {
    if (c == '\\' || c == '"') escaped += '\\';
    if (c == '\n') {
      escaped += "\\n";
      continue;
    }
    escaped += c;
  }
  return escaped;
}

void Gauge(std::string& text, const char* name, const char* help) {
  text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
}

bool ModemUp(const ModemStatus& modem) {
  return modem.state == "up" || modem.state == "sending";
}

// Whether a file can be made in the station's folder, where day folders go.
std::optional<std::string> StoreUnwritable(const Station& station) {
  const std::string probe = station.Path(".healthz-probe");
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return "the store cannot take a file: " + probe;
  const bool written = ::write(fd, "ok", 2) == 2;
  ::close(fd);
  ::unlink(probe.c_str());
  if (!written) return "the store cannot take a byte (disk full?): " + probe;
  return std::nullopt;
}

}  // namespace

JournalTally::JournalTally(Station station) : station_(std::move(station)) {}

JournalTally::~JournalTally() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void JournalTally::StartThread() {
  thread_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      lock.unlock();
      Refresh();
      lock.lock();
      wake_.wait_for(lock, kInterval, [this] { return stop_; });
    }
  });
}

void JournalTally::Refresh() {
  const std::string today = station_.Today();
  const long last = ReadMailboxCounter(station_, today, kNewBox).value_or(0);
  std::map<long, long long> read_to;
  Counts counts;
  {
    std::lock_guard lock(mutex_);
    if (day_ == today) {
      read_to = read_to_;
      counts = counts_;
    }
  }
  for (long n = 1; n <= last; ++n) {
    const std::string path = JournalPath(station_, today, n);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) continue;
    long long& offset = read_to[n];
    if (info.st_size <= offset) continue;
    const std::string bytes = ReadFrom(path, offset, info.st_size);
    // Only whole lines count; a line being appended is counted next pass.
    const std::size_t whole = bytes.rfind("\r\n");
    if (whole == std::string::npos) continue;
    for (const JournalEntry& entry : ParseJournal(std::string_view(bytes).substr(0, whole + 2))) {
      switch (entry.state) {
        case Outcome::Sent: ++counts.sent; break;
        case Outcome::Failed: ++counts.failed; break;
        case Outcome::Delivered: ++counts.delivered; break;
        case Outcome::Undelivered: ++counts.undelivered; break;
        case Outcome::Skipped: break;
      }
    }
    offset += static_cast<long long>(whole + 2);
  }
  std::lock_guard lock(mutex_);
  day_ = today;
  read_to_ = std::move(read_to);
  counts_ = counts;
}

JournalTally::Counts JournalTally::Today() const {
  std::lock_guard lock(mutex_);
  return day_ == station_.Today() ? counts_ : Counts{};
}

std::string MetricsText(const Station& station, const JournalTally::Counts& sms, std::time_t now) {
  const std::string today = station.Today();
  const long filed = ReadMailboxCounter(station, today, kNewBox).value_or(0);
  const long sent = std::min(filed, ReadMailboxCounter(station, today, kSendBox).value_or(0));
  long long oldest = 0;
  if (filed > sent) {
    const std::string header = RecordFilePath(station, today, kNewBox, RecordPart::Header, sent + 1);
    if (auto at = StampSeconds(ReadRecordTime(header))) oldest = std::max<long long>(0, now - *at);
  }
  std::string text;
  Gauge(text, "tavrel_outbox_waiting_records", "Records in today's outbox the engine has not sent.");
  text += "tavrel_outbox_waiting_records " + std::to_string(std::max(0L, filed - sent)) + "\n";
  Gauge(text, "tavrel_outbox_oldest_waiting_seconds", "Age of the oldest waiting record.");
  text += "tavrel_outbox_oldest_waiting_seconds " + std::to_string(oldest) + "\n";
  Gauge(text, "tavrel_sms_today", "SMS of today's outbox by outcome, from the journals.");
  const std::pair<const char*, long> states[] = {{"sent", sms.sent},
                                                 {"failed", sms.failed},
                                                 {"delivered", sms.delivered},
                                                 {"undelivered", sms.undelivered}};
  for (const auto& [state, count] : states) {
    text += std::string("tavrel_sms_today{state=\"") + state + "\"} " + std::to_string(count) + "\n";
  }
  Gauge(text, "tavrel_received_today", "Messages filed in today's inbox.");
  text += "tavrel_received_today " +
          std::to_string(ReadMailboxCounter(station, today, kRecvBox).value_or(0)) + "\n";
  const std::optional<EngineStatus> engine = ReadEngineStatus(station);
  Gauge(text, "tavrel_modem_up", "Whether the modem's engine is up (1) or not (0).");
  if (engine) {
    for (const ModemStatus& modem : engine->modems) {
      text += "tavrel_modem_up{port=\"" + Label(modem.port) + "\"} " + (ModemUp(modem) ? "1" : "0") +
              "\n";
    }
  }
  Gauge(text, "tavrel_modem_last_cycle_timestamp_seconds", "When the modem last ended a cycle.");
  if (engine) {
    for (const ModemStatus& modem : engine->modems) {
      text += "tavrel_modem_last_cycle_timestamp_seconds{port=\"" + Label(modem.port) + "\"} " +
              std::to_string(modem.last_cycle) + "\n";
    }
  }
  struct statvfs disk {};
  const unsigned long long free_bytes =
      ::statvfs(station.root().c_str(), &disk) == 0
          ? static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize
          : 0;
  Gauge(text, "tavrel_disk_free_bytes", "Free space of the station's folder.");
  text += "tavrel_disk_free_bytes " + std::to_string(free_bytes) + "\n";
  return text;
}

Reply Health(const Station& station, std::time_t now) {
  if (auto unwritable = StoreUnwritable(station)) {
    return ErrorReply(503, "store not writable", *unwritable);
  }
  const std::optional<EngineStatus> engine = ReadEngineStatus(station);
  if (!engine) return ErrorReply(503, "engine silent", "the engine has written no status yet");
  const long long fresh =
      std::max<long long>(kFreshSeconds, kFreshCycles * engine->cycle_seconds);
  const long long age = static_cast<long long>(now) - engine->written;
  if (age > fresh) {
    return ErrorReply(503, "engine stale", "the engine's status is " + std::to_string(age) +
                                               " s old; fresh is within " + std::to_string(fresh) +
                                               " s");
  }
  nlohmann::json body = {{"status", "ok"}, {"engine_status_age_seconds", std::max(0LL, age)}};
  return {200, body.dump()};
}

}  // namespace tavrel::http
