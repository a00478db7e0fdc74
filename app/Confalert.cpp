// The conflict alert.
#include "app/Confalert.h"

#include <QCheckBox>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

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
// A differing field beyond the five columns gets a column of its own, at least this wide and
// at most as wide as the description's; a longer text is cut and shown whole as its tip.
constexpr int kExtraColumnWidth = 80;
constexpr int kExtraColumnMaxWidth = 150;
constexpr int kExtraCellChars = 4096;
constexpr QRgb kDifferColor = 0xFFFFECA0;  // pale yellow

const char kDifferText[] = "The fields in which the two versions differ are highlighted.";
const char kNoDifferText[] = "The two versions differ in no field shown here.";

int FixedColumnOf(int nFieldId) {
  for (int nColumn = 0; nColumn < kColumnCount; ++nColumn) {
    if (kColumns[nColumn].nFieldId == nFieldId) return nColumn;
  }
  return -1;
}

}  // namespace

TfmConfAlert::TfmConfAlert(QWidget* pParent) : QDialog(pParent) {
  setObjectName(QStringLiteral("fmConfAlert"));
  setWindowTitle(QStringLiteral("Conflict Alert"));

  auto* pText = new QLabel(QStringLiteral(CONFALERT_TEXT), this);
  pText->setObjectName(QStringLiteral("lblAlert"));
  pText->setTextFormat(Qt::PlainText);
  pText->setWordWrap(true);
  m_pDiffer = new QLabel(this);
  m_pDiffer->setObjectName(QStringLiteral("lblDiffer"));
  m_pDiffer->setTextFormat(Qt::PlainText);

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
  pLayout->addWidget(m_pDiffer);
  pLayout->addLayout(pChoices);
  pLayout->addLayout(pButtons);
  AppFixDialogSize(this);
}

void TfmConfAlert::Load(const CommDate* pPalm, const CommDate* pOutlook) {
  if (pPalm == nullptr || pOutlook == nullptr) return;
  m_pList->clear();
  std::vector<int> vDiffer;
  ConflictFieldsThatDiffer(pPalm, pOutlook, vDiffer);
  // The five columns, then one for each differing field they do not show.
  std::vector<int> vFieldIds;
  QStringList captions;
  for (const AlertColumn& column : kColumns) {
    vFieldIds.push_back(column.nFieldId);
    captions << QString::fromUtf8(column.szCaption);
  }
  for (int nFieldId : vDiffer) {
    if (FixedColumnOf(nFieldId) >= 0) continue;
    CommField field = {};
    if (!GetFieldDesc(nFieldId, &field)) continue;
    vFieldIds.push_back(nFieldId);
    captions << QString::fromUtf8(field.szName);
  }
  m_pList->setColumnCount(static_cast<int>(captions.size()));
  m_pList->setHeaderLabels(captions);

  const std::pair<const char*, const CommDate*> rows[] = {{"Palm Desktop", pPalm},
                                                          {"Microsoft Outlook", pOutlook}};
  for (const auto& [szSoftware, pDate] : rows) {
    auto* pItem = new QTreeWidgetItem(m_pList);
    for (int nColumn = 0; nColumn < static_cast<int>(vFieldIds.size()); ++nColumn) {
      const int nFieldId = vFieldIds[static_cast<size_t>(nColumn)];
      if (nFieldId == 0) {
        pItem->setText(nColumn, QString::fromUtf8(szSoftware));
        continue;
      }
      QString strText =
          RecordFieldText(pDate, nFieldId, nColumn < kColumnCount ? kCellChars : kExtraCellChars);
      pItem->setToolTip(nColumn, strText);
      // A note runs over lines; the cell shows them on one.
      strText.replace(QLatin1Char('\r'), QString()).replace(QLatin1Char('\n'), QLatin1Char(' '));
      pItem->setText(nColumn, strText);
      if (std::find(vDiffer.begin(), vDiffer.end(), nFieldId) != vDiffer.end()) {
        QFont font = pItem->font(nColumn);
        font.setBold(true);
        pItem->setFont(nColumn, font);
        pItem->setBackground(nColumn, QColor::fromRgb(kDifferColor));
      }
    }
    pItem->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(pDate)));
  }
  m_pDiffer->setText(QString::fromUtf8(vDiffer.empty() ? kNoDifferText : kDifferText));
  FitList();
}

void TfmConfAlert::FitList() {
  int nListWidth = 2 * m_pList->frameWidth();
  for (int nColumn = 0; nColumn < m_pList->columnCount(); ++nColumn) {
    if (nColumn >= kColumnCount) {
      AppFitColumn(m_pList, nColumn, kExtraColumnWidth);
      m_pList->setColumnWidth(nColumn,
                              std::min(m_pList->columnWidth(nColumn), kExtraColumnMaxWidth));
    } else if (kColumns[nColumn].nFieldId != FIELD_DESCRIPTION) {
      // A long description is cut (and shown whole as its tip) rather than widen the dialog.
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
