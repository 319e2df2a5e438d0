// QORWebAnswer.cpp - the web server's small pieces for requests and answers.
#include "DialogToolkit/src/QORWebAnswer.h"

#include <algorithm>
#include <charconv>

#include "JsonStreams/QORJsonString.h"

namespace qor_web {

bool ConstantTimeEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  volatile unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff = diff | static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

bool IsId(std::string_view id) {
  if (id.size() < 8 || id.size() > 64) return false;
  return std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_';
  });
}

bool IsCatalogName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_';
  });
}

bool ParseCount(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::string Quote(std::string_view text) {
  return QORJsonString(text);
}

std::string CookieValue(const Request& req, std::string_view name) {
  const size_t count = req.get_header_value_count("Cookie");
  for (size_t i = 0; i < count; ++i) {
    const std::string header = req.get_header_value("Cookie", i);
    std::string_view rest(header);
    while (!rest.empty()) {
      const size_t end = std::min(rest.find(';'), rest.size());
      std::string_view pair = rest.substr(0, end);
      rest.remove_prefix(std::min(end + 1, rest.size()));
      while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
      const size_t eq = pair.find('=');
      if (eq != std::string_view::npos && pair.substr(0, eq) == name)
        return std::string(pair.substr(eq + 1));
    }
  }
  return "";
}

void Secure(Response& res) {
  static const std::pair<const char*, const char*> kHeaders[] = {
      {"Content-Security-Policy",
       "default-src 'self'; script-src 'self'; object-src 'none'; base-uri 'none'; "
       "frame-ancestors 'self'"},
      {"X-Content-Type-Options", "nosniff"},
      {"Cache-Control", "no-store"},
      {"Referrer-Policy", "no-referrer"},
  };
  for (const auto& [name, value] : kHeaders)
    if (!res.has_header(name)) res.set_header(name, value);
}

HandlerResponse Refuse(Response& res, int status, std::string_view why) {
  res.status = status;
  res.set_content(std::string(why) + "\n", "text/plain; charset=utf-8");
  // A refused request's body is never read, so the connection cannot carry another.
  res.set_header("Connection", "close");
  return HandlerResponse::Handled;
}

HandlerResponse Json(Response& res, std::string body, int status) {
  res.status = status;
  res.set_content(std::move(body), "application/json");
  return HandlerResponse::Handled;
}

HandlerResponse Serve(Response& res, std::string_view bytes, std::string_view mediaType,
                      std::shared_ptr<const void> owner) {
  res.status = 200;
  if (bytes.empty()) {
    res.set_content(std::string(), std::string(mediaType));
    return HandlerResponse::Handled;
  }
  res.set_content_provider(bytes.size(), std::string(mediaType),
                           [bytes, owner](size_t offset, size_t length, httplib::DataSink& sink) {
                             return sink.write(bytes.data() + offset, length);
                           });
  return HandlerResponse::Handled;
}

}  // namespace qor_web
