#pragma once

#include <QString>
#include <QStringList>

#include "image/memorymap.h"

// One row per memory list, in the order of MemoryMap::Channels::List, whose slots lie in the
// spans beside it (MemoryMap::Channels::kLists): everything the command line, the windows,
// the listings and the printed list call a list by. A new list is one row here and one span.
struct MemoryListRow {
    MemoryMap::Channels::List list;
    const char* name;     // on the command line: `--list skip`
    const char* caption;  // in the editor's list chooser
    const char* prefix;   // before an entry's location in comparisons: "skip 3"
    const char* noun;     // what it holds, for counts: "skip-search memories"
    const char* title;    // its section in the printed list (the channels come first, untitled)
    bool paired;          // entries go in lower and upper pairs, located L1, U1, L2 ...
};

inline constexpr MemoryListRow kMemoryLists[] = {
    {MemoryMap::Channels::List::Channels, "channels", "Channels", "ch", "channels", nullptr, false},
    {MemoryMap::Channels::List::Skip, "skip", "Skip search", "skip", "skip-search memories",
     "Skip-search memories", false},
    {MemoryMap::Channels::List::Pms, "pms", "PMS", "PMS", "PMS memories", "PMS memories", true},
};
static_assert(std::size(kMemoryLists) == std::size(MemoryMap::Channels::kLists));

constexpr const MemoryListRow& MemoryList(MemoryMap::Channels::List list) {
    return kMemoryLists[int(list)];
}

// The lists' names on the command line, in order: "channels", "skip", "pms".
QStringList MemoryListNames();
