#pragma once
// The benchmark's sections, each runnable on its own.
#include <QByteArray>

#include <string>

class Window1;

namespace bench {

void RunStartupSection();
void RunScanSection();
void RunExportSection();
void RunSortSection();
void RunDicomSection();
void RunQuitSection();
void RunPictSection();
void RunPreviewSection();

// The sample pictures of the DICOM and PICT sections, which the preview section shows too: a
// CT-like 16-bit DICOM of side by side pixels, and a 4000 x 3000 32-bit PICT (pack type 4).
bool WriteDicomSample(const std::string& path, int side, int frames);
QByteArray PictSample();

// In the running program: clicks the list's row and lets the program run until the preview has
// painted; the milliseconds from the click, or a negative number when no paint came.
class PeakMemory;
double SelectAndPaint(Window1& w, int row, PeakMemory& memory);

// The child process of the start-up section: "startup-child app" runs the program,
// "startup-child qt" an empty window; either writes one line at its first expose and quits.
int StartupChild(int argc, char** argv);

} // namespace bench
