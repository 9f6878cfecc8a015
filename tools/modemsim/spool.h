#pragma once
// The spool folder through which tests and the operator hand the simulated
// modem incoming messages (*.sms, *.msg) and switches (*.ctl).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/modemsim/pdu.h"

namespace modemsim {

// A *.sms file: line 1 the sender, everything after the first LF the UTF-8 text.
struct SpoolMessage {
  Address sender;
  std::u32string text;
};
std::optional<SpoolMessage> ParseSpoolMessage(std::string_view content, std::string& error);

// What the simulated network hands the modem: an SMS-DELIVER built to
// order, a status report, or PDUs exactly as written (for malformed ones).
struct Injection {
  enum class Kind { Deliver, StatusReport, Raw } kind = Kind::Deliver;
  // How it reaches the station: stored (and announced as AT+CNMI says), or
  // as an unsolicited +CMT / +CDS line that is not stored. Default: AT+CNMI.
  enum class Route { Default, Store, Cmt, Cds } route = Route::Default;
  std::optional<Address> service_centre;  // absent: the modem's; an empty number: none (00)
  std::optional<Timestamp> time;          // TP-SCTS; absent: the modem's clock
  int status = 0;                         // TS 27.005 <stat> it is stored with

  Address address;  // the sender of a DELIVER, the recipient of a report
  // SMS-DELIVER
  std::u32string text;
  std::optional<Coding> coding;  // absent: GSM 7-bit when it fits, else UCS-2
  bool concat_16bit = false;
  std::optional<std::uint16_t> concat_reference;  // absent: the modem's next one
  std::size_t part_size = 0;
  std::vector<int> parts;  // which parts to hand in now, in this order; empty: all
  // SMS-STATUS-REPORT
  std::uint8_t message_reference = 0;
  std::optional<Timestamp> discharge_time;  // absent: `time`
  std::uint8_t report_status = 0;
  // Raw PDUs
  std::vector<std::string> pdus;
  std::optional<std::size_t> length;  // the <length> listed; absent: from the PDU
};
// A *.msg file: "key: value" lines up to the first empty line, then the
// text (UTF-8; for 8-bit coding the octets themselves). README.md lists the keys.
std::optional<Injection> ParseInjection(std::string_view content, std::string& error);

// A rule for sends to one number ("NUMBER=CODE[,COUNT]", "NUMBER=off") or,
// for report statuses, for every number ("CODE", "none", "NUMBER=CODE").
struct NumberRule {
  std::string number;       // empty: every number
  std::optional<int> code;  // absent: the rule is lifted ("off", "none")
  int count = -1;           // sends it applies to; -1: all
};
std::optional<NumberRule> ParseCmsErrorRule(std::string_view text, std::string& error);
std::optional<NumberRule> ParseReportStatusRule(std::string_view text, std::string& error);

struct Control {
  enum class Kind {
    FailSends, Silent, Garbage, Vanish, VanishAtSend, Quit, Ring, Say, UrcInListing, CmsError, ReportStatus,
    PromptDelay, ResultDelay, ReportDelay, NextReference
  } kind = Kind::Quit;
  int value = 0;     // fail-sends count, milliseconds, reference
  bool on = false;   // silent, garbage
  std::string text;  // say, urc-in-listing ("" for off)
  NumberRule rule;   // cms-error, report-status
};
// One command: "fail-sends N", "silent on|off", "garbage on|off", "vanish MS",
// "quit", "ring", "say LINE", "urc-in-listing LINE|off", "cms-error RULE",
// "report-status RULE", "prompt-delay MS", "result-delay MS",
// "report-delay MS", "mr N".
std::optional<Control> ParseControl(std::string_view content, std::string& error);
// One command per non-empty line; none is taken when one is wrong.
std::optional<std::vector<Control>> ParseControls(std::string_view content, std::string& error);

// Names of the *.sms, *.msg and *.ctl files in `folder`, in name order, so
// that writers control the order in which their files take effect.
std::vector<std::string> SpoolEntries(const std::string& folder);

bool ReadWholeFile(const std::string& path, std::string& content);

}  // namespace modemsim
