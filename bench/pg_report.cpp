#include "bench/pg_report.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

namespace cubemill::bench {
namespace {

constexpr double kKibPerMib = 1024.0;
// The coarse cube's SOURCE build is to be at least this many times faster than CLIENT.
constexpr double kCoarseSpeedUp = 5.0;
// A job waits this long before its build (and after its checks); every run's wall time holds it.
constexpr double kJobPauseSeconds = 1.0;
// Peak RSS flat in source rows: at most this factor of the peak at the fewest rows ...
constexpr double kFlatFactor = 1.1;
// ... plus this many MiB.
constexpr double kFlatMib = 2.0;

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Seconds(double seconds) { return Format(seconds < 1 ? "%.3f s" : "%.2f s", seconds); }

std::string Mib(long kib) { return Format("%.1f MiB", static_cast<double>(kib) / kKibPerMib); }

const WayRounds& Client(const PgMeasurement& m) { return m.ways[0]; }
const WayRounds& Source(const PgMeasurement& m) { return m.ways[1]; }
const WayRounds& Auto(const PgMeasurement& m) { return m.ways[2]; }

// "CLIENT / SOURCE", judged against its target for the coarse cube.
std::string SpeedUpCell(const PgMeasurement& m, int& missed) {
  const double ratio = Client(m).cubemill.Fastest() / Source(m).cubemill.Fastest();
  const std::string shown = Format("%.2f", ratio);
  if (m.cube != &kCoarseCube) return shown + " (no target)";
  const bool met = ratio >= kCoarseSpeedUp;
  if (!met) ++missed;
  return shown + " (>= " + Format("%.0f", kCoarseSpeedUp) + ": " + (met ? "met" : "MISSED") + ")";
}

// CLIENT / SOURCE of the builds alone: the wall times less the job's pause.
std::string BuildsOnlyCell(const PgMeasurement& m) {
  const double client = Client(m).cubemill.Fastest() - kJobPauseSeconds;
  const double source = Source(m).cubemill.Fastest() - kJobPauseSeconds;
  return client > 0 && source > 0 ? Format("%.2f", client / source) : "-";
}

// The way AUTO took, and whether that was the faster of CLIENT and SOURCE.
std::string AutoCell(const PgMeasurement& m, int& missed) {
  const double client = Client(m).cubemill.Fastest();
  const double source = Source(m).cubemill.Fastest();
  const std::string faster = source < client ? "source" : "client";
  const std::string took = Auto(m).Took();
  const bool met = took == faster;
  if (!met) ++missed;
  const double by = std::max(client, source) / std::min(client, source);
  return took + " (" +
         (met ? "the faster: met" : faster + " " + Format("%.2f", by) + "x faster: MISSED") + ")";
}

}  // namespace

double WayRounds::LeastServerCpu() const {
  return server_cpu_seconds.empty()
             ? 0
             : *std::min_element(server_cpu_seconds.begin(), server_cpu_seconds.end());
}

std::string WayRounds::Took() const {
  std::string way;
  for (const std::string& round : took) {
    if (way.empty()) way = round;
    if (round != way) return "mixed";
  }
  return way;
}

int PrintPgSummary(std::FILE* out, std::int64_t rows, const std::vector<PgMeasurement>& cubes) {
  int missed = 0;
  std::fprintf(out,
               "| rows | setup | cube | cells | groups | CLIENT | SOURCE | AUTO | CLIENT / SOURCE "
               "| builds only | AUTO took | peak RSS CLIENT | SOURCE | AUTO |\n"
               "|---:|---|---|---:|---:|---:|---:|---:|---|---:|---|---:|---:|---:|\n");
  for (const PgMeasurement& m : cubes) {
    const std::string speed_up = SpeedUpCell(m, missed);
    const std::string auto_cell = AutoCell(m, missed);
    std::fprintf(
        out, "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n",
        Grouped(rows).c_str(), m.setup.c_str(), m.cube->name, Grouped(m.cells).c_str(),
        Grouped(m.groups).c_str(), Seconds(Client(m).cubemill.Fastest()).c_str(),
        Seconds(Source(m).cubemill.Fastest()).c_str(), Seconds(Auto(m).cubemill.Fastest()).c_str(),
        speed_up.c_str(), BuildsOnlyCell(m).c_str(), auto_cell.c_str(),
        Mib(Client(m).cubemill.peak_rss_kib).c_str(), Mib(Source(m).cubemill.peak_rss_kib).c_str(),
        Mib(Auto(m).cubemill.peak_rss_kib).c_str());
  }
  return missed;
}

void PrintPgRounds(std::FILE* out, const std::vector<PgMeasurement>& cubes) {
  std::fprintf(out,
               "| setup | cube | AGGREGATE | rounds (wall time, s, in order) | fastest "
               "| least CPU | least server CPU | peak RSS |\n"
               "|---|---|---|---|---:|---:|---:|---:|\n");
  for (const PgMeasurement& m : cubes) {
    for (int way = 0; way < kWayCount; ++way) {
      const WayRounds& rounds = m.ways[way];
      std::string all;
      for (double seconds : rounds.cubemill.seconds)
        all += (all.empty() ? "" : ", ") + Format("%.2f", seconds);
      std::fprintf(
          out, "| %s | %s | %s | %s | %s | %s | %s | %s |\n", m.setup.c_str(), m.cube->name,
          kAggregateWays[way], all.c_str(), Seconds(rounds.cubemill.Fastest()).c_str(),
          Seconds(rounds.cubemill.LeastCpu()).c_str(), Seconds(rounds.LeastServerCpu()).c_str(),
          Mib(rounds.cubemill.peak_rss_kib).c_str());
    }
  }
}

bool AppendResults(const std::string& path, std::int64_t rows,
                   const std::vector<PgMeasurement>& cubes) {
  std::ofstream file(path, std::ios::app);
  for (const PgMeasurement& m : cubes) {
    for (int way = 0; way < kWayCount; ++way) {
      const WayRounds& rounds = m.ways[way];
      file << rows << '\t' << m.setup << '\t' << m.cube->name << '\t' << kAggregateWays[way] << '\t'
           << m.cells << '\t' << m.groups << '\t' << rounds.cubemill.Fastest() << '\t'
           << rounds.cubemill.LeastCpu() << '\t' << rounds.LeastServerCpu() << '\t'
           << rounds.cubemill.peak_rss_kib << '\t' << rounds.Took() << '\n';
    }
  }
  file.flush();
  return static_cast<bool>(file);
}

int PrintMemoryReport(std::FILE* out, const std::string& path) {
  std::ifstream file(path);
  if (!file) return -1;
  // (setup, cube, way) in the order first met -> source rows -> (peak RSS in KiB, cells).
  using Key = std::tuple<std::string, std::string, std::string>;
  std::vector<Key> order;
  std::map<Key, std::map<std::int64_t, std::pair<long, std::int64_t>>> peaks;
  std::set<std::int64_t> sizes;
  for (std::string line; std::getline(file, line);) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    if (fields.size() < 10) return -1;
    const Key key{fields[1], fields[2], fields[3]};
    if (!peaks.count(key)) order.push_back(key);
    const std::int64_t rows = std::stoll(fields[0]);
    sizes.insert(rows);
    peaks[key][rows] = {std::stol(fields[9]), std::stoll(fields[4])};
  }
  if (sizes.empty()) return -1;

