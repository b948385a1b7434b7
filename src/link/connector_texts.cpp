#include "link/connector_texts.h"

std::string KRConnectorErrorMsg(int32_t AError) {
    switch (AError) {
        case cerNoError:
            return "No error.";
        case cerQueueOverflow:
            return "Overflow of the queue.";
        case cerNotConnected:
            return "The connection is not established.";
        case cerSendFailed:
            return "It was not possible to send the data.";
        case cerNoAnswer:
            return "The answer is not received.";
        case cerSendTimeout:
            return "Timeout when sending data..";
        case cerReceiveTimeout:
            return "Timeout when receiving data.";
        case cerNotActive:
            return "The connection is not actively.";
        default:
            return "Неизвестная ошибка.";
    }
}
