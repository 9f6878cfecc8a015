#include "engine/send_phase.h"

#include <sys/statvfs.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "engine/codec/pdu.h"
#include "engine/exchange.h"
#include "engine/message_send.h"
#include "engine/phases.h"
#include "engine/recipient_send.h"
#include "engine/send_guards.h"
#include "platform/codepage.h"
#include "platform/station.h"
#include "store/catalogue.h"
#include "store/journal.h"
#include "store/recipient_list.h"
#include "store/record_store.h"
#include "store/settings.h"
#include "store/state_lines.h"
#include "store/text.h"

namespace tavrel {
namespace {

using std::chrono::milliseconds;

// Why a recipient was passed over, as the journal says it.
constexpr std::string_view kNotANumber = "not an 11-digit number";
constexpr std::string_view kOptedOutReason = "opted out";
// How long the engine waits before it tries a modem that failed it again,
// and a disk that could not record again (nominal, paced).
constexpr milliseconds kStationWait{10000};
constexpr milliseconds kDiskWait{10000};
// Below this much free space the next outcome might not fit; nothing is
// sent that could not be recorded.
constexpr unsigned long long kRoomToRecord = 64 * 1024;

const std::string& SentText() {
  static const std::string text = Gbk("    发送成功.\r\n");
  return text;
}
const std::string& FailedText() {
  static const std::string text = Gbk("    发送失败!!!!!\r\n");
  return text;
}
const std::string& StationFaultText() {
  static const std::string text = Gbk("    调制解调器故障，等待后重试: ");
  return text;
}
const std::string& DiskFullText() {
  static const std::string text = Gbk("!!! 磁盘无法写入发送记录，暂停发送: ");
  return text;
}
const std::string& DiskBackText() {
  static const std::string text = Gbk("发送记录已可写入，继续发送。\r\n");
  return text;
}
const std::string& CountLabel() {
  static const std::string text = Gbk("发送的个数");
  return text;
}

const Station& StationOf(const CycleContext& cycle) { return cycle.station; }

bool IsElevenDigits(const std::string& number) {
  return number.size() == kMobileNumberLength &&
         number.find_first_not_of("0123456789") == std::string::npos;
}

// One record being sent: its journal, what the journal said when the send
// began, and the text for all its recipients.
struct RecordSend {
  const CycleContext& cycle;
  SendGuards& guards;
  long n;
  const OutgoingMessage& message;
  JournalSummary done;
  JournalWriter journal;
  bool recorded = false;  // a line was written by this send
  bool own_reply = false;  // a reply of the station's, which no opt-out holds back
};

// Waits, paced, while the disk cannot take what must be recorded. The
// operator sees one line when it stops and one when it goes on.
template <typename Works>
void WhileDiskFails(const CycleContext& cycle, Works works) {
  std::string why;
  bool stopped = false;
  while (!works(&why)) {
    if (!stopped) {
      cycle.trace.Printf("%s; sending stops until it can be written\n", why.c_str());
      cycle.monitor.PrependText(DiskFullText() + why + "\r\n");
      stopped = true;
    }
    cycle.pacer.Pause(kDiskWait);
  }
  if (stopped) {
    cycle.trace.Printf("the disk takes the records again; sending goes on\n");
    cycle.monitor.PrependText(DiskBackText());
  }
}

void Record(RecordSend& send, long index, const std::string& number, Outcome state,
            std::string_view detail) {
  const JournalEntry entry{index, number, state,
                           StationOf(send.cycle).Now().stamp, std::string(detail)};
  AppendOutcome(send.cycle, send.journal, entry);
  send.recorded = true;
}

void EnsureRoomToRecord(const CycleContext& cycle, long n) {
  const std::string dir =
      std::filesystem::path(JournalPath(cycle.station, cycle.day, n)).parent_path().string();
  WhileDiskFails(cycle, [&](std::string* why) {
    struct statvfs fs {};
    if (::statvfs(dir.c_str(), &fs) != 0) return true;  // cannot tell: the append will
    const unsigned long long room =
        static_cast<unsigned long long>(fs.f_bavail) * static_cast<unsigned long long>(fs.f_frsize);
    if (room >= kRoomToRecord) return true;
    *why = "no room left on the disk of " + dir;
    return false;
  });
}

// Until the modem is itself again: a pause, then, when the modem may be
// stuck in its text mode or gone, ESC and AT until it answers OK.
void WaitForModem(const CycleContext& cycle, const SubmitResult& failure) {
  cycle.pacer.Pause(kStationWait);
  if (!failure.check_modem) return;
  while (!ExchangeOf(cycle).CheckModem()) cycle.pacer.Pause(kStationWait);
}

// Only ERROR and +CMS ERROR answers are attempts of the recipient; a
// permanent cause ends it at once, a fault of the station counts against
// nobody and is tried again once the modem is back, or, in a pool, handed
// back for another modem.
RecipientOutcome SendWithRetries(const CycleContext& cycle, const std::string& number,
                                 const SubmitPdu& pdu, const RecipientTurn& turn) {
  std::string last_error;
  for (int attempt = turn.attempts; attempt < kSendAttempts;) {
    const SubmitResult result = ExchangeOf(cycle).Submit(pdu, attempt);
    const std::string head = number + "   " + std::to_string(attempt);
    if (result.verdict == SubmitVerdict::kSent) {
      cycle.monitor.PrependText(head + SentText());
      return {number, Outcome::Sent, result.detail, attempt};
    }
    if (result.verdict == SubmitVerdict::kStationSide) {
      cycle.trace.Printf("%s: %s; not counted, the modem is waited for\n", number.c_str(),
                         result.detail.c_str());
      cycle.monitor.PrependText(head + StationFaultText() + result.detail + "\r\n");
      if (turn.hand_back_station_faults) {
        return {number, Outcome::Failed, result.detail, attempt, true, result.check_modem};
      }
      WaitForModem(cycle, result);
      continue;
    }
    cycle.monitor.PrependText(head + FailedText());
    last_error = result.detail;
    if (result.verdict == SubmitVerdict::kPermanent) break;
    ++attempt;
  }
  return {number, Outcome::Failed, last_error, kSendAttempts};
}

// Every part in order, each with its own attempts; the recipient is sent
// once the modem took them all, and the journal keeps their references.
// Where the engine counts SMS: the status's count of the day and the
// modem's caps.
void CountSent(const CycleContext& cycle, const RecipientTurn& turn, long sms) {
  if (cycle.sent_count) *cycle.sent_count += sms;
  if (turn.guards) turn.guards->CountSent(StationSeconds(cycle.station), sms);
}

// Every part in order, each with its own attempts; the recipient is sent
// once the modem took them all, and the journal keeps their references.
RecipientOutcome SendParts(const CycleContext& cycle, const std::string& number,
                           const std::vector<SubmitPdu>& pdus, const RecipientTurn& turn) {
  RecipientOutcome outcome{number, Outcome::Sent, ""};
  for (std::size_t part = 0; part < pdus.size(); ++part) {
    const RecipientOutcome sent = SendWithRetries(cycle, number, pdus[part], turn);
    if (sent.state != Outcome::Sent) return sent;
    CountSent(cycle, turn, 1);
    outcome.detail += (part == 0 ? "" : ",") + sent.detail;
    outcome.attempts = sent.attempts;
  }
  return outcome;
}

void SendToRecipientLine(RecordSend& send, long index, const std::string& line) {
  RecipientTurn turn;
  turn.guards = &send.guards;
  turn.own_reply = send.own_reply;
  turn.index = index;
  const RecipientOutcome outcome = SendToRecipient(send.cycle, send.n, send.message, line, turn);
  Record(send, index, outcome.number, outcome.state, outcome.detail);
}

// The hold on record n now, told once to the operator.
std::optional<Hold> HeldNow(const CycleContext& cycle, SendGuards& guards, long n) {
  const std::optional<Hold> hold = guards.HoldUntil(cycle.day, n, StationSeconds(cycle.station));
  if (!hold) return hold;
  cycle.trace.Printf("record %ld held until %lld\n", n, hold->until);
  if (guards.IsNewHold(*hold)) {
    cycle.monitor.PrependText(guards.modem_key() + " " + guards.HoldText(*hold) + "\r\n");
  }
  return hold;
}

// Resumes at the first recipient the journal does not finish: after a crash
// at most the one in flight goes out again, and none is passed over.
// False when a hold (quiet hours beginning, a cap reached) stopped it before
// a recipient; it resumes there.
bool SendToRecipients(const CycleContext& cycle, SendGuards& guards, long n,
                      RecipientReader& recipients, const OutgoingMessage& message) {
  const Station& station = StationOf(cycle);
  RecordSend send{cycle, guards, n, message, SummariseJournal(station, cycle.day, n),
                  JournalWriter(station, cycle.day, n)};
  send.own_reply = guards.IsOwnReply(cycle.day, n);
  bool forbidden = false;
  long index = 0;
  while (std::optional<std::string> line = recipients.Next()) {
    ++index;
    if (send.done.Finished(index)) continue;
    forbidden = forbidden || IsForbidden(*line) || ForbiddenNow(cycle, n);
    if (forbidden) {
      // A record forbidden before it began has no journal at all.
      if (send.done.Empty() && !send.recorded) return true;
      std::string key = RecipientKey(*line);
      if (!key.empty() && key[0] == kForbidMark) key.erase(0, 1);
      Record(send, index, key, Outcome::Skipped, kForbiddenReason);
      continue;
    }
    if (HeldNow(cycle, guards, n)) return false;
    SendToRecipientLine(send, index, *line);
  }
  return true;
}

// The record counts as handled once every recipient has an outcome: a
// record that cannot be read is traced and passed over, never retried in a
// loop. False while a hold keeps it, or part of it, for later.
bool SendRecord(const CycleContext& cycle, SendGuards& guards, long n) {
  EngineLog& trace = cycle.trace;
  if (HeldNow(cycle, guards, n)) return false;
  trace.Printf("star....%ld,accI_new=%ld,accI_recv=%ld,acc_send=%ld\n", n, cycle.new_acc,
               cycle.recv_acc, cycle.send_acc);
  if (const std::optional<OutgoingMessage> message = ReadOutgoingMessage(cycle, n)) {
    const std::string recipients_path =
        RecordFileName(cycle.day, kNewBox, RecordPart::Recipients, n);
    RecipientReader recipients(
        RecordFilePath(cycle.station, cycle.day, kNewBox, RecordPart::Recipients, n));
    if (!recipients.ok()) {
      trace.Printf("record %ld: %s cannot be read; nothing sent, the record counts as handled\n",
                   n, recipients_path.c_str());
    } else if (!SendToRecipients(cycle, guards, n, recipients, *message)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<OutgoingMessage> ReadOutgoingMessage(const CycleContext& cycle, long n) {
  EngineLog& trace = cycle.trace;
  const std::string text_path = RecordFileName(cycle.day, kNewBox, RecordPart::Text, n);
  const std::optional<std::string> content =
      ReadRecordFile(cycle.station, cycle.day, kNewBox, RecordPart::Text, n);
  trace.Printf("new-name=%s\n", text_path.c_str());
  if (!content) {
    trace.Printf("record %ld: %s cannot be read; nothing sent, the record counts as handled\n", n,
                 text_path.c_str());
    return std::nullopt;
  }
  const MessageText message = FirstLineOfText(*content);
  if (message.cut) {
    trace.Printf("record %ld: the first line of %s is longer than %zu bytes; its start is sent\n",
                 n, text_path.c_str(), kMessageTextField - 1);
  }
  trace.Printf("sms_neirong=[%s]\n", message.text.c_str());
  char hex_length[16];
  std::snprintf(hex_length, sizeof hex_length, "%02zX", message.text.size());
  trace.Printf("len2=%s,%zu\n", hex_length, message.text.size());
  std::string user_data = SubmitUserData(message.text);
  trace.Printf("sms_neirong_2=[%s]\n", user_data.c_str());
  return PrepareOutgoing(cycle, n, *content, std::move(user_data));
}

// The forbid button marks R<n> while it is being sent; the mark is looked
// for before every recipient.
bool ForbiddenNow(const CycleContext& cycle, long n) {
  const std::optional<std::string> head =
      ReadRecordField(cycle.station, cycle.day, kNewBox, RecordPart::Recipients, n, 2);
  return head && IsForbidden(*head);
}


void WriteSendCounter(const CycleContext& cycle, long value) {
  cycle.pacer.Checkpoint();
  // A counter that moves past no record sent in this cycle records nothing
  // new: a failure to rewrite it loses nothing and must not hold up the
  // receive phase while the disk is full.
  const std::optional<long> stored = ReadMailboxCounter(cycle.station, cycle.day, kSendBox);
  if (value <= cycle.send_acc || (stored && *stored == value)) {
    WriteMailboxCounter(cycle.station, cycle.day, kSendBox, value);
    return;
  }
  WhileDiskFails(cycle, [&](std::string* why) {
    if (WriteMailboxCounter(cycle.station, cycle.day, kSendBox, value)) return true;
    *why = "the send counter " + CounterFileName(cycle.day, kSendBox) + " cannot be written";
    return false;
  });
}

void AppendOutcome(const CycleContext& cycle, JournalWriter& journal, const JournalEntry& entry) {
  cycle.pacer.Checkpoint();
  WhileDiskFails(cycle, [&](std::string* why) {
    if (journal.Append(entry)) return true;
    *why = journal.error();
    return false;
  });
}

RecipientOutcome SendToRecipient(const CycleContext& cycle, long n, const OutgoingMessage& message,
                                 const std::string& line, const RecipientTurn& turn) {
  EngineLog& trace = cycle.trace;
  trace.Printf("name=[%s]\n", line.c_str());
  const std::string key = RecipientKey(line);
  trace.Printf("name3=[%s]\n", key.c_str());
  std::string number = ResolveRecipient(cycle.station, key);
  if (number.size() > kMaxLookedUpNumber) {
    return {number, Outcome::Skipped, std::string(kNotANumber)};
  }
  trace.Printf("name4=[%s]\n", key.c_str());
  TrimLine(number);
  trace.Printf("shouji_code=[%s],strlen(ShouJiHao)=%zu\n", number.c_str(), number.size());
  // Nothing but digits reaches the modem outside the PDU's hex: a control
  // byte in a number would end or cancel the PDU (ESC, Ctrl-Z).
  if (!IsElevenDigits(number)) return {number, Outcome::Skipped, std::string(kNotANumber)};
  if (turn.guards && !turn.own_reply && turn.guards->OptedOut(number)) {
    return {number, Outcome::Skipped, std::string(kOptedOutReason)};
  }
  trace.Printf("shouji_code2=%s\n", SwapDigits(number).c_str());

  // Read for every recipient, so a service centre saved in the settings tab
  // takes effect with the next message.
  const std::string centre = ReadSetting(cycle.station, settings::kEngineSmsCode);
  trace.Printf("smsCO1=[%s]\n", centre.c_str());
  trace.Printf("smsCO2=[%s]\n", SwapDigits(centre).c_str());
  const std::vector<SubmitPdu> pdus = RecipientPdus(cycle, message, centre, number);
  for (const SubmitPdu& pdu : pdus) {
    trace.Printf("sms_neirong_3=[%s]\n", pdu.user_data.c_str());
    trace.Printf("sms_neirong_2=[%s]\n", pdu.user_data.c_str());
    const std::string without_end_mark = pdu.text.substr(0, pdu.text.size() - 1);
    trace.Printf("sms_ss=[%s]\n", without_end_mark.c_str());
    trace.Printf("--%zu,ss_sms=%s\n", pdu.text.size(), pdu.text.c_str());
  }
  EnsureRoomToRecord(cycle, n);
  const RecipientOutcome outcome = SendParts(cycle, number, pdus, turn);
  if (outcome.state == Outcome::Sent) {
    NoteForReports(cycle, message, n, turn.index, number, outcome.detail);
  }
  return outcome;
}

MessageText FirstLineOfText(std::string_view content) {
  MessageText message;
  const std::size_t end = content.find_first_of(std::string_view("\r\n\0", 3));
  std::string_view line = content.substr(0, end);
  const std::size_t room = kMessageTextField - 1;
  if (line.size() > room) {
    message.cut = true;
    std::size_t keep = 0;
    while (keep < line.size()) {
      const std::size_t width = IsGbkLeadByte(line[keep]) ? 2 : 1;
      if (keep + width > room) break;
      keep += width;
    }
    line = line.substr(0, keep);
  }
  message.text = std::string(line);
  return message;
}

void SendPhase(const CycleContext& cycle) {
  std::optional<SendGuards> own_guards;
  SendGuards& guards = cycle.guards ? *cycle.guards : own_guards.emplace(cycle.station, "COM");
  // A held record holds none behind it, but send's acc covers only the
  // records before the first one held.
  bool held = false;
  for (long n = cycle.send_acc + 1; n <= cycle.new_acc; ++n) {
    const bool handled = SendRecord(cycle, guards, n);
    held = held || !handled;
    if (!handled) continue;
    if (!held) WriteSendCounter(cycle, n);
    cycle.trace.Printf("####end....%ld,accI_new=%ld,accI_recv=%ld,acc_send=%ld\n", n,
                       cycle.new_acc, cycle.recv_acc, cycle.send_acc);
  }

  EngineLog& trace = cycle.trace;
  trace.Printf("accI_new=%ld,accI_recv=%ld,acc_send=%ld\n", cycle.new_acc, cycle.recv_acc,
               cycle.send_acc);
  trace.Printf("%s !!!!!!!!!!!!!=%ld\n", CountLabel().c_str(), cycle.new_acc);
  // Also when new_acc is smaller: the day's books close at what was read at
  // the top of the cycle, and records filed since then stay above it.
  if (!held) WriteSendCounter(cycle, cycle.new_acc);
  trace.Printf("===============================================accI_new=%ld\n", cycle.new_acc);
}

CycleContext CycleOnDay(const CycleContext& cycle, const std::string& day, long send_acc) {
  CycleContext on_day{cycle.station, day,         send_acc,    0,
                      0,             cycle.port,  cycle.pacer, cycle.trace,
                      cycle.monitor, &ExchangeOf(cycle)};
  on_day.sent_count = cycle.sent_count;
  on_day.filing = cycle.filing;
  on_day.guards = cycle.guards;
  on_day.modem = cycle.modem;
  return on_day;
}

Exchange& ExchangeOf(const CycleContext& cycle) {
  if (cycle.exchange != nullptr) return *cycle.exchange;
  if (!cycle.fixed_exchange) {
    cycle.fixed_exchange = MakeExchange(Pace::kFixed, cycle.port, cycle.pacer, cycle.trace);
  }
  return *cycle.fixed_exchange;
}

}  // namespace tavrel
