#include "core/errors.h"

QString RunError::standardDescription(int number) {
    switch (number) {
        case ErrorNumber::Overflow:
            return QStringLiteral("Overflow");
        case ErrorNumber::SubscriptOutOfRange:
            return QStringLiteral("Subscript out of range");
        case ErrorNumber::DivisionByZero:
            return QStringLiteral("Division by zero");
        case ErrorNumber::FileNotFound:
            return QStringLiteral("File not found");
        case ErrorNumber::DeviceUnavailable:
            return QStringLiteral("Device unavailable");
        case ErrorNumber::PermissionDenied:
            return QStringLiteral("Permission denied");
        case ErrorNumber::InvalidPortNumber:
            return QStringLiteral("Invalid port number");
        case ErrorNumber::PortAlreadyOpen:
            return QStringLiteral("Port already open");
        case ErrorNumber::DeviceNotOpen:
            return QStringLiteral("The device is not open");
        case ErrorNumber::NotASerialPort:
            return QStringLiteral("Could not set comm state");
        default:
            return QStringLiteral("Application-defined or object-defined error");
    }
}
