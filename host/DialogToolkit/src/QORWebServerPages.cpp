// QORWebServerPages.cpp - the pages a session serves: the window page filled in with
// the window's texts, the program's web pages with the bridge injected first in their
// head, and the scripts pushed to the viewer, each served once.
#include <optional>

#include "DialogToolkit/QORWebAssets.h"
#include "DialogToolkit/src/QORWebAnswer.h"
#include "DialogToolkit/src/QORWebServerImpl.h"
#include "EventToolkit/QOREventLoop.h"

namespace qor_web {
namespace {

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

size_t FindTag(std::string_view html, std::string_view name) {
  for (size_t at = 0; at + name.size() + 1 < html.size(); ++at) {
    if (html[at] != '<') continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(html[at + 1 + i])) == name[i];
    if (!same) continue;
    char next = html[at + 1 + name.size()];
    if (next == '>' || next == ' ' || next == '\t' || next == '\n' || next == '\r') {
      size_t close = html.find('>', at);
      return close == std::string_view::npos ? std::string_view::npos : close + 1;
    }
  }
  return std::string_view::npos;
}

// The bridge goes first in <head>, before the page's own scripts.
std::string InjectBridge(std::string_view html, std::string_view tag) {
  size_t at = FindTag(html, "head");
  if (at == std::string_view::npos) at = FindTag(html, "html");
  if (at == std::string_view::npos) at = FindTag(html, "!doctype");
  if (at == std::string_view::npos) at = 0;
  std::string out;
  out.reserve(html.size() + tag.size());
  out.append(html.substr(0, at)).append(tag).append(html.substr(at));
  return out;
}

}  // namespace

HandlerResponse Server::WindowPage(Response& res, const std::shared_ptr<QORWebPage>& page) {
  std::optional<QORWebAssets::Asset> asset = QORWebAssets::Find("__qor/window.html");
  if (!asset) return Refuse(res, 500, "the window page is missing");
  std::string html(asset->bytes);
  const std::string base = "/" + page->token;
  std::string title, viewer;
  {
    std::lock_guard<std::mutex> lock(page->mutex);
    title = page->title;
    viewer = page->viewerPath.empty() ? "about:blank" : base + "/" + page->viewerPath;
  }
  ReplaceAll(html, "{{BASE}}", base);
  ReplaceAll(html, "{{LANG}}", EscapeHtml(page->language));
  ReplaceAll(html, "{{TITLE}}", EscapeHtml(title));
  ReplaceAll(html, "{{VIEWER}}", EscapeHtml(viewer));
  ReplaceAll(html, "{{CLOSE}}", EscapeHtml(page->closeText));
  ReplaceAll(html, "{{CLOSED_TEXT}}", EscapeHtml(page->closedText));
  res.status = 200;
  res.set_content(std::move(html), "text/html; charset=utf-8");
  return HandlerResponse::Handled;
}

HandlerResponse Server::Script(std::string_view id, Response& res,
                               const std::shared_ptr<QORWebPage>& page) {
  std::shared_ptr<const std::string> script;
  {
    std::lock_guard<std::mutex> lock(page->mutex);
    auto found = page->oneShots.end();
    for (auto it = page->oneShots.begin(); it != page->oneShots.end(); ++it)
      if (ConstantTimeEqual(it->id, id)) found = it;
    if (found == page->oneShots.end()) return Refuse(res, 404, "not found");
    script = std::move(found->script);
    page->oneShots.erase(found);  // served once
  }
  std::string_view text(*script);
  return Serve(res, text, "text/javascript; charset=utf-8", std::move(script));
}

HandlerResponse Server::Asset(std::string_view path, Response& res,
                              const std::shared_ptr<QORWebPage>& page) {
  std::optional<QORWebAssets::Asset> asset = QORWebAssets::Find(path);
  if (!asset) return Refuse(res, 404, "not found");
  if (path.starts_with("webapps/") && asset->mediaType.starts_with("text/html")) {
    bool first = false;
    {
      std::lock_guard<std::mutex> lock(page->mutex);
      first = !page->loadStarted && !page->gone && path == page->viewerPath;
      if (first) page->loadStarted = true;
    }
    // The viewer's page starts loading now: what the program sends it on LoadStart is
    // made while the browser boots the page, not after.
    if (first) QOREventLoop::Host().Post([this, page] { _setup.loadStart(page); });
    const std::string tag = "<script src=\"/" + page->token +
                            "/__qor/bridge.js\" data-language=\"" + EscapeHtml(page->language) +
                            "\"></script>";
    res.status = 200;
    res.set_content(InjectBridge(asset->bytes, tag), std::string(asset->mediaType));
    return HandlerResponse::Handled;
  }
  return Serve(res, asset->bytes, asset->mediaType, asset->owner);
}

}  // namespace qor_web
