#include "engine/codec/cmgl_listing.h"

#include <algorithm>

#include "engine/codec/hex.h"

namespace tavrel {
namespace {

constexpr std::string_view kHeaderTag = "+CMGL:";
constexpr int kFirstListedLine = 2;

// SplitField(listing, k, LF) for every k, with the text cut once.
class ListingLines {
 public:
  explicit ListingLines(std::string_view text) : text_(text) {
    for (std::size_t start = 0;;) {
      const std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) break;
      lines_.push_back(text.substr(start, end - start));
      start = end + 1;
    }
  }
  SplitResult At(int k) const {
    if (k < 1 || k > static_cast<int>(lines_.size())) return {std::string(text_), -1};
    return {std::string(lines_[k - 1]), 0};
  }

 private:
  std::string_view text_;
  std::vector<std::string_view> lines_;
};

std::string_view WithoutCr(std::string_view line) {
  while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// A header as the phase has always recognised one: a first field closed by
// ',' that begins with the result code.
bool IsHeader(const SplitResult& first_field) {
  return first_field.result == 0 && std::string_view(first_field.field).starts_with(kHeaderTag);
}

bool IsPduLine(std::string_view line) {
  line = WithoutCr(line);
  return !line.empty() &&
         std::all_of(line.begin(), line.end(), [](char c) { return HexDigitValue(c) >= 0; });
}

// <stat>, the header's second field.
int Stat(std::string_view header) {
  std::string_view stat = WithoutCr(header.substr(header.find(',') + 1));
  stat = stat.substr(0, stat.find(','));
  if (stat.empty() || stat.size() > 3 ||
      !std::all_of(stat.begin(), stat.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  return std::stoi(std::string(stat));
}

ListingEntry MakeEntry(int header_line, const SplitResult& header, const SplitResult& first,
                       int pdu_line, const SplitResult& pdu) {
  const std::string_view first_field = first.field;
  return ListingEntry{
      .header_line = header_line,
      .header = header.field,
      .first_field = first.field,
      .index = std::string(first_field.substr(std::min(kListingHeaderPrefix, first_field.size()))),
      .stat = Stat(header.field),
      .pdu_line = pdu_line,
      .pdu = pdu.field,
  };
}

class ListingCutter {
 public:
  explicit ListingCutter(std::string_view listing) : lines_(listing) {}

  // The listing as the receive phase has always read it: header and PDU
  // line in turn from line 2 on, up to the first line that breaks the pair.
  void CutUpToNoise() {
    for (int line = kFirstListedLine;; line += 2) {
      const SplitResult header = lines_.At(line);
      if (header.result != 0) return Stop(ListingEnd::kNoLine, line, header);
      const SplitResult first = SplitField(header.field, 1, ',');
      if (!IsHeader(first)) return Stop(ListingEnd::kNotAHeader, line, header, first);
      const SplitResult pdu = lines_.At(line + 1);
      if (pdu.result != 0) return Stop(ListingEnd::kNoPduLine, line, header, first, line + 1, pdu);
      cut_.entries.push_back(MakeEntry(line, header, first, line + 1, pdu));
    }
  }

  // Unsolicited lines and noise may come anywhere, also between a header
  // and its PDU line; the listing ends at its final result.
  void CutSkippingNoise() {
    for (int line = kFirstListedLine;;) {
      const SplitResult header = lines_.At(line);
      if (header.result != 0) return Stop(ListingEnd::kNoLine, line, header);
      const SplitResult first = SplitField(header.field, 1, ',');
      if (IsFinalResult(ClassifyReplyLine(header.field).kind)) {
        return Stop(ListingEnd::kFinalResult, line, header, first);
      }
      if (!IsHeader(first)) {
        line = SkipNoise(line);
        continue;
      }
      int pdu_line = line + 1;
      for (;;) {
        const SplitResult pdu = lines_.At(pdu_line);
        if (pdu.result != 0) {
          return Stop(ListingEnd::kNoPduLine, line, header, first, pdu_line, pdu);
        }
        if (IsPduLine(pdu.field)) {
          cut_.entries.push_back(MakeEntry(line, header, first, pdu_line, pdu));
          line = pdu_line + 1;
          break;
        }
        const ReplyLineKind kind = ClassifyReplyLine(pdu.field).kind;
        if (kind == ReplyLineKind::kListingHeader || IsFinalResult(kind)) {
          // The header lost its PDU line; the message stays on the modem.
          Skip(line, ReplyLineKind::kListingHeader, header.field);
          line = pdu_line;
          break;
        }
        pdu_line = SkipNoise(pdu_line);
      }
    }
  }

  CmglListing Take() { return std::move(cut_); }

 private:
  void Stop(ListingEnd reason, int line, const SplitResult& header,
            std::optional<SplitResult> first = std::nullopt, int pdu_line = 0,
            std::optional<SplitResult> pdu = std::nullopt) {
    cut_.stop = ListingStop{reason, line, header, std::move(first), pdu_line, std::move(pdu)};
  }

  void Skip(int line, ReplyLineKind kind, const std::string& text) {
    if (kind != ReplyLineKind::kBlank) cut_.skipped.push_back({line, kind, text});
  }

  // Passes over one line that is not part of a message, and over the PDU
  // line of an unsolicited +CMT or +CDS; returns the line after them.
  int SkipNoise(int line) {
    const std::string text = lines_.At(line).field;
    Skip(line, ClassifyReplyLine(text).kind, text);
    if (!UnsolicitedWithPdu(text)) return line + 1;
    const SplitResult pdu = lines_.At(line + 1);
    if (pdu.result != 0 || !IsPduLine(pdu.field)) return line + 1;
    Skip(line + 1, ReplyLineKind::kOther, pdu.field);
    return line + 2;
  }

  ListingLines lines_;
  CmglListing cut_;
};

}  // namespace

CmglListing ParseCmglListing(std::string_view listing, ListingNoise noise) {
  ListingCutter cutter(listing);
  if (noise == ListingNoise::kEndsListing) {
    cutter.CutUpToNoise();
  } else {
    cutter.CutSkippingNoise();
  }
  CmglListing cut = cutter.Take();
  cut.final_result = FindFinalResult(listing);
  return cut;
}

}  // namespace tavrel
