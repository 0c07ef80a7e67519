#include "player/folder_loads.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "player/url_variables.h"

namespace swf {

std::vector<std::string> DescribeRequest(const Player::UrlRequest& r) {
  std::vector<std::string> lines;
  if (r.socketPort >= 0) {
    lines = {"Navigator::connect_socket",
             "    Host: " + r.url + "; Port: " + std::to_string(r.socketPort)};
    return lines;
  }
  const char* method = r.method == 2 ? "POST" : "GET";
  if (r.OpensPage()) {
    lines = {"Navigator::navigate_to_url:", "  URL: " + r.url, "  Target: " + r.target};
    if (r.method != 0) lines.push_back(std::string("  Method: ") + method);
    for (const auto& [name, value] : DecodeVariables(r.data)) {
      lines.push_back("  Param: " + name + "=" + value);
    }
  }
  if (r.contentType.empty()) return lines;
  lines.push_back("Navigator::fetch:");
  lines.push_back("  URL: " + r.url);
  lines.push_back(std::string("  Method: ") + method);
  lines.push_back("  Mime-Type: " + r.contentType);
  std::string body = "  Body: [";
  for (size_t i = 0; i < r.data.size(); ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<uint8_t>(r.data[i]));
    body += (i ? ", " : "") + std::string(hex);
  }
  lines.push_back(body + "]");
  return lines;
}


FolderLoads::FolderLoads(Player& player, std::filesystem::path folder)
    : player_(player), folder_(std::move(folder)) {
  player_.SetUrlLoader([this](const Player::UrlRequest& request) { Answer(request); });
}

std::optional<std::vector<uint8_t>> FolderLoads::Read(std::string_view url) const {
  const std::string_view name = url.substr(0, url.find_first_of("?#"));
  if (name.empty() || url.find("://") != std::string_view::npos) return std::nullopt;
  std::error_code error;
  const std::filesystem::path path = folder_ / std::filesystem::path(std::string(name));
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void FolderLoads::Answer(const Player::UrlRequest& request) {
  if (watcher_) watcher_(request);
  if (request.loadId == 0 && request.replyId == 0) return;  // a page to open, not a load
  std::optional<std::vector<uint8_t>> bytes = Read(request.url);
  if (request.loadId != 0) {
    if (bytes) {
      player_.CompleteLoad(request.loadId, std::move(*bytes));
    } else {
      player_.FailLoad(request.loadId);
    }
    return;
  }
  // The player is inside a script now; the script object hears of it from Deliver.
  std::optional<std::string> text;
  if (bytes) text.emplace(bytes->begin(), bytes->end());
  replies_.emplace_back(request.replyId, std::move(text));
}

void FolderLoads::Deliver() {
  // An answer may lead a script to ask for more: those wait for the next call.
  std::vector<std::pair<uint64_t, std::optional<std::string>>> now;
  now.swap(replies_);
  for (const auto& [id, bytes] : now) player_.DeliverData(id, bytes);
}

}  // namespace swf
