#include "host/qt/image_file.h"

#include <sys/stat.h>
#include <zlib.h>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "core/large_pages.h"
#include "core/memory_budget.h"
#include "host/qt/file_name.h"
#include "host/qt/image_checks.h"

namespace {

// Beyond this many pixels the planes' row arithmetic leaves 32 bits.
constexpr qint64 kMaxPixels = qint64(1) << 28;

bool IsDeeper(const QImage& img) {
    switch (img.format()) {
        case QImage::Format_RGBX64:
        case QImage::Format_RGBA64:
        case QImage::Format_RGBA64_Premultiplied:
        case QImage::Format_Grayscale16:
        case QImage::Format_BGR30:
        case QImage::Format_A2BGR30_Premultiplied:
        case QImage::Format_RGB30:
        case QImage::Format_A2RGB30_Premultiplied:
        case QImage::Format_RGBX16FPx4:
        case QImage::Format_RGBA16FPx4:
        case QImage::Format_RGBA16FPx4_Premultiplied:
        case QImage::Format_RGBX32FPx4:
        case QImage::Format_RGBA32FPx4:
        case QImage::Format_RGBA32FPx4_Premultiplied: return true;
        default: return false;
    }
}

// A colour c of alpha a over white, rounded to nearest.
inline uint8_t OverWhite(int c, int a) {
    return static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
}

// A PNG of three 8-bit planes, written for speed: large pictures are written back when the
// canvas closes, and Qt's encoder (every row tried with all five filters, then deflate at the
// default level) takes about 15 s on an 8192 x 8192 photograph. Here every row gets the Sub
// filter (the difference to the pixel on the left, which suits photographs and paintings
// alike), and the rows are deflated at level 1 in bands, one per processor, joined into the one
// zlib stream the format holds: each band but the last ends on a byte boundary (a sync flush)
// and the stream's checksum is combined from the bands'. Files come out some 20 % larger than
// Qt's default, in a tenth of the time.
class FastPng {
public:
    // before and after: chunks as they stand in a file, put after IHDR and before IEND.
    static bool Encode(const Plane& r, const Plane& g, const Plane& b, const QByteArray& before,
                       const QByteArray& after, QByteArray* out) {
        const int w = r.width, h = r.height;
        if (w <= 0 || h <= 0) return false;
        const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
        const int bands = std::clamp(h / 256, 1, std::min(cores, 8));
        std::vector<Band> band(static_cast<size_t>(bands));
        for (int k = 0; k < bands; ++k) {
            band[k].y0 = static_cast<int>(int64_t(h) * k / bands);
            band[k].y1 = static_cast<int>(int64_t(h) * (k + 1) / bands);
            band[k].last = k == bands - 1;
        }
        std::vector<std::thread> helpers;
        try {
            for (int k = 1; k < bands; ++k)
                helpers.emplace_back([&, k] { band[k].Deflate(r, g, b); });
        } catch (const std::exception&) {
            for (std::thread& t : helpers) t.join();
            return false;
        }
        band[0].Deflate(r, g, b);
        for (std::thread& t : helpers) t.join();
        uLong adler = adler32(0, nullptr, 0);
        for (const Band& k : band) {
            if (!k.ok) return false;
            adler = adler32_combine(adler, k.adler, static_cast<z_off_t>(k.rawBytes));
        }
        // The whole file in one allocation: the bands, their chunk frames and the rest.
        qsizetype total = 8 + 25 + before.size() + 14 + 16 + after.size() + 12;
        for (const Band& k : band)
            total += 12 * (1 + static_cast<qsizetype>(k.packedBytes >> 30)) +
                     static_cast<qsizetype>(k.packedBytes);
        QByteArray png;
        png.reserve(total);
        AdviseLargePages(png.data(), static_cast<size_t>(total));
        png.append("\x89PNG\r\n\x1a\n", 8);
        QByteArray header;
        Put32(header, static_cast<uint32_t>(w));
        Put32(header, static_cast<uint32_t>(h));
        header.append("\x08\x02\x00\x00\x00",
                      5);  // 8 bits, RGB, deflate, adaptive filters, no interlace
        Chunk(png, "IHDR", header.constData(), header.size());
        png += before;
        Chunk(png, "IDAT", "\x78\x01", 2);  // zlib header: deflate, 32 KiB window, fastest
        for (const Band& k : band)
            Chunk(png, "IDAT", k.packed.get(), static_cast<qsizetype>(k.packedBytes));
        QByteArray check;
        Put32(check, static_cast<uint32_t>(adler));
        Chunk(png, "IDAT", check.constData(), check.size());
        png += after;
        Chunk(png, "IEND", nullptr, 0);
        *out = std::move(png);
        return true;
    }

private:
    struct Band {
        int y0 = 0, y1 = 0;
        bool last = false, ok = false;
        std::unique_ptr<unsigned char[]> packed;  // room for the worst case, touched as written
        size_t packedBytes = 0;
        uLong adler = 0;
        size_t rawBytes = 0;

