// The main window's life in one place: the state it is in, how many calls that may run a
// message loop of their own are open on the window thread (a hand-off, a call of the link, the
// component's creation, a message box or dialog of ours) and how many of them hold the link, a
// close or session end marked while one is open, whether the window has agreed to the session's
// end, and the reports waiting for the open calls to return. On() says what each event does in
// each state; the window carries it out.
#pragma once

#include <exception>
#include <vector>

enum class TWindowState {
  Constructing,    // the constructor's steps
  Refused,         // start-up stopped: the window is never shown
  Idle,            // shown, no page
  ComponentsPage,  // shown, tsComponent
  UpdatePage,      // shown, tsUpdate
  Closing,         // the close runs: the worker's end, the link's close, the window's end
  Closed,          // the window is gone, or start-up was ended by a close
};

enum class TWindowEvent {
  CloseRequest,  // the close button, "Выход", WM_CLOSE from anywhere
  QueryEndSession,
  EndSession,    // WM_ENDSESSION(TRUE): the process ends when it returns
  EndCancelled,  // WM_ENDSESSION(FALSE): the session goes on
  Command,       // a menu item or a widget's notification
  Report,        // an error from a handler or a hand-off
  NestedReturned,
};

enum class TLifeOutcome {
  Ignore,
  Mark,           // the close waits until the outermost nested call has returned
  Close,          // the whole close, now
  CompleteClose,  // a close waits for the worker below: carry it to its end, freeing nothing
  CloseLink,      // the session ends under a box of ours: the link closes now, the rest is marked
  Allow,          // the session may end
  Refuse,         // it may not
  Run,            // the command runs
  Show,           // the report is shown now
  Queue,          // the report waits until the nested calls have returned
  Drop,           // the session ends: no report holds it up
  RunMarked,      // the nested calls have returned: marked close and queued reports follow
};

class TWindowLife {
 public:
  // What event does now. linkInUse: the link is in use on some thread, or due to be (a
  // command given, the worker's start or end): a session's end would cut it short.
  TLifeOutcome On(TWindowEvent event, bool linkInUse = false) const;

  void SetState(TWindowState state) { state_ = state; }
  bool Open() const;   // shown, neither closing nor closed
  bool Ended() const;  // the close has begun, or has run

  // Brackets a call that may run a message loop of its own; Leave answers what follows.
  // linkCall: a call of the link or a hand-off (the worker waits in it), not a box of ours.
  void Enter(bool linkCall) {
    ++depth_;
    linkDepth_ += linkCall;
  }
  TLifeOutcome Leave(bool linkCall);

  // The window answered yes to WM_QUERYENDSESSION: no new work until WM_ENDSESSION.
  void AgreeSessionEnd(bool agreed) { sessionEndAgreed_ = agreed; }

  // What On() answered Mark for, and the reports it answered Queue for.
  void MarkClose(bool sessionEnds);
  bool CloseMarked() const { return marked_ != TMarked::None; }
  bool SessionEndMarked() const { return marked_ == TMarked::SessionEnd; }
  void Queue(std::exception_ptr report) { reports_.push_back(report); }
  std::vector<std::exception_ptr> TakeReports();

 private:
  enum class TMarked { None, Close, SessionEnd };
  TWindowState state_ = TWindowState::Constructing;
  int depth_ = 0;
  int linkDepth_ = 0;
  bool sessionEndAgreed_ = false;
  TMarked marked_ = TMarked::None;
  std::vector<std::exception_ptr> reports_;
};
