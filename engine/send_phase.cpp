#include "engine/send_phase.h"

#include <cstdio>
#include <optional>

#include "engine/codec/pdu.h"
#include "engine/link.h"
#include "engine/phases.h"
#include "platform/codepage.h"
#include "store/catalogue.h"
#include "store/record_store.h"
#include "store/settings.h"
#include "store/text.h"

namespace tavrel {
namespace {

const std::string& StartSendingMark() {
  static const std::string text = Gbk("开始发送");
  return text;
}
const std::string& EndSendingMark() {
  static const std::string text = Gbk(" 发送结束");
  return text;
}
const std::string& SentText() {
  static const std::string text = Gbk("    发送成功.\r\n");
  return text;
}
const std::string& FailedText() {
  static const std::string text = Gbk("    发送失败!!!!!\r\n");
  return text;
}
const std::string& CountLabel() {
  static const std::string text = Gbk("发送的个数");
  return text;
}

const char* LastChars(const std::string& text, std::size_t count) {
  return text.c_str() + (text.size() < count ? 0 : text.size() - count);
}

// One attempt: the length line, the PDU after the modem had time to prompt,
// and the reply judged by its last line.
bool SendOnce(const CycleContext& cycle, const SubmitPdu& pdu, int attempt) {
  EngineLog& trace = cycle.trace;
  trace.Printf("----------------------%s---------------%d\n", StartSendingMark().c_str(), attempt);
  const std::string command = "at+cmgs=" + std::to_string(pdu.announced_length) + "\r\n";
  trace.Printf("cmgs=%s\n", command.c_str());
  cycle.pacer.Pause(kCommandPause);
  WriteCommand(cycle.port, command);
  trace.Printf("~~~~~~~~~~~~~cmgs=%s\n", pdu.text.c_str());
  cycle.pacer.Pause(kPromptPause);
  WriteCommand(cycle.port, pdu.text);
  cycle.pacer.Pause(kReplyPause);
  const std::string reply = ReadReply(cycle.port);
  trace.Printf("str_end=%s\n", LastChars(reply, 4));
  trace.Printf("read_com1(cmgs)=%s\n", reply.c_str());
  trace.Printf("----------------------%s---------------\n", EndSendingMark().c_str());
  return ReplyEndsWithOk(reply);
}

void SendWithRetries(const CycleContext& cycle, const std::string& number, const SubmitPdu& pdu) {
  for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
    const bool sent = SendOnce(cycle, pdu, attempt);
    cycle.monitor.PrependText(number + "   " + std::to_string(attempt) +
                              (sent ? SentText() : FailedText()));
    if (sent) return;
  }
}

// One line of R<n>; false when the line ends the recipient list.
bool SendToRecipientLine(const CycleContext& cycle, const std::string& line,
                         const std::string& user_data) {
  if (IsForbidden(line)) return false;
  EngineLog& trace = cycle.trace;
  trace.Printf("name=[%s]\n", line.c_str());
  const std::string key = RecipientKey(line);
  trace.Printf("name3=[%s]\n", key.c_str());
  std::string number = ResolveRecipient(cycle.station, key);
  if (number.size() > kMaxLookedUpNumber) return true;
  trace.Printf("name4=[%s]\n", key.c_str());
  TrimLine(number);
  trace.Printf("shouji_code=[%s],strlen(ShouJiHao)=%zu\n", number.c_str(), number.size());
  if (number.size() != kMobileNumberLength) return true;
  trace.Printf("shouji_code2=%s\n", SwapDigits(number).c_str());

  // Read for every recipient, so a service centre saved in the settings tab
  // takes effect with the next message.
  const std::string centre = ReadSetting(cycle.station, settings::kEngineSmsCode);
  trace.Printf("smsCO1=[%s]\n", centre.c_str());
  trace.Printf("smsCO2=[%s]\n", SwapDigits(centre).c_str());
  const SubmitPdu pdu = AssembleSubmitPdu(centre, number, user_data);
  trace.Printf("sms_neirong_3=[%s]\n", user_data.c_str());
  trace.Printf("sms_neirong_2=[%s]\n", user_data.c_str());
  const std::string without_end_mark = pdu.text.substr(0, pdu.text.size() - 1);
  trace.Printf("sms_ss=[%s]\n", without_end_mark.c_str());
  trace.Printf("--%zu,ss_sms=%s\n", pdu.text.size(), pdu.text.c_str());
  SendWithRetries(cycle, number, pdu);
  return true;
}

// The record counts as handled whatever came of it: a record that cannot be
// read is traced and passed over, never retried in a loop.
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
    const std::optional<std::string> recipients =
        ReadRecordFile(cycle.station, cycle.day, kNewBox, RecordPart::Recipients, n);
    if (!recipients) {
      trace.Printf("record %ld: %s cannot be read; nothing sent, the record counts as handled\n",
                   n, recipients_path.c_str());
    } else {
      for (const std::string& line : RecipientLines(*recipients)) {
        if (!SendToRecipientLine(cycle, line, user_data)) break;
      }
    }
  }
  cycle.pacer.Checkpoint();
  if (!WriteMailboxCounter(cycle.station, cycle.day, kSendBox, n)) {
    trace.Printf("record %ld: the send counter could not be written\n", n);
  }
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

std::vector<std::string> RecipientLines(std::string_view content) {
  std::vector<std::string> lines;
  const std::size_t piece = kRecipientLineField - 1;
  std::size_t at = 0;
  while (at < content.size()) {
    std::size_t end = content.find('\n', at);
    end = end == std::string_view::npos ? content.size() : end + 1;
    if (end - at > piece) end = at + piece;
    lines.emplace_back(UpToNul(content.substr(at, end - at)));
    at = end;
  }
  return lines;
}

std::string RecipientKey(std::string_view line) {
  std::string key = SplitField(line, 1, ';').field;
  TrimLine(key);
  return key;
}

void SendPhase(const CycleContext& cycle) {
  for (long n = cycle.send_acc + 1; n <= cycle.new_acc; ++n) SendRecord(cycle, n);

  EngineLog& trace = cycle.trace;
  trace.Printf("accI_new=%ld,accI_recv=%ld,acc_send=%ld\n", cycle.new_acc, cycle.recv_acc,
               cycle.send_acc);
  trace.Printf("%s !!!!!!!!!!!!!=%ld\n", CountLabel().c_str(), cycle.new_acc);
  // Also when new_acc is smaller: the day's books close at what was read at
  // the top of the cycle, and records filed since then stay above it.
  cycle.pacer.Checkpoint();
  WriteMailboxCounter(cycle.station, cycle.day, kSendBox, cycle.new_acc);
  trace.Printf("===============================================accI_new=%ld\n", cycle.new_acc);
}

}  // namespace tavrel
