// QORWebAnswer.h - the web server's small pieces for reading requests and writing
// answers (kit internal): ids and counts as the pages send them, the session cookie,
// the security headers every answer carries, and refusals.
#pragma once

#include <httplib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qor_web {

using httplib::Request;
using httplib::Response;
using HandlerResponse = httplib::Server::HandlerResponse;

// Compares in time that depends on the length only.
bool ConstantTimeEqual(std::string_view a, std::string_view b);
// Ids the pages make (tab, load): plain and short.
bool IsId(std::string_view id);
bool IsCatalogName(std::string_view name);
bool ParseCount(std::string_view text, uint64_t& value);
std::string Quote(std::string_view text);
// The value of the named cookie in the request's Cookie headers, "" when absent.
std::string CookieValue(const Request& req, std::string_view name);
// The security headers, on every answer.
void Secure(Response& res);
HandlerResponse Refuse(Response& res, int status, std::string_view why);
HandlerResponse Json(Response& res, std::string body, int status = 200);
// Serves bytes that outlive the response through owner, without copying them.
HandlerResponse Serve(Response& res, std::string_view bytes, std::string_view mediaType,
                      std::shared_ptr<const void> owner);

}  // namespace qor_web