        void Deflate(const Plane& r, const Plane& g, const Plane& b) {
            try {
                DeflateRows(r, g, b);
            } catch (const std::bad_alloc&) {
                ok = false;
            }
        }

        void DeflateRows(const Plane& r, const Plane& g, const Plane& b) {
            const size_t w = static_cast<size_t>(r.width), stride = 1 + 3 * w;
            z_stream z{};
            if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
            rawBytes = stride * static_cast<size_t>(y1 - y0);
            const size_t room = deflateBound(&z, static_cast<uLong>(rawBytes)) + 64;
            packed.reset(new unsigned char[room]);
            AdviseLargePages(packed.get(), room);
            adler = adler32(0, nullptr, 0);
            std::vector<unsigned char> row(stride);
            z.next_out = packed.get();
            z.avail_out = static_cast<uInt>(room);
            int status = Z_OK;
            for (int y = y0; y < y1 && status == Z_OK; ++y) {
                const uint8_t *pr = r.row(y), *pg = g.row(y), *pb = b.row(y);
                row[0] = 1;  // Sub
                unsigned char lr = 0, lg = 0, lb = 0;
                for (size_t x = 0; x < w; ++x) {
                    row[1 + 3 * x] = static_cast<unsigned char>(pr[x] - lr);
                    row[2 + 3 * x] = static_cast<unsigned char>(pg[x] - lg);
                    row[3 + 3 * x] = static_cast<unsigned char>(pb[x] - lb);
                    lr = pr[x];
                    lg = pg[x];
                    lb = pb[x];
                }
                adler = adler32(adler, row.data(), static_cast<uInt>(stride));
                z.next_in = row.data();
                z.avail_in = static_cast<uInt>(stride);
                const bool end = y + 1 == y1;
                status = deflate(&z, end ? (last ? Z_FINISH : Z_SYNC_FLUSH) : Z_NO_FLUSH);
                // All input taken, and at the end all output out: the last band's stream ended,
                // another's flushed with room to spare (no room left may mean output pending).
                if (z.avail_in != 0 || (end && last && status != Z_STREAM_END) ||
                    (end && !last && z.avail_out == 0))
                    status = Z_BUF_ERROR;
                if (status == Z_STREAM_END) status = Z_OK;
            }
            ok = status == Z_OK;
            packedBytes = room - z.avail_out;
            deflateEnd(&z);
        }
    };

    static void Put32(QByteArray& out, uint32_t v) {
        const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                               static_cast<char>(v >> 8), static_cast<char>(v)};
        out.append(bytes, 4);
    }

    // One chunk: length, type, data, and the CRC of type and data. Data beyond what one chunk
    // holds (2^31 - 1 bytes) is split over several of the same type.
    static void Chunk(QByteArray& out, const char* type, const void* data, qsizetype size) {
        const auto* p = static_cast<const unsigned char*>(data);
        do {
            const qsizetype n = std::min<qsizetype>(size, qsizetype{1} << 30);
            Put32(out, static_cast<uint32_t>(n));
            out.append(type, 4);
            uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
            if (n > 0) {
                out.append(reinterpret_cast<const char*>(p), n);
                crc = crc32_z(crc, p, static_cast<z_size_t>(n));
            }
            Put32(out, static_cast<uint32_t>(crc));
            p += n;
            size -= n;
        } while (size > 0);
    }
};

