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
  // An incremental refresh starts from the job's newest good cube: the engine takes the first of
  // these that reads as a cube file.
  job.RefreshBases.clear();
  if (!platform::TrimBlanks(job.Refresh).empty()) {
    for (const std::string& path : JobCubesNewestFirst(job))
      job.RefreshBases += (job.RefreshBases.empty() ? "" : "\n") + path;
  }
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

namespace {

// What a run looks at before it starts: the settings file, the OQY file and the log directory,
// each there or not.
struct JobInputs {
  std::string settings_path;
  bool settings_ok = false;
  bool oqy_ok = false;
  bool log_dir_ok = false;
  bool AllThere() const { return settings_ok && oqy_ok && log_dir_ok; }
};

// Looks at the job's inputs and writes the run's opening lines: the job, its files and whether
// each is there, and why a settings file that is there cannot be read.
JobInputs OpenRun(const JobContext& context, const CubeJob& job) {
  auto log = [&](const std::string& text) { LogMessage(context, job, text); };
  JobInputs inputs;
  inputs.settings_path = settings::SettingsPath();
  inputs.settings_ok = platform::IsRegularFile(inputs.settings_path);
  inputs.oqy_ok = platform::IsRegularFile(job.OqyFile);
  inputs.log_dir_ok = platform::DirExists(job.LogDir);
  const bool vbs_ok = platform::FileExists(job.VbsFile);

  log(kSeparator);
  log("Parameter: " + job.Parameter);
  log("Current Directory: " + job.CurrentDir);
  log("INI File: " + inputs.settings_path);
  log(std::string("INI File OK: ") + Word(inputs.settings_ok));
  log("OQY File: " + job.OqyFile);
  log(std::string("OQY File OK: ") + Word(inputs.oqy_ok));
  log("OQY 2 VBS File: " + job.VbsFile);
  log(std::string("OQY 2 VBS File OK: ") + Word(vbs_ok));
  log("Global Section: " + job.GlobalSection);
  log("Log Directory: " + job.LogDir);
  log(std::string("Log Directory OK: ") + Word(inputs.log_dir_ok));
  context.list.listSetLast();
  // A settings file that exists but cannot be read gives every job empty values; say why first.
  if (auto problem = settings::SettingsFileProblem(inputs.settings_path)) {
    log(*problem);
    Report(context, *problem);
  }
  return inputs;
}

// Says which of the job's inputs is missing, when the run cannot start.
void ReportMissingInputs(const JobContext& context, const CubeJob& job, const JobInputs& inputs) {
  // Something else in its place was reported above.
  if (!inputs.settings_ok && !platform::NotARegularFile(inputs.settings_path))
    Report(context, "the settings file " + inputs.settings_path + " is missing");
  if (!inputs.oqy_ok) {
    const auto kind = platform::NotARegularFile(job.OqyFile);
    Report(context, job.OqyFile.empty() ? "the job names no OQY file"
                    : kind              ? "the OQY file " + job.OqyFile + ": " + *kind
                                        : "the OQY file " + job.OqyFile + " does not exist");
  }
  if (!inputs.log_dir_ok) {
    Report(context, job.LogDir.empty() ? "the job names no log directory"
                    : platform::FileExists(job.LogDir)
                        ? "the log directory " + job.LogDir + " is a file, not a folder"
                        : "the log directory " + job.LogDir + " does not exist");
  }
}

// Builds the cube and puts it under its time-stamped name, given in `stamped`. Returns whether
// both succeeded (a run stopped after the build keeps the plain name and counts as built); the
// list turns red when nothing was built.
bool BuildAndStamp(const JobContext& context, CubeJob& job, CubeFileLock& cube_lock,
                   std::string& stamped) {
  auto log = [&](const std::string& text) { LogMessage(context, job, text); };
  WaitSeconds(context, 1);
  if (!CreateCubeFromOqy(context, job, cube_lock)) {
    context.list.listSetRed();
    // A busy cube built nothing: the other run's cube is that run's to finish.
    if (!cube_lock.busy) log("Cube Creation Error");
    return false;
  }
  log("Cube Creation OK");
  if (platform::StopSignal() != 0) return true;  // the cube keeps its plain name
  if (StampCubeFile(context, job, &stamped)) {
    log("Cube Rename OK");
    return true;
  }
  log("Cube Rename NOT OK");
  Report(context, "the cube file could not be time-stamped");
  context.list.listSetLast();
  return false;
}

// Writes the job's script when it names one, unless the run was stopped or built nothing.
// Returns false when the script could not be written (the list then turns red).
bool WriteScript(const JobContext& context, CubeJob& job, const CubeFileLock& cube_lock) {
  auto log = [&](const std::string& text) { LogMessage(context, job, text); };
  if (platform::StopSignal() != 0 || cube_lock.busy) return true;  // no script: nothing built
  if (job.VbsFile.empty()) {
    log("VBS Conversion not selected");
    return true;
  }
  std::string failure;
  if (vbs::ConvertToVbs(job, context.clock, &failure)) {
    log("VBS Conversion OK");
    return true;
  }
  log("VBS Conversion NOT OK");
  if (!failure.empty()) log(failure);
  Report(context, "the script " + job.VbsFile + " was not written: " + failure);
  context.list.listSetRed();
  return false;
}

}  // namespace

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
  const JobInputs inputs = OpenRun(context, job);
  if (inputs.AllThere()) {
    clean = BuildAndStamp(context, job, cube_lock, stamped);
    if (!WriteScript(context, job, cube_lock)) clean = false;
    // The series is kept to KEEP only once everything else of the run has succeeded: a run
    // that fails (its script, say) deletes no earlier cube.
    if (clean && !stamped.empty() && platform::StopSignal() == 0) {
      DeleteOldStampedCubes(context, job, stamped);
    }
  } else {
    log("At least one error occured");
    ReportMissingInputs(context, job, inputs);
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
