#include "host/qt/image_checks.h"

#include <zlib.h>
#include <QImageReader>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/qt/png_chunks.h"

namespace {

// The innermost ReaderWarnings alive: the message handler is one for the whole program, and
// other threads' messages pass through it too.
std::atomic<ReaderWarnings*> innermost = nullptr;

uint32_t Le(const QByteArray& b, qsizetype at, int bytes) {
    uint32_t v = 0;
    for (int k = bytes - 1; k >= 0; --k) v = v << 8 | uchar(b[at + k]);
    return v;
}

}  // namespace

// The outermost installs the handler and puts the program's back; the others pass on to it.
ReaderWarnings::ReaderWarnings() : thread_(std::this_thread::get_id()), outer_(innermost) {
    previous_ = outer_ ? outer_->previous_ : qInstallMessageHandler(Handle);
    innermost = this;
}

ReaderWarnings::~ReaderWarnings() {
    innermost = outer_;
    if (!outer_) qInstallMessageHandler(previous_);
}

void ReaderWarnings::Handle(QtMsgType type, const QMessageLogContext& context,
                            const QString& text) {
    ReaderWarnings* self = innermost;
    // The PNG reader tells libpng's errors as information of its own category. A colour
    // profile Qt cannot use is no damage to the pixels (and is told as not written back).
    const char* category = context.category ? context.category : "";
    const bool reader = std::strncmp(category, "qt.gui.imageio", 14) == 0;
    const bool warning = (type == QtWarningMsg || type == QtCriticalMsg) &&
                         std::strncmp(category, "qt.gui.icc", 10) != 0;
    if (self && (warning || (type == QtInfoMsg && reader)) &&
        std::this_thread::get_id() == self->thread_) {
        self->lines_ << text.trimmed();
        return;
    }
    QtMessageHandler previous = self ? self->previous_ : nullptr;
    if (previous) {
        previous(type, context, text);
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    if (type == QtFatalMsg) std::abort();
}

QStringList ReaderWarnings::Damage() const {
    QStringList damage;
    for (const QString& line : lines_)
        if (!line.startsWith(QLatin1String("libpng warning:")) && !damage.contains(line))
            damage << line;
    return damage;
}

QString ReaderReason(const QImageReader& reader, const ReaderWarnings& warnings,
                     const QString& ours) {
    QStringList parts;
    if (!ours.isEmpty()) parts << ours;
    if (reader.error() != QImageReader::UnknownError) parts << reader.errorString();
    parts << warnings.Damage();
    if (parts.isEmpty()) return QStringLiteral("its reader gives no reason");
    return parts.join(QStringLiteral("; "));
}

QString HeaderFault(const QByteArray& bytes, const QByteArray& format) {
    const QString inside = QStringLiteral("the file ends at byte %1, inside its header");
    if (format == "bmp") {
        // The file header (14 bytes), then the picture's, of the size its first field says.
        if (bytes.size() < 18 || bytes.size() < 14 + qsizetype(Le(bytes, 14, 4)))
            return inside.arg(bytes.size());
        return {};
    }
    if (format != "png") return {};
    // Signature, then IHDR: length 13, type, width, height, five bytes of coding, CRC.
    if (bytes.size() < 33) return inside.arg(bytes.size());
    if (bytes.mid(12, 4) != "IHDR" || PngNumber(bytes, 8) != 13)
        return QStringLiteral("its first chunk is not the header (IHDR)");
    const auto* header = reinterpret_cast<const Bytef*>(bytes.constData()) + 12;
    if (crc32(0, header, 17) != PngNumber(bytes, 29))
        return QStringLiteral("its header's checksum does not match");
    if (PngNumber(bytes, 16) == 0 || PngNumber(bytes, 20) == 0)
        return QStringLiteral("its header gives a width or height of 0");
    // The reader reads on to the first pixels.
    QList<PngChunk> head;
    if (PngChunks(bytes, &head, true)) return {};
    return QStringLiteral("the file ends at byte %1, before its pixels").arg(bytes.size());
}

BmpRows ReadBmpRows(const QByteArray& bytes) {
    BmpRows rows;
    if (bytes.size() < 26 || !bytes.startsWith("BM")) return rows;
    const uint32_t header = Le(bytes, 14, 4);
    int64_t width = 0, height = 0, bits = 0, compression = 0;
    if (header == 12) {  // the OS/2 header: 16-bit sizes, rows stored plainly
        width = Le(bytes, 18, 2);
        height = Le(bytes, 20, 2);
        bits = Le(bytes, 24, 2);
    } else if (header >= 40 && bytes.size() >= 34) {
        width = int32_t(Le(bytes, 18, 4));
        height = int32_t(Le(bytes, 22, 4));
        bits = Le(bytes, 28, 2);
        compression = Le(bytes, 30, 4);
    } else {
        return rows;
    }
    // BI_RGB, BI_BITFIELDS and BI_ALPHABITFIELDS keep every row at its full stride.
    if (compression != 0 && compression != 3 && compression != 6) return rows;
    if (width <= 0 || height == 0 || height == INT32_MIN || bits <= 0 || bits > 32) return rows;
    rows.plain = true;
    rows.offset = Le(bytes, 10, 4);
    rows.fileBytes = bytes.size();
    rows.startsPastEnd = rows.offset >= bytes.size();
    rows.topDown = height < 0;
    rows.height = static_cast<int>(std::abs(height));
    const int64_t stride = (width * bits + 31) / 32 * 4;
    const int64_t held = bytes.size() > rows.offset ? (bytes.size() - rows.offset) / stride : 0;
    rows.rowsInFile = static_cast<int>(std::min<int64_t>(held, rows.height));
    return rows;
}

QString BmpShortfall(const BmpRows& rows) {
    if (!rows.plain) return {};
    if (rows.startsPastEnd)
        return QStringLiteral("its pixels are said to start at byte %1, past its end at %2")
            .arg(rows.offset)
            .arg(rows.fileBytes);
    if (rows.rowsInFile < rows.height)
        return QStringLiteral("it ends after %1 of its %2 rows")
            .arg(rows.rowsInFile)
            .arg(rows.height);
    return {};
}

QImage WhitenMissingRows(QImage img, const BmpRows& rows) {
    // Past its end the reader read from wherever it stood: what it made of that is left as is.
    if (!rows.plain || rows.startsPastEnd || rows.rowsInFile >= rows.height ||
        img.height() != rows.height)
        return img;
    img = std::move(img).convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32
                                                               : QImage::Format_RGB32);
    // Rows are stored bottom first unless the header says top-down.
    const int first = rows.topDown ? rows.rowsInFile : 0;
    const int last = rows.topDown ? rows.height : rows.height - rows.rowsInFile;
    for (int y = first; y < last; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        std::fill(line, line + img.width(), qRgba(255, 255, 255, 255));
    }
    return img;
}

QByteArray SniffedFormat(const QByteArray& bytes) {
    if (bytes.size() >= 6 && bytes[0] == 0 && bytes[1] == 0 && (bytes[2] == 1 || bytes[2] == 2) &&
        bytes[3] == 0 && Le(bytes, 4, 2) > 0)
        return "ico";
    return {};
}

int ImagesInFile(const QByteArray& bytes, const QByteArray& format, QImageReader& reader) {
    if (format == "png") {
        // acTL counts the frames; the default image (IDAT) is one more unless an fcTL before
        // it makes it the first frame.
        int64_t frames = -1;
        bool frameBeforePixels = false;
        QList<PngChunk> head;
        PngChunks(bytes, &head, true);
        for (const PngChunk& c : head) {
            if (c.type == "fcTL") frameBeforePixels = true;
            if (c.type == "acTL" && c.size >= 20) frames = PngNumber(bytes, c.at + 8);
        }
        if (frames < 0) return 1;
        return static_cast<int>(
            std::clamp<int64_t>(frames + (frameBeforePixels ? 0 : 1), 1, INT32_MAX));
    }
    return std::max(1, reader.imageCount());
}
