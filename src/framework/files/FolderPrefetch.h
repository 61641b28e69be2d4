#pragma once
// Folders read ahead of a walk, on two threads of their own, so that the walk on the
// user-interface thread finds the next folders' names read and sorted. Only FolderItem uses
// this, and only from the user-interface thread; the threads share nothing but the jobs.
#include "FolderListing.h"

#include <memory>
#include <optional>

namespace fw {

struct PrefetchJob;
using PrefetchTicket = std::shared_ptr<PrefetchJob>;

namespace FolderPrefetch {

// Whether another folder may be read ahead now: the number waiting is bounded, so that a
// walk that stops early leaves little behind.
bool CanStart();
// Starts reading the folder open at fd; the job owns fd from now on.
PrefetchTicket Start(int fd);
// The folder's listing, waiting for it if it is still being read. Nothing when the listing
// cannot be had (it was read before the process forked): the caller reads the folder itself.
std::optional<Listing> Take(PrefetchTicket& ticket);
// Gives up a listing nobody will take.
void Cancel(PrefetchTicket& ticket);

// How many listings read ahead a walk has used, for the tests.
uint64_t UsedCount();
void NoteUsed();

} // namespace FolderPrefetch
} // namespace fw
