#include "app/qt/command_line.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#ifndef MARLO_VERSION
#define MARLO_VERSION "0"
#endif

namespace {

// A command line that cannot be run: the program says why and exits with 2.
CommandLine Refused(CommandLine cl, const QString& why) {
    cl.exitNow = true;
    cl.exitCode = 2;
    cl.output = why;
    return cl;
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine cl;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Marlo for Tarnwick Artist - Spline based paint engine.\n"
                       "Paints on IMAGE (any format Qt reads) and writes it back when the canvas "
                       "closes; without IMAGE, a new white canvas untitled.png in this folder."));
    parser.addPositionalArgument(
        QStringLiteral("IMAGE"),
        QStringLiteral("The image file to paint on; one that does not exist yet is a new white "
                       "canvas, written at close if painted."),
        QStringLiteral("[IMAGE]"));
    const QCommandLineOption size(
        QStringLiteral("size"),
        QStringLiteral("The size of a new canvas in pixels (default 1024x768)."),
        QStringLiteral("WxH"));
    const QCommandLineOption paper(
        QStringLiteral("paper"),
        QStringLiteral("A picture file used as the paper texture (as grey)."),
        QStringLiteral("FILE"));
    const QCommandLineOption wallpaper(QStringLiteral("wallpaper"),
                                       QStringLiteral("A picture tiled behind the tool palette."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption dbus(
        QStringLiteral("dbus"),
        QStringLiteral("Attach to a running Tarnwick host on the session bus instead of a file."));
    const QCommandLineOption recover(
        QStringLiteral("recover"),
        QStringLiteral("Rebuild every painting a Marlo that ended unexpectedly left in its "
                       "journal, save each as a rescue PNG and say where; no canvas opens."));
    const QCommandLineOption list(QStringLiteral("list"),
                                  QStringLiteral("With --recover: only list those paintings."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version."));
    parser.addOptions({size, paper, wallpaper, dbus, recover, list, help, version});
    // An unknown option is named whole (QCommandLineParser would split "-dash.png" into letters);
    // a file whose name starts with "-" goes after "--".
    const QStringList known = {
        QStringLiteral("--size"), QStringLiteral("--paper"),   QStringLiteral("--wallpaper"),
        QStringLiteral("--dbus"), QStringLiteral("--recover"), QStringLiteral("--list"),
        QStringLiteral("-h"),     QStringLiteral("--help"),    QStringLiteral("--version")};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--")) break;
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) continue;
        const QString name = a.section(QLatin1Char('='), 0, 0);
        if (known.contains(name)) {
            if ((name == QLatin1String("--paper") || name == QLatin1String("--wallpaper") ||
                 name == QLatin1String("--size")) &&
                !a.contains('='))
                ++i;
            continue;
        }
        return Refused(
            cl, QStringLiteral(
                    "marlo: unknown option %1 (see marlo --help; a file whose name starts with "
                    "- is opened with marlo -- %1)\n")
                    .arg(a));
    }
    if (!parser.parse(arguments)) {
        return Refused(cl,
                       QStringLiteral("marlo: %1 (see marlo --help)\n").arg(parser.errorText()));
    }
    if (parser.isSet(help)) {
        cl.exitNow = true;
        cl.output =
            parser.helpText().replace(QLatin1String("<executable_name>"), QLatin1String("marlo"));
        return cl;
    }
    if (parser.isSet(version)) {
        cl.exitNow = true;
        cl.output = QStringLiteral("marlo %1\n").arg(QStringLiteral(MARLO_VERSION));
        return cl;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        return Refused(cl,
                       QStringLiteral("marlo: only one IMAGE may be given (see marlo --help)\n"));
    }
    if (!positional.isEmpty()) cl.image = positional.first();
    cl.newIfMissing = true;
    cl.paper = parser.value(paper);
    cl.wallpaper = parser.value(wallpaper);
    cl.dbus = parser.isSet(dbus);
    cl.recover = parser.isSet(recover);
    cl.listOnly = parser.isSet(list);
    if (parser.isSet(size)) {
        const QString text = parser.value(size);
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^\\s*(\\d+)\\s*[xX]\\s*(\\d+)\\s*$")).match(text);
        bool wOk = false, hOk = false;
        if (m.hasMatch()) {
            cl.width = m.captured(1).toInt(&wOk);
            cl.height = m.captured(2).toInt(&hOk);
        }
        if (m.hasMatch() && (!wOk || !hOk)) {  // beyond what a number of pixels can be
            return Refused(
                cl, QStringLiteral("marlo: --size %1 is too large for a canvas\n").arg(text));
        }
        if (!m.hasMatch() || cl.width == 0 || cl.height == 0) {
            return Refused(
                cl, QStringLiteral("marlo: --size %1 is not a size: give the width and height in "
                                   "pixels, at least 1 each, such as --size 1024x768\n")
                        .arg(text));
        }
    }
    if (cl.width > 0 && (cl.dbus || cl.recover)) {
        return Refused(cl,
                       QStringLiteral("marlo: --size is for a new canvas, not with %1\n")
                           .arg(cl.dbus ? QStringLiteral("--dbus") : QStringLiteral("--recover")));
    }
    if (cl.listOnly && !cl.recover) {
        return Refused(cl,
                       QStringLiteral("marlo: --list goes with --recover (see marlo --help)\n"));
    }
    if (cl.recover && (cl.dbus || !cl.image.isEmpty())) {
        return Refused(cl, QStringLiteral("marlo: --recover opens no image (see marlo --help)\n"));
    }
    if (cl.dbus && (!cl.image.isEmpty() || !cl.paper.isEmpty() || !cl.wallpaper.isEmpty())) {
        return Refused(
            cl, QStringLiteral(
                    "marlo: with --dbus the host provides the image, paper and wallpaper\n"));
    }
    return cl;
}
