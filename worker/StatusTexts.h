// Every text the status line shows, in one place. The link's own error texts come from the
// link component (GetErrorText) and are not here.
#pragma once

#include <string>

namespace status_text {

// Before every command.
inline constexpr wchar_t Initialising[] = L"Инициализация...";

// The component list.
inline constexpr wchar_t SettingDirectory[] = L"Задание директории...";
inline constexpr wchar_t DirectorySet[] = L"Задание директории завершено успешно";
inline constexpr wchar_t DirectoryFailed[] = L"Задание директории завершено неудачно";
inline constexpr wchar_t AskingForFiles[] = L"Запрос списка файлов...";
inline constexpr wchar_t FilesListed[] = L"Запрос списка файлов завершен успешно";
inline constexpr wchar_t FileListFailed[] =
    L"Запрос списка файлов завершен неудачно ";  // ends with a blank
inline constexpr wchar_t FileListCut[] =
    L"Запрос списка файлов завершен неудачно: ответ блока неполный";

// The update.
inline std::wstring Updating(const std::wstring& displayName) {
  return L"Обновление \"" + displayName + L"\"...";
}
inline constexpr wchar_t FileTooLarge[] = L"Файл имеет слишком большой размер";
inline constexpr wchar_t FileEmpty[] = L"Файл имеет нулевую длину";
inline std::wstring FileUnreadable(const std::wstring& fileName) {
  return L"Ошибка чтения данных файла \"" + fileName + L"\"";
}
inline constexpr wchar_t AwaitingConfirmation[] = L"Ожидание подтверждения обновления...";
inline constexpr wchar_t UpdateDone[] = L"Обновление файлов завершено успешно";

// The update page's scan, when the folder holds no candidate (also its message box).
inline constexpr wchar_t NoUpdateFiles[] = L"Не найдены файлы для обновления";

}  // namespace status_text
