#pragma once
// The simulated modem's command interpreter: bytes from the line go in,
// bytes for the line come out. No I/O here, so tests drive it with strings
// and a clock of their own.
//
// It speaks the TS 27.005 PDU-mode subset the station uses: AT, AT+CSCA,
// AT+CMGF, AT+CMGS with the "> " prompt and a length check, AT+CMGL,
// AT+CMGR, AT+CMGD and AT+CNMI; everything else is answered ERROR. Echo is
// on, as after a reset.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/modemsim/pdu.h"
#include "tools/modemsim/spool.h"

namespace modemsim {

using SteadyClock = std::chrono::steady_clock;

struct StoredMessage {
  int index = 0;
  // TS 27.005 3.1 <stat>: 0 received unread, 1 received read, 2 stored
  // unsent, 3 stored sent.
  int status = 0;
  std::string pdu;         // hex, service-centre part first; raw ones as given
  std::size_t length = 0;  // the <length> listed: octets after the service-centre part
};

struct CmsError {
  int code = 0;
  int remaining = -1;  // sends still to refuse; -1: all of them
};

// Faults that a test or the operator switches on.
struct Faults {
  int fail_sends = 0;  // that many completed sends are answered ERROR
  bool silent = false;   // no echo, no answer, nothing done
  bool garbage = false;  // every command line is answered with noise, and not done
  std::map<std::string, CmsError> cms_errors;  // by NumberKey of the destination
  // Put between the first header of every +CMGL listing and its PDU line.
  std::string urc_in_listing;
  // Not empty: every accepted send is answered by a message of this text
  // from its recipient, as another auto-replying gateway would.
  std::u32string answer_with;
};

// How long the modem and the network take; all zero answers at once.
struct Pacing {
  SteadyClock::duration prompt{};  // from AT+CMGS=<n> to "> "
  SteadyClock::duration result{};  // from Ctrl-Z to the result of the send
  SteadyClock::duration report{};  // from the result to the status report
};

// The status the network reports for a send that asked for a report
// (TS 23.040 9.2.3.15 TP-ST); nullopt: it never reports.
struct Reports {
  std::optional<int> status = 0;
  std::map<std::string, std::optional<int>> by_number;  // by NumberKey
  std::optional<int> For(const std::string& number) const;
};

// TS 27.005 3.4.1, AT+CNMI=<mode>,<mt>,<bm>,<ds>,<bfr>. This modem reads
// <mt> (1 and 3: +CMTI for a stored message, 2: +CMT instead of storing)
// and <ds> (1: +CDS instead of storing, 2: +CDSI for a stored report; 0
// stores reports without a word).
struct Indications {
  int mode = 0, mt = 0, bm = 0, ds = 0, bfr = 0;
};
// "2,1,0,2,0"; omitted values keep those of `current`.
std::optional<Indications> ParseIndications(std::string_view text, const Indications& current);

// The form of a number by which rules find it: without '+' and without the
// 86 of a Chinese mobile number, so 8613000000001 and 13000000001 match.
std::string NumberKey(std::string_view number);

class Modem {
 public:
  static constexpr std::size_t kDefaultCapacity = 100;
  explicit Modem(std::size_t capacity = kDefaultCapacity);

  // Takes bytes from the line and appends what the modem answers to `out`.
  // While an answer is delayed, bytes wait and are taken after it.
  void Receive(std::string_view bytes, std::string& out);
  // Appends what has come due: a delayed answer (and the answers to the
  // bytes that waited for it), status reports, unsolicited lines.
  void Tick(std::string& out);
  // When Tick has something to do next; nullopt when only Receive can start it.
  std::optional<SteadyClock::time_point> NextDue() const;

  // Stores an incoming SMS as SMS-DELIVER PDUs (several for a long text).
  // False, storing nothing, when the storage lacks room for all its parts.
  bool Inject(const Address& sender, std::u32string_view text);
  enum class InjectResult { Taken, NoRoom, Refused };
  // Refused (with `error` saying why) when the injection asks for parts
  // its text does not have.
  InjectResult Inject(const Injection& injection, std::string& error);
  // Queues an unsolicited line (CR LF around it), sent when the line is idle.
  void Unsolicited(std::string_view line);

  // Forgets a half-typed command or PDU, a delayed answer and unsent
  // unsolicited lines, as a modem that lost power does.
  void ResetLine();

