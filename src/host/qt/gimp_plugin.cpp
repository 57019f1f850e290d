// marlo-gimp: Marlo as a GIMP 2.10 plug-in. The one file that speaks libgimp: it registers
// plug-in-marlo, hands the drawable to RunMarloSession as a PaintLayer and answers GIMP. A port
// to another application (GIMP 3, Krita) replaces this file; plugin_host.* stay.
//
// Threads: GIMP calls Run on the plug-in's only thread, and every libgimp call below happens on
// it: RunMarloSession runs Qt's event loop right there, and each D-Bus call from Marlo is served
// from that loop, one at a time, while Run has not yet returned. libgimp itself runs no loop
// of its own in a plug-in, so the two never compete for the thread.
#include <libgimp/gimp.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/errors.h"
#include "host/qt/plugin_host.h"

namespace {

constexpr char kProcedure[] = "plug-in-marlo";
constexpr int kStripRows = 64;  // the layer is read and written in bands of this many rows
// GEGL's tile cache in the plug-in. GIMP hands its own large setting on, and the cache would
// then keep every tile read and written, two more copies of the layer; going through the
// layer band by band needs only a band's tiles.
constexpr guint64 kTileCacheBytes = guint64(64) << 20;

// The drawable's pixels three ways, all in the image's own colour space (no colour conversion):
// as stored, as 8-bit values (what Marlo sees) and as floats (to build a stored pixel from them).
struct Formats {
    const Babl* stored = nullptr;
    const Babl* bytes = nullptr;
    const Babl* floats = nullptr;
    int colour = 3;    // 3 or 1 (grey)
    int channels = 4;  // colour plus alpha
};

// Calls band(y0, rows, rect) for each band of kStripRows rows of a layer w x h, top first; the
// last band may be shorter.
template <typename Band>
void ForEachBand(int32_t w, int32_t h, Band band) {
    for (int32_t y0 = 0; y0 < h; y0 += kStripRows) {
        const int rows = std::min(kStripRows, h - y0);
        band(y0, rows, GeglRectangle{0, y0, w, rows});
    }
}

// The pixels of rect in the given format, rows packed, nothing from beyond the buffer.
void ReadBand(GeglBuffer* buffer, const GeglRectangle& rect, const Babl* format, void* pixels) {
    gegl_buffer_get(buffer, &rect, 1.0, format, pixels, GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
}

class GimpLayer : public PaintLayer {
public:
    GimpLayer(gint32 image, gint32 drawable) : image_(image), drawable_(drawable) {}

    int32_t Width() override {
        Check();
        return gimp_drawable_width(drawable_);
    }
    int32_t Height() override {
        Check();
        return gimp_drawable_height(drawable_);
    }
    int32_t Channels() override { return Kind().colour; }

    std::vector<Plane> Read() override {
        const Formats f = Kind();
        const int32_t w = Width(), h = Height();
        std::vector<Plane> planes(static_cast<size_t>(f.colour), Plane(w, h));
        std::vector<uint8_t> band(static_cast<size_t>(w) * kStripRows * f.channels);
        GeglBuffer* buffer = gimp_drawable_get_buffer(drawable_);
        ForEachBand(w, h, [&](int32_t y0, int rows, const GeglRectangle& rect) {
            ReadBand(buffer, rect, f.bytes, band.data());
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < f.colour; ++c) {
                    const uint8_t* in = band.data() + static_cast<size_t>(r) * w * f.channels + c;
                    uint8_t* out = planes[c].row(y0 + r);
                    for (int32_t x = 0; x < w; ++x)
                        out[x] = in[static_cast<size_t>(x) * f.channels];
                }
        });
        g_object_unref(buffer);
        return planes;
    }

    void BeginUndoStep() override {
        Check();
        undoImage_ = gimp_item_get_image(drawable_);
        if (!gimp_image_undo_group_start(undoImage_))
            throw HostError("GIMP refused to start an undo step.");
    }
    void EndUndoStep() override {
        if (undoImage_ >= 0 && gimp_image_is_valid(undoImage_))
            gimp_image_undo_group_end(undoImage_);
        undoImage_ = -1;
    }

    void Write(const std::vector<Plane>& planes) override {
        const Formats f = Kind();
        const int32_t w = Width(), h = Height();
        if (planes.size() != static_cast<size_t>(f.colour))
            throw HostError("The layer changed its kind meanwhile.");
        for (const Plane& plane : planes)
            if (!plane.sizeIs(w, h)) throw HostError("The layer changed its size meanwhile.");
        const int storedBpp = babl_format_get_bytes_per_pixel(f.stored);
        const size_t pixels = static_cast<size_t>(w) * kStripRows;
        std::vector<uint8_t> stored(pixels * storedBpp), rebuilt(pixels * storedBpp);
        std::vector<uint8_t> bytes(pixels * f.channels);
        std::vector<float> floats(pixels * f.channels);
        std::vector<uint8_t> changed(pixels);
        const Babl* toStored = babl_fish(f.floats, f.stored);
        GeglBuffer* buffer = gimp_drawable_get_buffer(drawable_);
        GeglBuffer* shadow = gimp_drawable_get_shadow_buffer(drawable_);
        ForEachBand(w, h, [&](int32_t y0, int rows, const GeglRectangle& rect) {
            ReadBand(buffer, rect, f.stored, stored.data());
            ReadBand(buffer, rect, f.bytes, bytes.data());
            ReadBand(buffer, rect, f.floats, floats.data());
            bool any = false;
            for (int r = 0; r < rows; ++r)
                for (int32_t x = 0; x < w; ++x) {
                    const size_t i = static_cast<size_t>(r) * w + x;
                    changed[i] = 0;
                    // Only a channel Marlo changed takes its 8-bit value; the rest keep theirs.
                    for (int c = 0; c < f.colour; ++c) {
                        const uint8_t v = planes[c].at(x, y0 + r);
                        if (v == bytes[i * f.channels + c]) continue;
                        floats[i * f.channels + c] = v / 255.0f;
                        changed[i] = 1;
                    }
                    any |= changed[i] != 0;
                }
            if (any) {
                babl_process(toStored, floats.data(), rebuilt.data(), static_cast<long>(rows) * w);
                for (size_t i = 0; i < static_cast<size_t>(rows) * w; ++i)
                    if (changed[i])
                        std::memcpy(&stored[i * storedBpp], &rebuilt[i * storedBpp], storedBpp);
            }
            gegl_buffer_set(shadow, &rect, 0, f.stored, stored.data(), GEGL_AUTO_ROWSTRIDE);
        });
        g_object_unref(shadow);  // sends the shadow's tiles to GIMP
        g_object_unref(buffer);
        // Through the selection, as every filter: GIMP keeps the pixels outside it.
        const bool merged = gimp_drawable_merge_shadow(drawable_, TRUE);
        gimp_drawable_free_shadow(
            drawable_);  // a layer's worth of memory in GIMP until the session ends
        if (!merged) throw HostError("GIMP refused the painted pixels.");
        gimp_drawable_update(drawable_, 0, 0, w, h);
        gimp_displays_flush();
    }

    std::vector<uint8_t> Pattern(int32_t* width, int32_t* height, int32_t* channels) override {
        std::vector<uint8_t> pixels;
        gchar* name = gimp_context_get_pattern();
        if (!name) return pixels;
        gint w = 0, h = 0, bpp = 0, count = 0;
        guint8* data = nullptr;
        if (gimp_pattern_get_pixels(name, &w, &h, &bpp, &count, &data) && data &&
            static_cast<int64_t>(count) == static_cast<int64_t>(w) * h * bpp) {
            pixels.assign(data, data + count);
            *width = w;
            *height = h;
            *channels = bpp;
        }
        g_free(data);
        g_free(name);
        return pixels;
    }

    void Message(const std::string& text) override { gimp_message(text.c_str()); }
    std::string Describe() override {
        if (!gimp_item_is_valid(drawable_)) return {};
        gchar* name = gimp_item_get_name(drawable_);
        std::string described = std::string("GIMP layer ") + (name ? name : "");
        g_free(name);
        return described;
    }
    std::string Application() override { return "GIMP"; }
    std::string Name() override {
        Check();
        gchar* name = gimp_item_get_name(drawable_);
        std::string text = name ? name : "";
        g_free(name);
        return text;
    }

private:
    void Check() {
        if (!gimp_item_is_valid(drawable_))
            throw HostError("The layer Marlo was started on is gone.");
        if (gimp_item_is_group(drawable_))
            throw HostError("Marlo paints on a layer, not on a layer group.");
    }
    Formats Kind() {
        Check();
        Formats f;
        const bool rgb = gimp_drawable_is_rgb(drawable_);
        if (!rgb && !gimp_drawable_is_gray(drawable_))
            throw HostError("The layer is indexed now; Marlo paints on RGB and grey layers.");
        const bool alpha = gimp_drawable_has_alpha(drawable_);
        f.colour = rgb ? 3 : 1;
        f.channels = f.colour + (alpha ? 1 : 0);
        f.stored = gimp_drawable_get_format(drawable_);
        const std::string model = rgb ? (alpha ? "R'G'B'A" : "R'G'B'") : (alpha ? "Y'A" : "Y'");
        f.bytes = babl_format_with_space((model + " u8").c_str(), f.stored);
        f.floats = babl_format_with_space((model + " float").c_str(), f.stored);
        return f;
    }

    gint32 image_;
    gint32 drawable_;
    gint32 undoImage_ = -1;
};

void Query() {
    static GimpParamDef args[] = {
        {GIMP_PDB_INT32, const_cast<gchar*>("run-mode"),
         const_cast<gchar*>("The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }")},
        {GIMP_PDB_IMAGE, const_cast<gchar*>("image"), const_cast<gchar*>("Input image")},
        {GIMP_PDB_DRAWABLE, const_cast<gchar*>("drawable"), const_cast<gchar*>("Input drawable")},
    };
    gimp_install_procedure(kProcedure, "Paint on the layer with Marlo, a spline-based paint engine",
                           "Starts Marlo (marlo --dbus; MARLO_EXECUTABLE if set) on the layer and "
                           "returns when Marlo is closed. "
                           "Each time Marlo sends its image back, the layer takes it through the "
                           "selection, as one undo step. "
                           "A grey layer is given as three equal planes and takes back their mean. "
                           "The paper is the current "
                           "pattern, in grey.",
                           "Marlo", "Marlo", "2026", "Marlo paint engine...", "RGB*, GRAY*",
                           GIMP_PLUGIN, G_N_ELEMENTS(args), 0, args, nullptr);
    gimp_plugin_menu_register(kProcedure, "<Image>/Filters/Artistic");
}

void Run(const gchar* name, gint count, const GimpParam* params, gint* resultCount,
         GimpParam** results) {
    static GimpParam values[2];
    static std::string error;
    *results = values;
    *resultCount = 1;
    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = GIMP_PDB_SUCCESS;
    if (std::strcmp(name, kProcedure) != 0 || count < 3) {
        values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
        return;
    }
    gegl_init(nullptr, nullptr);
    g_object_set(gegl_config(), "tile-cache-size", kTileCacheBytes, nullptr);
    GimpLayer layer(params[1].data.d_image, params[2].data.d_drawable);
    SessionResult result;
    try {
        result = RunMarloSession(layer);
    } catch (const std::exception& e) {
        result = {false, QString::fromStdString(e.what())};
    }
    if (result.ok) return;
    error = result.message.toStdString();
    gimp_message(error.c_str());
    values[0].data.d_status = GIMP_PDB_EXECUTION_ERROR;
    values[1].type = GIMP_PDB_STRING;
    values[1].data.d_string = const_cast<gchar*>(error.c_str());
    *resultCount = 2;
}

}  // namespace

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, Query, Run};

MAIN()
