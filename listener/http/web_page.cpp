#include "listener/http/web_page.h"

#include <memory>
#include <mutex>

#include "listener/http/web_api.h"

namespace tavrel::http {
namespace {

constexpr std::string_view kIndex = "index.html";
constexpr std::string_view kFolder = "/web/";

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

std::optional<std::string> Param(const httplib::Request& req, const char* name) {
  if (!req.has_param(name)) return std::nullopt;
  return req.get_param_value(name);
}

void ServeFile(const httplib::Request& req, httplib::Response& res) {
  const WebFile* file = FindWebFile(req.path);
  if (file == nullptr) {
    res.status = 404;
    return;
  }
  res.set_header("Content-Security-Policy", std::string(kContentSecurityPolicy));
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("Referrer-Policy", "no-referrer");
  // Small files: always asking keeps a phone from running an old page
  // against a newer station.
  res.set_header("Cache-Control", "no-cache");
  res.set_content(file->body.data(), file->body.size(), std::string(ContentType(file->name)));
}

// The day's figures between requests; requests come on several threads.
struct SharedTally {
  std::mutex mutex;
  DayTally tally;
};

}  // namespace

const WebFile* FindWebFile(std::string_view path) {
  std::string_view name;
  if (path == "/") {
    name = kIndex;
  } else if (path.substr(0, kFolder.size()) == kFolder) {
    name = path.substr(kFolder.size());
  } else {
    return nullptr;
  }
  for (const WebFile& file : WebFiles()) {
    if (file.name == name) return &file;
  }
  return nullptr;
}

std::string_view ContentType(std::string_view name) {
  if (EndsWith(name, ".html")) return "text/html; charset=utf-8";
  if (EndsWith(name, ".css")) return "text/css; charset=utf-8";
  if (EndsWith(name, ".js")) return "text/javascript; charset=utf-8";
  if (EndsWith(name, ".svg")) return "image/svg+xml";
  return "application/octet-stream";
}

void AddWebPage(httplib::Server& server, const Guard& authorised, const Station& station) {
  server.Get("/", ServeFile);
  server.Get(R"(/web/[A-Za-z0-9._-]+)", ServeFile);

  auto shared = std::make_shared<SharedTally>();
  server.Get("/v1/today",
             authorised([station, shared](const httplib::Request&, const std::string&) {
               const std::lock_guard<std::mutex> lock(shared->mutex);
               return GetToday(station, shared->tally);
             }));
  server.Get("/v1/outbox", authorised([station](const httplib::Request& req, const std::string&) {
               return GetOutbox(station, Param(req, "day"), Param(req, "after"),
                                Param(req, "limit"));
             }));
  server.Get("/v1/modems", authorised([station](const httplib::Request&, const std::string&) {
               return GetModems(station, std::time(nullptr));
             }));
  server.Get("/v1/limits", authorised([station](const httplib::Request&, const std::string&) {
               return GetLimits(station);
             }));
}

}  // namespace tavrel::http
