// Whatever the serial line delivers, the codec gives fields within their
// capacities and never reads or writes outside its input, and the decoder
// gives a result or a note, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/codec/long_message.h"
#include "engine/codec/pdu.h"
#include "engine/codec/sms_decoder.h"

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

// Nothing that reaches a file or a terminal holds a control byte other
// than CR and LF (GBK trail bytes are never below 0x40).
void CheckFiledText(std::string_view text) {
  for (char c : text) Check(static_cast<unsigned char>(c) >= 0x20 || c == '\r' || c == '\n');
}

void FuzzDecoder(std::string_view line) {
  const tavrel::DecodedSms sms = tavrel::DecodeSmsPdu(line);
  Check(sms.read_up_to <= line.size());
  Check(sms.type != tavrel::SmsPduType::kOther || !sms.error.empty());
  CheckFiledText(sms.text);
  CheckFiledText(tavrel::SenderRecordText(sms.sender));
  CheckFiledText(sms.recipient.value);
  CheckFiledText(sms.service_centre.value);
  if (sms.concatenation) {
    Check(sms.concatenation->sequence >= 1);
    Check(sms.concatenation->sequence <= sms.concatenation->total);
  }
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

// Long messages come from the store and from Quillon's clients: the parts
// are whole, within their size, and the measure agrees with the plan.
void FuzzLongMessage(std::string_view text) {
  const tavrel::MessagePlan plan = tavrel::PlanMessage(text, tavrel::kMaxParts);
  Check(!plan.parts.empty() && plan.parts.size() <= tavrel::kMaxParts);
  const bool gsm7 = plan.alphabet == tavrel::SmsAlphabet::kGsm7;
  const std::size_t room = plan.parts.size() == 1 ? (gsm7 ? 160 : 140) : (gsm7 ? 153 : 134);
  for (const auto& part : plan.parts) {
    Check(part.size() <= room);
    if (gsm7 && !part.empty()) Check(part.back() != 0x1B);  // never half an escape pair
  }
  const tavrel::MessageMeasure measure = tavrel::MeasureMessage(text, tavrel::kMaxParts);
  Check(measure.fits == (plan.parts_needed <= tavrel::kMaxParts));
  for (const tavrel::SubmitPdu& pdu :
       tavrel::AssembleMessagePdus("8613800000000", "13800000000", plan, 255, true)) {
    Check(pdu.announced_length == static_cast<int>((pdu.text.size() - 1 - 18) / 2));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  FuzzDeliver(input);
  FuzzDecoder(input);
  FuzzConversions(input);
  FuzzSubmit(input);
  FuzzLongMessage(input);
  return 0;
}
