// The conflict alert.
#include "app/Confalert.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QCheckBox>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
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

// The two versions of the pair, Palm Desktop first, one row each: the five columns, then one
// for each differing field they do not show. Texts are taken when the pair is set.
class TConflictModel : public QAbstractTableModel {
 public:
  explicit TConflictModel(QObject* pParent) : QAbstractTableModel(pParent) { SetFixedColumns(); }

  void SetPair(const CommDate* pPalm, const CommDate* pOutlook) {
    beginResetModel();
    SetFixedColumns();
    m_vDiffer.clear();
    ConflictFieldsThatDiffer(pPalm, pOutlook, m_vDiffer);
    for (int nFieldId : m_vDiffer) {
      if (FixedColumnOf(nFieldId) >= 0) continue;
      CommField field = {};
      if (!GetFieldDesc(nFieldId, &field)) continue;
      m_vFieldIds.push_back(nFieldId);
      m_Captions << QString::fromUtf8(field.szName);
    }
    const std::pair<const char*, const CommDate*> versions[] = {{"Palm Desktop", pPalm},
                                                                {"Microsoft Outlook", pOutlook}};
    for (int nRow = 0; nRow < kRows; ++nRow) {
      const auto& [szSoftware, pDate] = versions[nRow];
      m_pRecords[nRow] = pDate;
      m_Texts[nRow].clear();
      for (size_t nColumn = 0; nColumn < m_vFieldIds.size(); ++nColumn) {
        const int nFieldId = m_vFieldIds[nColumn];
        m_Texts[nRow] << (nFieldId == 0
                              ? QString::fromUtf8(szSoftware)
                              : RecordFieldText(
                                    pDate, nFieldId,
                                    nColumn < kColumnCount ? kCellChars : kExtraCellChars));
      }
    }
    m_bLoaded = true;
    endResetModel();
  }

  bool IsDiffering() const { return !m_vDiffer.empty(); }
  const CommDate* RecordAt(int nRow) const {
    return m_bLoaded && nRow >= 0 && nRow < kRows ? m_pRecords[nRow] : nullptr;
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() || !m_bLoaded ? 0 : kRows;
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_Captions.size());
  }

  QVariant data(const QModelIndex& index, int nRole) const override {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return QVariant();
    const int nFieldId = m_vFieldIds[static_cast<size_t>(index.column())];
    const QString& strText = m_Texts[index.row()].at(index.column());
    const bool bDiffers =
        std::find(m_vDiffer.begin(), m_vDiffer.end(), nFieldId) != m_vDiffer.end();
    switch (nRole) {
      case Qt::DisplayRole: {
        // A note runs over lines; the cell shows them on one.
        QString strCell = strText;
        return strCell.replace(QLatin1Char('\r'), QString())
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
      }
      case Qt::ToolTipRole:
        return nFieldId != 0 ? QVariant(strText) : QVariant();
      case Qt::FontRole: {
        if (!bDiffers) return QVariant();
        QFont font;
        font.setBold(true);
        return font;
      }
      case Qt::BackgroundRole:
        return bDiffers ? QVariant(QBrush(QColor::fromRgb(kDifferColor))) : QVariant();
      default:
        return QVariant();
    }
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
  }

  QVariant headerData(int nSection, Qt::Orientation orientation, int nRole) const override {
    if (orientation != Qt::Horizontal || nRole != Qt::DisplayRole) return QVariant();
    return m_Captions.value(nSection);
  }

 private:
  static constexpr int kRows = 2;

  void SetFixedColumns() {
    m_vFieldIds.clear();
    m_Captions.clear();
    for (const AlertColumn& column : kColumns) {
      m_vFieldIds.push_back(column.nFieldId);
      m_Captions << QString::fromUtf8(column.szCaption);
    }
  }

  bool m_bLoaded = false;
  std::vector<int> m_vFieldIds;  // 0: the store's name
  QStringList m_Captions;
  std::vector<int> m_vDiffer;
  const CommDate* m_pRecords[kRows] = {};
  QStringList m_Texts[kRows];
};

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

  m_pRows = new TConflictModel(this);
  m_pList = AppNewReportList(this, "lvDate", m_pRows);
  FitList();
  m_pList->setFixedHeight(kListHeight);
  // The one way to see everything the two versions hold, where they differ beyond these
  // columns (a location, a note): the details of a row, as on the record page.
  connect(m_pList, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
    const CommDate* pDate = m_pRows->RecordAt(index.row());
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
  m_pRows->SetPair(pPalm, pOutlook);
  m_pDiffer->setText(QString::fromUtf8(m_pRows->IsDiffering() ? kDifferText : kNoDifferText));
  FitList();
}

void TfmConfAlert::FitList() {
  int nListWidth = 2 * m_pList->frameWidth();
  for (int nColumn = 0; nColumn < m_pRows->columnCount(); ++nColumn) {
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
