#include "ui/browse_chart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/durable_file.h"

namespace cubemill::ui {
namespace {

using provider::cubefile::CellValue;

bool IsTimeName(const std::string& name) {
  static const char* const kWords[] = {"time", "date",    "calendar", "period", "year",
                                       "half", "quarter", "month",    "week",   "day"};
  const QString folded = QString::fromStdString(name).trimmed().toLower();
  for (const char* word : kWords) {
    const QString w = QString::fromLatin1(word);
    if (folded == w || folded.startsWith(w + ' ') || folded.endsWith(' ' + w) || folded == w + 's')
      return true;
  }
  return false;
}

bool AnyTotal(const std::vector<browse::PivotHeader>& headers) {
  return std::any_of(headers.begin(), headers.end(),
                     [](const browse::PivotHeader& h) { return h.total; });
}

// The captions of `headers` joined, but for the levels in `same` (those every charted tuple
// shares, such as the one measure), which would only repeat themselves.
QString Caption(const std::vector<browse::PivotHeader>& headers, const std::vector<bool>& same) {
  QStringList parts;
  for (std::size_t k = 0; k < headers.size(); ++k) {
    if (k >= same.size() || !same[k]) parts << QString::fromStdString(headers[k].caption);
  }
  return parts.join(" / ");
}

// Which levels of the tuples `which` of `headers` hold the same caption in every tuple; all
// of them may not go (one level stays).
std::vector<bool> SameLevels(const std::vector<std::vector<browse::PivotHeader>>& headers,
                             const std::vector<std::size_t>& which) {
  if (which.empty()) return {};
  const auto& first = headers[which.front()];
  std::vector<bool> same(first.size(), which.size() > 1);
  for (std::size_t i : which) {
    for (std::size_t k = 0; k < same.size() && k < headers[i].size(); ++k) {
      if (headers[i][k].caption != first[k].caption) same[k] = false;
    }
  }
  if (std::all_of(same.begin(), same.end(), [](bool s) { return s; }) && !same.empty())
    same.back() = false;
  return same;
}

std::optional<double> Number(const CellValue& value) {
  switch (value.kind) {
    case CellValue::Kind::kInteger:
      return static_cast<double>(value.integer);
    case CellValue::Kind::kReal:
      if (std::isfinite(value.real)) return value.real;
      return std::nullopt;
    case CellValue::Kind::kNull:
      break;
  }
  return std::nullopt;
}

// The locale the value axis writes its numbers in: the environment's, as the grid's separators
// come from it, thousands grouped also where it is "C" (as the grid groups them there).
QLocale AxisLocale() {
  QLocale locale = QLocale::system();
  locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
  return locale;
}

}  // namespace

bool IsTimeHierarchy(const query::CubeModel& model, std::size_t hierarchy) {
  const auto& catalog = model.Catalog();
  const auto& stored = catalog.hierarchies[hierarchy];
  if (IsTimeName(stored.name)) return true;
  for (const auto& dimension : catalog.dimensions) {
    if (dimension.id == stored.dimension && IsTimeName(dimension.name)) return true;
  }
  for (std::size_t level : model.LevelsOf(hierarchy)) {
    if (!catalog.levels[level].is_all && IsTimeName(catalog.levels[level].name)) return true;
  }
  return false;
}

BrowseChart::BrowseChart(QWidget* parent)
    : QWidget(parent), view_(new QChartView(this)), note_(new QLabel(this)) {
  view_->setRenderHint(QPainter::Antialiasing);
  note_->setWordWrap(true);
  auto* save = new QPushButton(tr("Export chart as PNG..."), this);
  save->setObjectName("export_chart");
  connect(save, &QPushButton::clicked, this, &BrowseChart::ExportRequested);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(note_, 1);
  bottom->addWidget(save);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_, 1);
  layout->addLayout(bottom);
  ShowGrid(nullptr, false, {});
}

QString BrowseChart::Note() const { return note_->text(); }

QString BrowseChart::ValueTip(std::size_t series, std::size_t category) const {
  if (series >= tips_.size() || category >= tips_[series].size()) return {};
  return tips_[series][category];
}

// The chart being drawn: the rows (categories) and columns (series) it shows, how many of each
// the answer has apart from its totals, which levels of the columns' captions every series
// shares, its axes and the range of its values.
struct BrowseChart::Plot {
  std::vector<std::size_t> rows, columns;
  std::size_t all_rows = 0, all_columns = 0;
  std::vector<bool> same_column_levels;
  QBarCategoryAxis* x_axis = nullptr;
  QValueAxis* y_axis = nullptr;
  double low = 0;
  double high = 0;
};

