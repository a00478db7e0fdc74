// The run page.
#include "app/Syncdateproc.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStringList>
#include <QTextOption>
#include <QTimer>
#include <QVBoxLayout>
#include <string>

#include "app/Apputil.h"
#include "app/Confalert.h"
#include "app/Syncdate.h"
#include "app/core/AppCalendar.h"
#include "app/core/SyncHistory.h"
#include "app/core/SyncRun.h"
#include "views/CxPaintUtil.h"

using cxpaint::AnsiText;

namespace {

constexpr int kTabStopChars = 8;

// The run's target as the page sees it: the calendar's stores, and why the last write to
// Outlook that failed did, taken when it failed (a later write may succeed).
class TReasonedTarget : public ISyncTarget {
 public:
  explicit TReasonedTarget(AppCalendar& calendar) : m_Calendar(calendar) {}

  bool WriteToOutlook(CommDate* pDate) override {
    if (m_Calendar.WriteToOutlook(pDate)) return true;
    m_strOutlookReason = m_Calendar.GetOutlookFailure().szText;
    return false;
  }
  bool WriteToPalm(CommDate* pDate) override { return m_Calendar.WriteToPalm(pDate); }
  bool SavePalm() override { return m_Calendar.SavePalm(); }
  std::string DescribePalmFailure() const override { return m_Calendar.DescribePalmFailure(); }
  std::string CheckWritable(bool bOutlook, bool bPalm) override {
    return m_Calendar.CheckWritable(bOutlook, bPalm);
  }
  bool HoldsSame(const CommDate* pDate, bool bInOutlook) override {
    return m_Calendar.HoldsSame(pDate, bInOutlook);
  }
  bool TrackAdd(CommDate* pDate, bool bToOutlook) override {
    return Reasoned(m_Calendar.TrackAdd(pDate, bToOutlook), bToOutlook);
  }
  bool TrackUpdate(CommDate* pFrom, CommDate* pTarget, bool bInOutlook) override {
    return Reasoned(m_Calendar.TrackUpdate(pFrom, pTarget, bInOutlook), bInOutlook);
  }
  bool TrackDelete(CommDate* pTarget, bool bInOutlook) override {
    return Reasoned(m_Calendar.TrackDelete(pTarget, bInOutlook), bInOutlook);
  }
  bool TrackRemember(TrackPlan& plan) override { return m_Calendar.TrackRemember(plan); }

  const std::string& GetOutlookReason() const { return m_strOutlookReason; }

 private:
  bool Reasoned(bool bOk, bool bOutlook) {
    if (!bOk && bOutlook) m_strOutlookReason = m_Calendar.GetOutlookFailure().szText;
    return bOk;
  }

  AppCalendar& m_Calendar;
  std::string m_strOutlookReason;
};

}  // namespace

TfmSyncDateProc::TfmSyncDateProc(TfmSyncDate* pFrame, AppCalendar& calendar, TAppSettings& settings,
                                 SyncHistoryMgr& history, QWidget* pParent)
    : QWidget(pParent),
      m_pFrame(pFrame),
      m_Calendar(calendar),
      m_Settings(settings),
      m_History(history) {
  setObjectName(QStringLiteral("fmSyncDateProc"));
  m_pLog = new QPlainTextEdit(this);
  m_pLog->setObjectName(QStringLiteral("memLog"));
  m_pLog->setReadOnly(true);
  // Reasons name whole paths: the lines wrap, so nothing is cut off at the page's edge.
  m_pLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  m_pLog->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  // The subject lines are indented by a tab: a stop every eight characters, as in the edit
  // controls such logs are read in, not Qt's much wider default.
  m_pLog->setTabStopDistance(kTabStopChars * m_pLog->fontMetrics().averageCharWidth());
  m_pLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_pProgress = new QProgressBar(this);
  m_pProgress->setObjectName(QStringLiteral("pbProgress"));
  m_pProgress->setRange(0, 100);
  m_pProgress->setValue(0);
  m_pProgress->setTextVisible(true);
  m_pProgress->setFormat(QStringLiteral("%p%"));
  m_pProgress->setAlignment(Qt::AlignCenter);
  m_pStartTimer = new QTimer(this);
  m_pStartTimer->setObjectName(QStringLiteral("tmStart"));
  m_pStartTimer->setSingleShot(true);
  m_pStartTimer->setInterval(SYNCDATEPROC_START_DELAY_MS);
  connect(m_pStartTimer, &QTimer::timeout, this, &TfmSyncDateProc::OnStartTimer);

  auto* pPage = new QVBoxLayout(this);
  pPage->setContentsMargins(0, 0, 0, 0);
  pPage->addWidget(m_pLog, 1);
  pPage->addWidget(m_pProgress);
}

