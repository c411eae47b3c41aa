#include "job/check_job.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "job/stamp_cube_file.h"
#include "job/start_job.h"
#include "oqy/offline_cube.h"
#include "oqy/oqy_reader.h"
#include "platform/ascii_text.h"
#include "platform/file_system.h"
#include "platform/text_file.h"
#include "provider/connection/connection.h"
#include "provider/connection/cube_check.h"
#include "provider/connection/source_aggregation.h"
#include "settings/date_format.h"
#include "settings/ini_file.h"
#include "settings/run_log.h"

namespace cubemill::job {
namespace {

// The checks of one job, each said on the list; the first failure is kept.
class Checker {
 public:
  explicit Checker(const JobContext& context) : context_(context) {}

  void Say(const std::string& text) const { context_.list.AddLine(text); }

  // Says `what` with "OK" or the failure, and keeps the first failure.
  bool Expect(bool ok, const std::string& what, const std::string& failure) {
    Say(what + (ok ? ": OK" : ": " + failure));
    if (!ok) Fail(what + ": " + failure);
    return ok;
  }

  void Fail(const std::string& failure) {
    if (!first_failure_) first_failure_ = failure;
  }

  int Finish() const {
    if (!first_failure_) {
      Say("Check OK");
      return kExitClean;
    }
    context_.list.listSetRed();
    Say("Check failed: " + *first_failure_);
    if (context_.report_error) context_.report_error(*first_failure_);
    return kExitFailed;
  }

 private:
  const JobContext& context_;
  std::optional<std::string> first_failure_;
};

bool IsJobSection(const std::string& parameter, const std::string& settings_path) {
  const auto jobs = settings::ReadIniSectionsWithKey("OQY", settings_path);
  return std::any_of(jobs.begin(), jobs.end(), [&](const std::string& name) {
    return platform::EqualsIgnoringCase(name, platform::TrimBlanks(parameter));
  });
}

}  // namespace

int CheckFromCommandLine(const JobContext& context, const std::string& parameter) {
  Checker check(context);
  const std::string settings_path = settings::SettingsPath();
  const auto settings_problem = settings::SettingsFileProblem(settings_path);
  if (!check.Expect(!settings_problem && platform::FileExists(settings_path),
                    "Settings file " + settings_path, settings_problem.value_or("missing")) ||
      !check.Expect(IsJobSection(parameter, settings_path), "Job [" + parameter + "]",
                    "no such section with an OQY key")) {
    return check.Finish();
  }
  CubeJob job = JobFromSettings(parameter);
  const auto log_problem = settings::RunLogProblem(job);
  check.Expect(!log_problem, "Log directory " + job.LogDir, log_problem.value_or(""));
  if (job.VbsFile.empty()) {
    check.Say("Script: not selected");
  } else if (auto unwritable = platform::CheckDirectoryWritableFor(job.VbsFile)) {
    check.Expect(false, "Script " + job.VbsFile, unwritable->description);
  } else if (auto kind = platform::NotARegularFile(job.VbsFile)) {
    check.Expect(false, "Script " + job.VbsFile, *kind);
  } else {
    check.Expect(true, "Script " + job.VbsFile, "");
  }
  if (const std::string_view aggregate = platform::TrimBlanks(job.Aggregate); !aggregate.empty()) {
    // The engine's own reading of the value, so that the check and the build agree.
    check.Expect(provider::connection::ParseAggregation(aggregate).has_value(),
                 "Aggregation " + std::string(aggregate),
                 "AGGREGATE must be CLIENT, SOURCE or AUTO");
  }
  if (const std::string_view rollups = platform::TrimBlanks(job.Rollups); !rollups.empty()) {
    check.Expect(provider::connection::ParseRollupBudget(rollups).has_value(),
                 "Rollups " + std::string(rollups), provider::connection::kRollupsValueText);
  }
  if (const std::string_view keep = platform::TrimBlanks(job.Keep); !keep.empty()) {
    if (check.Expect(ParseKeep(keep).has_value(), "Keep " + std::string(keep), kKeepValueText) &&
        platform::TrimBlanks(job.CubTimestamp).empty()) {
      check.Say("Keep: no effect without CUB_TS (the cube is not stamped)");
    }
  }
  // Missing, or why it cannot be read as the run would read it (not a regular file, unreadable,
  // UTF-16).
  const auto oqy_problem =
      !platform::FileExists(job.OqyFile) && !platform::NotARegularFile(job.OqyFile)
          ? std::optional<std::string>("missing")
          : platform::TextFileProblem(job.OqyFile);
  if (!check.Expect(!oqy_problem, "OQY file " + job.OqyFile, oqy_problem.value_or("")) ||
      !check.Expect(oqy::ReadOqyConnection(job) && !job.ConnectionLine.empty(), "Connection line",
                    "the OQY file has no readable Connection= line") ||
      !check.Expect(oqy::ParseConnection(context.list, job), "Statements",
                    "the connection line lacks one") ||
      !check.Expect(provider::connection::IsEngineProvider(job.Provider),
                    "Provider " + job.Provider, provider::connection::kProviderNotFoundText)) {
    return check.Finish();
  }
  if (auto error = provider::connection::CheckCubeBuild(
          oqy::CubeConnectionString(job), [&check](const std::string& line) { check.Say(line); })) {
    check.Say(error->description);
    check.Fail(error->description);
  }
  if (const auto refresh = provider::connection::RefreshCheckLine(
          std::string(platform::TrimBlanks(job.Refresh)), JobCubesNewestFirst(job))) {
    check.Say(*refresh);
  } else {
    check.Expect(false, "Refresh " + job.Refresh, provider::connection::kRefreshValueText);
  }
  // The stamped name as the run would make it now.
  if (!job.CubTimestamp.empty()) {
    const std::string stamp = settings::FormatDateTime(context.clock.Now(), job.CubTimestamp);
    std::string target;
    const auto problem = StampProblem(job.CubeFile, stamp, &target);
    check.Expect(!problem, "Stamped cube " + (problem ? job.CubeFile : target),
                 problem.value_or(""));
  }
  return check.Finish();
}

}  // namespace cubemill::job
