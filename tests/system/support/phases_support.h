#pragma once
// What the send and receive tests put into a station and read back: outbox
// records as the creating writers leave them, messages handed to modemsim's
// spool, and the sends modemsim accepted.
#include <string>
#include <string_view>
#include <vector>

#include "tests/system/support/system_support.h"

namespace tavrel::system_test {

// Record n of today's outbox: R, H and DA in text mode, then the counter.
// Recipients and text are GBK; LF becomes CR LF on disk.
void FileOutboxRecord(const StationDir& dir, long n, std::string_view recipients,
                      std::string_view text);

// A catalogue file with its section line, the placeholder entry and the
// given entries (GBK), as the console writes them.
void WriteCatalogue(const StationDir& dir, const std::string& path, const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& entries);

// Hands one message to modemsim's spool folder and waits until it took it.
// The sender as modemsim's spool takes it; the text in UTF-8.
bool InjectSms(const std::string& spool, const std::string& sender, const std::string& utf8_text);
// Hands one "*.msg" file (header lines, an empty line, the text) to the spool.
bool InjectMessage(const std::string& spool, const std::string& msg);

// One accepted send from modemsim's sent log (texts in UTF-8).
struct SentSms {
  std::string smsc;
  std::string to;
  std::string coding;
  std::string text;
  std::string pdu;
  std::string joined;  // the whole text, on the part that completes a long message
};
std::vector<SentSms> ReadSentLog(const std::string& path);

// Every time of day (two digits, ':', two digits, ':', two digits) as
// "hh:mm:ss", so that stamped texts compare whole.
std::string MaskTimes(std::string text);

// The lines that headless Ravelin printed, without their line ends.
std::vector<std::string> OutputLines(const std::string& output);

}  // namespace tavrel::system_test
