#pragma once
// The endpoints of the HTTP API as functions of a request's parts, apart
// from the server that carries them: each answers a status and a JSON body.
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "listener/connection.h"
#include "listener/http/idempotency.h"
#include "platform/station.h"

namespace tavrel::http {

struct Reply {
  int status = 200;
  std::string body;
  std::string type = "application/json";
};

// {"error": error, "detail": detail}
Reply ErrorReply(int status, std::string_view error, std::string_view detail);

struct ApiContext {
  Station station;
  IdempotencyKeys* keys = nullptr;  // none: ids are refused
  OutboxWriter write_outbox{};      // empty: the TCP request's writer
  std::function<void(const FiledRecord&)> on_filed{};  // the window's account
};

// POST /v1/messages on behalf of the named token.
Reply PostMessage(ApiContext& context, std::string_view token_name, std::string_view body);
// GET /v1/messages/{day}/{record}
Reply GetMessage(const ApiContext& context, std::string_view day, std::string_view record);
// GET /v1/inbox?day=&after=&limit= (each nullopt when not given)
Reply GetInbox(const ApiContext& context, std::optional<std::string> day,
               std::optional<std::string> after, std::optional<std::string> limit);

// Received record n of day as the inbox and the webhook show it:
// {"record", "sender", "time", "text"}; nullopt when it is not complete.
std::optional<nlohmann::json> InboxMessage(const Station& station, std::string_view day, long n);

// Whether text names a day folder (2026-12-7); nothing else may reach a path.
bool IsDayName(std::string_view text);

// The query of a listing (the inbox, the outbox): day defaults to today,
// after to 0, limit to 100 (at most 1,000).
struct ListQuery {
  std::string day;
  long after = 0;
  long limit = 0;
};
// nullopt for a query that names no day or number, answered BadListQuery().
std::optional<ListQuery> ReadListQuery(const Station& station,
                                       const std::optional<std::string>& day,
                                       const std::optional<std::string>& after,
                                       const std::optional<std::string>& limit);
Reply BadListQuery();  // 400

}  // namespace tavrel::http
