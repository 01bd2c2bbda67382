// The update page's handlers: the menu item, the folder field and the button.
#include "TBF.h"
#include "model/UpdateFolderScan.h"
#include "worker/StatusTexts.h"

void TBF::miUpdateClick(bool fromButton) {
  SetActivePage(tsUpdate);
  ScanUpdateFolder();
  if (dgUpdate.RowCount() == 1) {
    ShowStatusLine(status_text::NoUpdateFiles, true);
    if (fromButton) ShowMessageBox(status_text::NoUpdateFiles, MB_OK | MB_ICONSTOP);
  }
}

void TBF::deUpdateChange() {
  if (ActivePage() == tsUpdate) ScanUpdateFolder();
}

void TBF::btUpdateClick() {
  miUpdateClick(true);
  // The worker may be busy: a command given then is lost, as for the menu items.
  if (dgUpdate.RowCount() > 1) GiveCommand(cmUpdate);
}

void TBF::ScanUpdateFolder() {
  // Header only until the new list is in place: no row is ever painted without its record.
  dgUpdate.SetRowCount(1);
  if (!UpdateList) UpdateList = std::make_unique<TUpdateList>();
  // A worker in the middle of an update took its own copy of the list; the records it walks
  // stay alive through that copy when this drops the window's references.
  *UpdateList = ScanUpdateCandidates(UpdateFolder());
  dgUpdate.SetRowCount(static_cast<int>(UpdateList->size()) + 1);
}
