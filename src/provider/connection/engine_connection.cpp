#include "provider/connection/engine_connection.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string_view>

#include "platform/ascii_text.h"
#include "provider/connection/build_cube_file.h"
#include "provider/connection/connection.h"
#include "provider/connection/source_aggregation.h"
#include "provider/engine_error.h"
#include "provider/source/odbc_source.h"

namespace cubemill::provider::connection {

bool IsEngineProvider(const std::string& name) {
  // The provider's name, alone or with a version number: "MSOLAP", "MSOLAP.2".
  constexpr std::string_view kName = "msolap";
  const std::string_view given(name);
  if (!platform::EqualsIgnoringCase(given.substr(0, kName.size()), kName)) return false;
  const std::string_view version = given.substr(kName.size());
  if (version.empty()) return true;
  return version.size() > 1 && version[0] == '.' &&
         std::all_of(version.begin() + 1, version.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

namespace {

// Errors the connection object raises itself, with the numbers such an object uses.
const Error kAlreadyOpen{kObjectOpenText, kObjectOpenNumber, kConnectionSource};
const Error kNotOpen{kObjectClosedText, kObjectClosedNumber, kConnectionSource};

// The connection whose Open builds the cube file with the engine.
class EngineConnection : public Connection {
 public:
  // `info` is where `open_source` reports its info messages (the same object SetInfoMessage
  // sets), or null for an opener that has none. `survey` asks a source what it is, for the
  // choice of where to aggregate; without it an AUTO build aggregates in the engine.
  EngineConnection(SourceOpener open_source, RowProgress progress, const platform::Clock* clock,
                   std::shared_ptr<InfoMessage> info = nullptr,
                   decltype(BuildOptions::survey) survey = {})
      : open_source_(std::move(open_source)),
        progress_(std::move(progress)),
        clock_(clock != nullptr ? *clock : system_clock_),
        info_(info ? std::move(info) : std::make_shared<InfoMessage>()),
        survey_(std::move(survey)) {}

  std::optional<Error> SetConnectionString(const std::string& text) override {
    if (open_) return kAlreadyOpen;
    connection_string_ = text;
    return std::nullopt;
  }
  std::optional<Error> SetProvider(const std::string& name) override {
    if (open_) return kAlreadyOpen;
    provider_ = name;
    return std::nullopt;
  }
  std::optional<Error> SetProperty(const std::string& name, const std::string& value) override {
    if (open_) return kAlreadyOpen;
    if (platform::EqualsIgnoringCase(platform::TrimBlanks(name), kRollupsProperty)) {
      const std::optional<std::uint64_t> budget = ParseRollupBudget(value);
      if (!budget) {
        return EngineError(std::string(kRollupsValueText) + ", not \"" + value + "\"",
                           kPropertyErrorNumber);
      }
      rollups_ = *budget;
      return std::nullopt;
    }
    if (platform::EqualsIgnoringCase(platform::TrimBlanks(name), kRefreshProperty)) {
      const std::optional<RefreshSetting> setting = ParseRefresh(value);
      if (!setting) {
        return EngineError(std::string(kRefreshValueText) + ", not \"" + value + "\"",
                           kPropertyErrorNumber);
      }
      refresh_ = *setting;
      return std::nullopt;
    }
    if (platform::EqualsIgnoringCase(platform::TrimBlanks(name), kRefreshBaseProperty)) {
      refresh_bases_.clear();
      std::size_t start = 0;
      while (start <= value.size()) {
        std::size_t end = value.find('\n', start);
        if (end == std::string::npos) end = value.size();
        if (end > start) refresh_bases_.push_back(value.substr(start, end - start));
        start = end + 1;
      }
      return std::nullopt;
    }
    if (!platform::EqualsIgnoringCase(platform::TrimBlanks(name), kAggregateProperty)) {
      return Connection::SetProperty(name, value);
    }
    const std::optional<Aggregation> aggregation = ParseAggregation(value);
    if (!aggregation) {
      return EngineError("AGGREGATE must be CLIENT, SOURCE or AUTO, not \"" + value + "\"",
                         kPropertyErrorNumber);
    }
    aggregation_ = *aggregation;
    return std::nullopt;
  }
  std::optional<Error> Open(const std::string& connection_string, const std::string&,
                            const std::string&, long) override {
    if (open_) return kAlreadyOpen;
    if (!connection_string.empty()) connection_string_ = connection_string;
    if (!IsEngineProvider(provider_))
      return Error{kProviderNotFoundText, kProviderNotFoundNumber, kConnectionSource};
    // Nothing thrown inside the engine gets past this point: it is reported like any other
    // failure of the build, and the build's temporary file has been removed on the way out.
    try {
      BuildOptions options;
      options.aggregation = aggregation_;
      options.survey = survey_;
      options.rollups = rollups_;
      options.refresh_column = refresh_.column;
      if (refresh_.incremental) options.refresh_bases = refresh_bases_;
      options.refresh_full = !refresh_.incremental;
      options.info = [info = info_](const std::string& line) {
        if (*info) (*info)(line);
      };
      // A benchmark asks for the time of each stage; they go to standard error, apart from the
      // messages a job logs.
      const char* stage_times = std::getenv("CUBEMILL_STAGE_TIMES");
      if (stage_times != nullptr && *stage_times != '\0') {
        options.stage_timed = [](const char* stage, double seconds) {
          std::fprintf(stderr, "cubemill stage %s %.6f\n", stage, seconds);
        };
      }
      if (auto error = BuildCube(connection_string_, open_source_, progress_, clock_, options)) {
        return error;
      }
    } catch (const std::bad_alloc&) {
      return EngineError("the cube build ran out of memory", kOutOfMemoryNumber);
    } catch (const std::exception& exception) {
      return EngineError(std::string("the cube build failed unexpectedly: ") + exception.what(),
                         kUnexpectedErrorNumber);
    } catch (...) {
      return EngineError("the cube build failed unexpectedly", kUnexpectedErrorNumber);
    }
    open_ = true;
    return std::nullopt;
  }
  std::optional<Error> Close() override {
    if (!open_) return kNotOpen;
    open_ = false;
    return std::nullopt;
  }
  void SetInfoMessage(InfoMessage handler) override { *info_ = std::move(handler); }

 private:
  static inline const platform::SystemClock system_clock_{};
  SourceOpener open_source_;
  RowProgress progress_;
  const platform::Clock& clock_;
  std::shared_ptr<InfoMessage> info_;
  decltype(BuildOptions::survey) survey_;
  Aggregation aggregation_ = Aggregation::kAuto;
  std::optional<std::uint64_t> rollups_;
  RefreshSetting refresh_;
  std::vector<std::string> refresh_bases_;
  std::string connection_string_;
  std::string provider_;
  bool open_ = false;
};

}  // namespace

std::unique_ptr<Connection> NewEngineConnection(SourceOpener open_source, RowProgress progress,
                                                const platform::Clock* clock) {
  return std::make_unique<EngineConnection>(std::move(open_source), std::move(progress), clock);
}

std::unique_ptr<Connection> NewEngineConnection(RowProgress progress,
                                                const platform::Clock* clock) {
  auto info = std::make_shared<InfoMessage>();
  SourceOpener open_source = [info](const std::string& connection, const std::string& select,
                                    const std::vector<ColumnHint>& hints) {
    return source::OpenOdbcSource(connection, select, hints, *info);
  };
  return std::make_unique<EngineConnection>(std::move(open_source), std::move(progress), clock,
                                            std::move(info), source::SurveySource);
}

}  // namespace cubemill::provider::connection
