#include <QtTest>

#include "link/libftdi_d2xx.h"

#include <dlfcn.h>

// The FTDI listing behind the cable detector knows the USB cable made for the VX-8 (FTDI's
// vendor id, its own product id 9E50), found through a stand-in libftdi1.
class Vx8CableTest : public QObject {
    Q_OBJECT
private slots:
    void detectorListsTheVx8Cable() {
        const QByteArray path = qgetenv("QUORLINK_FAKE_LIBFTDI");
        if (path.isEmpty())
            QSKIP("QUORLINK_FAKE_LIBFTDI does not name the stand-in library (run through ctest)");
        void* lib = ::dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(lib, ::dlerror());
        auto add =
            reinterpret_cast<int (*)(int, const char*, int, int)>(::dlsym(lib, "fakeftdi_add"));
        QVERIFY(add);
        add(0x9E50, "USB-VX8", 0, 0);
        qputenv("QUORLINK_LIBFTDI", path);
        const std::unique_ptr<D2xx> d2xx = createLibFtdiD2xx();

        QByteArray description(FT_DESCRIPTION_SIZE, '\0');
        QCOMPARE(d2xx->FT_ListDevices(0, reinterpret_cast<quint8*>(description.data()),
                                      FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
                 FT_OK);
        QCOMPARE(description.constData(), "USB-VX8");
    }
};

QTEST_MAIN(Vx8CableTest)
#include "test_link_vx8cable.moc"
