#include "listener/http/message_text.h"

#include <cstdio>

#include "engine/codec/long_message.h"
#include "platform/codepage.h"
#include "store/record_store.h"

namespace tavrel::http {
namespace {

constexpr std::size_t kMaxCharacters = 70;
// R<n> is read in pieces of this many bytes; a longer line would become two.
constexpr std::size_t kRecipientLineBytes = 127;

// The code points of valid UTF-8 (the JSON reader has checked it), each with
// its bytes.
template <typename Visit>
void ForEachCodePoint(std::string_view utf8, Visit visit) {
  for (std::size_t at = 0; at < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F
                                                                                  : lead & 0x07;
    for (std::size_t k = 1; k < length && at + k < utf8.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[at + k]) & 0x3F);
    }
    visit(code, utf8.substr(at, length));
    at += length;
  }
}

}  // namespace

std::string UnifyLineEnds(std::string_view text) {
  std::string unified;
  unified.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      unified += text[i];
    } else {
      unified += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
  return unified;
}

Result<std::string> ToGbk(std::string_view utf8) {
  std::string gbk;
  std::string refused;
  long position = 0;
  ForEachCodePoint(utf8, [&](char32_t code, std::string_view bytes) {
    ++position;
    const std::string converted = Utf8ToGbk(bytes);
    // The converter writes '?' for what it cannot convert.
    if (converted == "?" && code != U'?') {
      char name[32];
      std::snprintf(name, sizeof name, "U+%04X at %ld", static_cast<unsigned>(code), position);
      refused += refused.empty() ? name : std::string(", ") + name;
      return;
    }
    gbk += converted;
  });
  if (!refused.empty()) {
    return Error{refused, "characters without a GBK form: " + refused};
  }
  return gbk;
}

std::optional<std::string> MessageLimitRefusal(std::string_view gbk, int parts_limit) {
  if (parts_limit > 1) {
    const MessageMeasure measure = MeasureMessage(gbk, parts_limit);
    if (measure.fits) return std::nullopt;
    return "the text of " + std::to_string(measure.characters) + " characters takes " +
           std::to_string(measure.parts) + " SMS; at most " + std::to_string(parts_limit) +
           " are allowed (PARTS)";
  }
  if (gbk.find('\n') != std::string_view::npos) {
    return "the text holds a line break; one message is one line";
  }
  // UTF-16 code units are what the UCS-2 user data holds.
  const std::size_t characters = GbkToUtf16(gbk).size();
  if (characters > kMaxCharacters) {
    return "the text has " + std::to_string(characters) + " characters; at most " +
           std::to_string(kMaxCharacters) + " fit one message";
  }
  return std::nullopt;
}

std::optional<std::string> RecipientRefusal(std::string_view gbk) {
  if (gbk.empty()) return "an empty recipient";
  if (gbk.size() > kRecipientLineBytes) {
    return "a recipient of more than " + std::to_string(kRecipientLineBytes) + " bytes";
  }
  if (gbk.front() == kForbidMark) return "a recipient that begins with '*'";
  for (char c : gbk) {
    if (c == ';' || c == '|' || c == '\r' || c == '\n' || c == '\0') {
      return "a recipient holding ';', '|', a line break or NUL";
    }
  }
  return std::nullopt;
}

}  // namespace tavrel::http
