#pragma once
// Prints, after the usual table, each benchmark's time as a ratio to a baseline measured in the
// same run: "memcpy/WxH" is the baseline of every "NAME/WxH".
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace brim {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nRatios to the baseline of the same size (lower is better):\n");
    for (const auto& [name, time] : times_) {
      const auto slash = name.find('/');
      if (slash == std::string::npos) continue;
      const std::string kind = name.substr(0, slash), size = name.substr(slash + 1);
      if (kind == baseline_) continue;
      auto base = times_.find(baseline_ + "/" + size);
      if (base == times_.end() || base->second <= 0) continue;
      std::printf("  %-32s %8.2f x %s\n", name.c_str(), time / base->second, baseline_.c_str());
    }
  }
  explicit RatioReporter(std::string baseline) : baseline_(std::move(baseline)) {}

 private:
  std::string baseline_;
  std::map<std::string, double> times_;
};

}  // namespace brim