  Faults& faults() { return faults_; }
  Pacing& pacing() { return pacing_; }
  Reports& reports() { return reports_; }
  Indications& indications() { return indications_; }
  // The reference the next accepted send is answered with.
  void SetNextReference(int reference) { next_reference_ = reference % 256; }
  // Command lines answered (a send counts when its result is out).
  std::size_t CommandsDone() const { return commands_done_; }
  const std::vector<StoredMessage>& Storage() const { return storage_; }
  // Grows with every change of the storage, message statuses included.
  std::uint64_t StorageVersion() const { return storage_version_; }
  // Sent-log lines of the sends accepted since the last call.
  std::vector<std::string> TakeSentLines();
  // Why sends were refused, since the last call; for the operator's eyes.
  std::vector<std::string> TakeDiagnostics();

  // The source of service-centre time stamps; tests fix it.
  std::function<Timestamp()> clock = LocalTimestamp;
  // The source of the pacing's time; tests step it.
  std::function<SteadyClock::time_point()> now = SteadyClock::now;

 private:
  enum class Mode { Command, Pdu };
  struct Delayed {
    SteadyClock::time_point due;
    std::string bytes;
    bool counts = false;  // completes a command
  };
  struct PendingReport {
    SteadyClock::time_point due;
    StatusReportMessage report;
  };
  struct Arrival {
    std::string pdu;
    std::size_t length = 0;
    Injection::Route route = Injection::Route::Store;
    bool report = false;
  };

  void Take(char byte, std::string& out);
  void CommandByte(char byte, std::string& out);
  void PduByte(char byte, std::string& out);
  void Execute(const std::string& line, std::string& out);
  // Appends `text` now, or after `delay` with the input held meanwhile.
  void Answer(std::string text, SteadyClock::duration delay, bool counts, std::string& out);
  void SetServiceCentre(std::string_view argument, std::string& out);
  void QueryServiceCentre(std::string& out) const;
  void SetIndications(std::string_view argument, std::string& out);
  void StartSend(std::string_view argument, std::string& out);
  void FinishSend(std::string& out);
  std::optional<std::string> NumberFault(const std::string& number);
  void List(std::string_view argument, std::string& out);
  void Read(std::string_view argument, std::string& out);
  void Delete(std::string_view argument, std::string& out);
  void DeliverDueReports();
  // Hands arrivals to the station by their routes; false, doing nothing,
  // when the storage lacks room for those to be stored.
  bool Arrive(const std::vector<Arrival>& arrivals, int status);
  std::optional<std::vector<Arrival>> DeliverArrivals(const Injection& injection, bool& concatenated,
                                                      std::string& error) const;
  int FreeIndex() const;
  // The message of --answer-with from the recipient of an accepted send.
  void AnswerSend(const Address& recipient);
  Injection::Route RouteOf(Injection::Route asked, bool report) const;
  bool LineIdle() const;
  std::string Garbage();
  std::string DeliverCentre() const;

  std::size_t capacity_;
  Faults faults_;
  Pacing pacing_;
  Reports reports_;
  Indications indications_;
  Mode mode_ = Mode::Command;
  std::string line_;
  bool line_overflow_ = false;
  std::string pdu_;
  int announced_ = 0;
  std::optional<Delayed> delayed_;
  std::string held_;
  std::string unsolicited_;
  std::vector<PendingReport> pending_reports_;
  std::size_t commands_done_ = 0;
  std::string service_centre_;  // digits as AT+CSCA set them
  bool service_centre_international_ = false;
  int next_reference_ = 1;
  std::optional<Timestamp> last_answer_;  // of --answer-with
  std::uint16_t next_concat_reference_ = 1;
  std::uint32_t noise_state_ = 0x2545F491;
  std::vector<StoredMessage> storage_;  // sorted by index
  std::uint64_t storage_version_ = 0;
  std::vector<std::string> sent_lines_;
  // Parts of concatenated sends by destination, reference and total, text
  // by sequence, until the last one comes.
  std::map<std::string, std::map<int, std::u32string>> joining_;
  std::optional<std::u32string> Join(const Pdu& pdu);
  std::vector<std::string> diagnostics_;
};

// The sent-log line of one accepted send: service centre, destination,
// coding, validity, text in UTF-8, the raw PDU, the announced length, the
// reference the modem answered with (the mr of +CMGS), and "srr":true when
// the PDU asked for a status report.
// A part of a concatenated message adds "part":"<i>/<n>", and the part that
// completes its message "joined" with the whole text in part order.
std::string SentLogLine(const Pdu& pdu, std::string_view hex, int announced, int reference,
                        const std::string& fallback_centre,
                        const std::optional<std::u32string>& joined = std::nullopt);

// One JSON line per stored message, in index order: what --state writes.
std::string StateLines(const std::vector<StoredMessage>& storage);

}  // namespace modemsim
