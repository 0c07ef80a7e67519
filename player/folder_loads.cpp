#include "player/folder_loads.h"

#include <fstream>
#include <iterator>

namespace swf {

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
  if (request.loadId == 0 && request.replyId == 0) {  // a page to open, not a load
    if (pageSink_) pageSink_(request);
    return;
  }
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
