// The embedded host: serves an image file as Tarnwick would serve its image. Tarn_SaveUndo
// keeps the file's content as IMAGE~; the set calls replace the planes; tarn_Refresh writes
// the file atomically in the format of its name, with the alpha channel kept aside restored.
#pragma once
#include <QString>

#include "host/host.h"
#include "host/image_file.h"

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
    void Tarn_SaveUndo() override;
    void Tarn_SetRbuffer(const Plane& plane) override { Replace(doc_.r, plane); }
    void Tarn_SetGbuffer(const Plane& plane) override { Replace(doc_.g, plane); }
    void Tarn_SetBbuffer(const Plane& plane) override { Replace(doc_.b, plane); }
    void tarn_Refresh() override;
    std::string Tarn_WallpaperFilename() override { return wallpaper_.toStdString(); }

    const ImageDocument& document() const { return doc_; }

private:
    void Replace(Plane& target, const Plane& plane);

    ImageDocument doc_;
    Plane paper_;
    QString wallpaper_;
    HostCallbackTarget* window_ = nullptr;
    bool backedUpDeeper_ = false;  // a deeper original keeps its first backup
};
