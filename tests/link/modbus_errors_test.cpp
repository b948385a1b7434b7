// Texts and categories of completion codes, character for character.

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "link/modbus_errors.h"
#include "link/modbus_master.h"

namespace {

struct TErrorCase {
    int32_t Code;
    const char* Level;
    const char* Message;
};

class ModbusErrorMsg : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(ModbusErrorMsg, GivesCategoryAndText) {
    TKRModbusMaster master;
    std::string level = "stale";
    EXPECT_EQ(master.ErrorMsg(GetParam().Code, level), GetParam().Message);
    EXPECT_EQ(level, GetParam().Level);
}

const char* const kDev = "Ошибка прибора";
const char* const kProc = "Ошибка обработки данных";
const char* const kTrans = "Ошибка передачи данных";

INSTANTIATE_TEST_SUITE_P(
    Codes, ModbusErrorMsg,
    ::testing::Values(
        TErrorCase{0, "", "Нет ошибок."}, TErrorCase{1, kDev, "Недопустимый номер функции."},
        TErrorCase{2, kDev, "Некорректный адрес."}, TErrorCase{3, kDev, "Некорректные данные."},
        TErrorCase{4, kDev, "Отказ оборудования прибора."},
        TErrorCase{5, kDev, "Данные не готовы."}, TErrorCase{6, kDev, "Система занята."},
        TErrorCase{7, kDev, "Отрицательное квитирование."},
        TErrorCase{8, kDev, "Ошибка четности памяти."}, TErrorCase{9, kDev, "Неизвестная ошибка."},
        TErrorCase{INT_MAX, kDev, "Неизвестная ошибка."},
        TErrorCase{-1, kProc, "Не подключен модуль передачи данных."},
        TErrorCase{-2, kProc, "Неверный идентификатор пакета."},
        TErrorCase{-3, kProc, "Неверная длинна пакета."},
        TErrorCase{-4, kProc, "Ошибка контрольной суммы."},
        TErrorCase{-5, kProc, "Неверный номер функции."},
        TErrorCase{-6, kProc, "Неверная длинна Modbus пакета."},
        TErrorCase{-7, kProc, "Неверная длинна данных."},
        TErrorCase{-8, kProc, "Очередь переполнена."}, TErrorCase{-9, kProc, "Таймаут."},
        TErrorCase{-10, kProc, "Ошибка времени выполнения."},
        TErrorCase{-11, kProc, "Обработчик протокола Modbus выключен."},
        TErrorCase{-12, kProc, "Modbus клиент выключен."},
        TErrorCase{-13, kProc, "Неизвестная ошибка."},
        TErrorCase{-50, kProc, "Неизвестная ошибка."},
        TErrorCase{-99, kProc, "Неизвестная ошибка."}, TErrorCase{-100, "", "Неизвестная ошибка."},
        TErrorCase{-101, kTrans, "Overflow of the queue."},
        TErrorCase{-102, kTrans, "The connection is not established."},
        TErrorCase{-103, kTrans, "It was not possible to send the data."},
        TErrorCase{-104, kTrans, "The answer is not received."},
        TErrorCase{-105, kTrans, "Timeout when sending data.."},
        TErrorCase{-106, kTrans, "Timeout when receiving data."},
        TErrorCase{-107, kTrans, "The connection is not actively."},
        TErrorCase{-108, kTrans, "Неизвестная ошибка."},
        TErrorCase{INT_MIN, kTrans, "Неизвестная ошибка."}),
    [](const auto& AInfo) {
        const int64_t code = AInfo.param.Code;
        return (code < 0 ? "CodeMinus" : "Code") + std::to_string(code < 0 ? -code : code);
    });

TEST(ModbusTransportCode, ShiftsConnectorCodesBelowMinus100) {
    EXPECT_EQ(MBTransportError(4), -104);
    EXPECT_EQ(MBTransportError(1), -101);
}

}  // namespace
