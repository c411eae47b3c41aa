// The chart of the pivot's answer as browse::ShapeChart shapes it: one category per row, one
// series per column, as bars, or as lines when the rows are periods of time. Above it the title
// (measures, fields, slice) and the subtitle (what it shows of a drilled or a wide answer);
// under it the legend, whose names wrap between entries rather than being cut, and the note.
// The title and the legend are part of the exported picture. The value axis groups thousands as
// the grid does, and hovering over a value shows it as the grid shows it.
#pragma once

#include <QStringList>
#include <QWidget>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "browse/pivot.h"
#include "browse/pivot_chart.h"
#include "common/error.h"

class QLabel;
class QChartView;
class QChart;
class QBarCategoryAxis;

namespace cubemill::ui {

// Whether `hierarchy` holds time: its dimension's, its own or one of its levels' name is (or
// starts with, as "Fiscal Year" ends with) one of Time, Date, Calendar, Period, Year, Half,
// Quarter, Month, Week, Day, without regard to letter case. Lines suit such rows; bars the rest.
bool IsTimeHierarchy(const query::CubeModel& model, std::size_t hierarchy);

class BrowseChart : public QWidget {
  Q_OBJECT

 public:
  explicit BrowseChart(QWidget* parent = nullptr);
  // Charts `shape`, the chart of `grid` (nullptr: nothing), as lines when `lines`, else as bars.
  void ShowGrid(const browse::PivotGrid* grid, bool lines, const browse::PivotChart& shape);
  // Whether the chart shows lines; how many categories and series it shows.
  bool ShowsLines() const { return lines_; }
  std::size_t Categories() const { return categories_; }
  std::size_t Series() const { return series_; }
  QString Note() const;
  QString Title() const;
  QString Subtitle() const;
  // The legend's names, whole, in the order of the series.
  QStringList LegendNames() const { return legend_names_; }
  // What hovering over the value of `series` at `category` shows: the series' and the category's
  // captions and the value as the grid shows it ("" outside the chart).
  QString ValueTip(std::size_t series, std::size_t category) const;
  // Saves the chart as a PNG at `path`: a complete file or none. Returns the failure.
  std::optional<Error> SavePng(const std::string& path) const;

 signals:
  void ExportRequested();

 private:
  struct Plot;
  // Sets ValueTip's texts: per series, per category; a column's as the grid shows it.
  void SetTips(const browse::PivotGrid& grid, const browse::PivotChart& shape);
  // Adds a line series (bars, a bar set) per series of the shape on the plot's axes, widening
  // the plot's range of values to theirs.
  void AddLines(QChart* chart, const browse::PivotChart& shape, Plot& plot);
  void AddBars(QChart* chart, const browse::PivotChart& shape, Plot& plot);
  // Appends `categories` to the category axis as labels, broken into lines or slanted when the
  // widest would not fit upright.
  void FitLabels(QBarCategoryAxis* axis, const std::vector<std::string>& categories) const;
  // The legend under the chart: each series' colour and whole name.
  void ShowLegend(const QList<QColor>& colours);
  // The note under the chart: what it shows of the answer.
  QString NoteText(const browse::PivotChart& shape) const;
  // Puts `chart` in the view, deleting the chart it showed before.
  void ShowChart(QChart* chart);
  // Shows `text` as the tooltip at the mouse, or hides the tooltip for "".
  void ShowTip(const QString& text);

  QWidget* picture_;  // the title, the chart and the legend: what an export saves
  QLabel* title_;
  QLabel* subtitle_;
  QChartView* view_;
  QLabel* legend_;
  QLabel* note_;
  QStringList legend_names_;
  // [series][category]: ValueTip's texts.
  std::vector<std::vector<QString>> tips_;
  bool lines_ = false;
  std::size_t categories_ = 0, series_ = 0;
};

}  // namespace cubemill::ui
