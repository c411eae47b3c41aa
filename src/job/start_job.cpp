#include "job/start_job.h"

#include "common/cube_job.h"
#include "job/run_job.h"
#include "platform/ascii_text.h"
#include "platform/file_system.h"
#include "settings/ini_file.h"

namespace cubemill::job {

int StartFromCommandLine(const JobContext& context, const std::string& parameter) {
  settings::EnsureIniFile(context.list);
  if (parameter.empty()) {
    context.list.AddLine("No Parameter has been found");
    return kExitClean;
  }
  context.list.AddLine("A Parameter has been found");

  CubeJob job = JobFromSettings(parameter);
  switch (RunJobWithOutcome(context, job, true)) {
    case JobOutcome::kClean:
      return kExitClean;
    case JobOutcome::kBusy:
      return kExitBusy;
    case JobOutcome::kFailed:
      break;
  }
  return kExitFailed;
}

CubeJob JobFromSettings(const std::string& parameter) {
  return JobFromSettings(parameter, settings::SettingsPath());
}

CubeJob JobFromSettings(const std::string& parameter, const std::string& settings_path) {
  CubeJob job;
  job.Parameter = parameter;
  job.CurrentDir = platform::CurrentDirectory();
  job.CubTimestamp = settings::ReadIniValue(parameter, "CUB_TS", settings_path);
  job.OqyFile = settings::ReadIniValue(parameter, "OQY", settings_path);
  job.VbsFile = settings::ReadIniValue(parameter, "OQY2VBS", settings_path);
  job.GlobalSection = settings::ReadIniValue(parameter, "GLOBAL", settings_path);
  job.Aggregate = settings::ReadIniValue(parameter, "AGGREGATE", settings_path);
  job.Rollups = settings::ReadIniValue(parameter, "ROLLUPS", settings_path);
  job.Keep = settings::ReadIniValue(parameter, "KEEP", settings_path);
  job.Refresh = settings::ReadIniValue(parameter, "REFRESH", settings_path);
  job.LogDir = settings::ReadIniValue(job.GlobalSection, "LOGDIR", settings_path);
  return job;
}

bool StartManualJob(const JobContext& context, const std::string& oqy_file,
                    const std::string& log_dir, bool convert_to_vbs,
                    const std::string& cub_timestamp) {
  settings::EnsureIniFile(context.list);
  CubeJob job;
  job.Parameter = "Test";
  job.CurrentDir = platform::CurrentDirectory();
  job.CubTimestamp = platform::UpperAscii(cub_timestamp) == "NONE" ? "" : cub_timestamp;
  job.OqyFile = oqy_file;
  if (convert_to_vbs) job.VbsFile = oqy_file + ".vbs";
  job.GlobalSection = "MANUAL_GLOBAL";
  job.LogDir = log_dir;
  return RunJob(context, job, false);
}

}  // namespace cubemill::job
