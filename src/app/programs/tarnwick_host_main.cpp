// tarnwick-host: a host for Marlo on the D-Bus session bus. It serves an image file as the
// object /Tarnwick_Class under the name Tarnwick.Tarnwick_Class, shows the image and writes
// it back when Marlo sends it. Start it, then run `marlo --dbus`.
#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/qt/application.h"
#include "app/qt/make_host.h"
#include "host/qt/dbus_interface.h"
#include "host/qt/file_name.h"
#include "host/qt/image_file.h"
#include "host/qt/session_bus.h"
#include "host/qt/tarnwick_service.h"
#include "host/qt/tarnwick_window.h"

namespace {

// One line on stdout, flushed at once: people and scripts watch for these.
void Say(const QString& line) {
    std::fprintf(stdout, "tarnwick-host: %s\n", Shown(line).toLocal8Bit().constData());
    std::fflush(stdout);
}

int Fail(const QString& line) {
    std::fprintf(stderr, "tarnwick-host: %s\n", Shown(line).toLocal8Bit().constData());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);  // a closed stderr loses a message, not the program
    // The command line is read before the window system is: --help works without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << NameFromNative(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves IMAGE to Marlo over the D-Bus session bus (name and interface "
                       "Tarnwick.Tarnwick_Class,\n"
                       "object /Tarnwick_Class). Start it, then run `marlo --dbus`. Marlo's Send "
                       "image and its closing\n"
                       "keep the file's previous content as IMAGE~ and write IMAGE again."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Shows this help."));
    parser.addOption(helpOption);
    parser.addPositionalArgument(
        QStringLiteral("IMAGE"),
        QStringLiteral("Image file; without it a new white %1 x %2 untitled.png here.")
            .arg(kNewCanvasWidth)
            .arg(kNewCanvasHeight),
        QStringLiteral("[IMAGE]"));
    const QCommandLineOption paperOption(
        QStringLiteral("paper"),
        QStringLiteral("Paper texture, read as grey (default: a built-in grain)."),
        QStringLiteral("FILE"));
    const QCommandLineOption wallpaperOption(
        QStringLiteral("wallpaper"),
        QStringLiteral("Picture tiled behind Marlo's palette (default: none)."),
        QStringLiteral("FILE"));
    const QCommandLineOption arraysOption(
        QStringLiteral("arrays-only"),
        QStringLiteral(
            "Serve planes only as (iiay) arrays, not as memory files (the ...Fd methods),\n"
            "as a host that cannot pass file descriptors does."));
    parser.addOption(paperOption);
    parser.addOption(wallpaperOption);
    parser.addOption(arraysOption);
    if (!parser.parse(arguments)) return Fail(parser.errorText() + QStringLiteral(" (see --help)"));
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText().replace(QLatin1String("<executable_name>"),
                                                        QLatin1String("tarnwick-host"))),
                   stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarnwick-host"));
    UseMarloIcon();
    const QStringList images = parser.positionalArguments();
    if (images.size() > 1) return Fail(QStringLiteral("one IMAGE at most (see --help)"));

    CommandLine files;
    if (!images.isEmpty()) files.image = images.front();
    files.paper = parser.value(paperOption);
    files.wallpaper = parser.value(wallpaperOption);
    QString error, notice;
    const std::shared_ptr<FileHost> document = MakeHost(files, &error, &notice);
    if (!document) return Fail(error);
    if (!notice.isEmpty()) Say(notice);
    const ImageDocument& doc = document->document();
    const bool arraysOnly = parser.isSet(arraysOption);
    // As memory files planes of any size cross; as arrays they must fit one bus message.
    const QString refusal = arraysOnly ? ArrayPlaneRefusal(doc.width(), doc.height()) : QString();
    if (!refusal.isEmpty())
        return Fail(QStringLiteral("%1 is %2 x %3: too large to serve with --arrays-only (%4)")
                        .arg(doc.path)
                        .arg(doc.width())
                        .arg(doc.height())
                        .arg(refusal));
    const QString paperRefusal = arraysOnly ? ArrayPlaneRefusal(document->Tarn_GetPaperWidth(),
                                                                document->tarn_GetPaperHeight())
                                            : QString();
    if (!paperRefusal.isEmpty())
        return Fail(QStringLiteral("the paper is too large to serve with --arrays-only (%1)")
                        .arg(paperRefusal));

    TarnwickService service(document);
    TarnwickWindow window(document.get(), &service);
    QObject::connect(&service, &TarnwickService::formReceived,
                     [](const QString& who, const QString& path) {
                         Say(QStringLiteral("canvas window at %1 %2").arg(who, path));
                     });
    QObject::connect(&service, &TarnwickService::answered, [&](const QString& method) {
        if (method != QLatin1String("tarn_Refresh")) return;
        window.Redraw();
        Say(QStringLiteral("wrote %1").arg(document->document().path));
    });
    QString noBus;
    if (!FindSessionBus(&noBus)) return Fail(noBus);
    if (!service.Publish(QDBusConnection::sessionBus(), true, !arraysOnly, &error))
        return Fail(error);

    window.show();
    Say(QStringLiteral("serving %1 (%2 x %3) as %4")
            .arg(document->document().path)
            .arg(document->Tarn_BufferWidth())
            .arg(document->Tarn_BufferHeight())
            .arg(QLatin1String(kTarnwickService)));
    return app.exec();
}
