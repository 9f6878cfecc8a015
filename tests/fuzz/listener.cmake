# The listener's request handling, over a socket pair, without the store.
tavrel_add_fuzzer(request_fuzz SOURCES request_fuzz.cpp LIBS tavrel_listener)
