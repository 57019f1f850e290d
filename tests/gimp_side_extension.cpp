// marlo-test-gimp-side: a GIMP extension for the plug-in's tests that does, with GIMP's own
// commands, what a painter does in GIMP while Marlo has one of its layers open. Started by the
// GIMP at its start, it stays running beside plug-in-marlo and carries out requests from
// the scripted Marlo, which writes them into $MARLO_TEST_REPORT/gimp-side.request:
//
//   fill LAYER     GIMP's "Fill with FG colour" (kGimpSideColour, alpha locked) over the pixels
//                  InGimpSideChange of the layer named LAYER
//   remove LAYER   the layer taken out of its image
//
// and answers in gimp-side.done ("ok", or what went wrong).
#include <libgimp/gimp.h>

#include <QDir>
#include <QFile>
#include <string>

#include "gimp_test_change.h"

namespace {

constexpr char kProcedure[] = "extension-marlo-test-gimp-side";

// The layer of that name in any open image, or -1.
gint32 FindLayer(const std::string& name, gint32* image) {
    gint32 found = -1;
    gint images = 0;
    gint32* list = gimp_image_list(&images);
    for (gint i = 0; i < images && found < 0; ++i) {
        gint layers = 0;
        gint32* ids = gimp_image_get_layers(list[i], &layers);
        for (gint j = 0; j < layers && found < 0; ++j) {
            gchar* itemName = gimp_item_get_name(ids[j]);
            if (itemName && name == itemName) {
                found = ids[j];
                *image = list[i];
            }
            g_free(itemName);
        }
        g_free(ids);
    }
    g_free(list);
    return found;
}

std::string CarryOut(const std::string& request) {
    const size_t space = request.find(' ');
    if (space == std::string::npos) return "no layer named in \"" + request + "\"";
    const std::string verb = request.substr(0, space), name = request.substr(space + 1);
    gint32 image = -1;
    const gint32 layer = FindLayer(name, &image);
    if (layer < 0) return "no layer " + name;
    if (verb == "remove") return gimp_image_remove_layer(image, layer) ? "ok" : "remove failed";
    if (verb != "fill") return "unknown request " + verb;
    GimpRGB colour;
    gimp_rgb_set_uchar(&colour, kGimpSideColour[0], kGimpSideColour[1], kGimpSideColour[2]);
    const gint w = gimp_drawable_width(layer), h = gimp_drawable_height(layer);
    bool ok = gimp_context_set_foreground(&colour) && gimp_layer_set_lock_alpha(layer, TRUE);
    // The change as selected rectangles: every row from kGimpSideRow down, and one pixel inside
    // Marlo's painting.
    ok = ok && gimp_image_select_rectangle(image, GIMP_CHANNEL_OP_REPLACE, 0, kGimpSideRow, w,
                                           h - kGimpSideRow);
    ok = ok && gimp_image_select_rectangle(image, GIMP_CHANNEL_OP_ADD, kGimpSidePixelX,
                                           kGimpSidePixelY, 1, 1);
    ok = ok && gimp_drawable_edit_fill(layer, GIMP_FILL_FOREGROUND);
    ok = ok && gimp_selection_none(image) && gimp_layer_set_lock_alpha(layer, FALSE);
    return ok ? "ok" : "fill failed";
}

// An extension without arguments: GIMP starts it by itself at start-up, beside everything else
// (a script's call would wait for it to end).
void Query() {
    gimp_install_procedure(kProcedure, "Marlo's tests: edits in GIMP while Marlo paints",
                           "Carries out the requests of Marlo's test client.", "Marlo", "Marlo",
                           "2026", nullptr, "", GIMP_EXTENSION, 0, 0, nullptr, nullptr);
}

void Run(const gchar*, gint, const GimpParam*, gint* resultCount, GimpParam** results) {
    static GimpParam values[1];
    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = GIMP_PDB_SUCCESS;
    *results = values;
    *resultCount = 1;
    // Hands control back to the script at once; the extension lives on beside it.
    gimp_extension_ack();
    const QDir report(qEnvironmentVariable("MARLO_TEST_REPORT"));
    const QString request = report.filePath(QStringLiteral("gimp-side.request"));
    const QString done = report.filePath(QStringLiteral("gimp-side.done"));
    for (;;) {
        gimp_extension_process(50);
        QFile in(request);
        if (!in.open(QIODevice::ReadOnly)) continue;
        const std::string asked = in.readAll().trimmed().toStdString();
        in.close();
        in.remove();
        const std::string answer = CarryOut(asked);
        QFile out(done + QStringLiteral(".part"));
        if (out.open(QIODevice::WriteOnly)) out.write(answer.c_str());
        out.close();
        QFile::rename(done + QStringLiteral(".part"), done);
    }
}

}  // namespace

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, Query, Run};

MAIN()
