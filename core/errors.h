#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>

// A run-time error in the system's own terms: a number and a description, reported to
// the user as "Error N (description) in line L of procedure ...". The conventional numbers
// are used where the cause matches, so that callers can tell the cases apart.
class RunError : public std::runtime_error {
public:
    RunError(int number, const QString& description)
        : std::runtime_error(description.toStdString()),
          number_(number),
          description_(description) {}
    explicit RunError(int number) : RunError(number, standardDescription(number)) {}

    int number() const { return number_; }
    QString description() const { return description_; }

    static QString standardDescription(int number);

private:
    int number_;
    QString description_;
};

namespace ErrorNumber {
constexpr int Overflow = 6;
constexpr int SubscriptOutOfRange = 9;
constexpr int DivisionByZero = 11;
constexpr int FileNotFound = 53;
constexpr int DeviceUnavailable = 68;
constexpr int PermissionDenied = 70;
constexpr int InvalidPortNumber = 8002;
constexpr int PortAlreadyOpen = 8005;
constexpr int DeviceNotOpen = 8012;
// The device opened but is no serial port (a plain file, /dev/null, ...).
constexpr int NotASerialPort = 8015;
}  // namespace ErrorNumber

// Thrown out of every wait and message box once the main window has closed, so that a
// transfer running inside a click handler unwinds at once. Only the handler guards catch it.
struct ShutdownRequested {};

// Bounds-checked byte access: an index outside the array raises error 9 instead of
// touching memory out of range.
inline char& byteAt(QByteArray& bytes, qsizetype index) {
    if (index < 0 || index >= bytes.size())
        throw RunError(ErrorNumber::SubscriptOutOfRange);
    return bytes[index];
}
inline quint8 byteAt(const QByteArray& bytes, qsizetype index) {
    if (index < 0 || index >= bytes.size())
        throw RunError(ErrorNumber::SubscriptOutOfRange);
    return static_cast<quint8>(bytes[index]);
}
