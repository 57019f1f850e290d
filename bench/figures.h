// The measured figures of one run, printed as a table and written as JSON.
#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

struct StrokeFigures {
    int radius = 0;
    float zoom = 1;
    std::string brush;
    double moveMedianUs = 0, moveP99Us = 0, moveMaxUs = 0;
    double commitMs = 0;       // the release of the stroke painted again after an undo (median)
    double firstCommitMs = 0;  // the release of the first painting, into new memory
    double memcpyMs = 0;       // the copy of the three planes over the commit rectangle
    double memcpyColdMs = 0;   // the same with the caches holding other bytes first
    uint64_t digest = 0;  // the image, the coverage, the display copy and bitmap after the stroke
    uint64_t journalRecordBytes = 0;  // the first painting's record, when a journal was kept
};

struct Figures {
    std::vector<StrokeFigures> strokes;
    std::map<int, double> mypaintMedianUs;  // by radius
    double undoPushMs = 0, undoPopMs = 0;
    std::map<std::string, double> redrawMs;  // by zoom, as written in the JSON
    double startupMs = 0;
    double startupLoadMs = 0;                          // of which the PNG file is read
    std::map<std::string, double> displayBitmapBytes;  // by zoom: the bitmap of the 4096 scene
    double startup8192Ms = 0, close8192Ms = 0;         // the 8192 x 8192 photo opened, written back
    uint64_t journalRecordBytes = 0;                   // written for the spiral stroke
    double journalCommitMs = 0, journalOffCommitMs = 0;  // its release with the journal on, off
    double recover1000Ms = 0;  // 1,000 strokes on the 4096 x 4096 scene rebuilt from a journal
};

extern Figures TheFigures;

// Sorted copies; p99 is the nearest rank (the smallest value with 99 % at or below it).
double Median(std::vector<double> v);
double Percentile(std::vector<double> v, double fraction);

void PrintTable(std::FILE* out, const Figures& f);
bool WriteJson(const std::string& path, const Figures& f);
