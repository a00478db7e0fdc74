// The about dialog.
#include "app/About.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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
  setObjectName(QStringLiteral("fmAbout"));
  setWindowTitle(QStringLiteral("About DayBridge ..."));
  setModal(true);

  auto* pColumn = new QVBoxLayout(this);
  pColumn->setContentsMargins(0, 0, 0, 12);
  pColumn->addWidget(AppMakeBanner(this, false));

  auto* pBody = new QVBoxLayout;
  pBody->setContentsMargins(16, 10, 16, 0);
  pBody->setSpacing(8);
  for (const Notice& notice : kNotices) {
    auto* pLabel = new QLabel(QString::fromUtf8(notice.szText), this);
    pLabel->setObjectName(QString::fromLatin1(notice.szName));
    pLabel->setWordWrap(true);
    pLabel->setFixedWidth(kNoticeWidth);
    pLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pBody->addWidget(pLabel);
  }
  auto* pProduct = findChild<QLabel*>(QStringLiteral("lblProduct"));
  QFont bold = pProduct->font();
  bold.setBold(true);
  pProduct->setFont(bold);
  pColumn->addLayout(pBody);

  auto* pButtons = new QHBoxLayout;
  pButtons->setContentsMargins(16, 10, 16, 0);
  pButtons->addStretch(1);
  auto* pOk = new QPushButton(QStringLiteral("OK"), this);
  pOk->setObjectName(QStringLiteral("btnOK"));
  pOk->setDefault(true);
  pButtons->addWidget(pOk);
  pColumn->addLayout(pButtons);
  connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
  pColumn->setSizeConstraint(QLayout::SetFixedSize);
}
