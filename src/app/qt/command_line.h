// marlo [IMAGE] [--size WxH] [--paper FILE] [--wallpaper FILE] [--dbus],
// marlo --recover [--list]
#pragma once
#include <QString>
#include <QStringList>

struct CommandLine {
    QString image;              // empty, or a file that does not exist: a new white canvas
    bool newIfMissing = false;  // marlo's rule: an IMAGE that does not exist is a new canvas
    int width = 0;              // --size of the new canvas; 0 when not given
    int height = 0;
    QString paper;          // empty: the built-in paper grain
    QString wallpaper;      // empty: no wallpaper
    bool dbus = false;      // attach to a running host on the session bus
    bool recover = false;   // rebuild the paintings left in journals; no canvas
    bool listOnly = false;  // with recover: list them only
    bool exitNow = false;
    int exitCode = 0;
    QString output;  // text for --help, --version or a usage error
};

CommandLine ParseCommandLine(const QStringList& arguments);
