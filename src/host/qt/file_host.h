// The embedded host: serves an image file as Tarnwick would serve its image, with rules that
// keep the painter's files safe:
// - nothing is written while the planes sent back equal what the file holds;
// - the first write of a session keeps the file as it was as IMAGE~ (a hard link or an exact
//   copy, same permission bits); later writes of the session leave that backup alone;
// - a file changed on disk by someone else since it was read or written is kept as IMAGE.N~
//   before it is replaced, and the painter is told;
// - only the file opened (or last written) is written: a name that now leads elsewhere (a new
//   symbolic link, another file, a folder) is left as it is, and the painting is rescued;
// - the file is written atomically in the format its content has, not the one its name says;
// - what the file carries besides the pixels (colour profile, resolution, text, EXIF) is
//   written back as read; what cannot be is told at start;
// - when anything fails the painting goes to a rescue PNG (the image's folder, then
//   $XDG_DATA_HOME/marlo/rescue, then the temporary folder) and the error says where.
#pragma once
#include <QString>
#include <functional>

#include "host/host.h"
#include "host/qt/file_name.h"
#include "host/qt/image_file.h"

class FileHost : public Host {
public:
    FileHost(ImageDocument doc, Plane paper, QString wallpaper);

    int32_t Tarn_GetPaperWidth() override { return paper_.width; }
    int32_t tarn_GetPaperHeight() override { return paper_.height; }
    Plane Tarn_GetPaper() override { return paper_; }
    int32_t Tarn_BufferWidth() override { return doc_.width(); }
    int32_t Tarn_BufferHeight() override { return doc_.height(); }
    Plane Tarn_GetRBuffer() override { return doc_.r; }
    Plane Tarn_GetGBuffer() override { return doc_.g; }
    Plane Tarn_GetBBuffer() override { return doc_.b; }
    void Tarn_SendFormObject(HostCallbackTarget* window, int16_t& zero) override;
    // The backup is made by the write that needs it, so an unchanged image leaves it alone.
    void Tarn_SaveUndo() override {}
    void Tarn_SetRbuffer(const Plane& plane) override { Replace(doc_.r, plane); }
    void Tarn_SetGbuffer(const Plane& plane) override { Replace(doc_.g, plane); }
    void Tarn_SetBbuffer(const Plane& plane) override { Replace(doc_.b, plane); }
    void tarn_Refresh() override;
    std::string Tarn_WallpaperFilename() override { return NativeName(wallpaper_).toStdString(); }
    // "reads NAME" / "writes NAME": the file's name without its folder.
    std::string Describe(bool sending) override;
    std::string ImageName() override;

    const ImageDocument& document() const { return doc_; }
    // Where lines for the painter go that are news, not failures (another program's version
    // kept aside). Without a sink they go to stderr.
    void SetNoticeSink(std::function<void(const QString&)> sink) { notice_ = std::move(sink); }
    // The message of the last write-back when it failed (the painting then went to a rescue
    // file, and the message says where); empty when the last write-back succeeded or had
    // nothing to write.
    const QString& WriteBackFailure() const { return failure_; }
    // The rescue copy the last write-back made when it failed; empty when it did not fail, or
    // when not even a rescue copy could be written.
    const QString& RescuedAs() const { return rescuedAs_; }

private:
    void Replace(Plane& target, const Plane& plane);
    bool WriteBack(QString* error);
    QString WritePath() const;
    QString Rescue(const QString& error);
    void Tell(const QString& line);

    ImageDocument doc_;
    Plane paper_;
    QString wallpaper_;
    HostCallbackTarget* window_ = nullptr;
    bool changed_;           // the planes differ from what the file holds
    bool backedUp_ = false;  // this session's backup exists
    QString failure_;
    QString rescuedAs_;
    std::function<void(const QString&)> notice_;
};
