// The data module: the four ADO connections of the Palm Desktop 6.x databases (address,
// calendar, to-do, memo) and one query bound to each. One instance, dmMain, is shared by
// every database accessor; the module itself has no behaviour.
#pragma once

#include "platform/jet/JetAdo.h"

class TdmMain {
 public:
  TdmMain();
  TdmMain(const TdmMain&) = delete;
  TdmMain& operator=(const TdmMain&) = delete;

  TADOConnection connAddr;
  TADOConnection connDate;
  TADOConnection connTodo;
  TADOConnection connMemo;
  TADOQuery qryAddr;
  TADOQuery qryDate;
  TADOQuery qryTodo;
  TADOQuery qryMemo;
};

// Set by the platform start-up step (AppStartPlatform) to the program's data module; null
// until then.
extern TdmMain* dmMain;

// dmMain, or, when start-up has not made one (tests, tools), a process-wide module made on
// first use and kept until the process ends.
TdmMain* GetDataModule();
