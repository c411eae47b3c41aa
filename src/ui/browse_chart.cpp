#include "ui/browse_chart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QColor>
#include <QCursor>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QPalette>
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

// "Other", the rest of the columns, in a grey no series of the theme has.
QColor OtherColour() { return {0x9e, 0x9e, 0x9e}; }

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
    : QWidget(parent),
      picture_(new QWidget(this)),
      title_(new QLabel(picture_)),
      subtitle_(new QLabel(picture_)),
      view_(new QChartView(picture_)),
      legend_(new QLabel(picture_)),
      note_(new QLabel(this)) {
  view_->setRenderHint(QPainter::Antialiasing);
  picture_->setObjectName("chart_picture");
  picture_->setAutoFillBackground(true);
  QPalette palette = picture_->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  picture_->setPalette(palette);
  title_->setObjectName("chart_title");
  subtitle_->setObjectName("chart_subtitle");
  legend_->setObjectName("chart_legend");
  for (QLabel* label : {title_, subtitle_, legend_}) {
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  QFont title_font = title_->font();
  title_font.setBold(true);
  title_font.setPointSizeF(title_font.pointSizeF() * 1.25);
  title_->setFont(title_font);
  legend_->setTextFormat(Qt::RichText);
  note_->setWordWrap(true);
  auto* pictured = new QVBoxLayout(picture_);
  pictured->setContentsMargins(6, 6, 6, 6);
  pictured->addWidget(title_);
  pictured->addWidget(subtitle_);
  pictured->addWidget(view_, 1);
  pictured->addWidget(legend_);
  auto* save = new QPushButton(tr("Export chart as PNG..."), this);
  save->setObjectName("export_chart");
  connect(save, &QPushButton::clicked, this, &BrowseChart::ExportRequested);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(note_, 1);
  bottom->addWidget(save);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(picture_, 1);
  layout->addLayout(bottom);
  ShowGrid(nullptr, false, {});
}

QString BrowseChart::Note() const { return note_->text(); }
QString BrowseChart::Title() const { return title_->text(); }
QString BrowseChart::Subtitle() const { return subtitle_->text(); }

QString BrowseChart::ValueTip(std::size_t series, std::size_t category) const {
  if (series >= tips_.size() || category >= tips_[series].size()) return {};
  return tips_[series][category];
}

// The chart being drawn: its axes and the range of its values.
struct BrowseChart::Plot {
  QBarCategoryAxis* x_axis = nullptr;
  QValueAxis* y_axis = nullptr;
  double low = 0;
  double high = 0;
};

void BrowseChart::ShowGrid(const browse::PivotGrid* grid, bool lines,
                           const browse::PivotChart& shape) {
  auto* chart = new QChart;
  chart->legend()->hide();
  chart->setLocalizeNumbers(true);
  chart->setLocale(AxisLocale());
  lines_ = lines;
  categories_ = 0;
  series_ = 0;
  tips_.clear();
  legend_names_.clear();
  title_->setText(QString::fromStdString(shape.title));
  subtitle_->setText(QString::fromStdString(shape.subtitle));
  subtitle_->setVisible(!shape.subtitle.empty());
  if (grid == nullptr) {
    ShowChart(chart);
    ShowLegend({});
    note_->setText(tr("No answer to chart."));
    return;
  }
  SetTips(*grid, shape);
  Plot plot;
  plot.x_axis = new QBarCategoryAxis;
  FitLabels(plot.x_axis, shape.categories);
  plot.y_axis = new QValueAxis;
  chart->addAxis(plot.x_axis, Qt::AlignBottom);
  chart->addAxis(plot.y_axis, Qt::AlignLeft);
  for (const auto& series : shape.series) legend_names_ << QString::fromStdString(series.name);
  if (lines) {
    AddLines(chart, shape, plot);
  } else {
    AddBars(chart, shape, plot);
  }
  plot.y_axis->setRange(plot.low, plot.high > plot.low ? plot.high : plot.low + 1);
  plot.y_axis->applyNiceNumbers();
  // Whole numbers on the axis unless the values are small.
  if (plot.high - plot.low >= 10) plot.y_axis->setLabelFormat("%.0f");
  ShowChart(chart);
  QList<QColor> colours;
  for (QAbstractSeries* series : chart->series()) {
    if (auto* line = qobject_cast<QLineSeries*>(series)) colours << line->color();
    if (auto* bars = qobject_cast<QBarSeries*>(series)) {
      for (QBarSet* set : bars->barSets()) colours << set->color();
    }
  }
  ShowLegend(colours);
  categories_ = shape.categories.size();
  series_ = shape.series.size();
  note_->setText(NoteText(shape));
}

void BrowseChart::FitLabels(QBarCategoryAxis* axis,
                            const std::vector<std::string>& categories) const {
  // Upright labels wider than their category's share of the plot would be cut ("Spain Cor...");
  // broken into lines at their blanks, or else slanted, they keep their names whole.
  const QFontMetrics metrics(axis->labelsFont());
  int widest = 0, widest_word = 0;
  for (const std::string& category : categories) {
    const QString text = QString::fromStdString(category);
    widest = std::max(widest, metrics.horizontalAdvance(text));
    for (const QString& word : text.split(' '))
      widest_word = std::max(widest_word, metrics.horizontalAdvance(word));
  }
  const int plot_width = std::max(view_->width(), 600) - 100;
  const int share = plot_width / std::max<int>(1, static_cast<int>(categories.size()));
  const bool wrap = widest + 8 > share && widest_word + 8 <= share;
  if (widest + 8 > share && !wrap) axis->setLabelsAngle(-35);
  for (const std::string& category : categories) {
    QString label = QString::fromStdString(category);
    if (wrap) label = label.toHtmlEscaped().replace(' ', "<br>");
    axis->append(label);
  }
}

void BrowseChart::ShowLegend(const QList<QColor>& colours) {
  // Each entry kept on one line (non-breaking blanks), the entries wrapping between them.
  QStringList entries;
  for (qsizetype i = 0; i < legend_names_.size(); ++i) {
    const QString colour = i < colours.size() ? colours[i].name() : QString("#808080");
    QString name = legend_names_[i].toHtmlEscaped();
    name.replace(' ', "&nbsp;");
    entries << QString("<span style=\"color:%1\">&#9632;</span>&nbsp;%2").arg(colour, name);
  }
  legend_->setText(entries.join(" &nbsp;&nbsp; "));
  legend_->setVisible(!entries.isEmpty());
}

void BrowseChart::SetTips(const browse::PivotGrid& grid, const browse::PivotChart& shape) {
  const QLocale locale = AxisLocale();
  for (const auto& series : shape.series) {
    const QString name = QString::fromStdString(series.name);
    tips_.emplace_back();
    for (std::size_t i = 0; i < shape.rows.size() && i < series.values.size(); ++i) {
      const std::size_t r = shape.rows[i];
      QString text;
      if (series.column == browse::npos) {
        // "Other" is a sum the grid does not show: written as the axis writes its numbers.
        if (series.values[i]) text = locale.toString(*series.values[i], 'f', 2);
      } else if (r < grid.texts.size() && series.column < grid.texts[r].size()) {
        text = QString::fromStdString(grid.texts[r][series.column]);
      }
      tips_.back().push_back(name + ", " + QString::fromStdString(shape.categories[i]) + ": " +
                             text);
    }
  }
}

void BrowseChart::AddLines(QChart* chart, const browse::PivotChart& shape, Plot& plot) {
  for (std::size_t k = 0; k < shape.series.size(); ++k) {
    auto* series = new QLineSeries;
    series->setName(QString::fromStdString(shape.series[k].name));
    if (shape.series[k].column == browse::npos) series->setColor(OtherColour());
    connect(series, &QLineSeries::hovered, this, [this, k](const QPointF& point, bool state) {
      ShowTip(state ? ValueTip(k, static_cast<std::size_t>(std::max(0.0, point.x() + 0.5)))
                    : QString());
    });
    const auto& values = shape.series[k].values;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!values[i]) continue;
      series->append(static_cast<double>(i), *values[i]);
      plot.low = std::min(plot.low, *values[i]);
      plot.high = std::max(plot.high, *values[i]);
    }
    chart->addSeries(series);
    series->attachAxis(plot.x_axis);
    series->attachAxis(plot.y_axis);
  }
}

