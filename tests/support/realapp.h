#pragma once

#include "core/clock.h"
#include "link/libftdi_d2xx.h"
#include "link/qtserialcontrol.h"
#include "support/testenv.h"

// The application as a user runs it, for end-to-end tests: system clock, QSerialPort,
// libftdi (or the D2XX given), a temporary settings file, every box recorded and answered
// OK. Boxes the start-up showed are forgotten.
struct RealApp {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("Quorlink.ini"))};
    SystemClock clock;
    ScriptedMessageBoxes boxes;
    ScriptedFileDialogs files;
    QtPortFactory ports{&settings};
    std::unique_ptr<D2xx> d2xx = createLibFtdiD2xx();
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<Form1> form;

    explicit RealApp(D2xx* otherD2xx = nullptr) {
        const Services s{&clock, &boxes, &settings, &ports, otherD2xx ? otherD2xx : d2xx.get()};
        settings.set(QStringLiteral("Backups"), QStringLiteral("Folder"),
                     dir.filePath(QStringLiteral("backups")));
        ctx = std::make_unique<AppContext>(s);
        ctx->quitApplication = [] {};
        form = std::make_unique<Form1>(*ctx);
        form->imageFiles().setFileDialogs(&files);
        boxes.shown.clear();
    }
};
