#include "job/run_job.h"

#include "job/job_log.h"
#include "job/stamp_cube_file.h"
#include "oqy/offline_cube.h"
#include "oqy/oqy_reader.h"
#include "platform/stop_signals.h"
#include "settings/date_format.h"
#include "settings/ini_file.h"
#include "settings/run_log.h"
#include "vbs/vbs_writer.h"

namespace cubemill::job {
namespace {

const char* const kSeparator = "==================================================================";

const char* Word(bool value) { return value ? "True" : "False"; }

void Report(const JobContext& context, const std::string& what) {
  if (context.report_error) context.report_error(what);
}

std::string DurationLine(platform::DateTime start, platform::DateTime end) {
  return "Duration: " + settings::FormatDateTime(platform::DateTime{} + (end - start), "HH:mm:ss");
}

std::string StoppedLine(int signal_number) {
  return "Job stopped by " + platform::SignalName(signal_number);
}

}  // namespace

void WaitSeconds(const JobContext& context, int seconds) { context.sleeper.Sleep(seconds); }

void CloseAfterDelay(const JobContext& context) {
  context.list.ImageCubeMoveDown();
  if (context.pause_at_end) WaitSeconds(context, 15);
  context.list.Unload();
}

bool CreateCubeFromOqy(const JobContext& context, CubeJob& job) {
  if (!oqy::ReadOqyConnection(job)) {
    Report(context, "cannot read the OQY file " + job.OqyFile);
    LogMessage(context, job, "Fehler Lesen der OQY");
    return false;
  }
  if (!oqy::ParseConnection(context.list, job)) {
    Report(context, "the connection line of " + job.OqyFile + " lacks a statement");
    LogMessage(context, job, "Fehler Command Erstellung");
    return false;
  }
  auto log_info = [&context, &job](const std::string& line) { LogMessage(context, job, line); };
  if (auto error = oqy::BuildOfflineCube(context.new_connection, job, log_info)) {
    LogError(context, job, *error);
    if (const std::string cause = oqy::CauseInOqy(job); !cause.empty()) {
      LogMessage(context, job, cause);
    }
    LogMessage(context, job, "Fehler Cube Erstellung");
    return false;
  }
  return true;
}

bool RunJob(const JobContext& context, CubeJob& job, bool close_when_done) {
  auto log = [&](const std::string& text) { LogMessage(context, job, text); };
  bool clean = true;
  auto set_red = [&] {
    context.list.listSetRed();
    clean = false;
  };

  settings::EnsureIniFile(context.list);
  const platform::DateTime start = context.clock.Now();
  // When a stop signal comes while a driver call holds the build, the watchdog ends the process
  // before the job gets to its closing lines: the run log gets them all the same.
  platform::LastWords closing_lines([job, start, &clock = context.clock](int signal_number) {
    settings::AppendToRunLog(clock.Now(), job, StoppedLine(signal_number));
    settings::AppendToRunLog(clock.Now(), job, DurationLine(start, clock.Now()));
    settings::AppendToRunLog(clock.Now(), job, kSeparator);
  });
  const std::string settings_path = settings::SettingsPath();
  const bool settings_ok = settings::FileExists(settings_path);
  const bool oqy_ok = settings::FileExists(job.OqyFile);
  const bool log_dir_ok = settings::DirExists(job.LogDir);
  const bool vbs_ok = settings::FileExists(job.VbsFile);

  log(kSeparator);
  log("Parameter: " + job.Parameter);
  log("Current Directory: " + job.CurrentDir);
  log("INI File: " + settings_path);
  log(std::string("INI File OK: ") + Word(settings_ok));
  log("OQY File: " + job.OqyFile);
  log(std::string("OQY File OK: ") + Word(oqy_ok));
  log("OQY 2 VBS File: " + job.VbsFile);
  log(std::string("OQY 2 VBS File OK: ") + Word(vbs_ok));
  log("Global Section: " + job.GlobalSection);
  log("Log Directory: " + job.LogDir);
  log(std::string("Log Directory OK: ") + Word(log_dir_ok));
  context.list.listSetLast();

  const bool gate = settings_ok && oqy_ok && log_dir_ok;
  if (gate) {
    WaitSeconds(context, 1);
    if (CreateCubeFromOqy(context, job)) {
      log("Cube Creation OK");
      if (platform::StopSignal() != 0) {
        // Stopped after the build: the cube keeps its plain name.
      } else if (StampCubeFile(context, job)) {
        log("Cube Rename OK");
      } else {
        log("Cube Rename NOT OK");
        Report(context, "the cube file could not be time-stamped");
        context.list.listSetLast();
        clean = false;
      }
    } else {
      set_red();
      log("Cube Creation Error");
    }

    if (platform::StopSignal() != 0) {
      // A stopped job writes no script.
    } else if (job.VbsFile.empty()) {
      log("VBS Conversion not selected");
    } else {
      std::string failure;
      if (vbs::ConvertToVbs(job, context.clock, &failure)) {
        log("VBS Conversion OK");
      } else {
        log("VBS Conversion NOT OK");
        if (!failure.empty()) log(failure);
        Report(context, "the script " + job.VbsFile + " was not written: " + failure);
        set_red();
      }
    }
  } else {
    log("At least one error occured");
    if (!settings_ok) Report(context, "the settings file " + settings_path + " is missing");
    if (!oqy_ok) {
      Report(context, job.OqyFile.empty() ? "the job names no OQY file"
                                          : "the OQY file " + job.OqyFile + " does not exist");
    }
    if (!log_dir_ok) {
      Report(context, job.LogDir.empty() ? "the job names no log directory"
                                         : "the log directory " + job.LogDir + " does not exist");
    }
    set_red();
  }

  closing_lines.Withdraw();
  if (const int signal_number = platform::StopSignal()) {
    log(StoppedLine(signal_number));
    set_red();
  }
  log(DurationLine(start, context.clock.Now()));
  log(kSeparator);
  context.list.listSetLast();

  if (close_when_done) {
    CloseAfterDelay(context);
  } else {
    context.list.ImageCubeMoveDown();
  }
  return clean;
}

}  // namespace cubemill::job
