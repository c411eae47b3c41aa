#include "ui/browse_fields.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>
#include <algorithm>

#include "ui/browse_field_button.h"
#include "ui/browse_grid_view.h"

namespace cubemill::ui {
namespace {

// What an item of the list stands for, in its data.
enum ItemRole { kKindRole = Qt::UserRole + 1, kHierarchyRole, kLevelRole, kMeasureRole };
enum ItemKind { kHierarchyItem = 1, kLevelItem, kMeasureItem, kGroupItem };

// Whether `axis` holds `hierarchy` (at `level`, unless npos).
bool FieldOn(const std::vector<browse::PivotField>& axis, std::size_t hierarchy,
             std::size_t level = browse::npos) {
  return std::any_of(axis.begin(), axis.end(), [&](const browse::PivotField& field) {
    return field.hierarchy == hierarchy && (level == browse::npos || field.level == level);
  });
}

}  // namespace

QString HierarchyCaption(const query::CubeModel& model, std::size_t hierarchy) {
  const auto& catalog = model.Catalog();
  const auto& stored = catalog.hierarchies[hierarchy];
  QString dimension;
  for (const auto& d : catalog.dimensions) {
    if (d.id == stored.dimension) dimension = QString::fromStdString(d.name);
  }
  if (stored.name.empty()) return dimension;
  return dimension + '.' + QString::fromStdString(stored.name);
}

std::vector<std::size_t> FieldLevels(const query::CubeModel& model, std::size_t hierarchy) {
  std::vector<std::size_t> levels;
  for (std::size_t level : model.LevelsOf(hierarchy)) {
    if (!model.Catalog().levels[level].is_all) levels.push_back(level);
  }
  return levels;
}

BrowseFieldList::BrowseFieldList(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setDragEnabled(true);
  setDragDropMode(QAbstractItemView::DragOnly);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, &BrowseFieldList::ShowMenu);
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
    if (filling_ || item->data(0, kKindRole).toInt() != kMeasureItem) return;
    emit MeasureToggled(item->data(0, kMeasureRole).toULongLong());
  });
  connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    std::size_t hierarchy = 0;
    std::size_t level = 0;
    // On rows already at this level: nothing to do (placing it again would move it last).
    if (FieldOf(item, hierarchy, level) && !FieldOn(layout_.rows, hierarchy, level))
      emit PlaceRequested(true, hierarchy, level);
  });
}

void BrowseFieldList::SetCube(const query::CubeModel* model) {
  filling_ = true;
  clear();
  model_ = model;
  layout_ = {};
  if (model != nullptr) {
    auto* dimensions = new QTreeWidgetItem(this, {tr("Dimensions")});
    dimensions->setData(0, kKindRole, kGroupItem);
    dimensions->setFlags(Qt::ItemIsEnabled);
    for (std::size_t h = 0; h < model->HierarchyCount(); ++h) {
      auto* hierarchy = new QTreeWidgetItem(dimensions, {HierarchyCaption(*model, h)});
      hierarchy->setData(0, kKindRole, kHierarchyItem);
      hierarchy->setData(0, kHierarchyRole, qulonglong{h});
      hierarchy->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
      for (std::size_t level : FieldLevels(*model, h)) {
        auto* item = new QTreeWidgetItem(
            hierarchy, {QString::fromStdString(model->Catalog().levels[level].name)});
        item->setData(0, kKindRole, kLevelItem);
        item->setData(0, kHierarchyRole, qulonglong{h});
        item->setData(0, kLevelRole, qulonglong{level});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
      }
    }
    auto* measures = new QTreeWidgetItem(this, {tr("Measures")});
    measures->setData(0, kKindRole, kGroupItem);
    measures->setFlags(Qt::ItemIsEnabled);
    const auto& stored = model->Catalog().measures;
    for (std::size_t m = 0; m < stored.size(); ++m) {
      auto* item = new QTreeWidgetItem(measures, {QString::fromStdString(stored[m].name)});
      item->setData(0, kKindRole, kMeasureItem);
      item->setData(0, kMeasureRole, qulonglong{m});
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
      item->setCheckState(0, Qt::Unchecked);
    }
    expandAll();
    setCurrentItem(nullptr);
  }
  filling_ = false;
}