void BrowseChart::ShowGrid(const browse::PivotGrid* grid, bool lines, const QString& title) {
  auto* chart = new QChart;
  chart->setTitle(title);
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->setLocalizeNumbers(true);
  chart->setLocale(AxisLocale());
  lines_ = lines;
  categories_ = 0;
  series_ = 0;
  tips_.clear();
  if (grid == nullptr) {
    ShowChart(chart);
    note_->setText(tr("No answer to chart."));
    return;
  }
  Plot plot;
  for (std::size_t r = 0; r < grid->Rows(); ++r) {
    if (AnyTotal(grid->row_headers[r])) continue;
    ++plot.all_rows;
    if (plot.rows.size() < kChartMaxCategories) plot.rows.push_back(r);
  }
  for (std::size_t c = 0; c < grid->Columns(); ++c) {
    if (AnyTotal(grid->column_headers[c])) continue;
    ++plot.all_columns;
    if (plot.columns.size() < kChartMaxSeries) plot.columns.push_back(c);
  }
  const std::vector<bool> same_row_levels = SameLevels(grid->row_headers, plot.rows);
  plot.same_column_levels = SameLevels(grid->column_headers, plot.columns);
  QStringList categories;
  for (std::size_t r : plot.rows) categories << Caption(grid->row_headers[r], same_row_levels);
  SetTips(*grid, plot, categories);
  plot.x_axis = new QBarCategoryAxis;
  plot.x_axis->append(categories);
  plot.y_axis = new QValueAxis;
  chart->addAxis(plot.x_axis, Qt::AlignBottom);
  chart->addAxis(plot.y_axis, Qt::AlignLeft);
  if (lines) {
    AddLines(chart, *grid, plot);
  } else {
    AddBars(chart, *grid, plot);
  }
  plot.y_axis->setRange(plot.low, plot.high > plot.low ? plot.high : plot.low + 1);
  plot.y_axis->applyNiceNumbers();
  // Whole numbers on the axis unless the values are small.
  if (plot.high - plot.low >= 10) plot.y_axis->setLabelFormat("%.0f");
  if (plot.columns.size() > 6) chart->legend()->setFont(QFont(chart->legend()->font().family(), 7));
  ShowChart(chart);
  categories_ = plot.rows.size();
  series_ = plot.columns.size();
  note_->setText(NoteText(plot));
}

void BrowseChart::SetTips(const browse::PivotGrid& grid, const Plot& plot,
                          const QStringList& categories) {
  for (std::size_t c : plot.columns) {
    const QString name = Caption(grid.column_headers[c], plot.same_column_levels);
    tips_.emplace_back();
    for (std::size_t i = 0; i < plot.rows.size(); ++i) {
      const std::size_t r = plot.rows[i];
      const bool shown = r < grid.texts.size() && c < grid.texts[r].size();
      tips_.back().push_back(name + ", " + categories[static_cast<qsizetype>(i)] + ": " +
                             (shown ? QString::fromStdString(grid.texts[r][c]) : QString()));
    }
  }
}

void BrowseChart::AddLines(QChart* chart, const browse::PivotGrid& grid, Plot& plot) {
  for (std::size_t k = 0; k < plot.columns.size(); ++k) {
    const std::size_t c = plot.columns[k];
    auto* series = new QLineSeries;
    series->setName(Caption(grid.column_headers[c], plot.same_column_levels));
    connect(series, &QLineSeries::hovered, this, [this, k](const QPointF& point, bool state) {
      ShowTip(state ? ValueTip(k, static_cast<std::size_t>(std::max(0.0, point.x() + 0.5)))
                    : QString());
    });
    for (std::size_t i = 0; i < plot.rows.size(); ++i) {
      if (auto value = Number(grid.cells[plot.rows[i]][c])) {
        series->append(static_cast<double>(i), *value);
        plot.low = std::min(plot.low, *value);
        plot.high = std::max(plot.high, *value);
      }
    }
    chart->addSeries(series);
    series->attachAxis(plot.x_axis);
    series->attachAxis(plot.y_axis);
  }
}

void BrowseChart::AddBars(QChart* chart, const browse::PivotGrid& grid, Plot& plot) {
  auto* series = new QBarSeries;
  for (std::size_t c : plot.columns) {
    auto* set = new QBarSet(Caption(grid.column_headers[c], plot.same_column_levels));
    for (std::size_t r : plot.rows) {
      const double value = Number(grid.cells[r][c]).value_or(0);
      *set << value;
      plot.low = std::min(plot.low, value);
      plot.high = std::max(plot.high, value);
    }
    series->append(set);
  }
  connect(series, &QBarSeries::hovered, this, [this, series](bool state, int index, QBarSet* set) {
    const qsizetype k = series->barSets().indexOf(set);
    ShowTip(state && k >= 0 && index >= 0
                ? ValueTip(static_cast<std::size_t>(k), static_cast<std::size_t>(index))
                : QString());
  });
  chart->addSeries(series);
  series->attachAxis(plot.x_axis);
  series->attachAxis(plot.y_axis);
}

QString BrowseChart::NoteText(const Plot& plot) const {
  QString note = lines_ ? tr("Lines: the rows are periods of time.") : tr("Bars.");
  note += ' ' + tr("%1 of %2 rows, %3 of %4 columns")
                    .arg(plot.rows.size())
                    .arg(plot.all_rows)
                    .arg(plot.columns.size())
                    .arg(plot.all_columns);
  if (plot.rows.size() < plot.all_rows || plot.columns.size() < plot.all_columns)
    note += ' ' + tr("(the chart shows at most %1 rows and %2 columns)")
                      .arg(kChartMaxCategories)
                      .arg(kChartMaxSeries);
  note += tr("; totals are left out.");
  return note;
}

void BrowseChart::ShowTip(const QString& text) {
  if (text.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(QCursor::pos(), text, view_);
}

void BrowseChart::ShowChart(QChart* chart) {
  // The view takes the new chart and only lets go of the old one, which is ours to delete.
  QChart* old = view_->chart();
  view_->setChart(chart);
  delete old;
}

std::optional<Error> BrowseChart::SavePng(const std::string& path) const {
  const QPixmap picture = view_->grab();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.save(&buffer, "PNG"))
    return Error{"cannot make the picture of the chart", 0, "Export"};
  return platform::WriteFileAtomically(
      path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace cubemill::ui
