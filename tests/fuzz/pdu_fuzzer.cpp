// Whatever the serial line delivers, the codec gives fields within their
// capacities and never reads or writes outside its input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/codec/pdu.h"

namespace {

void Check(bool holds) {
  if (!holds) std::abort();
}

void FuzzDeliver(std::string_view line) {
  const tavrel::DeliverPdu pdu = tavrel::ParseDeliverPdu(line);
  Check(pdu.address_length.size() <= 2);
  Check(pdu.sender_field.size() <= 12);
  Check(pdu.sender.size() <= 12);
  Check(pdu.type_code.size() <= 4);
  Check(pdu.user_data_offset >= 48 && pdu.user_data_offset <= 58);
  Check(pdu.user_data.size() < line.size() || pdu.user_data.empty());
}

void FuzzConversions(std::string_view hex) {
  const std::string seven_bit = tavrel::Unpack7Bit(hex);
  // 300 octets hold 342 septets; the zero octet after them adds one.
  Check(seven_bit.size() <= 343);
  for (char c : seven_bit) Check(c > 0);

  const std::string text = tavrel::Ucs2HexToText(hex);
  Check(text.find('\0') == std::string::npos);
  // At most 299 units, each at most two GBK bytes.
  Check(text.size() <= 2 * (tavrel::kUcs2FieldUnits - 1));
}

// The builder takes texts from the store, which anyone may have written.
void FuzzSubmit(std::string_view data) {
  const std::size_t cut = data.size() / 3;
  const tavrel::SubmitPdu pdu =
      tavrel::BuildSubmitPdu("8613800000000", data.substr(0, cut), data.substr(cut));
  Check(!pdu.text.empty() && pdu.text.back() == tavrel::kCtrlZ);
  Check(pdu.announced_length == static_cast<int>((pdu.text.size() - 1 - 18) / 2));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  FuzzDeliver(input);
  FuzzConversions(input);
  FuzzSubmit(input);
  return 0;
}
