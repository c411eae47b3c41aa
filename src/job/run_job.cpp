#include "job/run_job.h"

#include "job/job_log.h"
#include "job/stamp_cube_file.h"
#include "oqy/offline_cube.h"
#include "oqy/oqy_reader.h"
#include "platform/ascii_text.h"
#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "platform/stop_signals.h"
#include "platform/text_file.h"
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

// Takes the lock of the job's cube file into `cube_lock`. Returns false, after one line naming
// the other run, when another process holds it. Without a lock file (a missing or read-only
// directory, which the build reports itself) the build goes on unguarded, and says so only when
// the directory looks fine.
bool LockCubeFile(const JobContext& context, const CubeJob& job, CubeFileLock& cube_lock) {
  const std::string cube_file(platform::TrimBlanks(job.CubeFile));
  if (cube_file.empty() || cube_file.back() == '/' || cube_file.back() == '\\') return true;
  platform::LockAttempt attempt = platform::TryLockFile(platform::LockFileFor(cube_file));
  if (attempt.holder) {
    const std::string other_run =
        " is being written by another run (PID " + std::to_string(*attempt.holder) + ")";
    LogMessage(context, job, "Cube Busy: " + cube_file + other_run);
    Report(context, "the cube file " + cube_file + other_run);
    cube_lock.busy = true;
    return false;
  }
  if (attempt.not_a_file) {
    // A lock that can never be taken must not let two runs build at once: this one stops.
    const std::string problem = "the lock file " + platform::LockFileFor(cube_file) +
                                " is not a regular file (a folder, a FIFO or a link): remove it";
    LogMessage(context, job, "Cube Lock not taken: " + attempt.error->description);
    Report(context, problem);
    return false;
  }
  if (attempt.error && !platform::CheckDirectoryWritableFor(cube_file)) {
    LogMessage(context, job, "Cube Lock not taken: " + attempt.error->description);
  }
  cube_lock.lock = std::move(attempt.lock);
  return true;
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

bool CreateCubeFromOqy(const JobContext& context, CubeJob& job, CubeFileLock& cube_lock) {
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
  if (!job.Keep.empty() && !ParseKeep(job.Keep)) {
    const std::string problem = "Keep " + job.Keep + ": " + kKeepValueText;
    Report(context, problem);
    LogMessage(context, job, problem);
    return false;
  }
  // Before the build: a second build would replace the cube file the other run is to stamp.
  if (!LockCubeFile(context, job, cube_lock)) return false;
  auto log_info = [&context, &job](const std::string& line) { LogMessage(context, job, line); };
  if (auto error = oqy::BuildOfflineCube(context.new_connection, job, log_info)) {
    // A connection line without a provider or a statement fails inside the engine with a
    // message about the consequence; the summary carries the cause in the OQY file.
    const std::string cause = oqy::CauseInOqy(job);
    if (!cause.empty()) Report(context, cause);
    LogError(context, job, *error);
    if (!cause.empty()) LogMessage(context, job, cause);
    LogMessage(context, job, "Fehler Cube Erstellung");
    return false;
  }
  return true;
}

JobOutcome RunJobWithOutcome(const JobContext& context, CubeJob& job, bool close_when_done) {
  auto log = [&](const std::string& text) { LogMessage(context, job, text); };
  bool clean = true;
  // Held from before the build until the closing lines, the stamping included: it moves the
  // unstamped cube file that another run would build.
  CubeFileLock cube_lock;
  std::string stamped;  // the stamped cube file, once it is in place
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
  const bool settings_ok = platform::IsRegularFile(settings_path);
  const bool oqy_ok = platform::IsRegularFile(job.OqyFile);
  const bool log_dir_ok = platform::DirExists(job.LogDir);
  const bool vbs_ok = platform::FileExists(job.VbsFile);

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
  // A settings file that exists but cannot be read gives every job empty values; say why first.
  if (auto problem = settings::SettingsFileProblem(settings_path)) {
    log(*problem);
    Report(context, *problem);
  }

  const bool gate = settings_ok && oqy_ok && log_dir_ok;
  if (gate) {
    WaitSeconds(context, 1);
    if (CreateCubeFromOqy(context, job, cube_lock)) {
      log("Cube Creation OK");
      if (platform::StopSignal() != 0) {
        // Stopped after the build: the cube keeps its plain name.
      } else if (StampCubeFile(context, job, &stamped)) {
        log("Cube Rename OK");
      } else {
        log("Cube Rename NOT OK");
        Report(context, "the cube file could not be time-stamped");
        context.list.listSetLast();
        clean = false;
      }
    } else if (cube_lock.busy) {
      set_red();  // nothing was built: the other run's cube is that run's to finish
    } else {
      set_red();
      log("Cube Creation Error");
    }

    if (platform::StopSignal() != 0) {
      // A stopped job writes no script.
    } else if (cube_lock.busy) {
      // No script either: this run built nothing.
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
    // The series is kept to KEEP only once everything else of the run has succeeded: a run
    // that fails (its script, say) deletes no earlier cube.
    if (clean && !stamped.empty() && platform::StopSignal() == 0) {
      DeleteOldStampedCubes(context, job, stamped);
    }
  } else {
    log("At least one error occured");
    // Something else in its place was reported above.
    if (!settings_ok && !platform::NotARegularFile(settings_path))
      Report(context, "the settings file " + settings_path + " is missing");
    if (!oqy_ok) {
      const auto kind = platform::NotARegularFile(job.OqyFile);
      Report(context, job.OqyFile.empty() ? "the job names no OQY file"
                      : kind              ? "the OQY file " + job.OqyFile + ": " + *kind
                                          : "the OQY file " + job.OqyFile + " does not exist");
    }
    if (!log_dir_ok) {
      Report(context, job.LogDir.empty() ? "the job names no log directory"
                      : platform::FileExists(job.LogDir)
                          ? "the log directory " + job.LogDir + " is a file, not a folder"
                          : "the log directory " + job.LogDir + " does not exist");
    }
    set_red();
  }

  // The cube, its stamp and the script are done: the closing lines need no lock, and a run that
  // is killed after them (in its closing pause, say) leaves no lock file behind.
  cube_lock.lock.Release();
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
  if (cube_lock.busy) return JobOutcome::kBusy;
  return clean ? JobOutcome::kClean : JobOutcome::kFailed;
}

bool RunJob(const JobContext& context, CubeJob& job, bool close_when_done) {
  return RunJobWithOutcome(context, job, close_when_done) == JobOutcome::kClean;
}

}  // namespace cubemill::job
