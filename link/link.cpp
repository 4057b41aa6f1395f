#include "link/link.h"

#include "app/appcontext.h"
#include "link/serialcontrol.h"

// Placeholder; the link implementation replaces it.
Link::Link(AppContext& ctx) : ctx_(ctx), MSComm1_(ctx.ports().create()) {}
Link::~Link() = default;
void Link::SetCommPort(const qint16&, const QString&) {}
void Link::CloseCommPort() {}
void Link::FTDIClose(quint32& handle) { handle = 0; }
void Link::PurgeBuffers() {}
void Link::StringToBytes(const QString&, QByteArray&) {}
void Link::Receive(const qint32&) {}
void Link::ReceiveFT(QByteArray&, const qint32&) {}
qint32 Link::GetInBufferCount() { return 0; }
void Link::SendACK() {}
void Link::SendNAK() {}
bool Link::ReceiveAck(const qint32&) { return false; }
void Link::bumpTimeoutCounter() {}
bool Link::isFtdi() const { return ctx_.state.link.PortNumber == 999; }
void Link::sharedFtdiRead(QByteArray&, qint32) {}
