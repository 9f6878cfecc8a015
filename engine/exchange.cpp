#include "engine/exchange.h"

#include <cctype>

#include "engine/codec/modem_reply.h"
#include "engine/link.h"
#include "platform/codepage.h"
#include "platform/pace.h"

namespace tavrel {
namespace {

using std::chrono::milliseconds;

constexpr std::string_view kEscape = "\x1b";
constexpr std::string_view kAttention = "AT\r\n";
// A prompt-paced read takes one byte at a time, so that it returns as soon
// as the modem has said enough; an empty one has waited its whole timeout.
constexpr std::size_t kOneByte = 1;
constexpr milliseconds kOneByteTimeout{5 * kOneByte + 1000};
// What a modem answers to one command; more is a modem gone astray.
constexpr std::size_t kAnswerLimit = 64 * 1024;
// What is left of a half-typed command or PDU after ESC, read and dropped.
constexpr milliseconds kDrainWait{1000};
// Between two receive commands at the modem's pace: enough to keep an idle
// station's trace and the modem's line quiet, short enough for a query.
constexpr milliseconds kPromptCommandPause{1000};

const std::string& StartSendingMark() {
  static const std::string text = Gbk("开始发送");
  return text;
}
const std::string& EndSendingMark() {
  static const std::string text = Gbk(" 发送结束");
  return text;
}

const char* LastChars(const std::string& text, std::size_t count) {
  return text.c_str() + (text.size() < count ? 0 : text.size() - count);
}

std::string CommandFor(const SubmitPdu& pdu) {
  return "at+cmgs=" + std::to_string(pdu.announced_length) + "\r\n";
}

bool OkAmongFinalResults(std::string_view text) {
  while (const std::optional<FinalResult> final = FindFinalResult(text)) {
    if (final->kind == ReplyLineKind::kOk) return true;
    text.remove_prefix(final->end);
  }
  return false;
}

// The pieces both pacings share: the port, the pacer, the trace, the check.
class ExchangeBase : public Exchange {
 public:
  ExchangeBase(Port& port, Pacer& pacer, EngineLog& trace)
      : port_(port), pacer_(pacer), trace_(trace) {}

  bool CheckModem() override {
    // TS 27.005 3.5.1: ESC leaves the text mode without sending. A modem
    // already in command mode takes it as part of a line, which the CR ends.
    // Whatever the modem still owed the station is read and dropped until
    // the line is quiet, so that the answer to AT is not taken for an older
    // one.
    WriteCommand(port_, std::string(kEscape) + "\r\n");
    std::string rest;
    ReadUntil(rest, kDrainWait, [](std::string_view) { return false; });
    WriteCommand(port_, kAttention);
    std::string answer;
    const bool ok = ReadUntil(answer, kPromptWait, OkAmongFinalResults);
    trace_.Printf("check modem: ESC, AT: %s\n", ok ? "OK" : "no answer");
    return ok;
  }

 protected:
  // Reads until done(text) or until budget (nominal) has passed. Time is
  // counted in nominal milliseconds: a read that comes back empty counts its
  // whole timeout, so a port that returns at once (a vanished device) cannot
  // stretch the wait into a spin.
  template <typename Done>
  bool ReadUntil(std::string& text, milliseconds budget, Done done) {
    using Clock = std::chrono::steady_clock;
    double waited_ms = 0;
    const double scale = TimeScale() > 0 ? TimeScale() : 1;
    while (!done(text)) {
      if (waited_ms >= static_cast<double>(budget.count()) || text.size() >= kAnswerLimit) {
        return false;
      }
      const Clock::time_point start = Clock::now();
      const std::string byte = port_.Read(kOneByte);
      if (byte.empty()) {
        waited_ms += static_cast<double>(kOneByteTimeout.count());
        continue;
      }
      const std::chrono::duration<double, std::milli> took = Clock::now() - start;
      waited_ms += took.count() / scale;
      text += UpToNul(byte);
    }
    return true;
  }

  void TraceReply(const std::string& reply) {
    trace_.Printf("str_end=%s\n", LastChars(reply, 4));
    trace_.Printf("read_com1(cmgs)=%s\n", reply.c_str());
    trace_.Printf("----------------------%s---------------\n", EndSendingMark().c_str());
  }

  void TraceListing(const std::string& listing) {
    trace_.Printf("read....#############cmgl=%s\n", listing.c_str());
    trace_.Printf("str_end=%s\n", LastChars(listing, 3));
  }

  // The trace lines that open every attempt, whatever the pacing; the
  // length command to write.
  std::string BeginAttempt(const SubmitPdu& pdu, int attempt) {
    trace_.Printf("----------------------%s---------------%d\n", StartSendingMark().c_str(), attempt);
    std::string command = CommandFor(pdu);
    trace_.Printf("cmgs=%s\n", command.c_str());
    return command;
  }

