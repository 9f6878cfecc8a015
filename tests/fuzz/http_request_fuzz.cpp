// The HTTP API's endpoints on arbitrary input: every answer is JSON with a
// status the API promises, refusals carry the error shape, and what reaches
// the outbox writer is what a record may hold.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <string_view>

#include "listener/http/api.h"
#include "listener/http/message_text.h"

namespace {

using namespace tavrel;
using namespace tavrel::http;

void Require(bool condition) {
  if (!condition) std::abort();
}

const Station& FuzzStation() {
  static const Station station = [] {
    char pattern[] = "/tmp/tavrel-http-fuzz-XXXXXX";
    Require(::mkdtemp(pattern) != nullptr);
    return Station(pattern);
  }();
  return station;
}

void CheckReply(const Reply& reply, std::set<int> allowed) {
  Require(allowed.count(reply.status) == 1);
  const nlohmann::json body = nlohmann::json::parse(reply.body, nullptr, false);
  Require(body.is_object());
  if (reply.status >= 400) Require(body["error"].is_string() && body["detail"].is_string());
}

// What the writer is given: recipient lines each ended, none refused, and a
// text within the limit.
Result<FiledRecord> CheckFiled(std::string_view lines, std::string_view text) {
  Require(!lines.empty() && lines.back() == '\n');
  for (std::size_t at = 0; at < lines.size();) {
    const std::size_t end = lines.find('\n', at);
    Require(!RecipientRefusal(lines.substr(at, end - at)));
    at = end + 1;
  }
  Require(!text.empty() && !MessageLimitRefusal(text, 1));
  return FiledRecord{7, "2026-12-7"};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  static IdempotencyKeys keys(FuzzStation());
  ApiContext context{FuzzStation(), &keys, CheckFiled};
  switch (data[0] % 3) {
    case 0:
      CheckReply(PostMessage(context, "fuzz", input), {200, 201, 400, 409, 422});
      break;
    case 1: {
      const std::size_t slash = input.find('/');
      const std::string_view day = input.substr(0, slash);
      const std::string_view record =
          slash == std::string_view::npos ? std::string_view() : input.substr(slash + 1);
      CheckReply(GetMessage(context, day, record), {200, 404});
      break;
    }
    default: {
      const std::size_t a = input.find('&'), b = input.find('&', a == input.npos ? a : a + 1);
      const auto piece = [&](std::size_t from, std::size_t to) -> std::optional<std::string> {
        if (from == input.npos || from > input.size()) return std::nullopt;
        return std::string(input.substr(from, to == input.npos ? input.npos : to - from));
      };
      CheckReply(GetInbox(context, piece(0, a), piece(a == input.npos ? a : a + 1, b),
                          piece(b == input.npos ? b : b + 1, input.npos)),
                 {200, 400});
    }
  }
  return 0;
}