QString Upper(const QByteArray& format) { return QString::fromLatin1(format).toUpper(); }

// The decoder for bytes, its format found from the content (never from the file's name). What
// Qt warns while it reads is kept as the reader's reasons.
struct Decoder {
    ReaderWarnings warnings;
    QByteArray bytes;
    QBuffer buffer;
    QImageReader reader;
    explicit Decoder(QByteArray data) : bytes(std::move(data)), buffer(&bytes) {
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
        reader.setDecideFormatFromContent(true);
        reader.setAutoTransform(false);
    }
    QByteArray Format() {
        const QByteArray named = reader.format();
        if (!named.isEmpty()) return named;
        const QByteArray sniffed = SniffedFormat(bytes);
        return !sniffed.isEmpty() && reader.canRead() ? sniffed : QByteArray();
    }
};

// Reads path's header and checks that its pixels fit: the format known, the size readable,
// not empty, and cost(pixels, alpha) within the memory available. Returns the size, or an
// invalid one with *error set.
template <typename Cost>
QSize CheckedHeader(const QString& path, Decoder& d, Cost cost, const AvailableMemory& available,
                    QString* error) {
    const QByteArray format = d.Format();
    if (format.isEmpty()) {
        *error = QStringLiteral("%1: not a picture in a format Marlo can read").arg(path);
        return {};
    }
    QSize size = d.reader.size();
    // A top-down BMP: Qt's reader gives the header's negative height as the size, and reads the
    // rows in their order.
    if (format == "bmp" && size.height() < 0) size.setHeight(-size.height());
    if (!size.isValid()) {
        const QString ours = HeaderFault(d.bytes, format);
        *error = QStringLiteral("%1: the %2 file is damaged; its size cannot be read (%3)")
                     .arg(path, Upper(format), ReaderReason(d.reader, d.warnings, ours));
        return {};
    }
    if (size.width() <= 0 || size.height() <= 0) {
        *error = QStringLiteral("%1: the image has no pixels (%2 x %3)")
                     .arg(path)
                     .arg(size.width())
                     .arg(size.height());
        return {};
    }
    const qint64 pixels = qint64(size.width()) * size.height();
    if (pixels > kMaxPixels) {
        *error =
            QStringLiteral(
                "%1: the image of %2 x %3 pixels is larger than Marlo can hold (%4 pixels at most)")
                .arg(path)
                .arg(size.width())
                .arg(size.height())
                .arg(kMaxPixels);
        return {};
    }
    // A format the header does not name is counted as one with alpha, the dearer kind.
    const QImage::Format kind = d.reader.imageFormat();
    const bool alpha = kind == QImage::Format_Invalid ||
                       QImage::toPixelFormat(kind).alphaUsage() == QPixelFormat::UsesAlpha;
    const int64_t needed = cost(pixels, alpha);
    if (needed > available.bytes) {
        *error = QStringLiteral("%1: the image of %2 x %3 pixels needs about %4 of memory; %5")
                     .arg(path)
                     .arg(size.width())
                     .arg(size.height())
                     .arg(QString::fromStdString(MemoryText(needed)),
                          QString::fromStdString(AvailableMemoryText(available)));
        return {};
    }
    return size;
}

