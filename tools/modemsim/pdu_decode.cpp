// pdu-decode: prints what a PDU says, decoded by modemsim's own codec.
//   pdu-decode [--tpdu] HEX...      or one PDU per line on standard input
// --tpdu reads PDUs without the service-centre part in front.
#include <cstdio>
#include <iostream>
#include <string>

#include "tools/modemsim/pdu.h"

namespace {

std::string Hex(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

std::string Describe(const modemsim::Address& address) {
  return address.Display() + " (type " + Hex(address.type) + ")";
}

bool Print(const std::string& hex, bool with_service_centre) {
  using modemsim::Pdu;
  auto result = modemsim::DecodePdu(hex, with_service_centre);
  if (!result.pdu) {
    std::printf("error: %s\n", result.error.c_str());
    return false;
  }
  const Pdu& pdu = *result.pdu;
  bool submit = pdu.kind == Pdu::Kind::Submit;
  bool report = pdu.kind == Pdu::Kind::StatusReport;
  std::printf("kind: %s\n", submit ? "SMS-SUBMIT" : report ? "SMS-STATUS-REPORT" : "SMS-DELIVER");
  if (with_service_centre) {
    std::printf("service centre: %s\n", pdu.service_centre ? Describe(*pdu.service_centre).c_str() : "(stored one)");
  }
  std::printf("first octet: %s\n", Hex(pdu.first_octet).c_str());
  if (submit || report) std::printf("message reference: %u\n", pdu.message_reference);
  std::printf("%s: %s\n", submit ? "destination" : report ? "recipient" : "sender", Describe(pdu.address).c_str());
  if (report) {
    std::printf("time stamp: %s\n", pdu.timestamp.Display().c_str());
    std::printf("discharge time: %s\n", pdu.discharge_time.Display().c_str());
    std::printf("status: %s\n", Hex(pdu.status).c_str());
    std::printf("tpdu octets: %zu\n", pdu.tpdu_octets);
    return true;
  }
  std::printf("protocol id: %s\n", Hex(pdu.protocol_id).c_str());
  std::printf("data coding: %s (%s)\n", Hex(pdu.data_coding).c_str(), modemsim::CodingName(pdu.coding));
  if (submit) {
    std::printf("validity: %s\n", pdu.validity.Display().c_str());
  } else {
    std::printf("time stamp: %s\n", pdu.timestamp.Display().c_str());
  }
  std::printf("user data length: %u\n", pdu.user_data_length);
  if (!pdu.header.empty()) std::printf("user data header: %s\n", modemsim::ToHex(pdu.header).c_str());
  std::printf("text: %s\n", modemsim::ToUtf8(pdu.text).c_str());
  std::printf("tpdu octets: %zu\n", pdu.tpdu_octets);
  return true;
}

std::string Clean(std::string text) {
  std::string hex;
  for (char c : text) {
    if (c != ' ' && c != '\r' && c != '\n' && c != '\t' && c != 0x1A) hex += c;
  }
  return hex;
}

}  // namespace

int main(int argc, char** argv) {
  bool with_service_centre = true;
  bool all_good = true;
  int decoded = 0;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--tpdu") {
      with_service_centre = false;
    } else if (argument == "--help" || argument == "-h") {
      std::puts("usage: pdu-decode [--tpdu] [HEX...]   (no HEX: one PDU per line on standard input)");
      return 0;
    } else {
      if (decoded++) std::puts("");
      all_good &= Print(Clean(argument), with_service_centre);
    }
  }
  if (decoded == 0) {
    std::string line;
    while (std::getline(std::cin, line)) {
      std::string hex = Clean(line);
      if (hex.empty()) continue;
      if (decoded++) std::puts("");
      all_good &= Print(hex, with_service_centre);
    }
  }
  return all_good ? 0 : 1;
}
