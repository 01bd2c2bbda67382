#include "TSimUnit.h"

#include <algorithm>
#include <cstdio>

#include "SimStatus.h"
#include "common/Utf8.h"
#include "link/Cp1251.h"
#include "model/ComponentTable.h"

namespace {

constexpr uint8_t RequestFileList = 1;
constexpr uint8_t RequestSetDirectory = 2;
constexpr uint8_t RequestConfirm = 3;

std::string Number(int64_t value) { return std::to_string(value); }

std::wstring Wide(int64_t value) { return std::to_wstring(value); }

const char* ActionName(TFaultAction action) {
  switch (action) {
    case TFaultAction::Fail: return "fail";
    case TFaultAction::Timeout: return "timeout";
    case TFaultAction::Disconnect: return "disconnect";
    case TFaultAction::WrongCode: return "wrong-code";
    case TFaultAction::Truncate: return "truncate";
    case TFaultAction::OverrunCount: return "overrun-count";
    case TFaultAction::OverrunName: return "overrun-name";
  }
  return "?";
}

void AppendText(std::vector<uint8_t>& reply, std::string_view text) {
  reply.push_back(static_cast<uint8_t>(text.size()));
  reply.insert(reply.end(), text.begin(), text.end());
}

void AppendLittleEndian(std::vector<uint8_t>& reply, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) reply.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

TSimUnit::TSimUnit(TSimConfig config, std::shared_ptr<TSimClock> clock,
                   std::span<uint8_t> replyBuffer)
    : config_(std::move(config)),
      clock_(std::move(clock)),
      journal_(config_.Journal),
      storage_(config_.Storage),
      connected_(config_.Connected),
      timeoutMs_(config_.Timeout) {
  if (config_.ContractOnly) {
    if (replyBuffer.empty()) {
      ownReplyBuffer_.resize(ReplyBufferSize);
      replyBuffer = ownReplyBuffer_;
    }
    replyBuffer_ = replyBuffer;
    std::fill(replyBuffer_.begin(), replyBuffer_.end(), uint8_t{0});
  }
  journal_.Write("# created: storage " +
                 TSimJournal::Quote(WideFromUtf8(Utf8FromPath(config_.Storage))) + ", rate " +
                 Number(config_.Rate) + ", latency " + Number(config_.Latency) + ", connected " +
                 Number(config_.Connected) + ", faults " + Number(config_.Faults.size()) +
                 ", contract-only " + Number(config_.ContractOnly));
  if (!config_.Error.empty()) journal_.Write("# config: " + Utf8FromWide(config_.Error));
}

const TSimFault* TSimUnit::TakeFault(const char* method) {
  const int call = ++calls_[method];
  for (const TSimFault& fault : config_.Faults) {
    if (fault.Method != method || (fault.Call != 0 && fault.Call != call)) continue;
    journal_.Write(std::string("# fault: ") + method + " call " + Number(call) + ": " +
                   ActionName(fault.Action));
    return &fault;
  }
  return nullptr;
}

std::optional<int32_t> TSimUnit::Refused(const char* method, const std::string& call) {
  if (const TSimFault* fault = TakeFault(method)) return Log(call, FailWith(*fault));
  if (shutDown_) return Log(call, Fail(SimShutDown));
  return std::nullopt;
}

int32_t TSimUnit::Fail(int32_t status, std::wstring text) {
  if (status != SimOk) errorText_ = text.empty() ? SimStatusText(status) : std::move(text);
  return status;
}

int32_t TSimUnit::FailWith(const TSimFault& fault) {
  if (fault.Action == TFaultAction::Disconnect) {
    Disconnect();
    return Fail(SimNotConnected, fault.Text);
  }
  return Fail(fault.Status, fault.Text);
}

int32_t TSimUnit::LinkReady() {
  if (shutDown_) return Fail(SimShutDown);
  if (!config_.Error.empty()) return Fail(SimConfigError, config_.Error);
  if (!connected_) return Fail(SimNotConnected);
  if (!initialized_) return Fail(SimNotInitialized);
  return SimOk;
}

void TSimUnit::Disconnect() {
  connected_ = false;
  initialized_ = false;
  pending_.reset();
  image_.reset();
  ++epoch_;
}

void TSimUnit::SleepUntil(TLock& lock, int64_t microseconds) {
  if (microseconds <= clock_->NowMicroseconds()) return;
  lock.unlock();
  clock_->SleepUntil(microseconds);
  lock.lock();
}

int64_t TSimUnit::TransferMicroseconds(int64_t bytes) const {
  return config_.Rate > 0 ? bytes * 1000000 / config_.Rate : 0;
}

int32_t TSimUnit::Log(const std::string& call, int32_t result) {
  journal_.Write(call + " = " + Number(result));
  return result;
}

// Where the reply lands is the mode's business; what its bytes are was settled before.
void TSimUnit::Receive(std::vector<uint8_t> reply) {
  hasReceived_ = true;
  if (replyBuffer_.empty()) {
    received_ = std::move(reply);
    receivedSize_ = received_.size();
    return;
  }
  if (reply.size() > replyBuffer_.size()) {
    journal_.Write("# buffer: reply of " + Number(reply.size()) +
                   " bytes cut at the receive buffer's end (" + Number(replyBuffer_.size()) +
                   " bytes)");
    reply.resize(replyBuffer_.size());
  }
  std::copy(reply.begin(), reply.end(), replyBuffer_.begin());
  receivedSize_ = reply.size();
}

// The pointer goes; a fixed buffer's bytes stay, as the vendor's would.
void TSimUnit::ForgetReply() {
  received_.clear();
  receivedSize_ = 0;
  hasReceived_ = false;
}

int32_t TSimUnit::Configure(const TLinkSettings* settings) {
  TLock lock(mutex_);
  std::string call = "Configure()";
  if (settings)
    call = "Configure(" + Number(settings->Mode) + ", " +
           TSimJournal::Quote(FromCp1251(settings->AppTitle)) + ", " +
           Number(static_cast<int64_t>(settings->AppWindow)) + ", " + Number(settings->Flag) + ")";
  if (const auto refused = Refused("Configure", call)) return *refused;
  if (!settings) return Log(call, Fail(SimBadArgument, L"Configure: не передана запись настройки"));
  settings_ = *settings;
  return Log(call, SimOk);
}

int32_t TSimUnit::Reset() { return DropLink("Reset"); }

int32_t TSimUnit::Close() { return DropLink("Close"); }

// Reset and Close alike: the link goes back to uninitialised, and whatever was under way or
// received is dropped (a running transfer or wait sees the epoch change and ends).
int32_t TSimUnit::DropLink(const char* method) {
  TLock lock(mutex_);
  const std::string call = std::string(method) + "()";
  if (const auto refused = Refused(method, call)) return *refused;
  initialized_ = false;
  pending_.reset();
  image_.reset();
  ForgetReply();
  ++epoch_;
  return Log(call, SimOk);
}

int32_t TSimUnit::Shutdown() {
  TLock lock(mutex_);
  if (const auto refused = Refused("Shutdown", "Shutdown()")) return *refused;
  shutDown_ = true;
  initialized_ = false;
  pending_.reset();
  image_.reset();
  ++epoch_;
  return Log("Shutdown()", SimOk);
}

// The settings the unit only remembers: method(value) stores value; a negative one is refused
// with negativeRefusal where the setting has one.
int32_t TSimUnit::Remember(const char* method, int32_t value, int32_t& setting,
                           const wchar_t* negativeRefusal) {
  TLock lock(mutex_);
  const std::string call = std::string(method) + "(" + Number(value) + ")";
  if (const auto refused = Refused(method, call)) return *refused;
  if (negativeRefusal && value < 0) return Log(call, Fail(SimBadArgument, negativeRefusal));
  setting = value;
  return Log(call, SimOk);
}

int32_t TSimUnit::SetErrorOption(int32_t option) {
  return Remember("SetErrorOption", option, errorOption_);
}

int32_t TSimUnit::SetInteractive(int32_t interactive) {
  return Remember("SetInteractive", interactive, interactive_);
}

bool TSimUnit::DialogDue(const char* method) {
  TLock lock(mutex_);
  if (!interactive_ ||
      std::find(config_.Dialogs.begin(), config_.Dialogs.end(), method) == config_.Dialogs.end())
    return false;
  journal_.Write(std::string("# dialog: ") + method);
  return true;
}

int32_t TSimUnit::SetTimeout(int32_t milliseconds) {
  return Remember("SetTimeout", milliseconds, timeoutMs_,
                  L"SetTimeout: время не может быть отрицательным");
}

int32_t TSimUnit::Initialize() {
  TLock lock(mutex_);
  const std::string call = "Initialize()";
  if (const auto refused = Refused("Initialize", call)) return *refused;
  if (!config_.Error.empty()) return Log(call, Fail(SimConfigError, config_.Error));
  if (!connected_) return Log(call, Fail(SimNotConnected));
  if (!storageOpen_) {
    std::wstring error;
    if (!storage_.Open(config_.Seed, error)) return Log(call, Fail(SimStorageError, error));
    storageOpen_ = true;
  }
  const uint64_t epoch = epoch_;
  SleepUntil(lock, clock_->NowMicroseconds() + int64_t{config_.Latency} * 1000);
  if (epoch != epoch_)
    return Log(call, Fail(SimNotInitialized, L"Инициализация прервана: связь сброшена"));
  initialized_ = true;
  return Log(call, SimOk);
}

int32_t TSimUnit::QueryState(int32_t* state) {
  TLock lock(mutex_);
  const TSimFault* fault = TakeFault("QueryState");
  const int32_t result =
      fault ? FailWith(*fault) : (initialized_ && connected_ && !shutDown_ ? 0 : 1);
  if (state) *state = result;
  return Log("QueryState(" + Number(result) + ")", result);
}

int32_t TSimUnit::GetErrorText(std::wstring* text) {
  TLock lock(mutex_);
  if (const TSimFault* fault = TakeFault("GetErrorText")) {
    const int32_t status = FailWith(*fault);
    if (text) text->clear();
    return Log("GetErrorText(\"\")", status);
  }
  if (!text)
    return Log("GetErrorText()", Fail(SimBadArgument, L"GetErrorText: не передан адрес текста"));
  *text = errorText_;
  return Log("GetErrorText(" + TSimJournal::Quote(errorText_) + ")", SimOk);
}

const uint8_t* TSimUnit::GetReceivedData() {
  TLock lock(mutex_);
  if (const TSimFault* fault = TakeFault("GetReceivedData")) {
    FailWith(*fault);
    return Log("GetReceivedData()", 0), nullptr;
  }
  const bool any = hasReceived_ && !shutDown_;
  Log("GetReceivedData()", any ? static_cast<int32_t>(receivedSize_) : 0);
  if (!any) return nullptr;
  return replyBuffer_.empty() ? received_.data() : replyBuffer_.data();
}

int32_t TSimUnit::GetReceivedSize() {
  TLock lock(mutex_);
  if (const TSimFault* fault = TakeFault("GetReceivedSize")) {
    FailWith(*fault);
    return Log("GetReceivedSize()", 0);
  }
  return Log("GetReceivedSize()",
             hasReceived_ && !shutDown_ ? static_cast<int32_t>(receivedSize_) : 0);
}

int32_t TSimUnit::Reserved(int slot) {
  TLock lock(mutex_);
  const std::string method = "Reserved" + Number(slot);
  // The vendor's component may have nothing behind these slots, so the mode that stands in for
  // it makes a call of one impossible to miss.
  if (config_.ContractOnly)
    journal_.Write("# contract: " + method + " is not a method of the vendor's component");
  if (const TSimFault* fault = TakeFault(method.c_str()))
    return Log(method + "()", FailWith(*fault));
  if (config_.ContractOnly)
    return Log(method + "()",
               Fail(SimBadArgument, L"Вызван метод " + WideFromUtf8(method) +
                                        L", которого нет у компонента связи производителя"));
  return Log(method + "()", Fail(SimBadArgument, L"Метод компонента связи не поддерживается"));
}

int32_t TSimUnit::SendPacket(int32_t kind, int32_t length, const uint8_t* bytes) {
  TLock lock(mutex_);
  const bool readable = bytes && length > 0 && length <= MaxPacket;
  std::string call = "SendPacket(" + Number(kind) + ", " + Number(length);
  if (readable) call += ", " + TSimJournal::Hex({bytes, static_cast<size_t>(length)});
  call += ")";
  if (const auto refused = Refused("SendPacket", call)) return *refused;
  if (const int32_t status = LinkReady()) return Log(call, status);
  if (kind != MessageKind)
    return Log(call, Fail(SimBadArgument, L"Неверный вид сообщения: " + Wide(kind)));
  if (!readable)
    return Log(call, Fail(SimBadArgument, L"Неверная длина пакета: " + Wide(length) +
                                              L" (допустимо от 1 до 4100)"));
  // A new request cancels the answer to the previous one, and the reply it gave.
  pending_.reset();
  ForgetReply();
  std::vector<uint8_t> request(bytes, bytes + length);
  const uint64_t epoch = epoch_;
  SleepUntil(lock, clock_->NowMicroseconds() + TransferMicroseconds(length));
  if (epoch != epoch_)
    return Log(call, Fail(SimNotInitialized, L"Передача пакета прервана: связь сброшена"));
  pending_ =
      TPending{std::move(request), clock_->NowMicroseconds() + int64_t{config_.Latency} * 1000};
  return Log(call, SimOk);
}

int32_t TSimUnit::SendFile(int32_t size, const uint8_t* bytes, const std::wstring* fileName,
                           const TSimProgress& progress) {
  TLock lock(mutex_);
  const std::string call =
      "SendFile(" + Number(size) + ", " + TSimJournal::Quote(fileName ? *fileName : L"") + ")";
  const TSimFault* fault = TakeFault("SendFile");
  if (fault && fault->Action != TFaultAction::Disconnect) return Log(call, FailWith(*fault));
  if (const int32_t status = LinkReady()) return Log(call, status);
  if (!bytes || size <= 0) return Log(call, Fail(SimBadArgument, L"SendFile: нет данных файла"));
  const int row = fileName ? FindComponentRow(*fileName) : NoComponent;
  if (row == NoComponent)
    return Log(call, Fail(SimUnitError, L"Файл \"" + (fileName ? *fileName : L"") +
                                            L"\" не является программой блока диагностики"));
  if (size > MaxImage)
    return Log(call, Fail(SimUnitError,
                          L"Файл \"" + *fileName + L"\" не помещается в память блока диагностики"));

  // A new transfer replaces an image that was never confirmed.
  image_.reset();
  TImage image{row, std::vector<uint8_t>(bytes, bytes + size)};
  const int32_t total = (size + BlockSize - 1) / BlockSize;
  const int32_t dropAt = !fault              ? -1
                         : fault->Block >= 0 ? std::min(fault->Block, total)
                                             : total / 2;
  const uint64_t epoch = epoch_;
  const int64_t start = clock_->NowMicroseconds() + int64_t{config_.Latency} * 1000;
  SleepUntil(lock, start);
  for (int32_t block = 0; block <= total; ++block) {
    if (block == dropAt) {
      Disconnect();
      return Log(
          call, Fail(SimNotConnected,
                     fault->Text.empty() ? L"Связь с блоком диагностики прервана при передаче файла"
                                         : fault->Text));
    }
    if (block == total) break;
    SleepUntil(lock, start + TransferMicroseconds(
                                 std::min<int64_t>(size, int64_t{block + 1} * BlockSize)));
    if (epoch == epoch_ && progress) {
      lock.unlock();
      progress(total, block);
      lock.lock();
    }
    if (epoch != epoch_)
      return Log(call, Fail(SimNotInitialized, L"Передача файла прервана: связь сброшена"));
  }
  image_ = std::move(image);
  return Log(call, SimOk);
}

int32_t TSimUnit::WaitData(int32_t timeoutMs) {
  TLock lock(mutex_);
  return Wait(lock, "WaitData", TWaitKind::Data, timeoutMs, "WaitData(" + Number(timeoutMs) + ")");
}

int32_t TSimUnit::WaitAnswer(int32_t kind, int32_t timeoutMs) {
  return WaitOfKind("WaitAnswer", TWaitKind::Answer, kind, timeoutMs);
}

int32_t TSimUnit::WaitConfirm(int32_t kind, int32_t timeoutMs) {
  return WaitOfKind("WaitConfirm", TWaitKind::Confirm, kind, timeoutMs);
}

// The waits that are given a message kind: any other than the unit's is a bad argument.
int32_t TSimUnit::WaitOfKind(const char* method, TWaitKind wait, int32_t kind, int32_t timeoutMs) {
  TLock lock(mutex_);
  const std::string call =
      std::string(method) + "(" + Number(kind) + ", " + Number(timeoutMs) + ")";
  if (kind != MessageKind) {
    TakeFault(method);
    return Log(call, Fail(SimBadArgument, L"Неверный вид сообщения: " + Wide(kind)));
  }
  return Wait(lock, method, wait, timeoutMs, call);
}

int32_t TSimUnit::Wait(TLock& lock, const char* method, TWaitKind kind, int32_t timeoutMs,
                       const std::string& call) {
  const TSimFault* fault = TakeFault(method);
  if (fault && (fault->Action == TFaultAction::Fail || fault->Action == TFaultAction::Disconnect))
    return Log(call, FailWith(*fault));
  if (const int32_t status = LinkReady()) return Log(call, status);
  // -1 (any negative time) leaves the limit to the link: the one SetTimeout gave.
  const int64_t limitMs = timeoutMs < 0 ? timeoutMs_ : timeoutMs;
  const int64_t deadline = clock_->NowMicroseconds() + limitMs * 1000;
  const uint64_t epoch = epoch_;
  const bool answers = pending_ && !(fault && fault->Action == TFaultAction::Timeout);
  SleepUntil(lock, answers ? std::min(deadline, pending_->ReadyAt) : deadline);
  if (epoch != epoch_)
    return Log(call, Fail(SimNotInitialized, L"Ожидание прервано: связь сброшена"));
  if (!answers || !pending_ || pending_->ReadyAt > deadline)
    return Log(call, Fail(SimTimeout, L"Блок диагностики не ответил за " + Wide(limitMs) + L" мс"));
  const std::vector<uint8_t> request = std::move(pending_->Request);
  pending_.reset();
  return Log(call, Answer(request, kind, fault));
}

int32_t TSimUnit::Answer(const std::vector<uint8_t>& request, TWaitKind kind,
                         const TSimFault* fault) {
  const uint8_t code = request[0];
  TWaitKind expected;
  switch (code) {
    case RequestFileList: expected = TWaitKind::Data; break;
    case RequestSetDirectory: expected = TWaitKind::Answer; break;
    case RequestConfirm: expected = TWaitKind::Confirm; break;
    default: return Fail(SimUnitError, L"Блок диагностики не знает запрос с кодом " + Wide(code));
  }
  if (expected != kind)
    return Fail(SimUnexpectedAnswer,
                L"Ответ на запрос с кодом " + Wide(code) + L" не ожидался этим вызовом");
  switch (code) {
    case RequestFileList: return AnswerFileList(request, fault);
    case RequestSetDirectory: return AnswerSetDirectory(request);
    default: return AnswerConfirm(request);
  }
}

int32_t TSimUnit::AnswerSetDirectory(const std::vector<uint8_t>& request) {
  if (request.size() < 2 || request.size() != size_t{request[1]} + 2)
    return Fail(SimUnitError, L"Неверная длина запроса смены каталога: " +
                                  Wide(static_cast<int64_t>(request.size())));
  const std::string name(request.begin() + 2, request.end());
  // The unit keeps its programs in one folder, its root.
  if (name.empty() || name == "\\" || name == "/") return SimOk;
  return Fail(SimUnitError,
              L"Каталог \"" + FromCp1251(name) + L"\" не найден в памяти блока диагностики");
}

int32_t TSimUnit::AnswerFileList(const std::vector<uint8_t>& request, const TSimFault* fault) {
  if (request.size() != 2)
    return Fail(SimUnitError, L"Неверная длина запроса списка файлов: " +
                                  Wide(static_cast<int64_t>(request.size())));
  if (request[1] > 1)
    return Fail(SimUnitError,
                L"Неверный признак версии в запросе списка файлов: " + Wide(request[1]));
  const bool versions = request[1] == 1;
  std::vector<TStoredFile> files;
  std::wstring error;
  if (!storage_.List(clock_->LocalNow(), files, error)) return Fail(SimStorageError, error);

  std::vector<uint8_t> reply{RequestFileList, 0};
  size_t lastEntry = 0;
  for (const TStoredFile& file : files) {
    if (reply[1] == 255) break;
    if (file.Name.size() > 255 || file.Version.size() > 255) continue;
    lastEntry = reply.size();
    AppendText(reply, file.Name);
    reply.push_back(file.Attributes);
    AppendLittleEndian(reply, DosTime(file.Stamp), 2);
    AppendLittleEndian(reply, DosDate(file.Stamp), 2);
    AppendLittleEndian(reply, file.Size, 4);
    if (versions) AppendText(reply, file.Version);
    ++reply[1];
  }
  if (fault) {
    switch (fault->Action) {
      case TFaultAction::WrongCode: reply[0] = static_cast<uint8_t>(fault->Code); break;
      case TFaultAction::Truncate:
        reply.resize(std::min<size_t>(fault->Length >= 0 ? size_t(fault->Length) : reply.size() / 2,
                                      reply.size() - 1));
        break;
      case TFaultAction::OverrunName:
        if (reply[1] > 0) {
          reply[lastEntry] = 255;
          break;
        }
        [[fallthrough]];
      case TFaultAction::OverrunCount:
        if (reply[1] < 255)
          ++reply[1];
        else
          reply.pop_back();
        break;
      default: break;
    }
  }
  Receive(std::move(reply));
  return SimOk;
}

int32_t TSimUnit::AnswerConfirm(const std::vector<uint8_t>& request) {
  std::optional<TImage> image = std::move(image_);
  image_.reset();
  if (request.size() != 4)
    return Fail(SimUnitError, L"Неверная длина запроса подтверждения: " +
                                  Wide(static_cast<int64_t>(request.size())));
  const int row = request[1];
  if (row >= ComponentCount) return Fail(SimUnitError, L"Неверный номер компонента: " + Wide(row));
  if (!image)
    return Fail(SimUnitError,
                L"Файл \"" + ComponentFileName(row) + L"\" не был передан, подтверждать нечего");
  if (image->Row != row)
    return Fail(SimUnitError, L"Передан файл \"" + ComponentFileName(image->Row) +
                                  L"\", а подтверждается \"" + ComponentFileName(row) + L"\"");
  const std::string version = Number(request[2]) + "." + Number(request[3]);
  std::wstring error;
  if (!storage_.Install(ComponentFileNames[row], image->Bytes, version, clock_->LocalNow(), error))
    return Fail(SimStorageError, error);
  return SimOk;
}
