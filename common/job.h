#pragma once
// Long work that shows its progress and can be stopped: extracting an archive,
// building one, packing its items.
//
// The routine doing the work calls `progress` on its own thread after each item;
// a window forwards it to its own thread (a queued signal) and never blocks in it.
// Any thread may ask the work to stop through the std::stop_source that `stop`
// came from; the routine looks at it between items, finishes or undoes the item it
// is on (no half-written file is left under a final name) and returns what it did.

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

namespace ov {

struct Progress {
    uint64_t done = 0;                   // items finished so far
    uint64_t total = 0;                  // items in the whole job
    uint64_t bytes = 0;                  // bytes written (or read) so far
    std::optional<uint64_t> totalBytes;  // bytes of the whole job, when known beforehand
    std::string status;                  // "Extracting NAME", ...; empty when done
};

struct Job {
    std::function<void(const Progress&)> progress;
    std::stop_token stop;

    bool stopRequested() const { return stop.stop_requested(); }
    void report(const Progress& p) const {
        if (progress) progress(p);
    }
};

}  // namespace ov
