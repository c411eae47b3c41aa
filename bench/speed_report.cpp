#include "bench/speed_report.h"

#include <algorithm>

namespace cubemill::bench {
namespace {

constexpr double kKibPerMib = 1024.0;

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Seconds(double seconds) { return Format(seconds < 1 ? "%.3f s" : "%.2f s", seconds); }

std::string Mib(double mib) { return Format("%.1f MiB", mib); }

// "<ratio> (<relation> <target>: met|MISSED)", counting a miss in `missed`.
std::string Judged(double value, const char* relation, double target, const std::string& shown,
                   const std::string& target_text, int& missed) {
  const bool met = std::string(relation) == "<" ? value < target : value <= target;
  if (!met) ++missed;
  return shown + " (" + relation + " " + target_text + ": " + (met ? "met" : "MISSED") + ")";
}

}  // namespace

double CommandRounds::Fastest() const {
  return seconds.empty() ? 0 : *std::min_element(seconds.begin(), seconds.end());
}

double CommandRounds::LeastCpu() const {
  return cpu_seconds.empty() ? 0 : *std::min_element(cpu_seconds.begin(), cpu_seconds.end());
}

CubeTargets TargetsFor(const SalesCube& cube) {
  CubeTargets targets;
  if (&cube == &kCoarseCube) {
    targets.max_per_read = 1.1;
    targets.rss_fixed_mib = 32;
  } else {
    targets.max_per_read = 1.3;
    targets.below_per_peer = 1.0;
    targets.rss_fixed_mib = 64;
    targets.rss_bytes_per_cell = 64;
  }
  return targets;
}

int PrintSummary(std::FILE* out, std::int64_t rows, const std::vector<CubeMeasurement>& cubes) {
  int missed = 0;
  std::fprintf(out,
               "| source rows | cube | cells | READ | PEER | Cubemill | Cubemill / READ "
               "| Cubemill / PEER | peak RSS |\n"
               "|---:|---|---:|---:|---:|---:|---|---|---|\n");
  for (const CubeMeasurement& m : cubes) {
    const CubeTargets targets = TargetsFor(*m.cube);
    const double build = m.build.Fastest();
    const double per_read = build / m.read.Fastest();
    const double per_peer = build / m.peer.Fastest();
    const std::string read_cell =
        Judged(per_read, "<=", targets.max_per_read, Format("%.2f", per_read),
               Format("%.1f", targets.max_per_read), missed);
    const std::string peer_cell =
        targets.below_per_peer
            ? Judged(per_peer, "<", *targets.below_per_peer, Format("%.2f", per_peer),
                     Format("%.1f", *targets.below_per_peer), missed)
            : Format("%.2f", per_peer) + " (no target)";
    const double rss_mib = static_cast<double>(m.build.peak_rss_kib) / kKibPerMib;
    const double rss_target = targets.rss_fixed_mib + targets.rss_bytes_per_cell *
                                                          static_cast<double>(m.cells) /
                                                          (kKibPerMib * kKibPerMib);
    const std::string rss_cell =
        Judged(rss_mib, "<", rss_target, Mib(rss_mib), Format("%.1f", rss_target), missed);
    std::fprintf(out, "| %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", Grouped(rows).c_str(),
                 m.cube->name, Grouped(m.cells).c_str(), Seconds(m.read.Fastest()).c_str(),
                 Seconds(m.peer.Fastest()).c_str(), Seconds(build).c_str(), read_cell.c_str(),
                 peer_cell.c_str(), rss_cell.c_str());
  }
  return missed;
}

void PrintRounds(std::FILE* out, const std::vector<CubeMeasurement>& cubes) {
  std::fprintf(out,
               "| cube | command | rounds (wall time, s, in order) | fastest | least CPU "
               "| peak RSS |\n"
               "|---|---|---|---:|---:|---:|\n");
  for (const CubeMeasurement& m : cubes) {
    const struct {
      const char* name;
      const CommandRounds* rounds;
    } commands[] = {{"READ", &m.read}, {"PEER", &m.peer}, {"Cubemill", &m.build}};
    for (const auto& command : commands) {
      std::string all;
      for (double seconds : command.rounds->seconds) {
        all += (all.empty() ? "" : ", ") + Format("%.2f", seconds);
      }
      std::fprintf(out, "| %s | %s | %s | %s | %s | %s |\n", m.cube->name, command.name,
                   all.c_str(), Seconds(command.rounds->Fastest()).c_str(),
                   Seconds(command.rounds->LeastCpu()).c_str(),
                   Mib(static_cast<double>(command.rounds->peak_rss_kib) / kKibPerMib).c_str());
    }
  }
}

std::string Grouped(std::int64_t value) {
  const std::string digits = std::to_string(value < 0 ? -value : value);
  std::string grouped = value < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace cubemill::bench
