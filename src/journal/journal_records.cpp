#include "journal/journal_records.h"

#include <sys/stat.h>
#include <zstd.h>

#include <stdexcept>

#include "journal/byte_codec.h"
#include "journal/journal_file.h"

namespace {

constexpr int kPlaneLevel = 1;   // the base image: fast, since the painter may start at once
constexpr int kStrokeLevel = 3;  // strokes are small

// A stroke step's flags: what it shares with the step before it in the same record.
enum : uint8_t {
    kRowsFollow = 1,    // its rows are the previous rows moved on by one point: only the newest
    kEventAtPoint = 2,  // the event is where the newest point is
    kSameStamp = 4,     // size, step and press as before
    kContinues = 8,     // the last sample and spacing counter are where the previous call left them
};

std::vector<uint8_t> Compress(const uint8_t* p, size_t n, int level) {
    std::vector<uint8_t> out(ZSTD_compressBound(n));
    const size_t c = ZSTD_compress(out.data(), out.size(), p, n, level);
    if (ZSTD_isError(c)) throw std::runtime_error(ZSTD_getErrorName(c));
    out.resize(c);
    return out;
}

std::vector<uint8_t> Decompress(const uint8_t* p, size_t n, uint64_t expected) {
    const unsigned long long size = ZSTD_getFrameContentSize(p, n);
    if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN || size != expected)
        throw std::runtime_error("a journal record's compressed data is damaged");
    std::vector<uint8_t> out(size);
    const size_t d = ZSTD_decompress(out.data(), out.size(), p, n);
    if (ZSTD_isError(d) || d != size)
        throw std::runtime_error("a journal record's compressed data is damaged");
    return out;
}

void PutIdentity(ByteWriter& w, const FileIdentity& f) {
    w.Put<uint8_t>(f.known ? 1 : 0);
    w.Put(f.device);
    w.Put(f.inode);
    w.Put(f.size);
    w.Put(f.modifiedNs);
}

FileIdentity GetIdentity(ByteReader& r) {
    FileIdentity f;
    f.known = r.Get<uint8_t>() != 0;
    f.device = r.Get<uint64_t>();
    f.inode = r.Get<uint64_t>();
    f.size = r.Get<uint64_t>();
    f.modifiedNs = r.Get<int64_t>();
    return f;
}

void PutFloats(ByteWriter& w, std::initializer_list<float> values) {
    for (float v : values) w.Put(v);
}

}  // namespace

FileIdentity IdentityOfFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
    return IdentityOfStat(st);
}

FileIdentity IdentityOfStat(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<uint64_t>(st.st_size),
            int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, true};
}

std::vector<uint8_t> EncodeSession(const SessionRecord& s) {
    ByteWriter w;
    w.Put(s.pid);
    w.Put(s.startedUnix);
    w.PutText(s.host);
    w.PutText(s.image);
    PutIdentity(w, s.file);
    w.Put(s.undoBudget);
    return std::move(w.Bytes());
}

SessionRecord DecodeSession(const std::vector<uint8_t>& body) {
    ByteReader r(body);
    SessionRecord s;
    s.pid = r.Get<int64_t>();
    s.startedUnix = r.Get<int64_t>();
    s.host = r.GetText();
    s.image = r.GetText();
    s.file = GetIdentity(r);
    s.undoBudget = r.Get<int64_t>();
    return s;
}

std::vector<uint8_t> EncodeFileIdentity(const FileIdentity& f) {
    ByteWriter w;
    PutIdentity(w, f);
    return std::move(w.Bytes());
}

FileIdentity DecodeFileIdentity(const std::vector<uint8_t>& body) {
    ByteReader r(body);
    return GetIdentity(r);
}

std::vector<uint8_t> EncodePlanes(const PlanesRecord& p) {
    std::vector<const Plane*> planes;
    for (const Plane& plane : p.planes) planes.push_back(&plane);
    return EncodePlanes(p.width, p.height, planes);
}

std::vector<uint8_t> EncodePlanes(int32_t width, int32_t height,
                                  const std::vector<const Plane*>& planes) {
    ByteWriter w;
    w.Put(width);
    w.Put(height);
    for (const Plane* plane : planes) {
        const std::vector<uint8_t> frame =
            Compress(plane->bytes.data(), plane->bytes.size(), kPlaneLevel);
        w.Put(static_cast<uint64_t>(frame.size()));
        w.PutBytes(frame.data(), frame.size());
    }
    return std::move(w.Bytes());
}

PlanesRecord DecodePlanes(const std::vector<uint8_t>& body, size_t planeCount) {
    ByteReader r(body);
    PlanesRecord p;
    p.width = r.Get<int32_t>();
    p.height = r.Get<int32_t>();
    if (p.width < 0 || p.height < 0)
        throw std::runtime_error("a journal image has a negative size");
    for (size_t i = 0; i < planeCount; ++i) {
        const auto n = r.Get<uint64_t>();
        if (n > body.size()) throw std::runtime_error("a journal record is shorter than it says");
        Plane plane;
        plane.width = p.width;
        plane.height = p.height;
        plane.bytes = Decompress(r.Take(n), n, uint64_t(p.width) * uint64_t(p.height));
        p.planes.push_back(std::move(plane));
    }
    return p;
}

