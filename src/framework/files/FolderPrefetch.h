#pragma once
// Folders read ahead of a walk, on threads of their own, so that the walk on the
// user-interface thread finds the next folders' names read and sorted. A reader that has read
// a folder goes on to its subfolders, and the readers take next the folder that a depth-first
// walk will most likely reach first. Only FolderItem uses this, from the user-interface thread;
// the threads share nothing but the jobs.
#include "FolderListing.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace fw {

struct PrefetchJob;
using PrefetchTicket = std::shared_ptr<PrefetchJob>;
// Subfolders already being read ahead, by their index in the folder's sorted entries.
using ChildTickets = std::vector<std::pair<uint32_t, PrefetchTicket>>;

namespace FolderPrefetch {

// The most folders read ahead and not yet taken, each holding a descriptor until it is. Enough
// that the readers keep well ahead of a walk through narrow trees (twenty files a folder).
constexpr int kMaxWaiting = 128;

// Whether another folder may be read ahead now: the number waiting is bounded, so that a
// walk that stops early leaves little behind.
bool CanStart();
// Starts reading the folder open at fd; the job owns fd from now on. The depth is the folder's
// below the walk's first folder: a depth-first walk reaches the deepest folders waiting first,
// and of those at one depth, the one started first.
PrefetchTicket Start(int fd, uint32_t depth);
// The folder's listing and its subfolders being read ahead, waiting if it is still being
// read. Nothing when the listing cannot be had (it was promised before the process forked):
// the caller reads the folder itself.
std::optional<Listing> Take(PrefetchTicket& ticket, ChildTickets& children);
// Gives up a listing nobody will take, and the read ahead of its subfolders.
void Cancel(PrefetchTicket& ticket);

// At the end of the process: drops the folders waiting to be read and lets the readers end,
// waiting a moment for those in the middle of a folder. Nothing is read ahead afterwards.
void StopReading();

// How many listings read ahead a walk has used, for the tests.
uint64_t UsedCount();
void NoteUsed();

} // namespace FolderPrefetch
} // namespace fw
