// Every test program runs with a QApplication on the offscreen platform.
#include <gtest/gtest.h>
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    // A child run may bring its own offscreen screens (offscreen:configfile=FILE), or run on a
    // Wayland compositor.
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.startsWith(QLatin1String("offscreen")) && platform != QLatin1String("wayland"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The settings stores (Marlo's own, Tarnwick's theme) start afresh in every run, for the
    // programs the tests start as well.
    const QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
