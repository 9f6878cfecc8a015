// Whatever a modem answers, the listing parser gives entries that are real
// lines of the text in order, and the reply grammar's verdict on some bytes
// never changes when more bytes arrive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "engine/codec/cmgl_listing.h"
#include "engine/codec/hex.h"
#include "engine/codec/modem_reply.h"

namespace {

using namespace tavrel;

void Check(bool holds) {
  if (!holds) std::abort();
}

void CheckListing(std::string_view text, ListingNoise noise) {
  const CmglListing listing = ParseCmglListing(text, noise);
  int last_line = 1;
  for (const ListingEntry& entry : listing.entries) {
    Check(entry.header_line > last_line && entry.pdu_line > entry.header_line);
    Check(entry.header.starts_with("+CMGL:"));
    Check(text.find(entry.header + "\n") != std::string_view::npos);
    Check(text.find(entry.pdu + "\n") != std::string_view::npos);
    if (noise == ListingNoise::kEndsListing) {
      Check(entry.header_line == last_line + 1 && entry.pdu_line == entry.header_line + 1);
    } else {
      std::string_view pdu = entry.pdu;
      while (!pdu.empty() && pdu.back() == '\r') pdu.remove_suffix(1);
      for (char c : pdu) Check(HexDigitValue(c) >= 0);
    }
    last_line = entry.pdu_line;
  }
  Check(listing.stop.line > last_line || listing.entries.empty());
  // Lines skipped while looking for a PDU line come after the header where
  // the listing stops.
  const int bound = listing.stop.reason == ListingEnd::kNoPduLine ? listing.stop.pdu_line
                                                                  : listing.stop.line;
  for (const SkippedLine& skipped : listing.skipped) {
    Check(skipped.line >= 2 && skipped.line < bound);
  }
}

void CheckReplyGrowth(std::string_view reply) {
  const std::optional<FinalResult> whole = FindFinalResult(reply);
  const std::optional<FinalResult> early = FindFinalResult(reply.substr(0, reply.size() / 2));
  if (early) {
    Check(whole.has_value() && whole->end == early->end && whole->kind == early->kind &&
          whole->error == early->error && whole->message_reference == early->message_reference);
  }
  if (whole) {
    Check(IsFinalResult(whole->kind) && whole->end <= reply.size());
    Check(reply[whole->end - 1] == '\n');
    if (whole->kind == ReplyLineKind::kCmsError) ClassifyCmsError(whole->error);
  }
  PromptSeen(reply);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckListing(input, ListingNoise::kEndsListing);
  CheckListing(input, ListingNoise::kSkipped);
  CheckReplyGrowth(input);
  return 0;
}
