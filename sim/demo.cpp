#include "sim/demo.h"

#include "core/config.h"
#include "core/d2xx.h"
#include "core/errors.h"
#include "image/models.h"
#include "link/qtserialcontrol.h"
#include "sim/ptyradio.h"
#include "transfer/appcontext.h"

namespace {

constexpr int kHighestCom = 32;
// A person needs a moment to press [BAND] once the prompt asks for it.
constexpr int kBandPressMs = 800;
const QString kDemoSection = QStringLiteral("Demo");
const QString kDemoModel = QStringLiteral("Model");

}  // namespace

DemoRadio::DemoRadio(MemoryMap::Model model)
    : radio(model), pty(new PtyRadio(radio, this)), model_(model) {}

void DemoRadio::becomeModel(MemoryMap::Model model) {
    // The terminal keeps serving the same object: only what the radio is changes.
    radio = SimRadio(model);
    model_ = model;
}

DemoRadio::~DemoRadio() {
    delete pty;
}

void DemoRadio::pressBandSoon() {
    pty->pressBand(kBandPressMs);
}

QString startDemoRadio(AppContext& ctx, QtPortFactory& ports, DemoRadio** started,
                       MemoryMap::Model model) {
    auto demo = std::make_unique<DemoRadio>(model);
    QString error;
    if (!demo->pty->open(&error))
        return QStringLiteral("cannot start the demo radio: ") + error;

    // A COM number with nothing behind it, from the top, so that real ports keep theirs.
    int com = 0;
    for (int n = kHighestCom; n >= 1 && com == 0; --n) {
        if (!ports.map().isPresent(n))
            com = n;
    }
    if (com == 0)
        return QStringLiteral(
            "every COM number from 1 to 32 has a device; none is free for "
            "the demo radio");
    ports.map().setSessionMapping(com, demo->pty->path());
    demo->com = com;
    // For this run only: the stored choice of port stays as it was.
    ctx.state.link.PortNumber = static_cast<qint16>(com);
    ctx.state.link.DemoPort = static_cast<qint16>(com);
    ctx.LogMessage(QStringLiteral("Demo: a simulated ") + MemoryMap::ModelName(model) +
                   QStringLiteral(" is on COM") + QString::number(com) + QStringLiteral(" (") +
                   demo->pty->path() + QStringLiteral(")"));
    ctx.LogMessage(QStringLiteral("Demo: it presses [BAND] by itself when asked"));
    if (started)
        *started = demo.get();
    demo.release()->setParent(&ctx);
    return QString();
}

DemoRadio* runningDemoRadio(AppContext& ctx) {
    return ctx.findChild<DemoRadio*>(QString(), Qt::FindDirectChildrenOnly);
}

std::optional<MemoryMap::Model> DemoModelNamed(const QString& name) {
    if (const RadioModel* row = RadioModelNamed(name))
        return row->model;
    return std::nullopt;
}

QString DemoModelChoices(const QString& prefix) {
    return ListedModels([&](const RadioModel& m) { return prefix + m.shortName; });
}

MemoryMap::Model storedDemoModel(const ConfigStore& store) {
    return DemoModelNamed(store.get(kDemoSection, kDemoModel, QString()))
        .value_or(MemoryMap::Model::VX8R);
}

void storeDemoModel(ConfigStore& store, MemoryMap::Model model) {
    store.set(kDemoSection, kDemoModel, MemoryMap::ModelName(model));
}

bool configuredCableMissing(AppContext& ctx, QtPortFactory& ports) {
    const qint16 port = ctx.state.link.PortNumber;
    // Nothing chosen yet: a built-in serial port that happens to exist is no radio cable,
    // the one USB adapter chosen for this run likely is.
    if (!ctx.config().contains(ConfigKeys::kSection, ConfigKeys::kCommPort))
        return !ports.isUsbSerial(port) || !ports.map().isPresent(port);
    if (port != kFtdiPort)
        return !ports.map().isPresent(port);
    try {
        quint32 devices = 0;
        if (ctx.d2xx().FT_ListDevices(&devices, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK)
            return true;
        return devices == 0;
    } catch (const RunError&) {
        return true;  // no D2XX library: no FTDI cable can be reached
    }
}
