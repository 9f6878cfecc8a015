#include "listener/http/service.h"

#include <ctime>

#include "listener/http/metrics.h"
#include "listener/http/web_page.h"
#include "listener/listener_thread.h"
#include "store/settings.h"

namespace tavrel::http {
namespace {

// The token name of the request being served, for the trace line the
// library's logger writes once the answer is out (same thread).
thread_local std::string served_token;

void Answer(httplib::Response& res, const Reply& reply) {
  res.status = reply.status;
  res.set_content(reply.body, reply.type.c_str());
}

std::optional<std::string> Param(const httplib::Request& req, const char* name) {
  if (!req.has_param(name)) return std::nullopt;
  return req.get_param_value(name);
}

}  // namespace

HttpService::HttpService(Station station, ListenerLog& log, ListenerView& view, AllowList allow,
                         Tokens tokens)
    : station_(std::move(station)),
      log_(log),
      view_(view),
      tokens_(std::move(tokens)),
      keys_(station_),
      api_{station_, &keys_},
      tally_(std::make_unique<JournalTally>(station_)),
      server_(std::move(allow), [this](const std::string& address) {
        Trace("HTTP refused " + address + ": not in ALLOW");
      }) {
  api_.on_filed = [this](const FiledRecord& filed) {
    view_.ShowAccount(std::to_string(filed.number));
  };
  AddRoutes();
}

HttpService::~HttpService() { Stop(); }

bool HttpService::MountStatic(const std::string& url_prefix, const std::string& folder) {
  return server_.set_mount_point(url_prefix, folder);
}

void HttpService::Trace(const std::string& line) {
  log_.Write(line + "\n");
  log_.Flush();
}

void HttpService::AddRoutes() {
  // Every route goes through the token check: the answer for a wrong or
  // missing token, or for an address locked out, is the same on all.
  using Handler = std::function<Reply(const httplib::Request&, const std::string& token_name)>;
  const auto authorised = [this](Handler handler) {
    return [this, handler](const httplib::Request& req, httplib::Response& res) {
      served_token.clear();
      if (lockout_.Locked(req.remote_addr)) {
        return Answer(res, ErrorReply(429, "locked out",
                                      "too many wrong tokens from this address; wait a minute"));
      }
      const std::optional<std::string> name = tokens_.NameOf(req.get_header_value("Authorization"));
      if (!name) {
        lockout_.Refused(req.remote_addr);
        return Answer(res, ErrorReply(401, "unauthorized", "a valid bearer token is needed"));
      }
      served_token = *name;
      Answer(res, handler(req, *name));
    };
  };
  server_.Post("/v1/messages", authorised([this](const httplib::Request& req, const std::string& name) {
    return PostMessage(api_, name, req.body);
  }));
  server_.Get(R"(/v1/messages/([^/]+)/([^/]+))",
              authorised([this](const httplib::Request& req, const std::string&) {
                return GetMessage(api_, req.matches[1].str(), req.matches[2].str());
              }));
  server_.Get("/v1/inbox", authorised([this](const httplib::Request& req, const std::string&) {
    return GetInbox(api_, Param(req, "day"), Param(req, "after"), Param(req, "limit"));
  }));
  server_.Get("/metrics", authorised([this](const httplib::Request&, const std::string&) {
    return Reply{200, MetricsText(station_, tally_->Today(), std::time(nullptr)),
                 "text/plain; version=0.0.4"};
  }));
  server_.Get("/healthz", authorised([this](const httplib::Request&, const std::string&) {
    return Health(station_, std::time(nullptr));
  }));

  AddWebPage(server_, authorised, station_);

  // Errors the library answers itself (404, 413, 400) in the API's shape.
  server_.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    Answer(res, ErrorReply(res.status, res.status == 413 ? "body too large" : "not found",
                           res.status == 413 ? "request bodies are at most 65536 bytes"
                                             : "no such endpoint"));
  });
  server_.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    const std::string who = served_token.empty() ? "-" : served_token;
    Trace("HTTP " + req.remote_addr + " " + who + " " + req.method + " " + req.path + " " +
          std::to_string(res.status));
    served_token.clear();
  });
}

bool HttpService::Start(const std::string& address, std::uint16_t port) {
  if (!server_.bind_to_port(address, port)) {
    Trace("HTTP bind error: " + address + ":" + std::to_string(port));
    view_.AppendStatus("HTTP: err bind " + address + ":" + std::to_string(port));
    return false;
  }
  server_.WidenListenQueue();
  tally_->StartThread();
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  Trace("HTTP listening on " + address + ":" + std::to_string(port));
  view_.AppendStatus("HTTP " + address + ":" + std::to_string(port));
  return true;
}

void HttpService::Stop() {
  server_.StopAll();
  if (thread_.joinable()) thread_.join();
}

std::unique_ptr<HttpService> StartHttpService(const Station& station, ListenerLog& log,
                                              ListenerView& view, const AllowList& allow,
                                              const std::string& address) {
  const std::string port_text = ReadSetting(station, settings::kHttpPort);
  if (port_text.empty()) return nullptr;
  Result<Tokens> tokens = Tokens::Load(station);
  if (!tokens) {
    log.Write("HTTP not started: " + tokens.error().detail + "\n");
    log.Flush();
    view.AppendStatus("HTTP not started: " + tokens.error().detail);
    return nullptr;
  }
  auto service = std::make_unique<HttpService>(station, log, view, allow, std::move(tokens.value()));
  // The station's web page mounts here, before Start: service->MountStatic("/", folder).
  if (!service->Start(address, PortNumber(port_text))) return nullptr;
  return service;
}

}  // namespace tavrel::http
