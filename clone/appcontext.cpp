#include "clone/appcontext.h"

#include <QCoreApplication>

#include "core/serialcontrol.h"
#include "link/link.h"

AppContext::AppContext(const Services& services)
    : CoreContext(services), quitApplication([] { QCoreApplication::quit(); }) {}

AppContext::~AppContext() = default;

Link& AppContext::link() {
    if (!link_)
        link_ = std::make_unique<Link>(*this);
    return *link_;
}

void AppContext::requestShutdown() {
    if (shuttingDown_)
        return;
    shuttingDown_ = true;
    if (link_) {
        SerialControl& port = link_->MSComm1();
        if (port.PortOpen())
            port.setPortOpen(false);
    }
    if (quitApplication)
        quitApplication();
}
