// The one tie between a record's kind and the code that knows its layout.
#include "common/palm/PalmStoreAdapter.h"

const PmRecordLayout& PmRecordLayout::OfKind(int nKind) {
  switch (nKind) {
    case PALM_KIND_DATEBOOK:
      return PmDatebookRecordLayout();
    case PALM_KIND_DATEBOOK_EX:
      return PmDatebookExRecordLayout();
    default:
      return PmDatabaseRecordLayout();
  }
}
