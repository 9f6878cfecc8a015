#pragma once
// The station's web page for the shop's phone: plain files from
// listener/web/, built into Quillon, served at / and under /web/. The page
// holds no data: it reads and sends through the API with the token the user
// typed, so its files are served without one.
#include <httplib.h>

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "listener/http/api.h"
#include "platform/station.h"

namespace tavrel::http {

struct WebFile {
  std::string_view name;  // inside listener/web/: "index.html", "app.js"
  std::string_view body;
};

// Every file of the page (made from listener/web/ at build time).
std::span<const WebFile> WebFiles();

// The file a path names: "/" is index.html, "/web/<name>" the others;
// nullptr for anything else.
const WebFile* FindWebFile(std::string_view path);
std::string_view ContentType(std::string_view name);

// Sends only what the page's own origin serves: no script, style, font or
// image from anywhere else, no inline script, no framing by another site.
inline constexpr std::string_view kContentSecurityPolicy =
    "default-src 'self'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'; "
    "object-src 'none'";

// A route handler behind the API's token check, and the check that wraps it.
using Guarded = std::function<Reply(const httplib::Request&, const std::string& token_name)>;
using Guard = std::function<httplib::Server::Handler(Guarded)>;

// The page's files, and the endpoints its views need besides the API's own
// (/v1/today, /v1/outbox?day=&after=&limit=, /v1/modems, /v1/limits).
void AddWebPage(httplib::Server& server, const Guard& authorised, const Station& station);

}  // namespace tavrel::http
