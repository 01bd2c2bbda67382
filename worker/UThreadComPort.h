// The worker thread: owns the link while it runs, runs one job per command, and reaches the
// window only through blocking hand-offs (action code + text, carried out by ApplyToWindow on
// the window thread).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "LinkUse.h"
#include "TThread.h"
#include "TWorkerWindow.h"
#include "link/IReceivedSize.h"
#include "common/UniqueResource.h"
#include "link/Varnel_tlb.h"

enum TWorkerCommand : int32_t {
  cmNone = 0,
  cmComponents = 1,  // component list
  cmUpdate = 3,      // update transfer
};

enum TWindowAction : int32_t {
  uaLinkError = 0,
  uaCompRows = 1,
  uaUpdateGrid = 2,
  uaGauge = 3,
  uaStatus = 4,
};

inline constexpr size_t PacketSize = 4100;

class TThreadComPort : public TThread {
 public:
  // Constructed on the window thread; window is where ApplyToWindow carries its actions.
  TThreadComPort(bool createSuspended, TWorkerWindow& window);
  ~TThreadComPort() override;

  // Resumes the thread; its first calls of the link are counted as due from now on.
  void Start();
  // Ends the thread after its current job: the termination request, a wake-up, and the wait
  // for its end, which on the window thread serves the job's hand-offs meanwhile. Its last call
  // of the link is counted as due until it has ended.
  void Stop();
  // Asks for a job: counted as the link's use from now until the job has ended.
  void GiveCommand(int32_t command);

  int32_t Action = uaLinkError;
  std::wstring Text;
  // How the colour of uaStatus and the percentage of uaGauge travel with the hand-off.
  bool StatusFailed = false;
  int32_t GaugePercent = 0;

  // uaCompRows hands these records to the window together with the row count in Text.
  TFileList PendingFileList;

  int32_t LastResult = 0;
  const uint8_t* Reply = nullptr;     // owned by the link component
  std::unique_ptr<uint8_t[]> Packet;  // PacketSize bytes, released when Execute ends
  ComPtr<IComPort> Port;              // filled and configured by TLinkLife before Resume
  // The reply's length, where the component tells it (AskForReceivedSize). Declared after
  // Port: released before it.
  ComPtr<IReceivedSize> ReceivedSize;
  HANDLE Event = nullptr;  // created, signalled and closed by the link's owner (TLinkLife)
  std::atomic<int32_t> Command{cmNone};
  // Every call of Port on any thread, and every call that is due, is counted here.
  TLinkUse LinkUse;
  // The system's code when the wait for a wake-up failed and the worker ended for it; the close
  // takes it as an error (0: none).
  DWORD WaitFailure = 0;

  // Asks the component in Port, once, whether it tells the reply's length; the vendor's does
  // not (E_NOINTERFACE), and the reply is then bounded by the memory it can be read through.
  void AskForReceivedSize();
  // Lets the link go once it is closed; the worker must have ended. Port is empty before the
  // last Release runs, which may run a message loop of its own.
  void ReleaseLink();

  // Puts a status message on lbStatus. A failure with code 6 shows the link's own error text
  // instead, when that text is not empty.
  void ShowStatus(const std::wstring& message, bool failed, int32_t code);
  // Carries out Action with Text on the window thread; returns when it has been carried out.
  void HandOff();
  // The hand-offs by action, each with what its action needs set first.
  void HandOffLinkFailure();                     // uaLinkError
  void HandOffComponentRows(TFileList records);  // uaCompRows: the records, Text their count + 1
  void HandOffUpdateGridRepaint();               // uaUpdateGrid with "0"
  void HandOffGauge(int32_t percent);            // uaGauge
  // Runs on the window thread only, inside a hand-off.
  void ApplyToWindow();
  // "Инициализация...", then Initialize; on failure the link failure display.
  bool InitLink();
  // The link's text for its last error ("" when it has none).
  std::wstring LinkErrorText();

  // The requests of command 1 (in ReadComponents.cpp). Each shows a progress message and
  // then a success or failure message, keeps the status of its last link call in LastResult,
  // and returns whether it succeeded. RequestFileList appends to list only on success.
  bool SetDirectory(const std::wstring& name);
  bool RequestFileList(TFileList& list, const std::wstring& filter);

 protected:
  void Execute() override;
  void RunHandOff(const std::function<void()>& work) override;
  void HandOffFailed(std::exception_ptr error) override;
  // The jobs, each in a file of its own; virtual so that tests can stand in a job of their own.
  virtual void ReadComponents();
  virtual void UpdateComponents();

 private:
  void ShowLinkFailure();

  TWorkerWindow& window_;
};

// The one worker of the process, set by its TLinkLife. The progress callback
// of SendFile has no context argument and finds the worker here.
extern TThreadComPort* ThreadComPort;
