// What Qt's readers do not tell of a file by their answers: the warnings they print while they
// read (a JPEG cut short), a BMP that ends before its rows do, the other images a file holds
// (an animated PNG, an icon of several sizes).
#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <thread>

class QImageReader;

// The warnings Qt prints on this thread while this lives, kept instead of printed. The readers
// say what stopped them this way only ("Corrupt JPEG data: premature end of data segment").
// Readers run on one thread at a time (the program's main thread).
class ReaderWarnings {
public:
    ReaderWarnings();
    ~ReaderWarnings();
    ReaderWarnings(const ReaderWarnings&) = delete;
    ReaderWarnings& operator=(const ReaderWarnings&) = delete;
    // Those that tell of damage: libpng's warnings about ancillary chunks (a profile it
    // thinks wrong) leave the pixels whole.
    QStringList Damage() const;

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text);
    std::thread::id thread_;
    ReaderWarnings* outer_;
    QtMessageHandler previous_;  // the program's handler
    QStringList lines_;
};

// The reason for a failure: ours (what Marlo found in the bytes) when given, the reader's error
// when it names one, and what it warned.
QString ReaderReason(const QImageReader& reader, const ReaderWarnings& warnings,
                     const QString& ours = {});

// What is wrong with a PNG's or BMP's header where Qt's reader gives no reason (libpng prints
// its own on stderr); empty when nothing is found.
QString HeaderFault(const QByteArray& bytes, const QByteArray& format);

// A BMP's header whose rows are stored plainly: where they start and how many the file
// really holds. For other files, and compressed rows, `plain` is false.
struct BmpRows {
    bool plain = false;
    qint64 offset = 0, fileBytes = 0;
    bool startsPastEnd = false;  // the reader then reads on from the end of the header
    int height = 0;              // rows the header announces
    int rowsInFile = 0;          // whole rows the bytes hold
    bool topDown = false;        // a negative height in the header: the first row is the top one
};
BmpRows ReadBmpRows(const QByteArray& bytes);
// Why a BMP with plain rows could be read only in part (they start past its end, or it ends
// before the last); empty when it holds them all.
QString BmpShortfall(const BmpRows& rows);
// img with the rows the file did not hold made white (Qt leaves them as whatever the memory
// held).
QImage WhitenMissingRows(QImage img, const BmpRows& rows);

// "ico" for an icon or cursor file, whose reader finds the format but does not name it.
QByteArray SniffedFormat(const QByteArray& bytes);

// The images the file holds: an animated PNG's frames (counted from its acTL chunk, which
// Qt's PNG reader passes over), else what the reader counts. At least 1.
int ImagesInFile(const QByteArray& bytes, const QByteArray& format, QImageReader& reader);
