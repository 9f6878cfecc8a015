#include "engine/send_phase.h"

#include <sys/statvfs.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "engine/codec/pdu.h"
#include "engine/exchange.h"
#include "engine/message_send.h"
#include "engine/phases.h"
#include "platform/codepage.h"
#include "platform/station.h"
#include "platform/textfile.h"
#include "store/catalogue.h"
#include "store/journal.h"
#include "store/recipient_list.h"
#include "store/record_store.h"
#include "store/settings.h"
#include "store/text.h"

namespace tavrel {
namespace {

using std::chrono::milliseconds;

// Why a recipient was passed over, as the journal says it.
constexpr std::string_view kNotANumber = "not an 11-digit number";
constexpr std::string_view kForbiddenReason = "forbidden";
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
  long n;
  const OutgoingMessage& message;
  JournalSummary done;
  JournalWriter journal;
  bool recorded = false;  // a line was written by this send
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
  send.cycle.pacer.Checkpoint();
  WhileDiskFails(send.cycle, [&](std::string* why) {
    if (send.journal.Append(entry)) return true;
    *why = send.journal.error();
    return false;
  });
  send.recorded = true;
}

void EnsureRoomToRecord(RecordSend& send) {
  const std::string dir = std::filesystem::path(send.journal.path()).parent_path().string();
  WhileDiskFails(send.cycle, [&](std::string* why) {
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

struct RecipientOutcome {
  Outcome state;
  std::string detail;
};

// Only ERROR and +CMS ERROR answers are attempts of the recipient; a
// permanent cause ends it at once, a fault of the station counts against
// nobody and is tried again once the modem is back.
RecipientOutcome SendWithRetries(const CycleContext& cycle, const std::string& number,
                                 const SubmitPdu& pdu) {
  std::string last_error;
  for (int attempt = 0; attempt < kSendAttempts;) {
    const SubmitResult result = ExchangeOf(cycle).Submit(pdu, attempt);
    const std::string head = number + "   " + std::to_string(attempt);
    if (result.verdict == SubmitVerdict::kSent) {
      cycle.monitor.PrependText(head + SentText());
      return {Outcome::Sent, result.detail};
    }
    if (result.verdict == SubmitVerdict::kStationSide) {
      cycle.trace.Printf("%s: %s; not counted, the modem is waited for\n", number.c_str(),
                         result.detail.c_str());
      cycle.monitor.PrependText(head + StationFaultText() + result.detail + "\r\n");
      WaitForModem(cycle, result);
      continue;
    }
    cycle.monitor.PrependText(head + FailedText());
    last_error = result.detail;
    if (result.verdict == SubmitVerdict::kPermanent) break;
    ++attempt;
  }
  return {Outcome::Failed, last_error};
}

// Every part in order, each with its own attempts; the recipient is sent
// once the modem took them all, and the journal keeps their references.
RecipientOutcome SendParts(const CycleContext& cycle, const std::string& number,
                           const std::vector<SubmitPdu>& pdus) {
  RecipientOutcome outcome{Outcome::Sent, ""};
  for (std::size_t part = 0; part < pdus.size(); ++part) {
    const RecipientOutcome sent = SendWithRetries(cycle, number, pdus[part]);
    if (sent.state != Outcome::Sent) return sent;
    if (cycle.sent_count) ++*cycle.sent_count;
    outcome.detail += (part == 0 ? "" : ",") + sent.detail;
  }
  return outcome;
}

void SendToRecipientLine(RecordSend& send, long index, const std::string& line) {
  const CycleContext& cycle = send.cycle;
  EngineLog& trace = cycle.trace;
  trace.Printf("name=[%s]\n", line.c_str());
  const std::string key = RecipientKey(line);
  trace.Printf("name3=[%s]\n", key.c_str());
  std::string number = ResolveRecipient(cycle.station, key);
  if (number.size() > kMaxLookedUpNumber) {
    Record(send, index, number, Outcome::Skipped, kNotANumber);
    return;
  }
  trace.Printf("name4=[%s]\n", key.c_str());
  TrimLine(number);
  trace.Printf("shouji_code=[%s],strlen(ShouJiHao)=%zu\n", number.c_str(), number.size());
  // Nothing but digits reaches the modem outside the PDU's hex: a control
  // byte in a number would end or cancel the PDU (ESC, Ctrl-Z).
  if (!IsElevenDigits(number)) {
    Record(send, index, number, Outcome::Skipped, kNotANumber);
    return;
  }
  trace.Printf("shouji_code2=%s\n", SwapDigits(number).c_str());

  // Read for every recipient, so a service centre saved in the settings tab
  // takes effect with the next message.
  const std::string centre = ReadSetting(cycle.station, settings::kEngineSmsCode);
  trace.Printf("smsCO1=[%s]\n", centre.c_str());
  trace.Printf("smsCO2=[%s]\n", SwapDigits(centre).c_str());
  const std::vector<SubmitPdu> pdus = RecipientPdus(cycle, send.message, centre, number);
  for (const SubmitPdu& pdu : pdus) {
    trace.Printf("sms_neirong_3=[%s]\n", pdu.user_data.c_str());
    trace.Printf("sms_neirong_2=[%s]\n", pdu.user_data.c_str());
    const std::string without_end_mark = pdu.text.substr(0, pdu.text.size() - 1);
    trace.Printf("sms_ss=[%s]\n", without_end_mark.c_str());
    trace.Printf("--%zu,ss_sms=%s\n", pdu.text.size(), pdu.text.c_str());
  }
  EnsureRoomToRecord(send);
  const RecipientOutcome outcome = SendParts(cycle, number, pdus);
  if (outcome.state == Outcome::Sent) {
    NoteForReports(cycle, send.message, send.n, index, number, outcome.detail);
  }
  Record(send, index, number, outcome.state, outcome.detail);
}

// The forbid button marks R<n> while it is being sent; the mark is looked
// for before every recipient.
bool ForbiddenNow(const CycleContext& cycle, long n) {
  const std::optional<std::string> head =
      ReadRecordField(cycle.station, cycle.day, kNewBox, RecordPart::Recipients, n, 2);
  return head && IsForbidden(*head);
}

// Resumes at the first recipient the journal does not finish: after a crash
// at most the one in flight goes out again, and none is passed over.
void SendToRecipients(const CycleContext& cycle, long n, RecipientReader& recipients,
                      const OutgoingMessage& message) {
  const Station& station = StationOf(cycle);
  RecordSend send{cycle, n, message, SummariseJournal(station, cycle.day, n),
                  JournalWriter(station, cycle.day, n)};
  bool forbidden = false;
  long index = 0;
  while (std::optional<std::string> line = recipients.Next()) {
    ++index;
    if (send.done.Finished(index)) continue;
    forbidden = forbidden || IsForbidden(*line) || ForbiddenNow(cycle, n);
    if (forbidden) {
      // A record forbidden before it began has no journal at all.
      if (send.done.Empty() && !send.recorded) return;
      std::string key = RecipientKey(*line);
      if (!key.empty() && key[0] == kForbidMark) key.erase(0, 1);
      Record(send, index, key, Outcome::Skipped, kForbiddenReason);
      continue;
    }
    SendToRecipientLine(send, index, *line);
  }
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

// The record counts as handled once every recipient has an outcome: a
// record that cannot be read is traced and passed over, never retried in a
// loop.
void SendRecord(const CycleContext& cycle, long n) {
  EngineLog& trace = cycle.trace;
  trace.Printf("star....%ld,accI_new=%ld,accI_recv=%ld,acc_send=%ld\n", n, cycle.new_acc,
               cycle.recv_acc, cycle.send_acc);
  const std::string text_path = RecordFileName(cycle.day, kNewBox, RecordPart::Text, n);
  const std::optional<std::string> content =
      ReadRecordFile(cycle.station, cycle.day, kNewBox, RecordPart::Text, n);
  trace.Printf("new-name=%s\n", text_path.c_str());
  if (!content) {
    trace.Printf("record %ld: %s cannot be read; nothing sent, the record counts as handled\n", n,
                 text_path.c_str());
  } else {
    const MessageText message = FirstLineOfText(*content);
    if (message.cut) {
      trace.Printf("record %ld: the first line of %s is longer than %zu bytes; its start is sent\n",
                   n, text_path.c_str(), kMessageTextField - 1);
    }
    trace.Printf("sms_neirong=[%s]\n", message.text.c_str());
    char hex_length[16];
    std::snprintf(hex_length, sizeof hex_length, "%02zX", message.text.size());
    trace.Printf("len2=%s,%zu\n", hex_length, message.text.size());
    const std::string user_data = SubmitUserData(message.text);
    trace.Printf("sms_neirong_2=[%s]\n", user_data.c_str());

    const std::string recipients_path =
        RecordFileName(cycle.day, kNewBox, RecordPart::Recipients, n);
    RecipientReader recipients(
        RecordFilePath(cycle.station, cycle.day, kNewBox, RecordPart::Recipients, n));
    if (!recipients.ok()) {
      trace.Printf("record %ld: %s cannot be read; nothing sent, the record counts as handled\n",
                   n, recipients_path.c_str());
    } else {
      SendToRecipients(cycle, n, recipients, PrepareOutgoing(cycle, n, *content, user_data));
    }
  }
  WriteSendCounter(cycle, n);
  trace.Printf("####end....%ld,accI_new=%ld,accI_recv=%ld,acc_send=%ld\n", n, cycle.new_acc,
               cycle.recv_acc, cycle.send_acc);
}

}  // namespace

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
  for (long n = cycle.send_acc + 1; n <= cycle.new_acc; ++n) SendRecord(cycle, n);

  EngineLog& trace = cycle.trace;
  trace.Printf("accI_new=%ld,accI_recv=%ld,acc_send=%ld\n", cycle.new_acc, cycle.recv_acc,
               cycle.send_acc);
  trace.Printf("%s !!!!!!!!!!!!!=%ld\n", CountLabel().c_str(), cycle.new_acc);
  // Also when new_acc is smaller: the day's books close at what was read at
  // the top of the cycle, and records filed since then stay above it.
  WriteSendCounter(cycle, cycle.new_acc);
  trace.Printf("===============================================accI_new=%ld\n", cycle.new_acc);
}

Exchange& ExchangeOf(const CycleContext& cycle) {
  if (cycle.exchange != nullptr) return *cycle.exchange;
  if (!cycle.fixed_exchange) {
    cycle.fixed_exchange = MakeExchange(Pace::kFixed, cycle.port, cycle.pacer, cycle.trace);
  }
  return *cycle.fixed_exchange;
}

}  // namespace tavrel
