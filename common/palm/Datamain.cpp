// The data module's components are wired once, as a designed form would wire them: no
// login prompt, the Jet provider, each query on the connection of its kind.
#include "common/palm/Datamain.h"

#include <memory>

TdmMain* dmMain = nullptr;

TdmMain::TdmMain()
    : qryAddr(&connAddr), qryDate(&connDate), qryTodo(&connTodo), qryMemo(&connMemo) {
  for (TADOConnection* pConnection : {&connAddr, &connDate, &connTodo, &connMemo}) {
    pConnection->SetLoginPrompt(false);
    pConnection->SetProvider(JET_PROVIDER);
  }
}

TdmMain* GetDataModule() {
  if (dmMain != nullptr) return dmMain;
  static std::unique_ptr<TdmMain> pFallback;
  if (!pFallback) pFallback = std::make_unique<TdmMain>();
  return pFallback.get();
}
