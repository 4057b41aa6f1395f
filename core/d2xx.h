#pragma once

#include <QtGlobal>

// The FTDI D2XX functions the system uses, with the vendor library's arguments and
// statuses. The application's implementation loads libftdi1 at run time; when the
// library cannot be loaded every entry point raises RunError 53 (File not found), which
// the FTDI detector tells apart from every other failure.
using FT_STATUS = quint32;
using FT_HANDLE = quint32;  // 0 = none

constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
constexpr FT_STATUS FT_IO_ERROR = 4;
constexpr FT_STATUS FT_INSUFFICIENT_RESOURCES = 5;
constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
constexpr FT_STATUS FT_OTHER_ERROR = 18;

constexpr quint32 FT_LIST_NUMBER_ONLY = 0x80000000;
constexpr quint32 FT_LIST_BY_INDEX = 0x40000000;
constexpr quint32 FT_OPEN_BY_DESCRIPTION = 2;
constexpr quint8 FT_BITS_8 = 8;
constexpr quint8 FT_STOP_BITS_1 = 0;
constexpr quint8 FT_PARITY_NONE = 0;
constexpr quint16 FT_FLOW_NONE = 0;
constexpr quint32 FT_PURGE_RX = 1;
constexpr quint32 FT_PURGE_TX = 2;

// Size of a description buffer: 64 characters and the terminating zero.
constexpr int FT_DESCRIPTION_SIZE = 65;
// Size of the read and write buffers.
constexpr int FT_BUFFER_SIZE = 4096;

class D2xx {
public:
    virtual ~D2xx() = default;

    // Number of devices (flags FT_LIST_NUMBER_ONLY); the second argument is unused.
    virtual FT_STATUS FT_ListDevices(quint32* numDevices, std::nullptr_t, quint32 flags) = 0;
    // Description of device `index` (flags FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) into
    // a buffer of FT_DESCRIPTION_SIZE bytes, zero-terminated.
    virtual FT_STATUS FT_ListDevices(quint32 index, quint8* description, quint32 flags) = 0;
    // Opens by a zero-terminated description (flags FT_OPEN_BY_DESCRIPTION).
    virtual FT_STATUS FT_OpenEx(const quint8* description, quint32 flags, FT_HANDLE* handle) = 0;
    virtual FT_STATUS FT_SetBaudRate(FT_HANDLE handle, quint32 baud) = 0;
    virtual FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, quint8 bits, quint8 stopBits,
                                                quint8 parity) = 0;
    virtual FT_STATUS FT_SetFlowControl(FT_HANDLE handle, quint16 flow, quint8 xon,
                                        quint8 xoff) = 0;
    virtual FT_STATUS FT_SetTimeouts(FT_HANDLE handle, quint32 readMs, quint32 writeMs) = 0;
    virtual FT_STATUS FT_SetChars(FT_HANDLE handle, quint8 eventChar, quint8 eventEnabled,
                                  quint8 errorChar, quint8 errorEnabled) = 0;
    virtual FT_STATUS FT_Purge(FT_HANDLE handle, quint32 mask) = 0;
    // Bytes received and waiting.
    virtual FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, quint32* rxBytes) = 0;
    // Reads up to `wanted` bytes, waiting at most the read time-out for them.
    virtual FT_STATUS FT_Read(FT_HANDLE handle, quint8* buffer, quint32 wanted,
                              quint32* bytesRead) = 0;
    virtual FT_STATUS FT_Write(FT_HANDLE handle, const quint8* buffer, quint32 count,
                               quint32* bytesWritten) = 0;
    virtual FT_STATUS FT_Close(FT_HANDLE handle) = 0;
};
