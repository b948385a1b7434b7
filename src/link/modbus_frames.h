#pragma once
// Modbus request frames and reply validation, pure byte work on a TKRBuffer.
//
// Every builder writes one complete frame from position 0 of APPack and returns its length, with
// the expected reply length in ARecvLen. Both lengths are 8-bit; a request whose frame or expected
// reply would not fit in 8 bits is refused, as is a frame type outside mbtRTU/mbtTCP/mbtASCII: the
// builder then returns 0 and sets ARecvLen to 0 (the buffer contents are unspecified); the caller
// completes such a request with the processing error -6.
//
// Framing: RTU = body + CRC-16 (low byte first); TCP = 6-byte prefix (transaction id 0 0, protocol
// 0 0, length hi 0, length lo = body length) + body; ASCII = ':' + body and LRC as uppercase hex
// pairs + CR LF. The body is address, function, then the function's fields, all big-endian.

#include <cstddef>
#include <cstdint>

#include "link/kr_types.h"

uint8_t ReadReadCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                          TKRBuffer& APPack, uint8_t& ARecvLen);
uint8_t ReadDiscretInputsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartInput,
                              uint16_t ACount, TKRBuffer& APPack, uint8_t& ARecvLen);
uint8_t ReadHoldingRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                 uint16_t ACount, TKRBuffer& APPack, uint8_t& ARecvLen);
uint8_t ReadInputRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                               uint16_t ACount, TKRBuffer& APPack, uint8_t& ARecvLen);
uint8_t ReadStatusPack(TMBType AMBType, uint8_t AAddres, TKRBuffer& APPack, uint8_t& ARecvLen);
uint8_t WriteCoilPack(TMBType AMBType, uint8_t AAddres, uint16_t ACoilNum, bool AData,
                      TKRBuffer& APPack, uint8_t& ARecvLen);
// ACount goes into the count field as given; the byte count and the data are those of AData.
uint8_t WriteCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                       const TKRBytes& AData, TKRBuffer& APPack, uint8_t& ARecvLen);
uint8_t WriteHoldingRegisterPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                 uint16_t AData, TKRBuffer& APPack, uint8_t& ARecvLen);
// The quantity field is the number of entries in AData.
uint8_t WriteHoldingRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                  const TKRRegisters& AData, TKRBuffer& APPack, uint8_t& ARecvLen);
// Body = address, AFunc, the ADataLen bytes at AData. The reply length of a user function is
// unknown (0). AData may be null only when ADataLen is 0.
uint8_t UserFunctionPack(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, const uint8_t* AData,
                         size_t ADataLen, TKRBuffer& APPack);

// Frame of a whole request record, with the record's own frame type: a raw frame (bLen != 0)
// is copied from pBuf with bLen/bRLen; otherwise functions 1, 2, 3, 4 use Start/Count, 5 bit 0 of
// DataBt[0], 6 Data[0], 7 nothing, 15 Start/Count/DataBt, 16 Start/Data, any other code is a user
// function of Count bytes at uData. Returns 0 (and ARecvLen 0) when the record cannot be framed,
// including a missing first value for functions 5 and 6 or a raw frame without pBuf.
// The TCP transaction byte is left 0; the request helper stamps it.
uint8_t BuildPackFrame(const TMBPack& APack, TKRBuffer& ABuf, uint8_t& ARecvLen);

// Checks a reply of ALength bytes received into ABuf for request APack: the checksum (RTU, ASCII),
// the transaction byte (TCP, only when ACheckID), the function code, the exception bit. Returns 0
// for a valid normal reply, a positive exception code for an exception reply, or a processing
// error: -2 TCP transaction byte differs, -4 CRC or LRC wrong, -5 function code differs (also
// for an exception reply carrying code 0, which names no exception), and -3
// when the reply is too short to carry its function byte (or exception code) and checksum, or
// ALength lies outside the buffer. An unknown frame type is accepted unchecked (0). Never reads
// beyond ALength.
int32_t ValidateReply(const TMBPack& APack, const TKRBuffer& ABuf, int32_t ALength, bool ACheckID);
