#pragma once
// The benchmark's sections, each runnable on its own.
namespace bench {

void RunStartupSection();
void RunScanSection();
void RunExportSection();
void RunSortSection();
void RunDicomSection();
void RunQuitSection();
void RunPictSection();
void RunPreviewSection();

// The child process of the start-up section: "startup-child app" runs the program,
// "startup-child qt" an empty window; either writes one line at its first expose and quits.
int StartupChild(int argc, char** argv);

} // namespace bench
