#include "link/qtserialcontrol.h"

// Placeholder; the QSerialPort back-end replaces it.
QString PortMap::defaultPathFor(int) { return QString(); }
QString PortMap::devicePathFor(int) const { return QString(); }
void PortMap::setSessionMapping(int comNumber, const QString& path) { session_[comNumber] = path; }
bool PortMap::isPresent(int) const { return false; }
std::unique_ptr<SerialControl> QtPortFactory::create() { return nullptr; }