void BrowseFieldList::ShowLayout(const browse::PivotLayout& layout) {
  layout_ = layout;
  filling_ = true;
  for (std::size_t m = 0; model_ != nullptr && m < model_->Catalog().measures.size(); ++m) {
    const bool on =
        std::find(layout.measures.begin(), layout.measures.end(), m) != layout.measures.end();
    if (QTreeWidgetItem* item = MeasureItem(m))
      item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
  }
  filling_ = false;
}

QTreeWidgetItem* BrowseFieldList::LevelItem(std::size_t hierarchy, std::size_t level) const {
  for (QTreeWidgetItemIterator it(const_cast<BrowseFieldList*>(this)); *it; ++it) {
    if ((*it)->data(0, kKindRole).toInt() == kLevelItem &&
        (*it)->data(0, kHierarchyRole).toULongLong() == hierarchy &&
        (*it)->data(0, kLevelRole).toULongLong() == level)
      return *it;
  }
  return nullptr;
}

QTreeWidgetItem* BrowseFieldList::MeasureItem(std::size_t measure) const {
  for (QTreeWidgetItemIterator it(const_cast<BrowseFieldList*>(this)); *it; ++it) {
    if ((*it)->data(0, kKindRole).toInt() == kMeasureItem &&
        (*it)->data(0, kMeasureRole).toULongLong() == measure)
      return *it;
  }
  return nullptr;
}

bool BrowseFieldList::FieldOf(const QTreeWidgetItem* item, std::size_t& hierarchy,
                              std::size_t& level) const {
  if (item == nullptr || model_ == nullptr) return false;
  const int kind = item->data(0, kKindRole).toInt();
  if (kind != kHierarchyItem && kind != kLevelItem) return false;
  hierarchy = item->data(0, kHierarchyRole).toULongLong();
  if (kind == kLevelItem) {
    level = item->data(0, kLevelRole).toULongLong();
    return true;
  }
  const auto levels = FieldLevels(*model_, hierarchy);
  if (levels.empty()) return false;
  level = levels.front();
  return true;
}

void BrowseFieldList::Place(QTreeWidgetItem* item, bool on_rows) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (FieldOf(item, hierarchy, level)) emit PlaceRequested(on_rows, hierarchy, level);
}

void BrowseFieldList::ShowMenu(const QPoint& position) {
  QTreeWidgetItem* item = itemAt(position);
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (!FieldOf(item, hierarchy, level)) return;
  // Only the entries that change something: not "Add to Rows" for the field on rows at this
  // level, not "Remove" for one on no axis.
  const bool on_rows = FieldOn(layout_.rows, hierarchy, level);
  const bool on_columns = FieldOn(layout_.columns, hierarchy, level);
  const bool placed = FieldOn(layout_.rows, hierarchy) || FieldOn(layout_.columns, hierarchy);
  QMenu menu(this);
  if (!on_rows) {
    menu.addAction(tr("Add to Rows"), this,
                   [=, this] { emit PlaceRequested(true, hierarchy, level); });
  }
  if (!on_columns) {
    menu.addAction(tr("Add to Columns"), this,
                   [=, this] { emit PlaceRequested(false, hierarchy, level); });
  }
  if (placed) menu.addAction(tr("Remove"), this, [=, this] { emit RemoveRequested(hierarchy); });
  menu.addAction(tr("Slice..."), this, [=, this] { emit SliceRequested(hierarchy); });
  menu.exec(viewport()->mapToGlobal(position));
}

QStringList BrowseFieldList::mimeTypes() const { return {kFieldMimeType}; }

QMimeData* BrowseFieldList::mimeData(const QList<QTreeWidgetItem*>& items) const {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (items.isEmpty() || !FieldOf(items.front(), hierarchy, level)) return nullptr;
  auto* mime = new QMimeData;
  mime->setData(kFieldMimeType, QString("%1 %2").arg(hierarchy).arg(level).toUtf8());
  mime->setText(items.front()->text(0));
  return mime;
}

// ---- the axis bars

