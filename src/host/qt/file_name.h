// File names as the file system holds them: any bytes but '/' and NUL. A name is decoded with
// the system's file-name codec (QFile::decodeName); a byte that codec cannot take stands in the
// QString as a lone surrogate U+DC80 + byte, which no decoded name holds, so that encoding the
// QString back gives the very bytes read. Every system call on a path goes through
// NativeName; Qt's own file classes would write such a byte as a replacement character.
#pragma once
#include <QByteArray>
#include <QString>

QString NameFromNative(const QByteArray& native);
QByteArray NativeName(const QString& name);
// True when name holds a byte the codec could not decode (Qt's file classes cannot open it).
bool HasUndecodedBytes(const QString& name);
// text (a message naming files) with each undecoded byte written as \xHH, for the painter.
QString Shown(const QString& text);
// The current folder, decoded as above; empty when the system cannot name it.
QString CurrentFolder();
// name made absolute against the current folder and cleaned of "." and "..", as QFileInfo's
// absoluteFilePath would, but without passing it through Qt's codec (which loses such bytes).
QString AbsoluteName(const QString& name);
// path with every link and "." or ".." resolved, as realpath gives it; empty when it cannot be.
QString CanonicalPath(const QString& path);
