#pragma once
// Answers what a movie loads (movies, variables, XML and LoadVars data) from the files in one
// folder, as a movie played from disk finds them: an address names a file relative to the
// folder and what follows a '?' or '#' is no part of the name. Web addresses, and files that
// are not there, fail as a missing file does.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "player/player.h"

namespace swf {

// A request as lines of a log a movie's author reads beside its trace output: the pages it
// opens (with the method and variables it sends), the data it sends with a body of its own, and
// the sockets it connects.
std::vector<std::string> DescribeRequest(const Player::UrlRequest& request);

class FolderLoads {
 public:
  // Becomes `player`'s URL loader; the player must outlive this, and this the player's loads.
  FolderLoads(Player& player, std::filesystem::path folder);
  FolderLoads(const FolderLoads&) = delete;
  FolderLoads& operator=(const FolderLoads&) = delete;

  // Hands script objects (XML, LoadVars) the data they asked for. The player takes that only
  // outside its own callbacks: call this after Load and after each Tick.
  void Deliver();
  // The bytes of the file `url` names, or nothing.
  std::optional<std::vector<uint8_t>> Read(std::string_view url) const;
  // Sees every request the movie makes before it is answered (a tool that records them).
  void Watch(std::function<void(const Player::UrlRequest&)> watcher) {
    watcher_ = std::move(watcher);
  }

 private:
  void Answer(const Player::UrlRequest& request);

  Player& player_;
  std::filesystem::path folder_;
  std::vector<std::pair<uint64_t, std::optional<std::string>>> replies_;
  std::function<void(const Player::UrlRequest&)> watcher_;
};

}  // namespace swf