  Port& port_;
  Pacer& pacer_;
  EngineLog& trace_;
};

// The station's first pacing: the modem is given fixed times to answer.
class FixedExchange : public ExchangeBase {
 public:
  using ExchangeBase::ExchangeBase;

  SubmitResult Submit(const SubmitPdu& pdu, int attempt) override {
    const std::string command = BeginAttempt(pdu, attempt);
    pacer_.Pause(kCommandPause);
    WriteCommand(port_, command);
    trace_.Printf("~~~~~~~~~~~~~cmgs=%s\n", pdu.text.c_str());
    pacer_.Pause(kPromptPause);
    WriteCommand(port_, pdu.text);
    pacer_.Pause(kReplyPause);
    const std::string reply = ReadReply(port_);
    TraceReply(reply);
    return JudgeSubmitReply(reply);
  }

  void PauseBeforeCommand() override { pacer_.Pause(kCommandPause); }

  std::string ReadListing(std::string_view command) override {
    return tavrel::ReadListing(port_, pacer_, trace_, command);
  }

  std::string ReadDeleteReply() override {
    pacer_.Pause(kReplyPause);
    return SingleRead(port_);
  }
};

// The modem's pace: every step waits for what the modem says it is done.
class PromptExchange : public ExchangeBase {
 public:
  using ExchangeBase::ExchangeBase;

  SubmitResult Submit(const SubmitPdu& pdu, int attempt) override {
    const std::string command = BeginAttempt(pdu, attempt);
    WriteCommand(port_, command);
    std::string reply;
    ReadUntil(reply, kPromptWait,
              [](std::string_view text) { return PromptSeen(text) || FindFinalResult(text); });
    if (!PromptSeen(reply)) {
      TraceReply(reply);
      // A modem that refused the command outright has answered; one that
      // said nothing may be waiting for the PDU all the same.
      if (FindFinalResult(reply)) return JudgeSubmitReply(reply);
      WriteCommand(port_, kEscape);
      return {SubmitVerdict::kStationSide, "no prompt", true};
    }
    trace_.Printf("~~~~~~~~~~~~~cmgs=%s\n", pdu.text.c_str());
    WriteCommand(port_, pdu.text);
    std::string result;
    const bool answered =
        ReadUntil(result, kResultWait, [](std::string_view text) { return FindFinalResult(text); });
    reply += result;
    TraceReply(reply);
    if (!answered) return {SubmitVerdict::kStationSide, "no result", true};
    return JudgeSubmitReply(result);
  }

  void PauseBeforeCommand() override { pacer_.Pause(kPromptCommandPause); }

  std::string ReadListing(std::string_view) override {
    std::string listing;
    ReadUntil(listing, kResultWait, [](std::string_view text) { return FindFinalResult(text); });
    TraceListing(listing);
    return listing;
  }

  std::string ReadDeleteReply() override {
    std::string reply;
    ReadUntil(reply, kResultWait, [](std::string_view text) { return FindFinalResult(text); });
    return reply;
  }
};

std::string CodeText(std::string_view name, int code) {
  return std::string(name) + (code >= 0 ? std::to_string(code) : std::string("?"));
}

}  // namespace

SubmitResult JudgeSubmitReply(std::string_view reply) {
  const std::optional<FinalResult> final = FindFinalResult(reply);
  if (ReplyEndsWithOk(reply) || (final && final->kind == ReplyLineKind::kOk)) {
    const int reference = final ? final->message_reference : -1;
    return {SubmitVerdict::kSent, reference >= 0 ? std::to_string(reference) : std::string()};
  }
  if (!final) {
    return {SubmitVerdict::kStationSide, reply.empty() ? "no answer" : "unreadable answer", true};
  }
  switch (final->kind) {
    case ReplyLineKind::kCmsError: {
      const std::string text = CodeText("+CMS ERROR: ", final->error);
      switch (ClassifyCmsError(final->error)) {
        case CmsErrorClass::kPermanent:
          return {SubmitVerdict::kPermanent, text};
        case CmsErrorClass::kStationSide:
          return {SubmitVerdict::kStationSide, text};
        case CmsErrorClass::kOrdinary:
          return {SubmitVerdict::kRefused, text};
      }
      return {SubmitVerdict::kRefused, text};
    }
    case ReplyLineKind::kCmeError:
      return {SubmitVerdict::kRefused, CodeText("+CME ERROR: ", final->error)};
    default:
      return {SubmitVerdict::kRefused, "ERROR"};
  }
}

Pace PaceFromSetting(std::string_view value) {
  std::string lower;
  for (char c : value) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == "prompt" ? Pace::kPrompt : Pace::kFixed;
}

std::unique_ptr<Exchange> MakeExchange(Pace pace, Port& port, Pacer& pacer, EngineLog& trace) {
  if (pace == Pace::kPrompt) return std::make_unique<PromptExchange>(port, pacer, trace);
  return std::make_unique<FixedExchange>(port, pacer, trace);
}

}  // namespace tavrel
