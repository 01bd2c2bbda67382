// The update page's handlers: the menu item, the folder field and the button.
#include "TBF.h"

void TBF::miUpdateClick(bool fromButton) {
  SetActivePage(tsUpdate);
}

void TBF::deUpdateChange() {
  if (ActivePage() == tsUpdate) ScanUpdateFolder();
}

void TBF::btUpdateClick() {
  miUpdateClick(true);
}

void TBF::ScanUpdateFolder() {
  dgUpdate.SetRowCount(1);
  if (UpdateList) UpdateList->clear();
  else UpdateList = std::make_unique<TUpdateList>();
  dgUpdate.SetRowCount(static_cast<int>(UpdateList->size()) + 1);
}
