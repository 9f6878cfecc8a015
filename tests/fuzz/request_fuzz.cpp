// The listener's request handling on arbitrary bytes: a parse that keeps its
// promises, and one connection that always ends in the right reply (or none)
// without touching the store.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "listener/connection.h"
#include "listener/request.h"

namespace {

using namespace tavrel;

class NullView : public ListenerView {
 public:
  void ShowStatus(const std::string&) override {}
  void AppendStatus(const std::string&) override {}
  void ShowAccount(const std::string&) override {}
};

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckParse(std::string_view bytes, const Request& request) {
  std::string_view seen = bytes.substr(0, kRequestSize);
  seen = seen.substr(0, seen.find('\0'));
  if (!request.well_formed) return;
  Require(!request.code.empty() && request.code.size() < kCodeFieldSize);
  Require(!request.numbers.empty() && !request.text.empty());
  const std::string framed = request.code + "|" + request.numbers + "|" + request.text + "|";
  Require(seen.substr(0, framed.size()) == framed);
  Require(request.shown == request.text);
}

// One connection over a socket pair, with a writer that only checks what
// it is given.
void CheckConnection(std::string_view bytes, const Request& request) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return;
  // Kept below the pair's buffer so the write never blocks.
  const std::string_view sent = bytes.substr(0, 4096);
  if (!sent.empty()) Require(::write(pair[1], sent.data(), sent.size()) == ssize_t(sent.size()));
  ::shutdown(pair[1], SHUT_WR);

  ListenerLog closed_log;
  NullView view;
  bool written = false;
  ConnectionContext context{closed_log, view};
  context.write_outbox = [&](std::string_view numbers, std::string_view text) {
    Require(numbers == request.numbers && text == request.text);
    written = true;
    return OutboxResult(FiledRecord{7, {}});
  };
  const ConnectionOutcome outcome = HandleConnection(pair[0], context);

  std::string reply;
  char buffer[2048];
  for (ssize_t count; (count = ::read(pair[1], buffer, sizeof buffer)) > 0;) {
    reply.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(pair[1]);

  const bool empty_request = sent.empty();
  if (empty_request) {
    Require(outcome == ConnectionOutcome::NoRequest && reply.empty() && !written);
  } else if (request.well_formed) {
    Require(outcome == ConnectionOutcome::Filed && written);
    Require(reply == PaddedReply(ReplyCode::Accepted));
  } else {
    Require(outcome == ConnectionOutcome::Refused && !written);
    Require(reply == PaddedReply(ReplyCode::BadRequest));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Request request = ParseRequest(bytes);
  CheckParse(bytes, request);
  CheckConnection(bytes, request);
  return 0;
}
