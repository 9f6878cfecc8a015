#pragma once
// What a client's UTF-8 becomes before it is filed: GBK through the
// station's own converter, never silently replaced, and within the limits a
// record's text and recipient lines have.
#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace tavrel::http {

// CR LF and a lone CR become LF.
std::string UnifyLineEnds(std::string_view text);

// The GBK bytes of valid UTF-8, or an error whose detail names every
// character without a GBK form as U+XXXX with its position (from 1).
Result<std::string> ToGbk(std::string_view utf8);

// Why a GBK text cannot be filed as one message, or nullopt when it can.
// The station's limit for one message: with PARTS (parts_limit) at 1, 70
// characters of UCS-2 user data (TS 23.040 9.2.3.24 leaves 140 octets) and
// no line break, which the send phase would cut at; above 1, as many parts
// as PARTS allows in the text's alphabet.
std::optional<std::string> MessageLimitRefusal(std::string_view gbk, int parts_limit);

// Why a recipient entry (GBK) cannot be a line of R<n>, or nullopt when it
// can: a number or a customer name, judged by syntax only.
std::optional<std::string> RecipientRefusal(std::string_view gbk);

}  // namespace tavrel::http
