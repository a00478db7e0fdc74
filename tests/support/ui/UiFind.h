// Finding a window's controls by their object names, clicking them as a user would, and
// reading what they say.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <string>

// The control of that object name under pRoot; a test failure when there is none.
template <class T>
T* FindIn(const QObject* pRoot, const char* szName) {
  T* pFound = pRoot != nullptr ? pRoot->findChild<T*>(QString::fromUtf8(szName)) : nullptr;
  if (pFound == nullptr) ADD_FAILURE() << "no control " << szName;
  return pFound;
}

// A click where the user would click: on the box of a check box or choice (a layout may
// stretch those wider than their caption, and a click beside the caption does nothing), in
// the middle of a push button.
inline void ClickIn(const QObject* pRoot, const char* szButton) {
  auto* pButton = FindIn<QAbstractButton>(pRoot, szButton);
  if (pButton == nullptr) return;
  QPoint ptClick = pButton->rect().center();
  if (pButton->isCheckable() && !pButton->inherits("QPushButton")) ptClick.setX(6);
  QTest::mouseClick(pButton, Qt::LeftButton, {}, ptClick);
}

// A report list as the user reads it: its column captions, its rows, a cell's text and
// check box; and a row ticked as a click on its box would.
inline QString HeaderText(const QTreeView* pList, int nColumn) {
  return pList->model()->headerData(nColumn, Qt::Horizontal).toString();
}
inline int RowCount(const QTreeView* pList) {
  return pList->model()->rowCount();
}
inline QModelIndex Cell(const QTreeView* pList, int nRow, int nColumn = 0) {
  return pList->model()->index(nRow, nColumn);
}
inline std::string CellText(const QTreeView* pList, int nRow, int nColumn) {
  return Cell(pList, nRow, nColumn).data().toString().toStdString();
}
inline Qt::CheckState CheckOf(const QTreeView* pList, int nRow) {
  return static_cast<Qt::CheckState>(Cell(pList, nRow).data(Qt::CheckStateRole).toInt());
}
inline void SetCheck(QTreeView* pList, int nRow, Qt::CheckState nState) {
  pList->model()->setData(Cell(pList, nRow), nState, Qt::CheckStateRole);
}

// What a control says, as "name=text": its caption or title, for a page control its tab
// captions, for a list its column captions, for a drop-down list its items (joined by "|").
inline std::string ControlText(const QObject* pControl) {
  QStringList texts;
  if (auto* pButton = qobject_cast<const QAbstractButton*>(pControl)) texts << pButton->text();
  if (auto* pLabel = qobject_cast<const QLabel*>(pControl)) texts << pLabel->text();
  if (auto* pGroup = qobject_cast<const QGroupBox*>(pControl)) texts << pGroup->title();
  if (auto* pWindow = qobject_cast<const QDialog*>(pControl)) texts << pWindow->windowTitle();
  if (auto* pTabs = qobject_cast<const QTabWidget*>(pControl)) {
    for (int i = 0; i < pTabs->count(); ++i) texts << pTabs->tabText(i);
  }
  if (auto* pList = qobject_cast<const QTreeView*>(pControl)) {
    for (int i = 0; i < pList->model()->columnCount(); ++i) texts << HeaderText(pList, i);
  }
  if (auto* pCombo = qobject_cast<const QComboBox*>(pControl)) {
    for (int i = 0; i < pCombo->count(); ++i) texts << pCombo->itemText(i);
  }
  return (pControl->objectName() + QLatin1Char('=') + texts.join(QLatin1Char('|'))).toStdString();
}
