#include "engine/receive_phase.h"

#include "engine/codec/cmgl_listing.h"
#include "engine/codec/pdu.h"
#include "engine/link.h"
#include "engine/phases.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "store/catalogue.h"
#include "store/inbox_writer.h"
#include "store/record_store.h"
#include "store/text.h"

namespace tavrel {
namespace {

constexpr std::string_view kDeleteCommand = "at+cmgd=";
constexpr std::string_view kLineEnd = "\r\n";

// The message is deleted before it is stored; the reply is traced only, so a
// message the modem failed to delete comes back only if it is still unread.
void DeleteFromModem(const CycleContext& cycle, std::string_view index) {
  const std::size_t room = kChunkSize - 1 - kDeleteCommand.size() - kLineEnd.size();
  const std::string command =
      std::string(kDeleteCommand) + std::string(index.substr(0, room)) + std::string(kLineEnd);
  cycle.trace.Printf("sends.... =%s\n", command.c_str());
  ExchangeOf(cycle).PauseBeforeCommand();
  WriteCommand(cycle.port, command);
  const std::string reply = ExchangeOf(cycle).ReadDeleteReply();
  cycle.trace.Printf("read....cmgdl=%s\n", reply.c_str());
}

// Each header line the phase looks at, and its first field, is traced with
// its SplitField result, the header after a start mark.
void TraceListingLine(EngineLog& trace, int result, const std::string& line) {
  trace.Printf("j=%d,jjjjjj.... =%s\n", result, line.c_str());
}

void TraceHeader(EngineLog& trace, int result, const std::string& header) {
  trace.Printf("--------------star....  \n");
  TraceListingLine(trace, result, header);
}

std::string MonitorBlock(long m, const std::string& stamp, const std::string& sender,
                         const std::string& text) {
  return std::to_string(m) + "  : " + stamp + "          " + sender + "\r\n    " + text +
         "\r\n\r\n";
}

// Message k of the cycle, filed as record m of recv.
void FileMessage(const CycleContext& cycle, long m, long k, std::string_view pdu_line) {
  EngineLog& trace = cycle.trace;
  const DeliverPdu pdu = ParseDeliverPdu(pdu_line);
  static const std::string sender_label = Gbk("手机号");
  trace.Printf("%s=%s\n", sender_label.c_str(), pdu.sender_field.c_str());
  const std::string& sender = pdu.sender;

  InboxWriter record(cycle.day, m,
                     {[&cycle] { cycle.pacer.Checkpoint(); },
                      [&trace](const std::string& file) {
                        trace.Printf("filename_err=%s\n", file.c_str());
                      }});
  record.WriteSender(sender);

  static const std::string content_label = Gbk("内容");
  trace.Printf("NRS=[%s],NRI=%zu\n", pdu.address_length.c_str(), pdu.user_data_offset);
  trace.Printf("%s=%s\n", content_label.c_str(), pdu.user_data.c_str());
  trace.Printf("CodeType =[%s]\n", pdu.type_code.c_str());
  trace.Printf("%s=%s\n", content_label.c_str(), pdu.text.c_str());
  record.WriteText(pdu.text);
  trace.Printf("filename3=%s\n", record.HeaderName().c_str());

  if (IsQuery(pdu.text)) {
    const std::string code = QueryCode(pdu.text);
    static const std::string query_label = Gbk("查询短信内容");
    static const std::string wide_comma = Gbk("，");
    trace.Printf("%s=[%s]%s[%s],[%s]\n", query_label.c_str(), pdu.text.c_str(), wide_comma.c_str(),
                 code.c_str(), sender.c_str());
    cycle.pacer.Checkpoint();
    QueueQueryReply(code, sender, &trace);
  }
  trace.Printf("chaxuncode=%s,ShouJiHao2=%s\n", pdu.text.c_str(), sender.c_str());

  const std::string stamp = TimeStampText(cycle.day);
  cycle.monitor.PrependText(MonitorBlock(m, stamp, sender, pdu.text), kMonitorResetAbove);

  record.WriteHeader(stamp);
  trace.Printf("!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!=%ld,%ld\n", m, k);

  if (record.CloseSender()) trace.Printf("fpr =%ld,%ld\n", m, k);
  if (record.CloseText()) trace.Printf("fpda =%ld,%ld\n", m, k);
  if (record.Count()) trace.Printf("fpacc =%ld,%ld\n", m, k);
  if (record.CloseHeader()) trace.Printf("fph =%ld,%ld\n", m, k);
}

}  // namespace

bool IsQuery(std::string_view text) { return !text.empty() && text[0] == '*'; }

std::string QueryCode(std::string_view text) {
  if (!IsQuery(text)) return {};
  const std::string_view copy = text.substr(0, kQueryCopyField - 1);
  return std::string(copy.substr(1, kQueryCodeLength));
}

void QueueQueryReply(std::string_view code, std::string_view sender, EngineLog* trace) {
  const std::string reply = InfoReplyText(code);
  const OutboxResult filed = WriteOutboxRecord(sender, reply);
  if (!filed && trace != nullptr) {
    trace->Printf("reply to %.*s not filed: %s\n", static_cast<int>(sender.size()), sender.data(),
                  filed.error().detail.c_str());
  }
}

void ReceivePhase(const CycleContext& cycle) {
  EngineLog& trace = cycle.trace;
  ExchangeOf(cycle).PauseBeforeCommand();
  WriteCommand(cycle.port, kListCommand);
  trace.Printf("read_cmgl_start... \n");
  // TS 27.005 3.4.2: after the echo, one "+CMGL: <index>,..." line and one
  // PDU line per message, then the closing lines. Lines that are not a
  // header (an unsolicited indication, a garbled line) end the listing
  // rather than delete an index taken from them; a message whose PDU line
  // did not arrive (a listing cut at its field) stays on the modem rather
  // than being deleted unstored.
  const std::string listing = ExchangeOf(cycle).ReadListing(kListCommand);
  const CmglListing cut = ParseCmglListing(listing, ListingNoise::kEndsListing);

  long k = 0;
  for (const ListingEntry& entry : cut.entries) {
    TraceHeader(trace, 0, entry.header);
    TraceListingLine(trace, 0, entry.first_field);
    DeleteFromModem(cycle, entry.index);
    trace.Printf("index=%d,cmgdl=%s\n", entry.pdu_line, entry.pdu.c_str());
    ++k;
    FileMessage(cycle, cycle.recv_acc + k, k, entry.pdu);
  }
  const ListingStop& stop = cut.stop;
  TraceHeader(trace, stop.header.result, stop.header.field);
  if (stop.first_field) TraceListingLine(trace, stop.first_field->result, stop.first_field->field);
  if (stop.pdu) trace.Printf("index=%d,cmgdl=%s\n", stop.pdu_line, stop.pdu->field.c_str());
  trace.Flush();
}

}  // namespace tavrel
