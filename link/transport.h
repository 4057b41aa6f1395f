#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

#include "core/d2xx.h"

class CoreContext;
class SerialControl;

// One way to the radio's cable: a COM port or an FTDI device. The link holds one and never
// asks which kind it is; makeTransport, the only place that looks at the port number,
// picks it.
class Transport {
public:
    virtual ~Transport() = default;

    // Opens the device (closing it first if it was open), with the link's trace lines, and
    // for a COM port the box that tells the user what stands in the way, and the pause in
    // which the cable settles. False when it did not open: failure() says why.
    virtual bool open(const QString& settings) = 0;
    // Up to `max` bytes, oldest first: what waits, or on an FTDI device what comes within
    // its read time-out. Fewer than asked is a short read; failure() is then set only when
    // the read failed rather than ran out of time.
    virtual QByteArray read(qint32 max) = 0;
    // Hands the bytes to the device; false when it refused them.
    virtual bool write(const QByteArray& bytes) = 0;
    // Drops what was received and not yet read.
    virtual void purge() = 0;
    virtual void close() = 0;
    // Bytes received and waiting; asking is what notices a device that went away.
    virtual qint32 bytesWaiting() = 0;
    virtual bool isOpen() const = 0;
    // True once the device went away while open (cable pulled, device gone).
    virtual bool lost() const = 0;
    // Why the last open or read failed, one line naming the device; empty when it did not.
    virtual QString failure() const = 0;
    // The cable as the user knows it: "COM3 (/dev/ttyS2)" or "the FTDI device "Cable"".
    virtual QString name() const = 0;
};

// The transport for COM number `port`, or for the FTDI device the link state names when
// `port` is kFtdiPort. A COM transport drives `comm`, which must outlive it.
std::unique_ptr<Transport> makeTransport(CoreContext& ctx, qint16 port, SerialControl& comm);

// The open sequences the link and the cable detectors share.
// Sets a COM port's properties (the given line settings, binary input, no handshaking,
// DTR and RTS raised, a receive event once `eventBytes` wait; 0: none) and opens it.
// Raises the control's RunError when it does not open.
void OpenComPort(SerialControl& comm, qint16 port, const QString& settings, int eventBytes);
// Opens an FTDI device by its description and sets it up for the radio (38400 baud, 8N1,
// no flow control, a 1 s read time-out). Returns an empty text, or the D2XX step that
// failed: "Open" (handle 0), or "SetBaudRate", "SetDataCharacteristics", "SetFlowControl",
// "SetTimeouts", "SetChars" (handle still open, for the caller to close with its own trace
// line). A description longer than 64 characters is refused with "Description", before
// the library is asked.
// *status gets FT_OpenEx's status.
QString OpenFtdiDevice(D2xx& d2xx, const QString& description, FT_HANDLE& handle,
                       FT_STATUS* status = nullptr);
