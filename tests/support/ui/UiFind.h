// Finding a window's controls by their object names and clicking them as a user would.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>

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
