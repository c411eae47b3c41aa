// The chart of the pivot's answer: one category per row, one series per column, as bars, or as
// lines when the rows are periods of time. Totals are left out (they would dwarf the rest) and
// so are rows and columns past a readable number; the note under the chart says what it shows.
// The value axis groups thousands as the grid does, and hovering over a value shows it as the
// grid shows it.
#pragma once

#include <QStringList>
#include <QWidget>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "browse/pivot.h"
#include "common/error.h"

class QLabel;
class QChartView;
class QChart;

namespace cubemill::ui {

inline constexpr std::size_t kChartMaxCategories = 40;
inline constexpr std::size_t kChartMaxSeries = 12;

// Whether `hierarchy` holds time: its dimension's, its own or one of its levels' name is (or
// starts with, as "Fiscal Year" ends with) one of Time, Date, Calendar, Period, Year, Half,
// Quarter, Month, Week, Day, without regard to letter case. Lines suit such rows; bars the rest.
bool IsTimeHierarchy(const query::CubeModel& model, std::size_t hierarchy);

class BrowseChart : public QWidget {
  Q_OBJECT

 public:
  explicit BrowseChart(QWidget* parent = nullptr);
  // Charts `grid` (nullptr: nothing) as lines when `lines`, else as bars, titled `title`.
  void ShowGrid(const browse::PivotGrid* grid, bool lines, const QString& title);
  // Whether the chart shows lines; how many categories and series it shows.
  bool ShowsLines() const { return lines_; }
  std::size_t Categories() const { return categories_; }
  std::size_t Series() const { return series_; }
  QString Note() const;
  // What hovering over the value of `series` at `category` shows: the series' and the category's
  // captions and the value as the grid shows it ("" outside the chart).
  QString ValueTip(std::size_t series, std::size_t category) const;
  // Saves the chart as a PNG at `path`: a complete file or none. Returns the failure.
  std::optional<Error> SavePng(const std::string& path) const;

 signals:
  void ExportRequested();

 private:
  struct Plot;
  // Sets ValueTip's texts: per charted column, per charted row (captioned `categories`).
  void SetTips(const browse::PivotGrid& grid, const Plot& plot, const QStringList& categories);
  // Adds a line series (bars, a bar set) per charted column on the plot's axes, widening the
  // plot's range of values to theirs.
  void AddLines(QChart* chart, const browse::PivotGrid& grid, Plot& plot);
  void AddBars(QChart* chart, const browse::PivotGrid& grid, Plot& plot);
  // The note under the chart: what it shows of the answer.
  QString NoteText(const Plot& plot) const;
  // Puts `chart` in the view, deleting the chart it showed before.
  void ShowChart(QChart* chart);
  // Shows `text` as the tooltip at the mouse, or hides the tooltip for "".
  void ShowTip(const QString& text);

  QChartView* view_;
  QLabel* note_;
  // [series][category]: ValueTip's texts.
  std::vector<std::vector<QString>> tips_;
  bool lines_ = false;
  std::size_t categories_ = 0, series_ = 0;
};

}  // namespace cubemill::ui
