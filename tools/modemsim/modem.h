#pragma once
// The simulated modem's command interpreter: bytes from the line go in,
// bytes for the line come out. No I/O here, so tests drive it with strings.
//
// It speaks the TS 27.005 PDU-mode subset the station uses: AT, AT+CSCA,
// AT+CMGF, AT+CMGS with the "> " prompt and a length check, AT+CMGL and
// AT+CMGD; everything else is answered ERROR. Echo is on, as after a reset.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/modemsim/pdu.h"

namespace modemsim {

struct StoredMessage {
  int index = 0;
  int status = 0;  // TS 27.005 3.1 <stat>: 0 received unread, 1 received read
  std::string pdu;  // hex, service-centre part first
};

// Faults that a test or the operator switches on.
struct Faults {
  int fail_sends = 0;  // that many completed sends are answered ERROR
  bool silent = false;   // no echo, no answer, nothing done
  bool garbage = false;  // every command line is answered with noise, and not done
};

class Modem {
 public:
  static constexpr std::size_t kDefaultCapacity = 100;
  explicit Modem(std::size_t capacity = kDefaultCapacity);

  // Takes bytes from the line and appends what the modem answers to `out`.
  void Receive(std::string_view bytes, std::string& out);

  // Stores an incoming SMS as SMS-DELIVER PDUs (several for a long text).
  // False, storing nothing, when the storage lacks room for all its parts.
  bool Inject(const Address& sender, std::u32string_view text);

  // Forgets a half-typed command or PDU, as a modem that lost power does.
  void ResetLine();

  Faults& faults() { return faults_; }
  // Command lines answered (a send counts when its PDU is complete).
  std::size_t CommandsDone() const { return commands_done_; }
  const std::vector<StoredMessage>& Storage() const { return storage_; }
  // Sent-log lines of the sends accepted since the last call.
  std::vector<std::string> TakeSentLines();
  // Why sends were refused, since the last call; for the operator's eyes.
  std::vector<std::string> TakeDiagnostics();

  // The source of service-centre time stamps; tests fix it.
  std::function<Timestamp()> clock = LocalTimestamp;

 private:
  enum class Mode { Command, Pdu };

  void CommandByte(char byte, std::string& out);
  void PduByte(char byte, std::string& out);
  void Execute(const std::string& line, std::string& out);
  void SetServiceCentre(std::string_view argument, std::string& out);
  void QueryServiceCentre(std::string& out) const;
  void StartSend(std::string_view argument, std::string& out);
  void FinishSend(std::string& out);
  void List(std::string_view argument, std::string& out);
  void Delete(std::string_view argument, std::string& out);
  std::string Garbage();
  std::string DeliverCentre() const;

  std::size_t capacity_;
  Faults faults_;
  Mode mode_ = Mode::Command;
  std::string line_;
  bool line_overflow_ = false;
  std::string pdu_;
  int announced_ = 0;
  std::size_t commands_done_ = 0;
  std::string service_centre_;  // digits as AT+CSCA set them
  bool service_centre_international_ = false;
  int next_reference_ = 1;
  std::uint8_t next_concat_reference_ = 1;
  std::uint32_t noise_state_ = 0x2545F491;
  std::vector<StoredMessage> storage_;  // sorted by index
  std::vector<std::string> sent_lines_;
  std::vector<std::string> diagnostics_;
};

// The sent-log line of one accepted send: service centre, destination,
// coding, validity, text in UTF-8, the raw PDU, the announced length and the
// reference the modem answered with.
std::string SentLogLine(const Pdu& pdu, std::string_view hex, int announced, int reference,
                        const std::string& fallback_centre);

}  // namespace modemsim
