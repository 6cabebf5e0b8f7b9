#pragma once

// Work over a long run of items (rings, points) split between threads in
// shares of about equal weight. Standard library only.

#include <algorithm>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

// Bounds of `threads` shares of items [0, count): share t is
// [bounds[t], bounds[t + 1]). startOf(i) is the weight before item i (a
// running total, such as the item's first point), total the whole weight; a
// share ends at the first item whose start reaches its part of the total.
// threads is taken between 1 and 16.
template <typename StartOf>
std::vector<std::size_t> SplitIntoShares(std::size_t count, std::size_t total, unsigned threads,
                                         StartOf startOf) {
    threads = std::max(1u, std::min(threads, 16u));
    std::vector<std::size_t> bounds{0};
    std::size_t item = 0;
    for (unsigned t = 1; t < threads; ++t) {
        const std::size_t share = total / threads * t;
        while (item < count && startOf(item) < share) {
            ++item;
        }
        bounds.push_back(item);
    }
    bounds.push_back(count);
    return bounds;
}

// Runs work(first, end) for every share, the first on the calling thread and
// each other on a helper thread; shares no thread could be started for run
// on the calling thread after its own. work must be safe to run on several
// shares at once.
template <typename Work> void RunShares(const std::vector<std::size_t>& bounds, Work work) {
    const std::size_t shares = bounds.size() - 1;
    std::vector<std::thread> helpers;
    std::size_t unstarted = shares;
    for (std::size_t t = 1; t < shares; ++t) {
        try {
            helpers.emplace_back([&, t] { work(bounds[t], bounds[t + 1]); });
        } catch (const std::system_error&) {
            unstarted = t;
            break;
        }
    }
    work(bounds[0], bounds[1]);
    for (std::size_t t = unstarted; t < shares; ++t) {
        work(bounds[t], bounds[t + 1]);
    }
    for (std::thread& helper : helpers) {
        helper.join();
    }
}
