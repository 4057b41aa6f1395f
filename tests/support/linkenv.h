#pragma once

#include <QLabel>

#include "link/link.h"
#include "support/testenv.h"

// A test world for the link routines: the main window is up (its trace box and time-out
// counter take the link's output), the trace is empty and the counter reads "0 timeouts",
// as after the start of a read. Boxes the start-up showed (no COM ports on a bare test
// machine) are forgotten.
class LinkEnv : public TestEnv {
public:
    LinkEnv() {
        form().txtErrors->clearLog();
        boxes.shown.clear();
        form().lblTimeoutCount->setText(QStringLiteral("0 timeouts"));
    }

    Link& link() { return ctx->link(); }
    LinkState& linkState() { return ctx->state.link; }
    ReceiveState& rx() { return ctx->state.rx; }
    FakeSerialControl& comm() { return static_cast<FakeSerialControl&>(link().MSComm1()); }
    QString timeoutCaption() { return form().lblTimeoutCount->text(); }

    // Opens COM port n (created if missing) through SetCommPort; the trace is emptied
    // afterwards and the clock reading returned, so that a test sees only its own steps.
    qint64 openCom(int n) {
        if (!ports->ports.contains(n))
            ports->ports[n] = {};
        linkState().PortNumber = static_cast<qint16>(n);
        link().SetCommPort(linkState().PortNumber, linkState().PortSettings);
        form().txtErrors->clearLog();
        return nowMs();
    }

    // Opens the FTDI device with this description (added if missing) through SetCommPort.
    qint64 openFtdi(const QByteArray& description) {
        const auto& devices = d2xx->devices;
        if (std::none_of(devices.begin(), devices.end(),
                         [&](const auto& d) { return d.description == description; }))
            d2xx->devices.append(FakeD2xx::Device{description, nullptr, {}});
        linkState().PortNumber = 999;
        linkState().FTDIDescription = QString::fromLatin1(description);
        link().SetCommPort(linkState().PortNumber, linkState().PortSettings);
        form().txtErrors->clearLog();
        d2xx->calls.clear();
        return nowMs();
    }

    // The same on COM3 or on the FTDI device "Cable", for tests run over both links.
    SimRadio& radioOn(bool ftdi) { return ftdi ? radioOnFtdi("Cable") : radioOnCom(3); }
    qint64 open(bool ftdi) { return ftdi ? openFtdi("Cable") : openCom(3); }
};