TfmSyncDateProc::~TfmSyncDateProc() = default;

SyncRunCallbacks TfmSyncDateProc::MakeCallbacks() {
  SyncRunCallbacks callbacks;
  callbacks.log = [this](const char* szLine) { LogLine(szLine); };
  callbacks.progress = [this](int nPercent) { m_pProgress->setValue(nPercent); };
  callbacks.describe = [this](const char* szText) { m_pFrame->SetDescription(szText); };
  callbacks.pause = [this] { KeepResponsive(); };
  callbacks.stop = [this] { return m_bStopRequested; };
  callbacks.ask = [this](const CommDate* pPalm, const CommDate* pOutlook, ConflictAnswer* pAnswer) {
    return AskConflict(pPalm, pOutlook, pAnswer);
  };
  return callbacks;
}

void TfmSyncDateProc::Start() {
  m_pLog->clear();
  SyncRun(m_Calendar, m_Settings, m_History, MakeCallbacks()).Start();
  m_pStartTimer->start();
}

void TfmSyncDateProc::CancelStart() {
  m_pStartTimer->stop();
}

void TfmSyncDateProc::LogLine(const char* szLine) {
  // Each CR LF ends a line, as in the edit control the log was made for: "done.\r\n" leaves
  // an empty line after "done.", and "\r\n" alone two empty lines.
  m_PendingLines.append(AnsiText(szLine).split(QStringLiteral("\r\n")));
  // While a run goes the lines are shown at its next repaint, all at once: laying out and
  // scrolling the log for each of thousands of lines would cost more than the records.
  if (!m_bRunning) FlushLog();
}

void TfmSyncDateProc::FlushLog() {
  if (m_PendingLines.isEmpty()) return;
  m_pLog->appendPlainText(m_PendingLines.join(QLatin1Char('\n')));
  m_PendingLines.clear();
  m_pLog->verticalScrollBar()->setValue(m_pLog->verticalScrollBar()->maximum());
}

void TfmSyncDateProc::OnStartTimer() {
  m_pStartTimer->stop();
  if (m_bRan) return;
  m_bRan = true;
  m_bRunning = true;
  m_bStopRequested = false;
  m_Repaint.invalidate();
  m_pFrame->SetRunning(true);
  // Whatever ends the run, the wizard must not stay locked.
  struct RunningGuard {
    TfmSyncDateProc* pPage;
    ~RunningGuard() {
      pPage->m_bRunning = false;
      pPage->FlushLog();
      pPage->m_pFrame->SetRunning(false);
    }
  } guard{this};
  TReasonedTarget target(m_Calendar);
  SyncRun run(target, m_Settings, m_History, MakeCallbacks());
  run.SetTrackPlan(m_Calendar.GetTrackPlan(m_Settings.SyncMode));
  run.Run(m_Calendar.GetPalmSelection(), m_Calendar.GetOutlookSelection());
  // The run's lines say which transfers failed; Outlook's reason is only known here.
  if (!target.GetOutlookReason().empty()) {
    LogLine(("Writing to Outlook failed (" + target.GetOutlookReason() + ").").c_str());
  }
  // What failed or was not saved is told at the end of a log the user may not scroll
  // through: the line above the pages says so, in red.
  m_bSavedAll = run.GetSaveOk();
  bool bAlert = false;
  const std::string strOutcome = run.DescribeOutcome(&bAlert);
  m_pFrame->SetDescription(strOutcome.c_str(), bAlert);
}

void TfmSyncDateProc::KeepResponsive() {
  // Painting after every one of thousands of records would cost more than the records; the
  // progress bar takes every value, and is shown at the next repaint. User input goes
  // through too: the wizard takes only Cancel while running, as a request to stop.
  if (m_Repaint.isValid() && m_Repaint.elapsed() < SYNCDATEPROC_REPAINT_MS) return;
  FlushLog();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  m_Repaint.start();
}

bool TfmSyncDateProc::AskConflict(const CommDate* pPalm, const CommDate* pOutlook,
                                  ConflictAnswer* pAnswer) {
  FlushLog();
  TfmConfAlert alert(this);
  alert.Load(pPalm, pOutlook);
  alert.ShowAnswer();
  if (AppExecModal(&alert) != QDialog::Accepted) return false;
  alert.ReadAnswer(pAnswer);
  return true;
}