// For a PNG, an image of the size and pixel format the reader announces, over memory that asked
// for large pages, for the reader to decode into (the PNG reader fills every pixel of the image
// it is given when size and format agree, else it makes its own); otherwise a null image, and
// the reader makes its own. It starts white (all bits set is white in every format but the
// indexed ones, which are left to the reader): rows a damaged file does not hold stay so.
QImage DecodeTarget(QImageReader& reader) {
    if (reader.format() != "png") return {};
    const QSize size = reader.size();
    const QImage::Format format = reader.imageFormat();
    if (!size.isValid() || format == QImage::Format_Invalid) return {};
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype line =
        ((qsizetype(size.width()) * depth + 31) / 32) * 4;  // 32-bit aligned rows
    const size_t bytes = static_cast<size_t>(line) * static_cast<size_t>(size.height());
    if (depth < 8 || format == QImage::Format_Indexed8) return {};
    auto* data = static_cast<uchar*>(std::malloc(bytes));
    if (!data) throw std::bad_alloc();
    AdviseLargePages(data, bytes);
    std::memset(data, 0xFF, bytes);
    return QImage(
        data, size.width(), size.height(), line, format, [](void* p) { std::free(p); }, data);
}

// The image as far as the reader could read it. A reader that stopped after decoding some of
// it, warned, or was handed a BMP shorter than its rows leaves the reason in *damage.
QImage Decode(const QString& path, Decoder& d, QString* error, QString* damage) {
    const QByteArray format = d.Format();
    // Our own size check came first; Qt's allocation guard would refuse large images it allows.
    QImageReader::setAllocationLimit(0);
    QImage img;
    bool whole = false;
    try {
        const QSize announced = d.reader.size();  // a reader that failed no longer tells it
        img = DecodeTarget(d.reader);
        whole = d.reader.read(&img);
        if (!whole && img.size() != announced) img = QImage();
        const BmpRows rows = format == "bmp" ? ReadBmpRows(d.bytes) : BmpRows();
        const QString shortfall = BmpShortfall(rows);
        if (!img.isNull() && !shortfall.isEmpty()) {
            img = WhitenMissingRows(std::move(img), rows);
            *damage = ReaderReason(d.reader, d.warnings, shortfall);
        } else if (!img.isNull() && (!whole || !d.warnings.Damage().isEmpty())) {
            *damage = ReaderReason(d.reader, d.warnings);
        }
    } catch (const std::bad_alloc&) {
        *error = QStringLiteral("%1: not enough memory to decode the image").arg(path);
        return {};
    }
    if (img.isNull())
        *error = QStringLiteral("%1: the %2 file is damaged (%3)")
                     .arg(path, Upper(format), ReaderReason(d.reader, d.warnings));
    return img;
}

}  // namespace

// Measured as the largest resident set (GiB) of `marlo IMAGE` opened and closed (offscreen),
// and of the same file host and canvas with one pixel changed and written back at the close
// (signal_test's one-run canvas); the peak is the larger. The estimate is what the program
// holds before it opens anything (32 MiB: the peak with a 16 x 16 image) and this function's
// figure, which is checked against the memory left:
//
//   size     kind          file       peak  estimate  ratio
//   4096^2   smooth RGB    0.4 MiB    0.33    0.36    1.08
//   4096^2   smooth RGBA   0.6 MiB    0.41    0.47    1.14
//   4096^2   noise RGB     48 MiB     0.43    0.48    1.12
//   4096^2   noise RGBA    64 MiB     0.60    0.63    1.05
//   8192^2   smooth RGB    1.4 MiB    1.10    1.35    1.22
//   8192^2   smooth RGBA   4.0 MiB    1.54    1.79    1.16
//   8192^2   noise RGB     192 MiB    1.42    1.81    1.28
//   8192^2   noise RGBA    256 MiB    2.15    2.41    1.12
//   8192^2   smooth RGB16  6.6 MiB    1.04    1.36    1.31
//   8192^2   noise RGBA16  512 MiB    2.17    3.03    1.40
//   16384^2  smooth RGB    8.0 MiB    4.55    5.30    1.17
//   16384^2  smooth RGBA   8.4 MiB    6.05    7.05    1.17
//   16384^2  noise RGB     768 MiB    5.79    7.16    1.24
//   16384^2  noise RGBA    1.0 GiB    8.18    9.53    1.17
//
// The write-back is the peak: the program's planes (the file host's three, or seven with
// alpha, the canvas's seven, its display copy and bitmap) and the encoder's picture and
// output. Without alpha that is some 21 bytes a pixel, with alpha 28. The file's own bytes
// count some 2.5 times: held while decoding, and a file deflate could not shrink is written
// back as large, built in bands and then joined. A 16-bit file needs nothing more than its
// larger file: it is converted to 8 bits before the planes are made.
int64_t OpenImageBytes(int64_t pixels, int64_t fileBytes, bool alpha) {
    // pixels is at most kMaxPixels and fileBytes what memory could hold: nothing overflows.
    return pixels * (alpha ? 28 : 21) + fileBytes * 5 / 2;
}