BrowseAxisBar::BrowseAxisBar(bool rows, QWidget* parent)
    : QWidget(parent),
      rows_(rows),
      layout_(new QHBoxLayout(this)),
      label_(new QLabel(rows ? tr("Rows:") : tr("Columns:"), this)),
      hint_(new QLabel(rows ? tr("Drop fields here to show them on rows")
                            : tr("Drop fields here to show them on columns"),
                       this)),
      marker_(new BrowseDropMarker(this)) {
  setAcceptDrops(true);
  layout_->setContentsMargins(0, 0, 0, 0);
  label_->setMinimumWidth(label_->fontMetrics().horizontalAdvance(tr("Columns:")) + 4);
  layout_->addWidget(label_);
  hint_->setObjectName("drop_hint");
  hint_->setEnabled(false);  // drawn greyed: a hint, not a field
  layout_->addWidget(hint_);
  layout_->addStretch(1);
  // As tall with a hint as with buttons, so that the window does not jump when the first comes.
  setMinimumHeight(QToolButton().sizeHint().height());
}

QMenu* BrowseAxisBar::FieldMenu(const query::CubeModel& model, std::size_t index, QWidget* parent) {
  auto* menu = new QMenu(parent);
  const std::size_t hierarchy = fields_[index].hierarchy;
  const std::size_t level = fields_[index].level;
  // Each entry only where it changes something: no Move Left for the first field, ...
  if (index > 0) {
    menu->addAction(tr("Move Left"), this,
                    [=, this] { emit FieldDropped(rows_, hierarchy, level, index - 1); });
  }
  if (index + 1 < fields_.size()) {
    menu->addAction(tr("Move Right"), this,
                    [=, this] { emit FieldDropped(rows_, hierarchy, level, index + 1); });
  }
  menu->addAction(rows_ ? tr("Move to Columns") : tr("Move to Rows"), this,
                  [=, this] { emit MoveRequested(!rows_, hierarchy, level); });
  // The field at another level of its hierarchy.
  for (std::size_t other : FieldLevels(model, hierarchy)) {
    if (other == level) continue;
    menu->addAction(
        tr("Show from %1").arg(QString::fromStdString(model.Catalog().levels[other].name)), this,
        [=, this] { emit MoveRequested(rows_, hierarchy, other); });
  }
  menu->addAction(tr("Remove"), this, [=, this] { emit RemoveRequested(hierarchy); });
  return menu;
}

void BrowseAxisBar::ShowFields(const query::CubeModel* model,
                               const std::vector<browse::PivotField>& fields) {
  // Called from a button's own menu (Remove, Move) or from a drop while the button's drag runs:
  // the button and its menu are still in use until their event loop has returned, so they go
  // when control is back in the window's.
  for (QToolButton* button : buttons_) {
    layout_->removeWidget(button);
    button->hide();
    button->deleteLater();
  }
  buttons_.clear();
  fields_.clear();
  marker_->hide();
  hint_->setVisible(model != nullptr && fields.empty());
  if (model == nullptr) return;
  fields_ = fields;
  int position = 1;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    auto* button = new BrowseFieldButton(fields_[i], this);
    button->setText(HierarchyCaption(*model, fields_[i].hierarchy) + ": " +
                    QString::fromStdString(model->Catalog().levels[fields_[i].level].name));
    button->setToolTip(tr("Click for the field's menu; drag it to move it"));
    button->setMenu(FieldMenu(*model, i, button));
    layout_->insertWidget(position++, button);
    buttons_ << button;
  }
}

void BrowseAxisBar::dragEnterEvent(QDragEnterEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (DroppedField(event->mimeData(), hierarchy, level)) event->acceptProposedAction();
}

void BrowseAxisBar::dragMoveEvent(QDragMoveEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (!DroppedField(event->mimeData(), hierarchy, level)) return;
  event->acceptProposedAction();
  marker_->ShowAt(buttons_, DropGap(buttons_, event->position().toPoint().x()), label_);
}

void BrowseAxisBar::dragLeaveEvent(QDragLeaveEvent*) { marker_->hide(); }

void BrowseAxisBar::dropEvent(QDropEvent* event) {
  marker_->hide();
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (!DroppedField(event->mimeData(), hierarchy, level)) return;
  event->acceptProposedAction();
  // In the gap the marker showed. A field of this bar leaves its own place first, so a gap
  // right of it is one place further left once it has gone.
  std::size_t position =
      static_cast<std::size_t>(DropGap(buttons_, event->position().toPoint().x()));
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].hierarchy == hierarchy && i < position) --position;
  }
  if (position >= fields_.size()) position = browse::npos;
  emit FieldDropped(rows_, hierarchy, level, position);
}

}  // namespace cubemill::ui
