#include "engine/receive_phase.h"

#include <cstdlib>
#include <ctime>
#include <mutex>

#include "engine/auto_reply.h"
#include "engine/codec/cmgl_listing.h"
#include "engine/codec/pdu.h"
#include "engine/codec/sms_decoder.h"
#include "engine/delivery_reports.h"
#include "engine/link.h"
#include "engine/phases.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/station.h"
#include "store/fingerprints.h"
#include "store/inbox_writer.h"
#include "store/part_store.h"
#include "store/record_store.h"
#include "store/settings.h"
#include "store/text.h"

namespace tavrel {
namespace {

constexpr std::string_view kDeleteCommand = "at+cmgd=";
constexpr std::string_view kLineEnd = "\r\n";
constexpr const char* kNotFiledText = "!!! 短信未能存盘，仍留在短信猫中，存储恢复后再存。\r\n";
// In place of each part of a long message that never came.
constexpr const char* kMissingPart = "[…]";
constexpr std::time_t kSecondsPerHour = 60 * 60;

const Station& PhaseStation(const CycleContext& cycle) { return cycle.station; }

std::string ReadCycleListing(const CycleContext& cycle) {
  return ExchangeOf(cycle).ReadListing(kListCommand);
}

std::string ReadDeleteReply(const CycleContext& cycle) {
  return ExchangeOf(cycle).ReadDeleteReply();
}

// A message is deleted only once it is filed (or kept as a part); the reply
// is traced only, as a message the modem failed to delete is listed again
// and recognised by its fingerprint.
void DeleteFromModem(const CycleContext& cycle, std::string_view index) {
  const std::size_t room = kChunkSize - 1 - kDeleteCommand.size() - kLineEnd.size();
  const std::string command =
      std::string(kDeleteCommand) + std::string(index.substr(0, room)) + std::string(kLineEnd);
  cycle.trace.Printf("sends.... =%s\n", command.c_str());
  ExchangeOf(cycle).PauseBeforeCommand();
  WriteCommand(cycle.port, command);
  const std::string reply = ReadDeleteReply(cycle);
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

// The line after the last message, where the listing's closing lines begin.
void TraceListingEnd(EngineLog& trace, std::string_view listing, const CmglListing& cut) {
  const ListingStop& stop = cut.stop;
  if (stop.reason == ListingEnd::kNoPduLine) {
    TraceHeader(trace, stop.header.result, stop.header.field);
    if (stop.first_field) TraceListingLine(trace, stop.first_field->result, stop.first_field->field);
    if (stop.pdu) trace.Printf("index=%d,cmgdl=%s\n", stop.pdu_line, stop.pdu->field.c_str());
    return;
  }
  const int line = cut.entries.empty() ? 2 : cut.entries.back().pdu_line + 1;
  const SplitResult header = SplitField(listing, line, '\n');
  TraceHeader(trace, header.result, header.field);
  if (header.result == 0) {
    const SplitResult first = SplitField(header.field, 1, ',');
    TraceListingLine(trace, first.result, first.field);
  }
}

std::string MonitorBlock(long m, const std::string& stamp, const std::string& sender,
                         const std::string& text) {
  return std::to_string(m) + "  : " + stamp + "          " + sender + "\r\n    " + text +
         "\r\n\r\n";
}

// The listed PDU as the trace has always shown it (the fixed positions of
// the usual 13-digit sender), then what the decoder made of it.
void TracePdu(EngineLog& trace, std::string_view line, const DecodedSms& sms) {
  const DeliverPdu pdu = ParseDeliverPdu(line);
  static const std::string sender_label = Gbk("手机号");
  static const std::string content_label = Gbk("内容");
  trace.Printf("%s=%s\n", sender_label.c_str(), pdu.sender_field.c_str());
  trace.Printf("NRS=[%s],NRI=%zu\n", pdu.address_length.c_str(), pdu.user_data_offset);
  trace.Printf("%s=%s\n", content_label.c_str(), pdu.user_data.c_str());
  trace.Printf("CodeType =[%s]\n", pdu.type_code.c_str());
  trace.Printf("%s=%s\n", content_label.c_str(), sms.text.c_str());
  if (!sms.error.empty()) trace.Printf("pdu_err=%s,%zu\n", sms.error.c_str(), sms.read_up_to);
}

long PartWaitHours(const Station& station) {
  const long hours = std::atol(ReadSetting(station, settings::kPartWait).c_str());
  return hours < 0 ? 0 : hours;
}

std::time_t NowSeconds(const Station& station) {
  std::tm local = station.clock().LocalNow();
  return std::mktime(&local);
}

struct Received {
  std::string sender;  // as R holds it
  bool alphanumeric = false;
  std::string text;
};

// What one receive phase carries from message to message.
struct Receiving {
  Receiving(const CycleContext& c, const Station& s)
      : cycle(c),
        now(NowSeconds(s)),
        fingerprints(s, now),
        parts(s),
        next_m(c.recv_acc + 1) {}

  const CycleContext& cycle;
  std::time_t now;
  FiledFingerprints fingerprints;
  PartStore parts;
  long next_m;  // the record the next message is filed as
  long k = 0;   // messages filed in this cycle
};

// The pool's engines file into one recv: each message takes the number after
// the counter as it is when the turn begins. One engine holds no lock.
std::unique_lock<std::mutex> FilingTurn(const CycleContext& cycle, long* next_m = nullptr) {
  if (cycle.filing == nullptr) return {};
  std::unique_lock<std::mutex> turn(*cycle.filing);
  if (next_m != nullptr) {
    const std::optional<long> counter = ReadMailboxCounter(cycle.station, cycle.day, kRecvBox);
    *next_m = (counter && *counter >= 1 ? *counter : 0) + 1;
  }
  return turn;
}

void TraceNotFiled(const CycleContext& cycle, const std::string& what) {
  cycle.trace.Printf("recv_err=%s kept\n", what.c_str());
  cycle.monitor.PrependText(Gbk(kNotFiledText), kMonitorResetAbove);
}

// Files message as the next record of recv; true once the counter covers
// it. A record whose files failed is not counted, and the next message
// takes its number.
bool FileRecord(Receiving& r, const Received& message) {
  const CycleContext& cycle = r.cycle;
  EngineLog& trace = cycle.trace;
  const long m = r.next_m;
  const long k = r.k + 1;
  InboxWriter record(cycle.station, cycle.day, m,
                     {[&cycle] { cycle.pacer.Checkpoint(); },
                      [&trace](const std::string& file) {
                        trace.Printf("filename_err=%s\n", file.c_str());
                      }});
  record.WriteSender(message.sender);
  record.WriteText(message.text);
  trace.Printf("filename3=%s\n", record.HeaderName().c_str());

  const bool query = IsQuery(message.text);
  const std::string code = QueryCode(message.text);
  if (query) {
    static const std::string query_label = Gbk("查询短信内容");
    static const std::string wide_comma = Gbk("，");
    trace.Printf("%s=[%s]%s[%s],[%s]\n", query_label.c_str(), message.text.c_str(),
                 wide_comma.c_str(), code.c_str(), message.sender.c_str());
  }
  trace.Printf("chaxuncode=%s,ShouJiHao2=%s\n", message.text.c_str(), message.sender.c_str());

  const std::string stamp = cycle.station.TimeStamp(cycle.day);
  cycle.monitor.PrependText(MonitorBlock(m, stamp, message.sender, message.text),
                            kMonitorResetAbove);

  record.WriteHeader(stamp);
  trace.Printf("!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!=%ld,%ld\n", m, k);

  const bool sender_closed = record.CloseSender();
  if (sender_closed) trace.Printf("fpr =%ld,%ld\n", m, k);
  const bool text_closed = record.CloseText();
  if (text_closed) trace.Printf("fpda =%ld,%ld\n", m, k);
  const bool counted = sender_closed && text_closed && record.HeaderWritten() && record.Count();
  if (counted) trace.Printf("fpacc =%ld,%ld\n", m, k);
  if (record.CloseHeader()) trace.Printf("fph =%ld,%ld\n", m, k);
  if (!counted) {
    TraceNotFiled(cycle, "record " + std::to_string(m));
    return false;
  }
  r.next_m = m + 1;
  r.k = k;
  // Answered only once the message is filed, so that a message filed again
  // after a failure is answered once.
  AnswerMessage(cycle, message.sender, message.alphanumeric, message.text);
  return true;
}

// A fingerprint counts only when the record it was noted for was counted
// and holds this sender and text (the whole text, or for a part its piece
// of the joined text): a crash or a full disk may have come between the
// note and the counter, and the number may since have gone to another
// message, also one of the same sender.
bool AlreadyFiled(const Receiving& r, const std::string& fingerprint, const Received& message,
                  bool part) {
  const std::optional<FiledAt> at = r.fingerprints.Find(fingerprint);
  if (!at) return false;
  const std::optional<long> counter = ReadMailboxCounter(r.cycle.station, at->day, kRecvBox);
  if (!counter || *counter < at->record) return false;
  if (ReadRecordFile(r.cycle.station, at->day, kRecvBox, RecordPart::Recipients, at->record) != message.sender) {
    return false;
  }
  const std::optional<std::string> text =
      ReadRecordFile(r.cycle.station, at->day, kRecvBox, RecordPart::Text, at->record);
  if (!text) return false;
  return part ? text->find(message.text) != std::string::npos : *text == message.text;
}

std::string JoinedText(const PartSet& set) {
  std::string text;
  auto part = set.parts.begin();
  for (int sequence = 1; sequence <= set.key.total; ++sequence) {
    if (part != set.parts.end() && part->sequence == sequence) {
      text += part->text;
      ++part;
    } else {
      text += Gbk(kMissingPart);
    }
  }
  return text;
}

std::string PartFingerprint(const PartSetKey& key, const StoredPart& part) {
  return FingerprintOf({key.sender, part.time, key.reference, part.sequence, part.text});
}

// One record of recv for a whole long message, or for what arrived of it.
void FileJoined(Receiving& r, const PartSet& set) {
  const CycleContext& cycle = r.cycle;
  cycle.trace.Printf("parts=%d/%d,ref=%d,%s\n", static_cast<int>(set.parts.size()), set.key.total,
                     set.key.reference, set.key.sender.c_str());
  // Counted before a crash that came ahead of forgetting the parts.
  const StoredPart& first = set.parts.front();
  if (AlreadyFiled(r, PartFingerprint(set.key, first),
                   {set.key.sender, set.key.alphanumeric, first.text}, true)) {
    r.parts.Drop(set.key);
    return;
  }
  for (const StoredPart& part : set.parts) {
    cycle.pacer.Checkpoint();
    if (!r.fingerprints.Note(PartFingerprint(set.key, part), {cycle.day, r.next_m})) {
      return TraceNotFiled(cycle, "parts of " + set.key.sender);
    }
  }
  if (FileRecord(r, {set.key.sender, set.key.alphanumeric, JoinedText(set)})) {
    cycle.pacer.Checkpoint();
    r.parts.Drop(set.key);
  }
}

// Sets that are whole, or have waited longer than PARTWAIT hours, are filed.
void FileWaitingParts(Receiving& r) {
  const std::time_t limit = static_cast<std::time_t>(PartWaitHours(r.cycle.station)) * kSecondsPerHour;
  for (const PartSet& set : r.parts.Waiting()) {
    if (set.Complete() || r.now - set.FirstArrival() >= limit) FileJoined(r, set);
  }
}

bool IsPart(const DecodedSms& sms) {
  const std::optional<Concatenation>& part = sms.concatenation;
  return part && part->total >= 2 && part->sequence >= 1 && part->sequence <= part->total;
}

// Files one received message, or keeps it as a part, and only then deletes
// it from the modem; what cannot be made durable stays on the modem.
void ReceiveMessage(Receiving& r, const ListingEntry& entry, const DecodedSms& sms) {
  const CycleContext& cycle = r.cycle;
  MustFinish in_flight(cycle.pacer);
  const Received message{SenderRecordText(sms.sender),
                         sms.sender.type_of_number() == TypeOfNumber::kAlphanumeric, sms.text};
  const std::string time = TimestampText(sms.service_centre_time);
  const bool part = IsPart(sms);
  const FilingKey key{message.sender, time, part ? sms.concatenation->reference : -1,
                      part ? sms.concatenation->sequence : 0, message.text};
  const std::string fingerprint = FingerprintOf(key);
  bool durable = false;
  std::unique_lock<std::mutex> turn = FilingTurn(cycle, &r.next_m);
  if (AlreadyFiled(r, fingerprint, message, part)) {
    cycle.trace.Printf("filed_before=%s\n", fingerprint.c_str());
    durable = true;
  } else if (part) {
    const Concatenation& c = *sms.concatenation;
    cycle.pacer.Checkpoint();
    durable = r.parts.Keep({message.sender, message.alphanumeric, c.reference, c.total},
                           {c.sequence, r.now, time, message.text});
    cycle.trace.Printf("part=%d/%d,ref=%d\n", c.sequence, c.total, c.reference);
    if (!durable) TraceNotFiled(cycle, "part of " + message.sender);
  } else {
    cycle.pacer.Checkpoint();
    durable = r.fingerprints.Note(fingerprint, {cycle.day, r.next_m});
    if (!durable) TraceNotFiled(cycle, "fingerprint of " + message.sender);
    durable = durable && FileRecord(r, message);
  }
  if (turn.owns_lock()) turn.unlock();
  if (durable) DeleteFromModem(cycle, entry.index);
}

}  // namespace

// Status reports are never filed as received messages: each is matched to
// its journal line, then deleted, unless that could not be made durable.
void HandleStatusReport(const CycleContext& cycle, DeliveryReports& reports,
                        const DecodedSms& report, std::string_view index) {
  cycle.trace.Printf("status_report=%d,%d,%s\n", report.message_reference, report.status,
                     report.recipient.value.c_str());
  if (reports.Take(report)) DeleteFromModem(cycle, index);
}

bool IsQuery(std::string_view text) { return !text.empty() && text[0] == '*'; }

std::string QueryCode(std::string_view text) {
  if (!IsQuery(text)) return {};
  const std::string_view copy = text.substr(0, kQueryCopyField - 1);
  return std::string(copy.substr(1, kQueryCodeLength));
}

void ReceivePhase(const CycleContext& cycle) {
  EngineLog& trace = cycle.trace;
  ExchangeOf(cycle).PauseBeforeCommand();
  WriteCommand(cycle.port, kListCommand);
  trace.Printf("read_cmgl_start... \n");
  // TS 27.005 3.4.2: after the echo, one "+CMGL: <index>,<stat>,..." line
  // and one PDU line per message, then the final result. Status 4 lists
  // every stored message, so a message marked read but not filed before a
  // crash, or cut off a long listing, is listed again. Unsolicited lines
  // anywhere in it are passed over; a message whose PDU line did not arrive
  // stays on the modem.
  const std::string listing = ReadCycleListing(cycle);
  const CmglListing cut = ParseCmglListing(listing, ListingNoise::kSkipped);

  std::unique_lock<std::mutex> turn = FilingTurn(cycle);
  Receiving receiving(cycle, PhaseStation(cycle));
  if (turn.owns_lock()) turn.unlock();
  DeliveryReports reports(cycle);
  for (const ListingEntry& entry : cut.entries) {
    TraceHeader(trace, 0, entry.header);
    TraceListingLine(trace, 0, entry.first_field);
    trace.Printf("index=%d,cmgdl=%s\n", entry.pdu_line, entry.pdu.c_str());
    // Stored outgoing messages (stat 2 and 3) are not the phase's.
    if (entry.stat == 2 || entry.stat == 3) continue;
    const DecodedSms sms = DecodeSmsPdu(entry.pdu);
    if (sms.type == SmsPduType::kStatusReport) {
      HandleStatusReport(cycle, reports, sms, entry.index);
      continue;
    }
    TracePdu(trace, entry.pdu, sms);
    ReceiveMessage(receiving, entry, sms);
  }
  TraceListingEnd(trace, listing, cut);
  turn = FilingTurn(cycle, &receiving.next_m);
  FileWaitingParts(receiving);
  if (turn.owns_lock()) turn.unlock();
  trace.Flush();
}

}  // namespace tavrel