bool LoadImageDocument(const QString& path, ImageDocument* doc, QString* error) {
    const AvailableMemory available = MeasureAvailableMemory();
    QByteArray bytes;
    FileStamp stamp;
    if (!ReadRegularFile(path, available.bytes, &bytes, &stamp, error)) return false;
    Decoder d(std::move(bytes));
    const QByteArray format = d.Format();
    if (!format.isEmpty() && !QImageWriter::supportedImageFormats().contains(format)) {
        *error = QStringLiteral(
                     "%1: Marlo can read %2 files but cannot write them back; convert the "
                     "image to PNG first")
                     .arg(path, Upper(format));
        return false;
    }
    const int64_t fileBytes = d.bytes.size();
    const auto cost = [fileBytes](int64_t pixels, bool alpha) {
        return OpenImageBytes(pixels, fileBytes, alpha);
    };
    if (!CheckedHeader(path, d, cost, available, error).isValid()) return false;
    // Marlo paints one image and writes back one: the others would be in IMAGE~ only until the
    // next session's first write replaced it, so such a file is not taken at all.
    const int images = ImagesInFile(d.bytes, format, d.reader);
    if (images > 1) {
        const QString what = format == "ico"    ? QStringLiteral("icons of different sizes")
                             : format == "tiff" ? QStringLiteral("pages")
                                                : QStringLiteral("frames");
        *error = QStringLiteral(
                     "%1 holds %2 %3; Marlo would paint the first and write back only that "
                     "one, so the others would be lost; save the one to paint as a file of "
                     "its own first")
                     .arg(path)
                     .arg(images)
                     .arg(what);
        return false;
    }
    QString damage;
    QImage img = Decode(path, d, error, &damage);
    if (img.isNull()) return false;
    ImageExtras extras = ReadExtras(d.bytes, format, img, d.reader);
    if (!damage.isEmpty()) extras.lost.removeAll(QLatin1String(kLostAfterDamage));
    d.buffer.close();
    d.bytes = QByteArray();  // the encoded file is no longer needed
    ImageDocument out;
    out.path = path;
    out.format = format;
    out.stamp = stamp;
    out.damage = damage;
    out.extras = std::move(extras);
    out.deeper = IsDeeper(img);
    const bool alpha = img.hasAlphaChannel();
    const int w = img.width(), h = img.height();
    try {
        // Read as 0xAARRGGBB, straight, not premultiplied (RGB32 is that with alpha 255).
        if (img.format() != QImage::Format_RGB32 && img.format() != QImage::Format_ARGB32)
            img = std::move(img).convertToFormat(QImage::Format_ARGB32);
        if (img.isNull()) throw std::bad_alloc();
        out.r = Plane(w, h);
        out.g = Plane(w, h);
        out.b = Plane(w, h);
        if (alpha) {
            out.alpha = Plane(w, h);
            out.underR = Plane(w, h);
            out.underG = Plane(w, h);
            out.underB = Plane(w, h);
        }
    } catch (const std::bad_alloc&) {
        *error = QStringLiteral(
                     "%1: the image of %2 x %3 pixels is too large for this computer's memory")
                     .arg(path)
                     .arg(w)
                     .arg(h);
        return false;
    }
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        uint8_t *r = out.r.row(y), *g = out.g.row(y), *b = out.b.row(y);
        if (!alpha) {
            for (int x = 0; x < w; ++x) {
                r[x] = static_cast<uint8_t>(qRed(line[x]));
                g[x] = static_cast<uint8_t>(qGreen(line[x]));
                b[x] = static_cast<uint8_t>(qBlue(line[x]));
            }
            continue;
        }
        uint8_t *a = out.alpha.row(y), *ur = out.underR.row(y), *ug = out.underG.row(y),
                *ub = out.underB.row(y);
        for (int x = 0; x < w; ++x) {
            const int av = qAlpha(line[x]);
            a[x] = static_cast<uint8_t>(av);
            ur[x] = static_cast<uint8_t>(qRed(line[x]));
            ug[x] = static_cast<uint8_t>(qGreen(line[x]));
            ub[x] = static_cast<uint8_t>(qBlue(line[x]));
            r[x] = OverWhite(ur[x], av);
            g[x] = OverWhite(ug[x], av);
            b[x] = OverWhite(ub[x], av);
        }
    }
    *doc = std::move(out);
    return true;
}

