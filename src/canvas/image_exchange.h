// The image crossing the host boundary: Get image, Send image, Get paper, and the write-back
// on closing. Host calls may throw HostError; see each function for what stays changed.
#pragma once
#include <functional>
#include <string>

#include "core/plane.h"

void GetImage();            // the host's image replaces the canvas's (one undo step first)
void GetPaperMenu_Click();  // Options, Get paper
// Their second halves, once the planes are fetched and checked (the journal's replay runs
// them too): planes of the canvas's size; any paper.
void TakeImage(Plane r, Plane g, Plane b);
void TakePaper(Plane paper);

// Send image, and the write-back on closing: only what the painter changed since the host's
// image was last fetched or written (canvas/host_image.h) is written. Nothing painted: no host
// call at all. Otherwise the host's planes are fetched again and merged; where the host changed
// pixels the painter changed too, confirm(question) decides (false: nothing is written). Then
// Tarn_SaveUndo, the three set calls, tarn_Refresh; when the host had changes of its own the
// canvas takes the merged image (TakeImage). Host planes of another size than the canvas's are
// not merged: the canvas's planes are written as they are.
enum class WriteBack { kNothingPainted, kWritten, kDeclined };
WriteBack WriteImageBack(const std::function<bool(const std::string& question)>& confirm);
