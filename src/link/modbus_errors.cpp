#include "link/modbus_errors.h"

#include <array>
#include <cstdint>

#include "link/connector_texts.h"

const char* const kMBLevelDevice = "Ошибка прибора";
const char* const kMBLevelProcess = "Ошибка обработки данных";
const char* const kMBLevelTransport = "Ошибка передачи данных";

namespace {

const char* const kUnknown = "Неизвестная ошибка.";

// Index 0 is success, 1..8 the standard Modbus exception codes.
const std::array<const char*, 9> kDeviceMessages = {
    "Нет ошибок.",          "Недопустимый номер функции.", "Некорректный адрес.",
    "Некорректные данные.", "Отказ оборудования прибора.", "Данные не готовы.",
    "Система занята.",      "Отрицательное квитирование.", "Ошибка четности памяти.",
};

// Index i is code -(i + 1).
const std::array<const char*, 12> kProcessMessages = {
    "Не подключен модуль передачи данных.",
    "Неверный идентификатор пакета.",
    "Неверная длинна пакета.",
    "Ошибка контрольной суммы.",
    "Неверный номер функции.",
    "Неверная длинна Modbus пакета.",
    "Неверная длинна данных.",
    "Очередь переполнена.",
    "Таймаут.",
    "Ошибка времени выполнения.",
    "Обработчик протокола Modbus выключен.",
    "Modbus клиент выключен.",
};

}  // namespace

std::string ModbusErrorMsg(int32_t AError, std::string& ALevel) {
    if (AError > 0) {
        ALevel = kMBLevelDevice;
        return AError < static_cast<int32_t>(kDeviceMessages.size()) ? kDeviceMessages[AError]
                                                                     : kUnknown;
    }
    if (AError == 0) {
        ALevel.clear();
        return kDeviceMessages[0];
    }
    if (AError > kMBTransportBase) {
        ALevel = kMBLevelProcess;
        const int64_t index = -static_cast<int64_t>(AError) - 1;
        return index < static_cast<int64_t>(kProcessMessages.size()) ? kProcessMessages[index]
                                                                     : kUnknown;
    }
    if (AError == kMBTransportBase) {
        ALevel.clear();
        return kUnknown;
    }
    ALevel = kMBLevelTransport;
    const int64_t code = static_cast<int64_t>(kMBTransportBase) - AError;
    return code > INT32_MAX ? kUnknown : KRConnectorErrorMsg(static_cast<int32_t>(code));
}