ImageDocument NewWhiteDocument(const QString& path, int w, int h) {
    ImageDocument d;
    d.path = path;
    d.r = Plane(w, h, 255);
    d.g = Plane(w, h, 255);
    d.b = Plane(w, h, 255);
    return d;
}

bool EncodeImageDocument(const ImageDocument& doc, const QByteArray& format, QByteArray* bytes,
                         QString* error) {
    const int w = doc.width(), h = doc.height();
    const bool alpha = doc.alpha.sizeIs(w, h) && w > 0;
    // A rescue copy in another format than the file's carries none of the file's chunks.
    const ImageExtras none;
    const ImageExtras& extras = format == doc.format ? doc.extras : none;
    if (format == "png" && !alpha) {
        try {
            if (FastPng::Encode(doc.r, doc.g, doc.b, extras.before, extras.after, bytes))
                return true;
        } catch (const std::bad_alloc&) {
        }
        *error = QStringLiteral("%1: not enough memory to write the image").arg(doc.path);
        return false;
    }
    QImage img;
    try {
        // Without alpha, three bytes a pixel: what the encoders write, with no filler to strip.
        img = QImage(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB888);
    } catch (const std::bad_alloc&) {
    }
    if (img.isNull()) {
        *error = QStringLiteral("%1: not enough memory to write the image").arg(doc.path);
        return false;
    }
    for (int y = 0; y < h; ++y) {
        const uint8_t *r = doc.r.row(y), *g = doc.g.row(y), *b = doc.b.row(y);
        if (!alpha) {
            uchar* line = img.scanLine(y);
            for (int x = 0; x < w; ++x) {
                line[3 * x] = r[x];
                line[3 * x + 1] = g[x];
                line[3 * x + 2] = b[x];
            }
            continue;
        }
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        const uint8_t *a = doc.alpha.row(y), *ur = doc.underR.row(y), *ug = doc.underG.row(y),
                      *ub = doc.underB.row(y);
        for (int x = 0; x < w; ++x) {
            const bool untouched = r[x] == OverWhite(ur[x], a[x]) &&
                                   g[x] == OverWhite(ug[x], a[x]) && b[x] == OverWhite(ub[x], a[x]);
            line[x] = untouched ? qRgba(ur[x], ug[x], ub[x], a[x]) : qRgba(r[x], g[x], b[x], 255);
        }
    }
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (format == "jpeg" || format == "jpg" || format == "webp") writer.setQuality(95);
    if (format == "png") writer.setCompression(15);  // zlib level 1 (Qt maps 0..100 to 0..9)
    PrepareExtras(extras, format, &img, &writer);
    bool written = false;
    try {
        written = writer.write(img);
    } catch (const std::bad_alloc&) {
    }
    if (!written) {
        *error = QStringLiteral("%1: the %2 image cannot be encoded (%3)")
                     .arg(doc.path, Upper(format), writer.errorString());
        return false;
    }
    try {
        *bytes = SpliceExtras(out, format, extras);
    } catch (const std::bad_alloc&) {
        *error = QStringLiteral("%1: not enough memory to write the image").arg(doc.path);
        return false;
    }
    return true;
}

