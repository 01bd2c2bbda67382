// Program entry. The main window is built in its own step; until then the program only
// says so.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  MessageBoxW(nullptr, L"Главное окно ещё не собрано.", L"Блок диагностики: информация", MB_OK);
  return 0;
}
