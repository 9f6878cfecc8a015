#pragma once
// The modem exchange of TS 27.005 in PDU mode as the engine runs it: fixed
// pauses and read timeouts instead of waiting for prompts, replies judged
// only by their last line.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/engine_log.h"
#include "engine/port.h"
#include "platform/field_text.h"

namespace tavrel {

inline constexpr std::size_t kChunkSize = 512;      // one read, one command line
inline constexpr std::size_t kReplyField = 10240;   // accumulated reply or listing
inline constexpr std::size_t kReplyLimit = kReplyField - 1;

inline constexpr std::string_view kListCommand = "at+cmgl=4\r\n";
inline constexpr std::chrono::milliseconds kCommandPause{3000};
inline constexpr std::chrono::milliseconds kPromptPause{500};
inline constexpr std::chrono::milliseconds kReplyPause{3000};

// Appends more to text without letting it pass limit bytes; false when
// something had to be left out.
bool AppendWithin(std::string& text, std::string_view more, std::size_t limit = kReplyLimit);

// The modem's commands and replies are handled as C texts: a NUL ends them.
void WriteCommand(Port& port, std::string_view text);

// Reads 512-byte chunks for as long as a read delivers all 512; the reply
// holds at most 10239 bytes, and a modem that keeps sending beyond that is
// not read further.
std::string ReadReply(Port& port);

// The reply to a listing command, read chunk by chunk after a pause each;
// a chunk equal to the one before it (the first: equal to command) is
// dropped, as the modem repeats itself when it has nothing new.
std::string ReadListing(Port& port, Pacer& pacer, EngineLog& trace, std::string_view command);

// One read of up to 512 bytes (the reply to a delete).
std::string SingleRead(Port& port);

// Yes when the reply ends in O, K and the modem's two-byte line end.
bool ReplyEndsWithOk(std::string_view reply);

}  // namespace tavrel
