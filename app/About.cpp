// The about dialog.
#include "app/About.h"

#include <QLabel>
#include <QLayout>

#include "app/Apputil.h"
#include "app/core/AppSettings.h"

#ifndef DAYBRIDGE_VERSION
#define DAYBRIDGE_VERSION "0"
#endif

namespace {

struct Notice {
  const char* szName;
  const char* szText;
};

constexpr Notice kNotices[] = {
    {"lblProduct", APP_TITLE},
    {"lblVersion", "Version " DAYBRIDGE_VERSION},
    {"lblPurpose",
     "Shows your Palm Desktop and Outlook calendars side by side and moves appointments between "
     "them, with nothing lost or duplicated."},
    {"lblCopyright", "Copyright \u00a9 The DayBridge developers."},
    {"lblTrademarks",
     "Outlook and Palm Desktop are trademarks of their respective owners. DayBridge is an "
     "independent program and is not made or endorsed by them."},
};

constexpr int kNoticeWidth = 360;

}  // namespace

TfmAbout::TfmAbout(QWidget* pParent) : QDialog(pParent) {
  TDialogLayout layout =
      AppBeginDialog(this, "fmAbout", "About DayBridge ...", TDialogBanner::Plain);
  layout.pBody->setSpacing(8);
  for (const Notice& notice : kNotices) {
    auto* pLabel = new QLabel(QString::fromUtf8(notice.szText), this);
    pLabel->setObjectName(QString::fromLatin1(notice.szName));
    pLabel->setWordWrap(true);
    pLabel->setFixedWidth(kNoticeWidth);
    pLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout.pBody->addWidget(pLabel);
  }
  auto* pProduct = findChild<QLabel*>(QStringLiteral("lblProduct"));
  QFont bold = pProduct->font();
  bold.setBold(true);
  pProduct->setFont(bold);
  AppAddOkCancel(layout, this, "OK", nullptr);
  this->layout()->setSizeConstraint(QLayout::SetFixedSize);
}
