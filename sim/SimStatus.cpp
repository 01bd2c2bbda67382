#include "SimStatus.h"

std::wstring SimStatusText(int32_t status) {
  switch (status) {
    case SimOk: return L"";
    case SimNotConnected: return L"Блок диагностики не подключен";
    case SimNotInitialized: return L"Связь с блоком диагностики не установлена";
    case SimTimeout: return L"Блок диагностики не ответил вовремя";
    case SimBadArgument: return L"Неверный параметр вызова компонента связи";
    case SimUnexpectedAnswer: return L"Получен ответ блока диагностики другого вида";
    case SimUnitError: return L"Блок диагностики отклонил запрос";
    case SimStorageError: return L"Ошибка внутренней памяти блока диагностики";
    case SimShutDown: return L"Компонент связи завершил работу";
    case SimConfigError: return L"Ошибка в файле настройки имитатора";
    case SimInternalError: return L"Внутренняя ошибка компонента связи";
    default: return L"Ошибка компонента связи (код " + std::to_wstring(status) + L")";
  }
}
