// What a job runs with besides its record: the front end it reports into and the seams for the
// clock, the pauses and the cube engine.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "job/front_end.h"
#include "platform/clock.h"
#include "platform/sleeper.h"
#include "provider/connection/connection.h"

namespace cubemill::job {

struct JobContext {
  JobFrontEnd& list;
  const platform::Clock& clock;
  platform::Sleeper& sleeper;
  // Makes the connection a cube build opens.
  std::function<std::unique_ptr<provider::connection::Connection>()> new_connection;
  // False ends a command-line job right after its last line instead of pausing 15 seconds.
  bool pause_at_end = true;
  // Told, in order, what went wrong in a job (one sentence each); may be empty.
  std::function<void(const std::string&)> report_error = {};
};

}  // namespace cubemill::job
