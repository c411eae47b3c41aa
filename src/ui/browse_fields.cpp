#include "ui/browse_fields.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>

#include "ui/browse_grid_view.h"

namespace cubemill::ui {
namespace {

// What an item of the list stands for, in its data.
enum ItemRole { kKindRole = Qt::UserRole + 1, kHierarchyRole, kLevelRole, kMeasureRole };
enum ItemKind { kHierarchyItem = 1, kLevelItem, kMeasureItem, kGroupItem };

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
    if (FieldOf(item, hierarchy, level)) emit PlaceRequested(true, hierarchy, level);
  });
}

void BrowseFieldList::SetCube(const query::CubeModel* model) {
  filling_ = true;
  clear();
  model_ = model;
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
  QMenu menu(this);
  menu.addAction(tr("Add to Rows"), this,
                 [=, this] { emit PlaceRequested(true, hierarchy, level); });
  menu.addAction(tr("Add to Columns"), this,
                 [=, this] { emit PlaceRequested(false, hierarchy, level); });
  menu.addAction(tr("Remove"), this, [=, this] { emit RemoveRequested(hierarchy); });
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
    : QWidget(parent), rows_(rows), layout_(new QHBoxLayout(this)) {
  setAcceptDrops(true);
  layout_->setContentsMargins(0, 0, 0, 0);
  auto* label = new QLabel(rows ? tr("Rows:") : tr("Columns:"), this);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(tr("Columns:")) + 4);
  layout_->addWidget(label);
  layout_->addStretch(1);
  setToolTip(rows ? tr("Drop a field here to show it on rows")
                  : tr("Drop a field here to show it on columns"));
}

void BrowseAxisBar::ShowFields(const query::CubeModel* model,
                               const std::vector<browse::PivotField>& fields) {
  // Called from a button's own menu (Remove, Move): the button and its menu are still in use
  // until the menu's event loop has returned, so they go when control is back in the window's.
  for (QToolButton* button : buttons_) {
    layout_->removeWidget(button);
    button->hide();
    button->deleteLater();
  }
  buttons_.clear();
  if (model == nullptr) return;
  int position = 1;
  for (const browse::PivotField& field : fields) {
    auto* button = new QToolButton(this);
    button->setText(HierarchyCaption(*model, field.hierarchy) + ": " +
                    QString::fromStdString(model->Catalog().levels[field.level].name));
    button->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(button);
    const std::size_t hierarchy = field.hierarchy;
    const std::size_t level = field.level;
    menu->addAction(rows_ ? tr("Move to Columns") : tr("Move to Rows"), this,
                    [=, this] { emit MoveRequested(!rows_, hierarchy, level); });
    // The field at another level of its hierarchy.
    for (std::size_t other : FieldLevels(*model, hierarchy)) {
      if (other == level) continue;
      menu->addAction(
          tr("Show from %1").arg(QString::fromStdString(model->Catalog().levels[other].name)), this,
          [=, this] { emit MoveRequested(rows_, hierarchy, other); });
    }
    menu->addAction(tr("Remove"), this, [=, this] { emit RemoveRequested(hierarchy); });
    button->setMenu(menu);
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
  if (DroppedField(event->mimeData(), hierarchy, level)) event->acceptProposedAction();
}

void BrowseAxisBar::dropEvent(QDropEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (!DroppedField(event->mimeData(), hierarchy, level)) return;
  event->acceptProposedAction();
  // Dropped left of a field's button: in front of it.
  std::size_t position = browse::npos;
  const int x = event->position().toPoint().x();
  for (int i = 0; i < buttons_.size(); ++i) {
    if (x < buttons_[i]->geometry().center().x()) {
      position = static_cast<std::size_t>(i);
      break;
    }
  }
  emit FieldDropped(rows_, hierarchy, level, position);
}

}  // namespace cubemill::ui
