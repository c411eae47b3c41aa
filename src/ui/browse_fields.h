// The cube's fields beside the pivot: a list of its hierarchies with their levels and of its
// measures, from which fields are dragged or placed through a context menu, and the bars that
// show what is on rows and on columns.
#pragma once

#include <QStringList>
#include <QTreeWidget>
#include <QWidget>
#include <cstddef>

#include "browse/pivot.h"

class QHBoxLayout;
class QLabel;
class QMenu;
class QToolButton;

namespace cubemill::ui {

class BrowseDropMarker;

// "Geography", or "Time.Fiscal" for a named hierarchy of a dimension.
QString HierarchyCaption(const query::CubeModel& model, std::size_t hierarchy);
// The hierarchy's levels below ALL, top first.
std::vector<std::size_t> FieldLevels(const query::CubeModel& model, std::size_t hierarchy);

class BrowseFieldList : public QTreeWidget {
  Q_OBJECT

 public:
  explicit BrowseFieldList(QWidget* parent = nullptr);
  // Lists the fields of `model` (nullptr: none); ShowLayout checks the measures of `layout`, and
  // the menus offer what applies to it.
  void SetCube(const query::CubeModel* model);
  void ShowLayout(const browse::PivotLayout& layout);
  // The item of hierarchy `hierarchy`'s level `level`, of measure `measure`.
  QTreeWidgetItem* LevelItem(std::size_t hierarchy, std::size_t level) const;
  QTreeWidgetItem* MeasureItem(std::size_t measure) const;
  // The menu's actions for the field of `item`: what "Add to Rows" and the others do.
  void Place(QTreeWidgetItem* item, bool on_rows);

 signals:
  void PlaceRequested(bool on_rows, std::size_t hierarchy, std::size_t level);
  void RemoveRequested(std::size_t hierarchy);
  void SliceRequested(std::size_t hierarchy);
  void MeasureToggled(std::size_t measure);

 protected:
  QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
  QStringList mimeTypes() const override;

 private:
  // The hierarchy and level an item stands for (a hierarchy's item: its top level).
  bool FieldOf(const QTreeWidgetItem* item, std::size_t& hierarchy, std::size_t& level) const;
  void ShowMenu(const QPoint& position);

  const query::CubeModel* model_ = nullptr;
  browse::PivotLayout layout_;
  bool filling_ = false;
};

// "Rows: [Country] [Product]": the fields on one axis, outermost first. A field dropped on it
// goes on this axis where the marker shows, also one of its own (which moves); an empty bar
// says so. Each field's button has a menu (move left, right, to the other axis, show from another
// level, remove) and drags its field.
class BrowseAxisBar : public QWidget {
  Q_OBJECT

 public:
  BrowseAxisBar(bool rows, QWidget* parent = nullptr);
  void ShowFields(const query::CubeModel* model, const std::vector<browse::PivotField>& fields);
  // The fields' buttons, outermost first; each opens its field's menu.
  const QList<QToolButton*>& Buttons() const { return buttons_; }
  BrowseDropMarker* Marker() const { return marker_; }
  QLabel* Hint() const { return hint_; }

 signals:
  void FieldDropped(bool on_rows, std::size_t hierarchy, std::size_t level, std::size_t position);
  void MoveRequested(bool on_rows, std::size_t hierarchy, std::size_t level);
  void RemoveRequested(std::size_t hierarchy);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QMenu* FieldMenu(const query::CubeModel& model, std::size_t index, QWidget* parent);

  bool rows_;
  QHBoxLayout* layout_;
  QLabel* label_;
  QLabel* hint_;
  BrowseDropMarker* marker_;
  std::vector<browse::PivotField> fields_;
  QList<QToolButton*> buttons_;
};

}  // namespace cubemill::ui
