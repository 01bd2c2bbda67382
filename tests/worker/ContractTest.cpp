// Every IComPort method must sit in the vtable slot the link's contract gives it: the
// vendor's component is reached by slot, not by name.
#include <gtest/gtest.h>

#include "support/FakeComPort.h"

namespace {

template <typename... Args>
int32_t CallSlot(IComPort* port, int slot, Args... args) {
  using Method = int32_t(__stdcall*)(IComPort*, Args...);
  void** vtable = *reinterpret_cast<void***>(port);
  return reinterpret_cast<Method>(vtable[slot])(port, args...);
}

TEST(LinkContract, EachMethodSitsInItsSlot) {
  FakeComPort port(0);
  SCP_Info info{5, "title", nullptr, true};
  BSTR text = nullptr;
  int32_t state = 0;
  CallSlot(&port, 3, &info);
  CallSlot(&port, 4);
  CallSlot(&port, 5);
  CallSlot(&port, 6, 11);
  CallSlot(&port, 7);
  CallSlot(&port, 8, 1000);
  CallSlot(&port, 9);
  CallSlot(&port, 10);
  CallSlot(&port, 11);
  CallSlot(&port, 12, 27, 2, static_cast<const uint8_t*>(nullptr));
  CallSlot(&port, 13);
  CallSlot(&port, 14, 7, static_cast<const uint8_t*>(nullptr), &text,
           static_cast<ProgressProc>(nullptr));
  CallSlot(&port, 15, 2000);
  CallSlot(&port, 16, 27, -1);
  CallSlot(&port, 17, 27, 3000);
  CallSlot(&port, 18);
  CallSlot(&port, 19);
  CallSlot(&port, 20);
  CallSlot(&port, 21);
  CallSlot(&port, 22);
  CallSlot(&port, 23, &text);
  CallSlot(&port, 24, 1);
  CallSlot(&port, 25);
  CallSlot(&port, 26);
  CallSlot(&port, 27);
  CallSlot(&port, 28);
  CallSlot(&port, 29, &state);

  const std::vector<std::string> expected = {
      "Configure()@W",        "Reset()@W",           "Shutdown()@W",
      "SetErrorOption(11)@W", "Close()@W",           "SetTimeout(1000)@W",
      "Reserved9()@W",        "Reserved10()@W",      "Reserved11()@W",
      "SendPacket(27,2)@W",   "Reserved13()@W",      "SendFile(7)@W",
      "WaitData(2000)@W",     "WaitAnswer(27,-1)@W", "WaitConfirm(27,3000)@W",
      "Reserved18()@W",       "GetReceivedData()@W", "Reserved20()@W",
      "Reserved21()@W",       "Reserved22()@W",      "GetErrorText()@W",
      "SetInteractive(1)@W",  "Reserved25()@W",      "Reserved26()@W",
      "Reserved27()@W",       "Initialize()@W",      "QueryState()@W"};
  // The fake tags window-thread calls by thread id; id 0 is no thread, so every call reads
  // "@T". Compare names only.
  auto calls = port.Calls();
  ASSERT_EQ(calls.size(), expected.size());
  for (size_t i = 0; i < calls.size(); ++i)
    EXPECT_EQ(calls[i].substr(0, calls[i].find('@')), expected[i].substr(0, expected[i].find('@')))
        << "slot " << i + 3;
}

}  // namespace
