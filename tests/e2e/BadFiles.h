#pragma once
// A tree made to trip a careless program: names that are not text, links that loop or lead
// nowhere or to a fifo, a folder no one but root may read, a path longer than the system
// allows, a fifo named as a picture, damaged pictures of every format, pictures that claim
// sizes no memory holds, and one folder of very many entries.
#include <string>
#include <vector>

namespace e2e::files {

struct BadTreeNames {
    std::vector<std::string> listed;   // names that must be among the rows, each a path below the root
    std::vector<std::string> unlisted; // names that must not, each a path below the root
};

// Makes the tree under root (which must not exist yet); `crowd` is the number of entries of
// its crowded folder, one in `crowdImageEvery` of them named as a picture. Everything in it is
// root's, and open to all but the folder "locked" and the file "broken/private.jpg".
BadTreeNames MakeBadTree(const std::string& root, int crowd, int crowdImageEvery);

// The bytes of a damaged or hostile picture of the format of this extension ("jpg", "png",
// "tif", "gif", "bmp", "dcm", "pict"), or of a bomb ("bomb.png", "bomb.jpg"): a few kilobytes
// that declare a picture of billions of pixels.
std::string BadPicture(const std::string& kind);

} // namespace e2e::files
