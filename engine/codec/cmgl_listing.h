#pragma once
// The reply to "at+cmgl=<stat>" in PDU mode (TS 27.005 3.4.2), cut into its
// messages without touching the modem: the phase that lists does the I/O and
// deletes and files what this finds.
//
// Lines are numbered as SplitField with LF numbers them: line k is the text
// between the (k-1)-th and the k-th LF, still ending in its CR; a last piece
// that no LF closes is no line. Line 1 is the echo of the command (or the CR
// of the reply's first line end) and is not read; the first header is
// expected at line 2.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/codec/modem_reply.h"
#include "store/text.h"

namespace tavrel {

// The storage index is the header's first field from this character on,
// past "+CMGL: ".
inline constexpr std::size_t kListingHeaderPrefix = 7;

// What a line that is neither a header nor a PDU does to the listing.
enum class ListingNoise {
  kEndsListing,  // the listing ends at the first line that is not a header
  kSkipped,      // unsolicited lines and noise are passed over anywhere
};

struct ListingEntry {
  int header_line = 0;
  std::string header;       // "+CMGL: <index>,<stat>,[<alpha>],<length>" and its CR
  std::string first_field;  // the header up to its first ','
  std::string index;        // first_field from its eighth character
  int stat = -1;            // <stat>; -1 when it is not a number
  int pdu_line = 0;
  std::string pdu;          // the PDU line and its CR
};

enum class ListingEnd {
  kNoLine,       // the text holds no line there
  kNotAHeader,   // a line that is not a header with a ',' (kEndsListing only)
  kNoPduLine,    // a header whose PDU line never came
  kFinalResult,  // OK, ERROR or +CMS ERROR (kSkipped only)
};

// Where and why the listing ended, as SplitField saw the lines there.
struct ListingStop {
  ListingEnd reason = ListingEnd::kNoLine;
  int line = 0;
  SplitResult header{"", -1};              // SplitField(listing, line, LF)
  std::optional<SplitResult> first_field;  // SplitField(header, 1, ','), when line exists
  int pdu_line = 0;                        // for kNoPduLine
  std::optional<SplitResult> pdu;          // SplitField(listing, pdu_line, LF), for kNoPduLine
};

struct SkippedLine {
  int line = 0;
  ReplyLineKind kind = ReplyLineKind::kOther;
  std::string text;
};

struct CmglListing {
  std::vector<ListingEntry> entries;
  std::vector<SkippedLine> skipped;  // in line order; blank lines are not listed
  ListingStop stop;
  std::optional<FinalResult> final_result;  // the listing's closing result, once it came
};

CmglListing ParseCmglListing(std::string_view listing, ListingNoise noise);

}  // namespace tavrel