void BrowseChart::AddBars(QChart* chart, const browse::PivotChart& shape, Plot& plot) {
  auto* series = new QBarSeries;
  for (const auto& charted : shape.series) {
    auto* set = new QBarSet(QString::fromStdString(charted.name));
    if (charted.column == browse::npos) set->setColor(OtherColour());
    for (const auto& value : charted.values) {
      *set << value.value_or(0);
      plot.low = std::min(plot.low, value.value_or(0));
      plot.high = std::max(plot.high, value.value_or(0));
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

QString BrowseChart::NoteText(const browse::PivotChart& shape) const {
  QString note = lines_ ? tr("Lines: the rows are periods of time.") : tr("Bars.");
  const std::size_t columns = shape.series.size() - (shape.other ? 1 : 0);
  note += ' ' + tr("%1 of %2 rows, %3 of %4 columns")
                    .arg(shape.categories.size())
                    .arg(shape.level_rows)
                    .arg(columns)
                    .arg(shape.level_columns);
  if (shape.categories.size() < shape.level_rows)
    note += ' ' + tr("(the chart shows at most %1 rows)").arg(browse::kChartMaxCategories);
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
  const QPixmap picture = picture_->grab();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.save(&buffer, "PNG"))
    return Error{"cannot make the picture of the chart", 0, "Export"};
  return platform::WriteFileAtomically(
      path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace cubemill::ui
