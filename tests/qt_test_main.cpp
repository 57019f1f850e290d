// Every test program runs with a QApplication on the offscreen platform.
#include <gtest/gtest.h>
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    // A child run may bring its own offscreen screens (offscreen:configfile=FILE), or run on a
    // Wayland compositor.
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.startsWith(QLatin1String("offscreen")) && platform != QLatin1String("wayland"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    QApplication app(argc, argv);
    // Marlo's own remembered settings (the palette's dock) start afresh in every run.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
