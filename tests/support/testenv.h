#pragma once

// The widgets window tests use, with Qt Test.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>
#include <functional>
#include <memory>

#include "app/form1.h"
#include "app/imagefiles.h"
#include "core/config.h"
#include "core/messagebox.h"
#include "sim/fakeports.h"
#include "sim/simradio.h"
#include "sim/virtualclock.h"
#include "transfer/appcontext.h"
#include "ui/filedialogs.h"
#include "ui/tracebox.h"

// The next answer of a script, or `none` when the script is empty.
template <typename T>
T nextAnswer(std::deque<T>& script, T none) {
    if (script.empty())
        return none;
    const T answer = script.front();
    script.pop_front();
    return answer;
}

// Message boxes for tests: every box is recorded, answers come from a script (OK or Yes when
// the script is empty), and a hook can act while a box is "open".
class ScriptedMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        QString text;
        MsgButtons buttons;
        MsgIcon icon;
        QString okCaption;
    };
    QVector<Shown> shown;
    std::deque<MsgAnswer> answers;
    std::function<void(const Shown&)> onShow;

    MsgAnswer show(const QString& text, MsgButtons buttons, MsgIcon icon) override {
        shown.append({text, buttons, icon, {}});
        if (onShow)
            onShow(shown.back());
        return nextAnswer(answers, buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok);
    }
    MsgAnswer confirm(const QString& text, const QStringList& captions, MsgIcon icon) override {
        const bool two = captions.size() > 1;
        shown.append(
            {text, two ? MsgButtons::YesNoCancel : MsgButtons::OkCancel, icon, captions.join('/')});
        if (onShow)
            onShow(shown.back());
        return nextAnswer(answers, two ? MsgAnswer::Yes : MsgAnswer::Ok);
    }
    QStringList texts() const {
        QStringList t;
        for (const auto& s : shown)
            t << s.text;
        return t;
    }
};

// File dialogs for tests: each answers the next path of the script (cancelled when the
// script is empty) and records the folder or suggested path it was offered.
class ScriptedFileDialogs : public FileDialogs {
public:
    std::deque<QString> answers;
    QStringList offered;
    QList<QWidget*> parents;
    QString openFileName(QWidget* parent, const QString&, const QString& folder,
                         const QString&) override {
        offered << folder;
        parents << parent;
        return nextAnswer(answers, QString());
    }
    QString saveFileName(QWidget* parent, const QString&, const QString& path,
                         const QString&) override {
        offered << path;
        parents << parent;
        return nextAnswer(answers, QString());
    }
};

// Runs `body` with the process's file size limit at `bytes`: writes stop there as on a full
// disk (which a test cannot otherwise make, and a read-only folder stops no root).
void withFileSizeLimit(qint64 bytes, const std::function<void()>& body);
// A file's bytes (empty when it cannot be read); a file written whole.
QByteArray fileBytes(const QString& path);
bool writeBytes(const QString& path, const QByteArray& bytes);

// A fresh world for one test: virtual clock, scripted boxes, a temporary settings file,
// in-memory COM ports and D2XX devices, and (on demand) the main window.
class TestEnv {
public:
    TestEnv();
    ~TestEnv();

    VirtualClock clock;
    ScriptedMessageBoxes boxes;
    ScriptedFileDialogs files;
    QTemporaryDir dir;
    std::unique_ptr<ConfigStore> config;
    std::unique_ptr<FakePortWorld> ports;
    std::unique_ptr<FakeD2xx> d2xx;
    std::unique_ptr<AppContext> ctx;
    int quitRequests = 0;

    // Creates the main window (runs its load step); settings written before count.
    Form1& form();
    QStringList log() { return form().txtErrors->lines(); }

    // A COM port n with a simulated radio at its far end.
    SimRadio& radioOnCom(int comNumber);
    // An FTDI device with a simulated radio at its far end.
    SimRadio& radioOnFtdi(const QByteArray& description);

    qint64 nowMs() const { return clock.nowNs() / 1'000'000; }

private:
    std::unique_ptr<Form1> form_;
    std::vector<std::unique_ptr<SimRadio>> radios_;
};
