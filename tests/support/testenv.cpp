#include "support/testenv.h"

#include <sys/resource.h>
#include <csignal>

TestEnv::TestEnv() {
    config = std::make_unique<ConfigStore>(dir.filePath(QStringLiteral("Quorlink.ini")));
    config->set(QStringLiteral("Backups"), QStringLiteral("Folder"),
                dir.filePath(QStringLiteral("backups")));
    ports = std::make_unique<FakePortWorld>(clock);
    d2xx = std::make_unique<FakeD2xx>(clock);
    ctx = std::make_unique<AppContext>(
        Services{&clock, &boxes, config.get(), ports.get(), d2xx.get()});
    ctx->quitApplication = [this] { ++quitRequests; };
}

TestEnv::~TestEnv() {
    form_.reset();
    ctx.reset();
}

Form1& TestEnv::form() {
    if (!form_) {
        form_ = std::make_unique<Form1>(*ctx);
        form_->imageFiles().setFileDialogs(&files);
    }
    return *form_;
}

SimRadio& TestEnv::radioOnCom(int comNumber) {
    radios_.push_back(std::make_unique<SimRadio>());
    ports->ports[comNumber].radio = radios_.back().get();
    return *radios_.back();
}

SimRadio& TestEnv::radioOnFtdi(const QByteArray& description) {
    radios_.push_back(std::make_unique<SimRadio>());
    d2xx->devices.append(FakeD2xx::Device{description, radios_.back().get(), {}});
    return *radios_.back();
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

void withFileSizeLimit(qint64 bytes, const std::function<void()>& body) {
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending us
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limited);
    body();
    setrlimit(RLIMIT_FSIZE, &old);
}
