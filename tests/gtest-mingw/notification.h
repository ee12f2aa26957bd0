// GoogleTest's Notification is built on std::mutex, which MinGW's win32
// thread model lacks. This one is declared without <windows.h>, so test
// sources see no Windows macros they did not ask for.
#pragma once

namespace testing::internal {

class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify();
  void WaitForNotification();

 private:
  void* event_;
};

}  // namespace testing::internal
