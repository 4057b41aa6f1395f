#pragma once

#include "core/clock.h"
#include "link/libftdi_d2xx.h"
#include "link/qtserialcontrol.h"
#include "support/testenv.h"

// The application as a user runs it, for end-to-end tests: system clock, QSerialPort,
// libftdi, a temporary settings file, every box recorded and answered OK. Boxes the
// start-up showed are forgotten.
struct RealApp {
    QTemporaryDir dir;
    ConfigStore config{dir.filePath(QStringLiteral("Quorlink.ini"))};
    SystemClock clock;
    ScriptedMessageBoxes boxes;
    QtPortFactory ports{&config};
    std::unique_ptr<D2xx> d2xx = createLibFtdiD2xx();
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<Form1> form;

    RealApp() {
        config.set(QStringLiteral("Backups"), QStringLiteral("Folder"),
                   dir.filePath(QStringLiteral("backups")));
        ctx = std::make_unique<AppContext>(Services{&clock, &boxes, &config, &ports, d2xx.get()});
        ctx->quitApplication = [] {};
        form = std::make_unique<Form1>(*ctx);
        boxes.shown.clear();
    }
};
