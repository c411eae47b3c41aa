#include "ui/browse_slicers.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/browse_fields.h"

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
    : QWidget(parent), layout_(new QHBoxLayout(this)) {
  layout_->setContentsMargins(0, 0, 0, 0);
  auto* label = new QLabel(tr("Slicers:"), this);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(tr("Columns:")) + 4);
  layout_->addWidget(label);
  layout_->addStretch(1);
}

void BrowseSlicerBar::ShowLayout(const query::CubeModel* model, const browse::PivotLayout& layout) {
  for (QWidget* button : buttons_) delete button;
  buttons_.clear();
  if (model == nullptr) return;
  int position = 1;
  for (std::size_t h = 0; h < model->HierarchyCount(); ++h) {
    if (OnAxis(layout, h)) continue;
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
    auto* button = new QToolButton(this);
    button->setObjectName(QString("slicer_%1").arg(h));
    button->setText(HierarchyCaption(*model, h) + ": " + shown + QString::fromUtf8(" \u25BE"));
    connect(button, &QToolButton::clicked, this, [this, h] { emit PickRequested(h); });
    layout_->insertWidget(position++, button);
    buttons_ << button;
  }
}

}  // namespace cubemill::ui