std::vector<uint8_t> EncodeStroke(const StrokeRecord& s) {
    ByteWriter w;
    const CompositeSettings& c = s.composite;
    PutFloats(w, {c.colorR, c.colorG, c.colorB, c.brushOpacity, c.brushSize, c.penAltitude});
    for (int32_t v : {c.brushCurve, c.paperStrength, c.brushRelief, c.blendMode}) w.Put(v);
    PutFloats(w, {s.left, s.top, s.right, s.bottom});
    w.Put(static_cast<uint32_t>(s.draws.size()));
    const DrawStep* prev = nullptr;
    for (const DrawStep& d : s.draws) {
        uint8_t flags = 0;
        if (prev && d.pointCount == prev->pointCount + 1 &&
            std::memcmp(d.rows[0], prev->rows[1], sizeof(float) * 9) == 0)
            flags |= kRowsFollow;
        if (d.eventX == d.rows[3][0] && d.eventY == d.rows[3][1]) flags |= kEventAtPoint;
        if (prev && d.brushSize == prev->brushSize && d.stampSpacing == prev->stampSpacing &&
            d.stampStrength == prev->stampStrength)
            flags |= kSameStamp;
        if (prev && d.continues) flags |= kContinues;
        w.Put(flags);
        if (flags & kRowsFollow) {
            PutFloats(w, {d.rows[3][0], d.rows[3][1], d.rows[3][2]});
        } else {
            w.Put(d.pointCount);
            for (const auto& row : d.rows) PutFloats(w, {row[0], row[1], row[2]});
        }
        if (!(flags & kEventAtPoint)) PutFloats(w, {d.eventX, d.eventY});
        if (!(flags & kContinues))
            PutFloats(w, {d.lastX, d.lastY, d.lastPressure, d.stampDistance});
        if (!(flags & kSameStamp)) PutFloats(w, {d.brushSize, d.stampSpacing, d.stampStrength});
        prev = &d;
    }
    const std::vector<uint8_t>& plain = w.Bytes();
    ByteWriter out;
    out.Put(static_cast<uint64_t>(plain.size()));
    const std::vector<uint8_t> frame = Compress(plain.data(), plain.size(), kStrokeLevel);
    out.PutBytes(frame.data(), frame.size());
    return std::move(out.Bytes());
}

StrokeRecord DecodeStroke(const std::vector<uint8_t>& body) {
    ByteReader head(body);
    const auto plainSize = head.Get<uint64_t>();
    if (plainSize > (uint64_t{1} << 32)) throw std::runtime_error("a journal stroke is damaged");
    const std::vector<uint8_t> plain = Decompress(body.data() + 8, body.size() - 8, plainSize);
    ByteReader r(plain);
    StrokeRecord s;
    CompositeSettings& c = s.composite;
    for (float* v :
         {&c.colorR, &c.colorG, &c.colorB, &c.brushOpacity, &c.brushSize, &c.penAltitude})
        *v = r.Get<float>();
    for (int32_t* v : {&c.brushCurve, &c.paperStrength, &c.brushRelief, &c.blendMode})
        *v = r.Get<int32_t>();
    for (float* v : {&s.left, &s.top, &s.right, &s.bottom}) *v = r.Get<float>();
    const auto count = r.Get<uint32_t>();
    if (count > plain.size()) throw std::runtime_error("a journal stroke is damaged");
    s.draws.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        DrawStep& d = s.draws[i];
        const auto flags = r.Get<uint8_t>();
        if ((flags & (kRowsFollow | kSameStamp | kContinues)) && i == 0)
            throw std::runtime_error("a journal stroke is damaged");
        if (flags & kRowsFollow) {
            const DrawStep& p = s.draws[i - 1];
            d.pointCount = p.pointCount + 1;
            std::memcpy(d.rows[0], p.rows[1], sizeof(float) * 9);
            for (float& v : d.rows[3]) v = r.Get<float>();
        } else {
            d.pointCount = r.Get<int32_t>();
            for (auto& row : d.rows)
                for (float& v : row) v = r.Get<float>();
        }
        if (flags & kEventAtPoint) {
            d.eventX = d.rows[3][0];
            d.eventY = d.rows[3][1];
        } else {
            d.eventX = r.Get<float>();
            d.eventY = r.Get<float>();
        }
        d.continues = (flags & kContinues) != 0;
        if (!d.continues)
            for (float* v : {&d.lastX, &d.lastY, &d.lastPressure, &d.stampDistance})
                *v = r.Get<float>();
        if (flags & kSameStamp) {
            d.brushSize = s.draws[i - 1].brushSize;
            d.stampSpacing = s.draws[i - 1].stampSpacing;
            d.stampStrength = s.draws[i - 1].stampStrength;
        } else {
            for (float* v : {&d.brushSize, &d.stampSpacing, &d.stampStrength}) *v = r.Get<float>();
        }
    }
    if (!r.AtEnd()) throw std::runtime_error("a journal stroke is damaged");
    return s;
}

JournalSummary SummarizeJournal(const JournalContents& journal) {
    const auto& records = journal.records;
    if (records.empty() || records[0].kind != static_cast<uint32_t>(JournalKind::Session))
        throw std::runtime_error("the journal does not begin with its session");
    JournalSummary s;
    s.session = DecodeSession(records[0].body);
    s.lastFile = s.session.file;
    for (size_t i = 1; i < records.size(); ++i) {
        switch (static_cast<JournalKind>(records[i].kind)) {
            case JournalKind::Stroke:
                ++s.strokes;
                ++s.strokesNotSent;
                s.changedSinceSent = true;
                break;
            case JournalKind::Undo:
            case JournalKind::Redo:
            case JournalKind::Clear:
            case JournalKind::TakenImage: s.changedSinceSent = true; break;
            case JournalKind::WrittenBack:
                s.lastFile = DecodeFileIdentity(records[i].body);
                s.strokesNotSent = 0;
                s.changedSinceSent = false;
                break;
            default: break;
        }
    }
    return s;
}
