#include "transfer/appcontext.h"

#include <QCoreApplication>

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
    if (link_)
        link_->shutDown();
    if (quitApplication)
        quitApplication();
}
