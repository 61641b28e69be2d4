#pragma once
// Folder trees shaped like the archives users scan: a few archive folders, years, rolls and
// sometimes sessions and cards below them (three to five levels), hundreds to thousands of
// files per folder named as cameras and scanners name them, with side files among them
// (sidecars, raw files, notes, .DS_Store). The files are empty: a scan reads only names.
// Also the bare walker the scan is measured against.
#include <cstdint>
#include <string>

namespace bench {

struct TreeCounts {
    int64_t folders = 0; // below the root
    int64_t files = 0;
    int64_t images = 0;  // visible files with one of the program's image extensions
};

// Makes the tree under `root` (an existing empty folder) with `entries` folders and files in
// all, `images` of them image files; the same arguments always give the same tree.
TreeCounts MakeTree(const std::string& root, int64_t entries, int64_t images, int32_t filesPerFolder,
                    uint32_t seed);

// A laboratory archive: deep and narrow, cases of slides of stains, each stain's folder holding
// `filesPerFolder` files, `imagesPerFolder` of them pictures, the rest side files (notes,
// scanner metadata, the usual hidden and system files). `folders` stain folders in all.
TreeCounts MakeLabTree(const std::string& root, int64_t folders, int32_t filesPerFolder, int32_t imagesPerFolder);

// Walks the tree with getdents64 and d_type, the least a walk can do: no sorting, no
// objects, nothing kept. Counts files and folders below the root.
TreeCounts WalkTree(const std::string& root);

} // namespace bench
