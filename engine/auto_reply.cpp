#include "engine/auto_reply.h"

#include "engine/phases.h"
#include "engine/receive_phase.h"
#include "platform/codepage.h"
#include "store/catalogue.h"
#include "store/optout.h"
#include "store/protection.h"
#include "store/record_store.h"
#include "store/reply_log.h"
#include "store/state_lines.h"

namespace tavrel {
namespace {

std::string RefusalMonitorText(ReplyRefusal refusal) {
  switch (refusal) {
    case ReplyRefusal::kAlphanumeric: return Gbk("字母发信人");
    case ReplyRefusal::kNotMobile: return Gbk("非手机号码");
    case ReplyRefusal::kOwnNumber: return Gbk("本机号码");
    case ReplyRefusal::kHourCap: return Gbk("一小时内回复已达上限");
    case ReplyRefusal::kNone: break;
  }
  return {};
}

void Show(const CycleContext& cycle, const std::string& text) {
  cycle.monitor.PrependText(text + "\r\n", kMonitorResetAbove);
}

}  // namespace

bool FileGuardedReply(const CycleContext& cycle, const Protection& protection, ReplyLog& replies,
                      const std::string& sender, bool alphanumeric, std::string_view reply) {
  const Station& station = cycle.station;
  const ReplyRefusal refusal =
      JudgeReply(protection, sender, alphanumeric, replies.RepliesWithinHour(sender));
  if (refusal != ReplyRefusal::kNone) {
    const std::string_view why = RefusalText(refusal);
    cycle.trace.Printf("no reply to %s: %.*s\n", sender.c_str(), static_cast<int>(why.size()),
                       why.data());
    const bool shown = replies.RefusalsWithinHour(sender) > 0;
    cycle.pacer.Checkpoint();
    replies.NoteRefusal(sender);
    if (!shown) Show(cycle, sender + Gbk("   不自动回复: ") + RefusalMonitorText(refusal));
    return false;
  }
  cycle.pacer.Checkpoint();
  // Noted before the counter makes the record visible, so the send phase
  // never meets the reply without knowing it as the station's own.
  std::string noted_day;
  const OutboxResult filed = WriteOutboxRecord(
      station, sender, reply, CounterRule::RestartBelowOne, [&](long n) {
        noted_day = station.Today();
        replies.NoteReply(noted_day, n, sender);
      });
  if (!filed) {
    cycle.trace.Printf("reply to %s not filed: %s\n", sender.c_str(),
                       filed.error().detail.c_str());
    return false;
  }
  const FiledRecord& record = filed.value();
  if (record.day != noted_day) replies.NoteReply(record.day, record.number, sender);
  return true;
}

void AnswerMessage(const CycleContext& cycle, const std::string& sender, bool alphanumeric,
                   const std::string& text) {
  const Station& station = cycle.station;
  const Protection protection = ReadProtection(station);
  ReplyLog replies(station, StationSeconds(station));
  const bool words = !protection.optout_words.empty() && !alphanumeric;
  if (words && IsOneOfWords(text, protection.optout_words)) {
    cycle.pacer.Checkpoint();
    AddOptOut(station, sender, station.Now().stamp);
    cycle.trace.Printf("opted out: %s\n", sender.c_str());
    Show(cycle, sender + Gbk("   已退订"));
    FileGuardedReply(cycle, protection, replies, sender, alphanumeric, protection.optout_reply);
    return;
  }
  if (words && IsOneOfWords(text, protection.optin_words)) {
    cycle.pacer.Checkpoint();
    RemoveOptOut(station, sender);
    cycle.trace.Printf("opted in: %s\n", sender.c_str());
    Show(cycle, sender + Gbk("   已重新订阅"));
    return;
  }
  if (!IsQuery(text)) return;
  FileGuardedReply(cycle, protection, replies, sender, alphanumeric,
                   InfoReplyText(station, QueryCode(text)));
}

}  // namespace tavrel
