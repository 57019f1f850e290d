#include "host/qt/file_name.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

constexpr char16_t kEscape = 0xDC80;  // U+DC80 + byte: a byte the codec cannot decode

bool IsEscape(QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; }

// bytes decode to one piece that encodes back to the same bytes.
bool RoundTrips(const QByteArray& bytes, QString* decoded) {
    *decoded = QFile::decodeName(bytes);
    return QFile::encodeName(*decoded) == bytes;
}

}  // namespace

QString NameFromNative(const QByteArray& native) {
    QString whole;
    if (RoundTrips(native, &whole)) return whole;
    // Character by character: the shortest run of bytes (a character takes at most four in any
    // codec a system uses for names) that decodes and encodes back, else one escaped byte.
    QString out;
    qsizetype i = 0;
    while (i < native.size()) {
        qsizetype taken = 0;
        for (qsizetype n = 1; n <= 4 && i + n <= native.size() && taken == 0; ++n) {
            QString piece;
            if (RoundTrips(native.mid(i, n), &piece) && !piece.isEmpty()) {
                out += piece;
                taken = n;
            }
        }
        if (taken == 0) {
            out += QChar(char16_t(kEscape + uchar(native[i]) - 0x80));
            taken = 1;
        }
        i += taken;
    }
    return out;
}

QByteArray NativeName(const QString& name) {
    if (!HasUndecodedBytes(name)) return QFile::encodeName(name);
    QByteArray out;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsEscape(name[i])) continue;
        out += QFile::encodeName(name.mid(start, i - start));
        if (i < name.size()) out += char(name[i].unicode() - kEscape + 0x80);
        start = i + 1;
    }
    return out;
}

bool HasUndecodedBytes(const QString& name) {
    for (QChar c : name)
        if (IsEscape(c)) return true;
    return false;
}

QString Shown(const QString& text) {
    if (!HasUndecodedBytes(text)) return text;
    QString out;
    for (QChar c : text) {
        if (IsEscape(c))
            out +=
                QStringLiteral("\\x") + QString::number(c.unicode() - kEscape + 0x80, 16).toUpper();
        else
            out += c;
    }
    return out;
}

QString CurrentFolder() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (size_t(1) << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
    return NameFromNative(QByteArray(buffer.data()));
}

QString AbsoluteName(const QString& name) {
    return QDir::cleanPath(QDir::isAbsolutePath(name) ? name : CurrentFolder() + '/' + name);
}

QString CanonicalPath(const QString& path) {
    char* resolved = ::realpath(NativeName(path).constData(), nullptr);
    if (!resolved) return {};
    const QString name = NameFromNative(QByteArray(resolved));
    std::free(resolved);
    return name;
}