  std::fprintf(out, "| setup | cube | AGGREGATE | cells |");
  for (std::int64_t rows : sizes) std::fprintf(out, " peak RSS, %s rows |", Grouped(rows).c_str());
  std::fprintf(out, " flat in rows |\n|---|---|---|---|");
  for (std::size_t i = 0; i < sizes.size(); ++i) std::fprintf(out, "---:|");
  std::fprintf(out, "---|\n");
  int missed = 0;
  for (const Key& key : order) {
    const auto& by_rows = peaks[key];
    std::string cells;
    for (const auto& [rows, peak] : by_rows)
      cells += (cells.empty() ? "" : ", ") + Grouped(peak.second);
    std::fprintf(out, "| %s | %s | %s | %s |", std::get<0>(key).c_str(), std::get<1>(key).c_str(),
                 std::get<2>(key).c_str(), cells.c_str());
    for (std::int64_t rows : sizes) {
      const auto found = by_rows.find(rows);
      std::fprintf(out, " %s |", found == by_rows.end() ? "" : Mib(found->second.first).c_str());
    }
    const bool judged = std::get<1>(key) == kCoarseCube.name && std::get<2>(key) == "SOURCE";
    std::string verdict = judged ? "" : "(no target)";
    if (judged && by_rows.size() < 2) {
      verdict = "needs two sizes: not judged";
      ++missed;
    } else if (judged) {
      const long first = by_rows.begin()->second.first;
      const long last = by_rows.rbegin()->second.first;
      const double limit = kFlatFactor * static_cast<double>(first) + kFlatMib * kKibPerMib;
      const bool met = static_cast<double>(last) <= limit;
      if (!met) ++missed;
      verdict = Format("%.2fx", static_cast<double>(last) / static_cast<double>(first)) +
                " (<= " + Format("%.1f", kFlatFactor) + "x + " + Format("%.0f", kFlatMib) +
                " MiB: " + (met ? "met" : "MISSED") + ")";
    }
    std::fprintf(out, " %s |\n", verdict.c_str());
  }
  return missed;
}

}  // namespace cubemill::bench
