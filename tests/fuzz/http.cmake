# The HTTP API's request handling on arbitrary bodies, paths and queries.
tavrel_add_fuzzer(http_request_fuzz SOURCES http_request_fuzz.cpp LIBS tavrel_listener)