QString NewUntitledPath(const QString& folder) {
    const QDir dir(folder);
    QString name = QStringLiteral("untitled.png");
    struct stat st;
    for (int n = 1; ::lstat(NativeName(dir.absoluteFilePath(name)).constData(), &st) == 0; ++n)
        name = QStringLiteral("untitled-%1.png").arg(n);
    return dir.absoluteFilePath(name);
}

QString FormatLossNote(const ImageDocument& doc) {
    const QByteArray& f = doc.format;
    if (f == "jpeg" || f == "jpg" || f == "webp")
        return QStringLiteral(
                   "%1 is a %2 file: it is written back, when you change it, with lossy "
                   "compression (quality 95); painted pixels will not come back exactly")
            .arg(doc.path, Upper(f));
    if (f == "pbm" || f == "xbm")
        return QStringLiteral(
                   "%1 holds only black and white; colours are lost when it is written "
                   "back")
            .arg(doc.path);
    if (f == "pgm")
        return QStringLiteral("%1 holds only grey; colours are lost when it is written back")
            .arg(doc.path);
    return {};
}

QString DamageNote(const ImageDocument& doc) {
    if (doc.damage.isEmpty()) return {};
    return QStringLiteral(
               "%1 is damaged: part of it could not be read (%2). Writing back replaces it "
               "with what you see.")
        .arg(doc.path, doc.damage);
}

QImage LoadPictureFile(const QString& path, int64_t bytesPerPixel, int64_t budgetBytes,
                       QString* error) {
    QByteArray bytes;
    FileStamp stamp;
    if (!ReadRegularFile(path, budgetBytes, &bytes, &stamp, error)) return {};
    Decoder d(std::move(bytes));
    // The file's bytes are held while the picture is decoded.
    const int64_t fileBytes = d.bytes.size();
    const auto cost = [=](int64_t pixels, bool) { return pixels * bytesPerPixel + fileBytes; };
    if (!CheckedHeader(path, d, cost, AvailableMemory{budgetBytes, ""}, error).isValid()) return {};
    QString damage;  // a picture behind the painting: what could be read of it serves
    return Decode(path, d, error, &damage);
}

bool LoadGreyPlane(const QString& path, Plane* plane, QString* error) {
    // The decoded picture, its grey copy and the plane.
    const QImage img = LoadPictureFile(path, 6, AvailableMemoryBytes(), error);
    if (img.isNull()) return false;
    const QImage grey = img.convertToFormat(QImage::Format_Grayscale8);
    Plane p(grey.width(), grey.height());
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        std::copy(line, line + grey.width(), p.row(y));
    }
    *plane = std::move(p);
    return true;
}

Plane DefaultPaper() {
    // A fine grain: hashed lattice noise at two scales, smoothed, in 40..200. Deterministic.
    constexpr int kSize = 256;
    auto hash = [](uint32_t x, uint32_t y) {
        uint32_t h = x * 374761393u + y * 668265263u;
        h = (h ^ (h >> 13)) * 1274126177u;
        return (h ^ (h >> 16)) & 0xFF;
    };
    auto lattice = [&](int x, int y, int cell) {
        const int cx = x / cell, cy = y / cell, n = kSize / cell;
        const int fx = x % cell, fy = y % cell;
        auto v = [&](int i, int j) {
            return static_cast<int>(hash((i % n) + cell * 977u, (j % n)));
        };
        const int top = v(cx, cy) * (cell - fx) + v(cx + 1, cy) * fx;
        const int bottom = v(cx, cy + 1) * (cell - fx) + v(cx + 1, cy + 1) * fx;
        return (top * (cell - fy) + bottom * fy) / (cell * cell);
    };
    Plane p(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const int grain = (lattice(x, y, 2) * 3 + lattice(x, y, 8)) / 4;  // 0..255
            p.at(x, y) = static_cast<uint8_t>(40 + grain * 160 / 255);
        }
    return p;
}
