#include "figures.h"

#include <algorithm>
#include <cmath>

Figures TheFigures;

double Percentile(std::vector<double> v, double fraction) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const double rank = std::ceil(fraction * static_cast<double>(v.size()));
    const size_t i = static_cast<size_t>(std::clamp(rank, 1.0, static_cast<double>(v.size()))) - 1;
    return v[i];
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

namespace {

double MypaintFor(const Figures& f, int radius) {
    const auto it = f.mypaintMedianUs.find(radius);
    return it == f.mypaintMedianUs.end() ? 0 : it->second;
}

// "1", "4", "0.25": the zoom as the JSON names it.
std::string ZoomText(float zoom) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(zoom));
    return text;
}

}  // namespace

void PrintTable(std::FILE* out, const Figures& f) {
    std::fprintf(out, "\nStroke replay: 2000 points, 4096 x 4096 image, 1920 x 1080 window\n");
    std::fprintf(out, "%-10s %4s %4s | %9s %9s %9s %5s | %9s %7s | %9s %8s %6s %9s | %16s\n",
                 "brush", "zoom", "r", "median us", "p99 us", "max us", "p99/m", "mypaint", "ratio",
                 "commit ms", "x memcpy", "x cold", "first ms", "digest");
    for (const StrokeFigures& s : f.strokes) {
        const double mypaint = MypaintFor(f, s.radius);
        std::fprintf(
            out,
            "%-10s %4s %4d | %9.1f %9.1f %9.1f %5.2f | %9.1f %7.2f | %9.2f %8.2f %6.2f %9.2f | "
            "%016llx\n",
            s.brush.c_str(), ZoomText(s.zoom).c_str(), s.radius, s.moveMedianUs, s.moveP99Us,
            s.moveMaxUs, s.moveMedianUs > 0 ? s.moveP99Us / s.moveMedianUs : 0, mypaint,
            s.moveMedianUs > 0 ? mypaint / s.moveMedianUs : 0, s.commitMs,
            s.memcpyMs > 0 ? s.commitMs / s.memcpyMs : 0,
            s.memcpyColdMs > 0 ? s.commitMs / s.memcpyColdMs : 0, s.firstCommitMs,
            static_cast<unsigned long long>(s.digest));
    }
    std::fprintf(out,
                 "(mypaint: libmypaint's median per pointer move at that radius; ratio: "
                 "mypaint / ours; commit: the release of the stroke painted again after an undo; "
                 "x memcpy: commit / memcpy of the three planes over the commit rectangle; "
                 "x cold: the same with the copy starting on caches full of other bytes; "
                 "first: the first release, whose undo copy takes new memory)\n\n");
    std::fprintf(out, "PushUndo, whole image    %8.2f ms\n", f.undoPushMs);
    std::fprintf(out, "PopUndo, whole image     %8.2f ms\n", f.undoPopMs);
    for (const auto& [zoom, ms] : f.redrawMs)
        std::fprintf(out, "displaybuffers zoom %-5s%8.2f ms\n", zoom.c_str(), ms);
    std::fprintf(out, "Start-up to first paint  %8.2f ms (reading the PNG file: %.2f ms)\n",
                 f.startupMs, f.startupLoadMs);
    std::fprintf(
        out, "8192 x 8192 photo: start-up to first paint %.0f ms, write-back at close %.0f ms\n",
        f.startup8192Ms, f.close8192Ms);
    std::fprintf(out,
                 "journal: release of the spiral %.3f ms with it, %.3f ms without; its record %llu "
                 "bytes; 1,000 strokes rebuilt in %.0f ms\n",
                 f.journalCommitMs, f.journalOffCommitMs,
                 static_cast<unsigned long long>(f.journalRecordBytes), f.recover1000Ms);
    for (const auto& [zoom, bytes] : f.displayBitmapBytes)
        std::fprintf(out, "display bitmap zoom %-5s%12.0f bytes\n", zoom.c_str(), bytes);
}

bool WriteJson(const std::string& path, const Figures& f) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out) return false;
    std::fprintf(out, "{\n  \"strokes\": [\n");
    for (size_t i = 0; i < f.strokes.size(); ++i) {
        const StrokeFigures& s = f.strokes[i];
        std::fprintf(
            out,
            "    {\"radius\": %d, \"zoom\": %s, \"brush\": \"%s\", \"move_median_us\": %.3f, "
            "\"move_p99_us\": %.3f, \"move_max_us\": %.3f, \"commit_ms\": %.4f, "
            "\"mypaint_move_median_us\": %.3f, \"memcpy_ms\": %.4f, \"memcpy_cold_ms\": %.4f}%s\n",
            s.radius, ZoomText(s.zoom).c_str(), s.brush.c_str(), s.moveMedianUs, s.moveP99Us,
            s.moveMaxUs, s.commitMs, MypaintFor(f, s.radius), s.memcpyMs, s.memcpyColdMs,
            i + 1 < f.strokes.size() ? "," : "");
    }
    std::fprintf(out, "  ],\n  \"undo_push_ms\": %.4f,\n  \"undo_pop_ms\": %.4f,\n", f.undoPushMs,
                 f.undoPopMs);
    std::fprintf(out, "  \"redraw_ms\": {");
    size_t k = 0;
    for (const auto& [zoom, ms] : f.redrawMs)
        std::fprintf(out, "%s\"%s\": %.4f", k++ ? ", " : "", zoom.c_str(), ms);
    std::fprintf(out, "},\n  \"display_bitmap_bytes\": {");
    k = 0;
    for (const auto& [zoom, bytes] : f.displayBitmapBytes)
        std::fprintf(out, "%s\"%s\": %.0f", k++ ? ", " : "", zoom.c_str(), bytes);
    std::fprintf(
        out,
        "},\n  \"startup_ms\": %.3f,\n  \"startup_8192_ms\": %.3f,\n  \"close_8192_ms\": %.3f,\n"
        "  \"journal_commit_ms\": %.4f,\n  \"journal_off_commit_ms\": %.4f,\n"
        "  \"journal_record_bytes\": %llu,\n  \"recover_1000_ms\": %.1f\n}\n",
        f.startupMs, f.startup8192Ms, f.close8192Ms, f.journalCommitMs, f.journalOffCommitMs,
        static_cast<unsigned long long>(f.journalRecordBytes), f.recover1000Ms);
    return std::fclose(out) == 0;
}
