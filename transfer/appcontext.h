#pragma once

#include <functional>
#include <memory>

#include "core/context.h"
#include "image/cloneimage.h"

class Link;

// The application object: owns the shared state and the services (through CoreContext),
// and the main link that the transfers use.
class AppContext : public CoreContext {
    Q_OBJECT
public:
    explicit AppContext(const Services& services);
    ~AppContext() override;

    // The main link (owns the serial-port control MSComm1 the transfers use).
    Link& link();

    // The image held: written by a good read, an image file opened and the channel editor.
    CloneState clone;

    // Shut-down: closes the main link's port and ends the application; every wait still
    // running then raises ShutdownRequested. The windows close themselves.
    void requestShutdown();
    // What ends the application (tests replace it).
    std::function<void()> quitApplication;

signals:
    // The image in memory may have changed: emitted after every read ends, good or not,
    // and after every image file opened.
    void imageChanged();

private:
    std::unique_ptr<Link> link_;
};
