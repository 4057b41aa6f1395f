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
    FakeSerialControl& comm() { return static_cast<FakeSerialControl&>(link().MSComm1()); }
    QString timeoutCaption() { return form().lblTimeoutCount->text(); }

    // Opens COM port n (created if missing), or with n 999 the FTDI device "Cable" (added
    // if missing), through SetCommPort; the trace and the D2XX calls are emptied afterwards
    // and the clock reading returned, so that a test sees only its own steps.
    qint64 openCom(int n) {
        if (n != 999 && !ports->ports.contains(n))
            ports->ports[n] = {};
        if (n == 999 && d2xx->devices.isEmpty())
            d2xx->devices.append(FakeD2xx::Device{"Cable", nullptr, {}});
        linkState().PortNumber = static_cast<qint16>(n);
        linkState().FTDIDescription = QStringLiteral("Cable");
        link().SetCommPort(linkState().PortNumber, linkState().PortSettings);
        form().txtErrors->clearLog();
        d2xx->calls.clear();
        return nowMs();
    }
    qint64 openFtdi() { return openCom(999); }

    // The same on COM3 or on the FTDI device "Cable", for tests run over both links.
    SimRadio& radioOn(bool ftdi) { return ftdi ? radioOnFtdi("Cable") : radioOnCom(3); }
    qint64 open(bool ftdi) { return openCom(ftdi ? 999 : 3); }
};
