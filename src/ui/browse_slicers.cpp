#include "ui/browse_slicers.h"

#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/browse_field_button.h"
#include "ui/browse_fields.h"
#include "ui/browse_grid_view.h"

namespace cubemill::ui {
namespace {

constexpr int kMemberRole = Qt::UserRole + 1;

bool OnAxis(const browse::PivotLayout& layout, std::size_t hierarchy) {
  for (const auto* axis : {&layout.rows, &layout.columns}) {
    for (const auto& field : *axis) {
      if (field.hierarchy == hierarchy) return true;
    }
  }
  return false;
}

}  // namespace

BrowseMemberPicker::BrowseMemberPicker(const query::CubeModel& model, std::size_t hierarchy,
                                       const std::vector<std::size_t>& checked, QWidget* parent)
    : QDialog(parent),
      hierarchy_(hierarchy),
      filter_(new QLineEdit(this)),
      list_(new QListWidget(this)) {
  setWindowTitle(tr("Slice by %1").arg(HierarchyCaption(model, hierarchy)));
  filter_->setPlaceholderText(tr("Filter"));
  filter_->setClearButtonEnabled(true);
  std::vector<std::size_t> members;
  for (std::size_t m : model.MembersOfHierarchy(hierarchy)) {
    if (!model.Catalog().levels[model.LevelOf(m)].is_all) members.push_back(m);
  }
  std::sort(members.begin(), members.end(), [&](std::size_t a, std::size_t b) {
    return model.HierarchyOrder(a) < model.HierarchyOrder(b);
  });
  const auto levels = FieldLevels(model, hierarchy);
  const int top = levels.empty() ? 1 : model.Catalog().levels[levels.front()].ordinal;
  for (std::size_t m : members) {
    const QString indent(2 * std::max(0, model.DepthOf(m) - top), ' ');
    auto* item = new QListWidgetItem(indent + QString::fromStdString(model.Member(m).name), list_);
    item->setData(kMemberRole, qulonglong{m});
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    const bool on = std::find(checked.begin(), checked.end(), m) != checked.end();
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* clear = buttons->addButton(tr("All"), QDialogButtonBox::ResetRole);
  connect(clear, &QPushButton::clicked, this, [this] {
    for (int i = 0; i < list_->count(); ++i) list_->item(i)->setCheckState(Qt::Unchecked);
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(filter_, &QLineEdit::textChanged, this, &BrowseMemberPicker::Filter);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      new QLabel(tr("Restrict the answer to the checked members (none: all)."), this));
  layout->addWidget(filter_);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  resize(320, 420);
}

std::vector<std::size_t> BrowseMemberPicker::Checked() const {
  std::vector<std::size_t> members;
  for (int i = 0; i < list_->count(); ++i) {
    if (list_->item(i)->checkState() == Qt::Checked)
      members.push_back(list_->item(i)->data(kMemberRole).toULongLong());
  }
  return members;
}

void BrowseMemberPicker::Filter(const QString& text) {
  const QString wanted = text.trimmed();
  for (int i = 0; i < list_->count(); ++i) {
    QListWidgetItem* item = list_->item(i);
    item->setHidden(!wanted.isEmpty() &&
                    !item->text().trimmed().contains(wanted, Qt::CaseInsensitive));
  }
}

BrowseSlicerBar::BrowseSlicerBar(QWidget* parent)
    : QWidget(parent),
      layout_(new QHBoxLayout(this)),
      label_(new QLabel(tr("Slicers:"), this)),
      hint_(new QLabel(tr("Drop a field here to take it off its axis and slice by it"), this)),
      marker_(new BrowseDropMarker(this)) {
  setAcceptDrops(true);
  layout_->setContentsMargins(0, 0, 0, 0);
  label_->setMinimumWidth(label_->fontMetrics().horizontalAdvance(tr("Columns:")) + 4);
  layout_->addWidget(label_);
  hint_->setObjectName("drop_hint");
  hint_->setEnabled(false);
  hint_->hide();
  layout_->addWidget(hint_);
  layout_->addStretch(1);
  setMinimumHeight(QToolButton().sizeHint().height());
}

void BrowseSlicerBar::ShowLayout(const query::CubeModel* model, const browse::PivotLayout& layout) {
  // A button's drag may still run (its drop changed the layout): it goes once control is back
  // in the window's event loop.
  for (QToolButton* button : buttons_) {
    layout_->removeWidget(button);
    button->hide();
    button->deleteLater();
  }
  buttons_.clear();
  on_axes_.clear();
  marker_->hide();
  hint_->hide();
  if (model == nullptr) return;
  int position = 1;
  for (std::size_t h = 0; h < model->HierarchyCount(); ++h) {
    if (OnAxis(layout, h)) {
      on_axes_.push_back(h);
      continue;
    }
    std::vector<std::size_t> members;
    for (const auto& slicer : layout.slicers) {
      if (slicer.hierarchy == h) members = slicer.members;
    }
    QString shown = tr("All");
    if (members.size() == 1) {
      shown = QString::fromStdString(model->Member(members.front()).name);
    } else if (members.size() > 1) {
      shown = tr("%n members", nullptr, static_cast<int>(members.size()));
    }
    const auto levels = FieldLevels(*model, h);
    auto* button =
        new BrowseFieldButton({h, levels.empty() ? std::size_t{0} : levels.front()}, this);
    button->setObjectName(QString("slicer_%1").arg(h));
    button->setText(HierarchyCaption(*model, h) + ": " + shown + QString::fromUtf8(" \u25BE"));
    button->setToolTip(tr("Click to pick the members; drag onto an axis to show it there"));
    connect(button, &QToolButton::clicked, this, [this, h] { emit PickRequested(h); });
    layout_->insertWidget(position++, button);
    buttons_ << button;
  }
  hint_->setVisible(buttons_.isEmpty());
}

std::size_t BrowseSlicerBar::AxisField(const QMimeData* mime) const {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (!DroppedField(mime, hierarchy, level)) return browse::npos;
  return std::find(on_axes_.begin(), on_axes_.end(), hierarchy) != on_axes_.end() ? hierarchy
                                                                                  : browse::npos;
}

void BrowseSlicerBar::dragEnterEvent(QDragEnterEvent* event) {
  if (AxisField(event->mimeData()) != browse::npos) event->acceptProposedAction();
}

void BrowseSlicerBar::dragMoveEvent(QDragMoveEvent* event) {
  const std::size_t hierarchy = AxisField(event->mimeData());
  if (hierarchy == browse::npos) return;
  event->acceptProposedAction();
  // The slicers stand in the cube's order of hierarchies: the field lands among them there.
  int gap = 0;
  for (QToolButton* button : buttons_) {
    if (static_cast<BrowseFieldButton*>(button)->Field().hierarchy < hierarchy) ++gap;
  }
  marker_->ShowAt(buttons_, gap, label_);
}

void BrowseSlicerBar::dragLeaveEvent(QDragLeaveEvent*) { marker_->hide(); }

void BrowseSlicerBar::dropEvent(QDropEvent* event) {
  marker_->hide();
  const std::size_t hierarchy = AxisField(event->mimeData());
  if (hierarchy == browse::npos) return;
  event->acceptProposedAction();
  emit FieldDropped(hierarchy);
}

}  // namespace cubemill::ui
