// A fault plan of the file layer for the life of a scope; counting starts with it.
#pragma once

#include "platform/win/WinOs.h"

namespace dbtest {

class FaultPlan {
 public:
  explicit FaultPlan(const CX_OS_FAULT_PLAN& plan) { CxOsSetFaultPlan(&plan); }
  ~FaultPlan() { CxOsSetFaultPlan(nullptr); }
  FaultPlan(const FaultPlan&) = delete;
  FaultPlan& operator=(const FaultPlan&) = delete;
};

}  // namespace dbtest
