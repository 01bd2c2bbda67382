// The simulated diagnostic unit behind its link: what IComPort's methods do, without COM.
// The COM object in ComPort.cpp forwards each method here one to one; this class is portable
// so that it runs under the sanitizers and the fuzzer.
//
// A request sent with SendPacket is taken up by the unit when the matching wait collects its
// answer (WaitData for a file list, WaitAnswer for set-directory, WaitConfirm for a
// confirmation); until then it only travels. SendFile hands over a whole program image, which
// the unit keeps until the next confirmation request.
//
// In contract-only mode the unit behaves as the vendor's component does where the program could
// notice: a call of a slot the contract does not list is remarked in the journal, and replies
// land in one fixed receive buffer whose bytes past the reply keep what longer replies left.
//
// Thread-safe: calls are serialised, but the lock is let go while the link sleeps and while
// the progress callback runs, so a callback may call back in and Reset from another thread
// ends a transfer or a wait early.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "SimClock.h"
#include "SimConfig.h"
#include "SimJournal.h"
#include "SimStorage.h"

// What Configure keeps of the caller's record; the record itself may be gone afterwards.
struct TLinkSettings {
  int32_t Mode = 0;
  std::string AppTitle;  // code page 1251
  uint64_t AppWindow = 0;
  bool Flag = false;
};

using TSimProgress = std::function<void(int32_t total, int32_t current)>;

class TSimUnit {
 public:
  static constexpr int32_t MessageKind = 27;
  static constexpr int32_t MaxPacket = 4100;
  static constexpr int32_t BlockSize = 4096;
  static constexpr int32_t MaxImage = 4 * 1024 * 1024;
  static constexpr size_t ReplyBufferSize = 65536;

  // replyBuffer: contract-only mode's receive buffer, owned by the caller and outliving the
  // unit (the COM object gives pages followed by a no-access page); when empty the unit keeps
  // a plain one of ReplyBufferSize bytes. Unused in the normal mode.
  TSimUnit(TSimConfig config, std::shared_ptr<TSimClock> clock,
           std::span<uint8_t> replyBuffer = {});

  int32_t Configure(const TLinkSettings* settings);
  int32_t Reset();
  int32_t Shutdown();
  int32_t SetErrorOption(int32_t option);
  int32_t Close();
  int32_t SetTimeout(int32_t milliseconds);
  int32_t SendPacket(int32_t kind, int32_t length, const uint8_t* bytes);
  // fileName: null when the caller gave none.
  int32_t SendFile(int32_t size, const uint8_t* bytes, const std::wstring* fileName,
                   const TSimProgress& progress);
  int32_t WaitData(int32_t timeoutMs);
  int32_t WaitAnswer(int32_t kind, int32_t timeoutMs);
  int32_t WaitConfirm(int32_t kind, int32_t timeoutMs);
  const uint8_t* GetReceivedData();
  int32_t GetReceivedSize();
  // text: null is a bad argument. Gives the last failure's text (empty after none).
  int32_t GetErrorText(std::wstring* text);
  int32_t SetInteractive(int32_t interactive);
  // Whether a call of method shows the component's own dialog first: in interactive mode, for
  // the methods the configuration names. Journals it when so.
  bool DialogDue(const char* method);
  int32_t Initialize();
  // The result is the state itself: nonzero when Initialize is due. *state gets the same.
  int32_t QueryState(int32_t* state);
  // Slots the program never calls: they fail with SimBadArgument (contract-only: loudly).
  int32_t Reserved(int slot);

  const TLinkSettings& Settings() const { return settings_; }
  bool ContractOnly() const { return config_.ContractOnly; }

 private:
  enum class TWaitKind { Data, Answer, Confirm };
  struct TPending {
    std::vector<uint8_t> Request;
    int64_t ReadyAt = 0;
  };
  struct TImage {
    int Row = -1;
    std::vector<uint8_t> Bytes;
  };
  using TLock = std::unique_lock<std::mutex>;

  // Counts the call and returns the fault staged for it, if any.
  const TSimFault* TakeFault(const char* method);
  // The opening most methods share: a fault staged for this call of method, or any call after
  // Shutdown, ends it with its status, journalled as call. Empty: the method goes on.
  std::optional<int32_t> Refused(const char* method, const std::string& call);
  int32_t Remember(const char* method, int32_t value, int32_t& setting,
                   const wchar_t* negativeRefusal = nullptr);
  int32_t DropLink(const char* method);
  int32_t Fail(int32_t status, std::wstring text = {});
  int32_t FailWith(const TSimFault& fault);
  // The checks every link operation starts with; SimOk when the link may be used.
  int32_t LinkReady();
  void Disconnect();
  void SleepUntil(TLock& lock, int64_t microseconds);
  int64_t TransferMicroseconds(int64_t bytes) const;
  int32_t Log(const std::string& call, int32_t result);
  void Receive(std::vector<uint8_t> reply);
  void ForgetReply();

  int32_t WaitOfKind(const char* method, TWaitKind wait, int32_t kind, int32_t timeoutMs);
  int32_t Wait(TLock& lock, const char* method, TWaitKind kind, int32_t timeoutMs,
               const std::string& call);
  int32_t Answer(const std::vector<uint8_t>& request, TWaitKind kind, const TSimFault* fault);
  int32_t AnswerSetDirectory(const std::vector<uint8_t>& request);
  int32_t AnswerFileList(const std::vector<uint8_t>& request, const TSimFault* fault);
  int32_t AnswerConfirm(const std::vector<uint8_t>& request);

  std::mutex mutex_;
  TSimConfig config_;
  std::shared_ptr<TSimClock> clock_;
  TSimJournal journal_;
  TSimStorage storage_;
  TLinkSettings settings_;

  bool connected_;
  bool initialized_ = false;
  bool shutDown_ = false;
  bool storageOpen_ = false;
  int32_t timeoutMs_;
  int32_t errorOption_ = 0;
  int32_t interactive_ = 1;
  uint64_t epoch_ = 0;  // moves on Reset, Close, Shutdown and disconnection
  std::map<std::string, int> calls_;
  std::wstring errorText_;
  std::optional<TPending> pending_;
  std::optional<TImage> image_;
  // The last reply: in the normal mode a vector of its own size; in contract-only mode the
  // first receivedSize_ bytes of replyBuffer_ (ownReplyBuffer_ when the owner gave none).
  std::vector<uint8_t> received_;
  std::vector<uint8_t> ownReplyBuffer_;
  std::span<uint8_t> replyBuffer_;
  size_t receivedSize_ = 0;
  bool hasReceived_ = false;
};
