#include "console/send_progress.h"

#include <cmath>

#include "platform/codepage.h"
#include "store/recipient_list.h"
#include "store/record_store.h"

namespace tavrel::console {
namespace {

std::string Duration(long seconds) {
  if (seconds < 60) return std::to_string(seconds) + Gbk(" 秒");
  const long minutes = (seconds + 59) / 60;
  if (minutes < 60) return std::to_string(minutes) + Gbk(" 分");
  return std::to_string(minutes / 60) + Gbk(" 小时 ") + std::to_string(minutes % 60) + Gbk(" 分");
}

}  // namespace

std::string ProgressText(const SendProgress& progress) {
  if (progress.record == 0) return {};
  std::string text = Gbk("正在发送第 ") + std::to_string(progress.record) + Gbk(" 条：") +
                     std::to_string(progress.done()) + "/" + std::to_string(progress.recipients) +
                     "\n" + Gbk("已发 ") + std::to_string(progress.sent) + Gbk("，失败 ") +
                     std::to_string(progress.failed) + Gbk("，跳过 ") +
                     std::to_string(progress.skipped);
  if (progress.seconds_left) text += "\n" + Gbk("约剩 ") + Duration(*progress.seconds_left);
  return text;
}

SendProgress SendProgressReader::Read(const std::string& today) {
  const std::optional<long> written = ReadMailboxCounter(station_, today, kNewBox, kViewCounterBytes);
  const std::optional<long> handled = ReadMailboxCounter(station_, today, kSendBox, kViewCounterBytes);
  const long n = handled && *handled >= 1 ? *handled + 1 : 1;
  if (!written || n > *written) return {};
  if (today != day_ || n != record_ || !follower_) {
    day_ = today;
    record_ = n;
    recipients_ = CountRecipients(station_, today, n).value_or(0);
    follower_ = std::make_unique<JournalFollower>(station_, today, n);
  }
  follower_->Update();
  const JournalSummary& summary = follower_->summary();
  if (summary.Empty()) return {};

  SendProgress progress;
  progress.record = n;
  progress.sent = summary.Count(Outcome::Sent);
  progress.failed = summary.Count(Outcome::Failed);
  progress.skipped = summary.Count(Outcome::Skipped);
  progress.recipients = std::max(recipients_, progress.done());
  if (const std::optional<double> rate = follower_->Rate()) {
    progress.seconds_left =
        std::lround(static_cast<double>(progress.recipients - progress.done()) / *rate);
  }
  return progress;
}

}  // namespace tavrel::console
