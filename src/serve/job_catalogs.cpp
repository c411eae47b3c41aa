#include "serve/job_catalogs.h"

#include "common/progress_list.h"
#include "job/stamp_cube_file.h"
#include "job/start_job.h"
#include "oqy/oqy_reader.h"
#include "platform/text_file.h"
#include "serve/serve_error.h"
#include "settings/ini_file.h"

namespace cubemill::serve {
namespace {

// The progress list of a job read only to find its cube: nothing is shown.
class SilentList : public ProgressList {
 public:
  void AddLine(const std::string&) override {}
  void listSetLast() override {}
  void listSetRed() override {}
};

Result<std::vector<std::string>> JobCubes(const std::string& name, const std::string& config) {
  CubeJob job = job::JobFromSettings(name, config);
  SilentList list;
  if (!oqy::ReadOqyConnection(job) || !oqy::ParseConnection(list, job) || job.CubeFile.empty())
    return ServeError("the OQY file of job " + name + " names no cube file");
  return job::JobCubesNewestFirst(job);
}

}  // namespace

Result<CubeCatalogs::List> JobCatalogs(const std::string& config) {
  if (auto problem = settings::SettingsFileProblem(config)) return ServeError(*problem);
  if (settings::ReadIniSectionsWithKey("OQY", config).empty())
    return ServeError("the settings file " + config + " names no job (a section with an OQY key)");
  return CubeCatalogs::List([config] {
    std::vector<CubeCatalogs::Entry> entries;
    for (const std::string& name : settings::ReadIniSectionsWithKey("OQY", config)) {
      entries.push_back({name, [name, config]() -> Result<std::vector<std::string>> {
                           return JobCubes(name, config);
                         }});
    }
    return entries;
  });
}

}  // namespace cubemill::serve
