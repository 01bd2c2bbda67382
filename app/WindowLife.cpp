#include "WindowLife.h"

#include <utility>

bool TWindowLife::Open() const {
  return state_ == TWindowState::Idle || state_ == TWindowState::ComponentsPage ||
         state_ == TWindowState::UpdatePage;
}

bool TWindowLife::Ended() const {
  return state_ == TWindowState::Closing || state_ == TWindowState::Closed;
}

// Inside a call with a message loop of its own nothing can end: that call still uses the
// worker and the link, and the worker may wait for this thread in its hand-off.
TLifeOutcome TWindowLife::On(TWindowEvent event, bool linkInUse) const {
  using enum TLifeOutcome;
  const bool nested = depth_ > 0;
  switch (event) {
    case TWindowEvent::CloseRequest:
      // During start-up: once the open call has returned, start-up ends as a refused one does.
      if (state_ == TWindowState::Constructing) return Mark;
      if (!Open()) return Ignore;  // refused, already closing, or closed
      return nested ? Mark : Close;

    case TWindowEvent::QueryEndSession:
      // A job cut short would leave the unit half updated, and a call of the link cut short the
      // link half closed. A close waiting for the worker is carried to its end by EndSession.
      if (nested || linkInUse || state_ == TWindowState::Constructing) return Refuse;
      return Allow;

    case TWindowEvent::EndSession:
      if (state_ == TWindowState::Constructing) return Mark;  // returns at once
      // Under a box of ours nothing holds the link: it is closed before the process ends, and
      // the window waits for the box's return, as its loop still runs.
      if (nested) return linkDepth_ == 0 && Open() ? CloseLink : Mark;
      if (Open()) return Close;
      // The only loop at depth 0 while closing is the close's wait for the worker.
      if (state_ == TWindowState::Closing) return CompleteClose;
      return Ignore;

    case TWindowEvent::EndCancelled: return Ignore;

    // A window that has agreed to the session's end, or is to close, starts nothing new.
    case TWindowEvent::Command:
      return Open() && !sessionEndAgreed_ && marked_ == TMarked::None ? Run : Ignore;

    // A report shown inside a hand-off would hold its worker there for as long as the box is up.
    case TWindowEvent::Report:
      if (marked_ == TMarked::SessionEnd) return Drop;
      return nested ? Queue : Show;

    case TWindowEvent::NestedReturned:
      if (nested || !Open()) return Ignore;  // start-up and the close look for themselves
      return marked_ != TMarked::None || !reports_.empty() ? RunMarked : Ignore;
  }
  return Ignore;
}

TLifeOutcome TWindowLife::Leave(bool linkCall) {
  --depth_;
  linkDepth_ -= linkCall;
  return On(TWindowEvent::NestedReturned);
}

void TWindowLife::MarkClose(bool sessionEnds) {
  if (sessionEnds)
    marked_ = TMarked::SessionEnd;
  else if (marked_ == TMarked::None)
    marked_ = TMarked::Close;
}

std::vector<std::exception_ptr> TWindowLife::TakeReports() { return std::exchange(reports_, {}); }
