// The "Info" tab of FrmMain: the read-me text.
#include <QPlainTextEdit>

#include "ui/info_text.h"
#include "ui/main_window.h"

namespace cubemill::ui {

void FrmMain::BuildInfoTab() {
  InfoText_ = new QPlainTextEdit;
  InfoText_->setObjectName("InfoText");
  InfoText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  InfoText_->setReadOnly(true);
  // Tab stops every eight characters, as in a plain text box.
  InfoText_->setTabStopDistance(8 * InfoText_->fontMetrics().horizontalAdvance(QLatin1Char('x')));
  PlaceOnTab(kTabInfo, InfoText_, kInfoText);
}

void FrmMain::FillInfoText() {
  // The box holds lines; its own line break stands for each CR LF of the text.
  QString text = QString::fromStdString(InfoText());
  text.replace("\r\n", "\n");
  InfoText_->setPlainText(text);
}

}  // namespace cubemill::ui
