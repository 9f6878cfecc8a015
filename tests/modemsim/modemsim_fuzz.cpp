// libFuzzer target for what modemsim reads from outside: PDUs, the bytes of
// the line, and spool files (*.sms, *.msg, *.ctl). Beyond "no crash" it
// checks one property: any text a *.sms file can hold comes back whole from
// the PDUs made for it.
#include <cstdint>
#include <string>

#include "tools/modemsim/modem.h"
#include "tools/modemsim/spool.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace modemsim;
  std::string input(reinterpret_cast<const char*>(data), size);

  DecodePdu(input);
  DecodePdu(ToHex(Bytes(data, data + size)), size % 2 == 0);

  Modem modem(4);
  modem.Inject(Address{"8613800000000", 0x91}, U"stored");
  std::string out;
  modem.Receive(input, out);
  modem.Receive("\x1A\r", out);

  std::string error;
  ParseControls(input, error);
  if (auto injection = ParseInjection(input, error)) {
    modem.Inject(*injection, error);
    modem.Tick(out);
    StateLines(modem.Storage());
  }
  if (auto message = ParseSpoolMessage(input, error)) {
    DeliverMessage deliver;
    deliver.sender = message->sender;
    deliver.text = message->text;
    std::u32string joined;
    for (const std::string& pdu : EncodeDeliver(deliver)) {
      DecodeResult decoded = DecodePdu(pdu);
      if (!decoded.pdu) __builtin_trap();
      joined += decoded.pdu->text;
    }
    if (joined != message->text) __builtin_trap();
  }
  return 0;
}
