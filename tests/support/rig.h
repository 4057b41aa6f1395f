#pragma once

#include <QtTest>
#include <functional>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "image/cloneimage.h"
#include "link/link.h"
#include "support/testenv.h"
#include "ui/frmmessages.h"

// The one radio harness: a simulated radio at the far end of the configured link (COM3 or
// the FTDI device "VX-8 cable"), the main window, and a user who presses [BAND] when the
// prompt asks, unless told otherwise. Every box is timed, so that a test can see how soon
// a click took effect.
struct Rig {
    TestEnv env;
    SimRadio* radio = nullptr;
    bool ftdi = false;
    bool pressBand = true;
    qint64 actedMs = -1;  // when the test's action happened
    QList<qint64> boxMs;  // when each box appeared

    using D2xxDouble = std::function<std::unique_ptr<FakeD2xx>(VirtualClock&)>;
    explicit Rig(bool overFtdi = false, D2xxDouble d2xx = nullptr) : ftdi(overFtdi) {
        if (d2xx) {  // another D2XX double, in place before the window exists
            const auto old = std::exchange(env.d2xx, d2xx(env.clock));
            env.ctx = std::make_unique<AppContext>(Services{
                &env.clock, &env.boxes, env.config.get(), env.ports.get(), env.d2xx.get()});
        }
        radio = ftdi ? &env.radioOnFtdi("VX-8 cable") : &env.radioOnCom(3);
        env.config->set("Settings", "CommPort", ftdi ? "999" : "3");
        env.config->set("Settings", "FTDIDevice", "VX-8 cable");
        env.form().txtErrors->clearLog();
        env.ctx->LogMessage("(a line from before, which the transfer clears)");
        env.boxes.shown.clear();
        atBox(0, [] {});
        QObject::connect(&prompt(), &FrmMessages::lookingForRigShown, [this] {
            if (pressBand)
                radio->pressBand(env.clock.nowNs());
        });
    }

    Form1& form() { return env.form(); }
    FrmMessages& prompt() { return env.form().frmMessages(); }
    CloneState& clone() { return env.ctx->clone; }
    QByteArray wire() { return ftdi ? env.d2xx->devices[0].written : env.ports->ports[3].written; }
    bool linkClosed() {
        return ftdi ? !env.d2xx->anyOpen() : !env.ctx->link().MSComm1().PortOpen();
    }
    bool idle() { return form().cmdRead->isEnabled() && !form().cmdCancelRead->isEnabled(); }

    // Runs `action` `ms` after the prompt first asks for [BAND].
    void whenAskedAfter(int ms, std::function<void()> action) {
        QObject::connect(&prompt(), &FrmMessages::lookingForRigShown, [=, this] {
            env.clock.afterMs(ms, [=, this] {
                actedMs = env.nowMs();
                action();
            });
        });
    }
    // Runs `action` when box number `n` (from 1) appears.
    void atBox(qsizetype n, std::function<void()> action) {
        env.boxes.onShow = [=, this](const ScriptedMessageBoxes::Shown&) {
            boxMs << env.nowMs();
            if (env.boxes.shown.size() == n) {
                actedMs = env.nowMs();
                action();
            }
        };
    }
    // A valid image held, as after a read, its first data byte adjusted so that its checksum
    // is `sum`.
    void holdImage(QByteArray image, quint8 sum = 0x0A) {
        image[10] = char(quint8(image[10]) + quint8(sum - CalcChecksum(image.first(65226))));
        clone().image = CloneImage(image);
        form().EnableButtons();
    }
    // Every send fails from the moment `bytes` bytes have gone out (0: from the identity on).
    void failSendsAfter(qint64 bytes) {
        auto fail = [this] {
            if (ftdi)
                env.d2xx->fail["FT_Write"] = FT_IO_ERROR;
            else
                static_cast<FakeSerialControl&>(env.ctx->link().MSComm1()).failOutput = true;
        };
        if (bytes == 0)
            atBox(2, fail);
        else
            env.clock.addTicker([this, bytes, fail] {
                if (wire().size() >= bytes)
                    fail();
            });
    }
};
