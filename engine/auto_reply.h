#pragma once
// What the receive phase does with a filed message beyond filing it: the
// customer's opt-out and opt-in words, and the auto-replies (query answers
// and opt-out confirmations), each one through the reply guard.
#include <string>
#include <string_view>

namespace tavrel {

struct CycleContext;
struct Protection;
class ReplyLog;

// sender as R holds it; alphanumeric when the sender is a name.
void AnswerMessage(const CycleContext& cycle, const std::string& sender, bool alphanumeric,
                   const std::string& text);

// Files reply to sender in today's outbox, noted in the station's list of
// its own replies, unless the reply guard refuses it; a refusal is traced,
// noted and shown on the monitor once per sender and hour. True when filed.
bool FileGuardedReply(const CycleContext& cycle, const Protection& protection, ReplyLog& replies,
                      const std::string& sender, bool alphanumeric, std::string_view reply);

}  // namespace tavrel
