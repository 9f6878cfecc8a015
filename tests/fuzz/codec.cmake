# The codec library on its own, without the rest of the engine: the PDU
# codec and decoder, and the listing and reply parsers.
tavrel_add_fuzzer(pdu_fuzzer SOURCES pdu_fuzzer.cpp LIBS tavrel_codec)
tavrel_add_fuzzer(listing_fuzzer SOURCES listing_fuzzer.cpp LIBS tavrel_codec)
