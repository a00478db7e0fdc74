// The conflict alert.
#include "app/Confalert.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Apputil.h"
#include "app/Datedetail.h"

namespace {

struct AlertColumn {
  const char* szCaption;
  int nWidth;
  int nFieldId;  // 0: the store's name
};

constexpr AlertColumn kColumns[] = {
    {"Software", 120, 0},
    {"Description", 150, FIELD_DESCRIPTION},
    {"Date", 70, FIELD_DATE},
    {"Start Time", 80, FIELD_START_TIME},
    {"End Time", 80, FIELD_END_TIME},
};
constexpr int kColumnCount = sizeof(kColumns) / sizeof(kColumns[0]);
constexpr int kCellChars = 255;
constexpr int kListHeight = 90;

}  // namespace

TfmConfAlert::TfmConfAlert(QWidget* pParent) : QDialog(pParent) {
  setObjectName(QStringLiteral("fmConfAlert"));
  setWindowTitle(QStringLiteral("Conflict Alert"));

  auto* pText = new QLabel(QStringLiteral(CONFALERT_TEXT), this);
  pText->setObjectName(QStringLiteral("lblAlert"));
  pText->setTextFormat(Qt::PlainText);
  pText->setWordWrap(true);

  QStringList captions;
  for (const AlertColumn& column : kColumns) captions << QString::fromUtf8(column.szCaption);
  m_pList = AppNewReportList(this, "lvDate", captions);
  FitList();
  m_pList->setFixedHeight(kListHeight);
  // The one way to see everything the two versions hold, where they differ beyond these
  // columns (a location, a note): the details of a row, as on the record page.
  connect(m_pList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* pItem) {
    const auto* pDate =
        reinterpret_cast<const CommDate*>(pItem->data(0, Qt::UserRole).value<quintptr>());
    if (pDate == nullptr) return;
    TfmDateDetail detail(this);
    detail.SetRecord(pDate);
    AppExecModal(&detail);
  });

  m_pP2O =
      AppNewControl<QRadioButton>(this, "rbtnP2O", "Palm Desktop overwrites Microsoft Outlook");
  m_pNothing = AppNewControl<QRadioButton>(this, "rbtnNothing", "Do Nothing");
  m_pO2P =
      AppNewControl<QRadioButton>(this, "rbtnO2P", "Microsoft Outlook overwrites Palm Desktop");
  m_pThis = AppNewControl<QCheckBox>(this, "cbThis", "Apply this rule to this synchronization");
  m_pAll =
      AppNewControl<QCheckBox>(this, "cbAll", "Apply this rule to all future synchronizations");
  auto* pOk = AppNewControl<QPushButton>(this, "btnOK", "OK");
  auto* pCancel = AppNewControl<QPushButton>(this, "btnCancel", "Cancel");
  pOk->setDefault(true);
  connect(pOk, &QPushButton::clicked, this, &TfmConfAlert::accept);
  connect(pCancel, &QPushButton::clicked, this, &TfmConfAlert::reject);

  auto* pChoices = new QVBoxLayout;
  for (QAbstractButton* pChoice : {m_pP2O, m_pNothing, m_pO2P}) pChoices->addWidget(pChoice);
  pChoices->addSpacing(8);
  for (QAbstractButton* pCheck : {m_pThis, m_pAll}) pChoices->addWidget(pCheck);
  auto* pButtons = new QHBoxLayout;
  pButtons->addStretch(1);
  pButtons->addWidget(pOk);
  pButtons->addWidget(pCancel);
  auto* pLayout = new QVBoxLayout(this);
  pLayout->addWidget(pText);
  pLayout->addWidget(m_pList);
  pLayout->addLayout(pChoices);
  pLayout->addLayout(pButtons);
  pLayout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfmConfAlert::Load(const CommDate* pPalm, const CommDate* pOutlook) {
  if (pPalm == nullptr || pOutlook == nullptr) return;
  m_pList->clear();
  const std::pair<const char*, const CommDate*> rows[] = {{"Palm Desktop", pPalm},
                                                          {"Microsoft Outlook", pOutlook}};
  for (const auto& [szSoftware, pDate] : rows) {
    auto* pItem = new QTreeWidgetItem(m_pList);
    for (int nColumn = 0; nColumn < kColumnCount; ++nColumn) {
      const int nFieldId = kColumns[nColumn].nFieldId;
      pItem->setText(nColumn, nFieldId != 0 ? RecordFieldText(pDate, nFieldId, kCellChars)
                                            : QString::fromUtf8(szSoftware));
    }
    pItem->setToolTip(1, pItem->text(1));
    pItem->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(pDate)));
  }
  FitList();
}

void TfmConfAlert::FitList() {
  int nListWidth = 2 * m_pList->frameWidth();
  for (int nColumn = 0; nColumn < kColumnCount; ++nColumn) {
    // A long description is cut (and shown whole as its tip) rather than widen the dialog.
    if (kColumns[nColumn].nFieldId != FIELD_DESCRIPTION) {
      AppFitColumn(m_pList, nColumn, kColumns[nColumn].nWidth);
    }
    nListWidth += m_pList->columnWidth(nColumn);
  }
  m_pList->setMinimumWidth(nListWidth);
}

void TfmConfAlert::ShowAnswer() {
  // "Do Nothing" last: an answer this dialog has no button for shows as skipping.
  AppCheckChoice(
      {{CONFLICT_PALM_WINS, m_pP2O}, {CONFLICT_OUTLOOK_WINS, m_pO2P}, {CONFLICT_SKIP, m_pNothing}},
      m_Answer.nChoice);
}

void TfmConfAlert::ReadAnswer(ConflictAnswer* pAnswer) const {
  if (pAnswer != nullptr) *pAnswer = m_Answer;
}

void TfmConfAlert::accept() {
  m_Answer.nChoice = AppCheckedChoice(
      {{CONFLICT_PALM_WINS, m_pP2O}, {CONFLICT_OUTLOOK_WINS, m_pO2P}}, CONFLICT_SKIP);
  m_Answer.bThisSync = m_pThis->isChecked();
  m_Answer.bAllFuture = m_pAll->isChecked();
  QDialog::accept();
}
