#pragma once

// Work over a long run of items (rings, points) split into shares of about
// equal weight, which a few threads take one after another. Standard library
// only.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

// Shares per thread: enough that threads finishing early find more to do.
inline constexpr unsigned SharesPerWorker = 16;

// Bounds of `parts` shares of items [0, count): share t is
// [bounds[t], bounds[t + 1]). startOf(i) is the weight before item i (a
// running total, such as the item's first point), total the whole weight; a
// share ends at the first item whose start reaches its part of the total.
// parts is taken between 1 and 256.
template <typename StartOf>
std::vector<std::size_t> SplitIntoShares(std::size_t count, std::size_t total, unsigned parts,
                                         StartOf startOf) {
    parts = std::max(1u, std::min(parts, 256u));
    std::vector<std::size_t> bounds{0};
    std::size_t item = 0;
    for (unsigned t = 1; t < parts; ++t) {
        const std::size_t share = total / parts * t;
        while (item < count && startOf(item) < share) {
            ++item;
        }
        bounds.push_back(item);
    }
    bounds.push_back(count);
    return bounds;
}

// Runs work(first, end) for every share on the calling thread and up to
// workers - 1 helper threads, each taking the next share not yet taken, so
// that shares of uneven cost still keep every thread busy. When no helper can
// be started the calling thread does all the shares. work must be safe to run
// on several shares at once.
template <typename Work>
void RunShares(const std::vector<std::size_t>& bounds, Work work, unsigned workers = 2) {
    const std::size_t shares = bounds.size() - 1;
    std::atomic<std::size_t> next{0};
    const auto takeShares = [&] {
        for (std::size_t t = next++; t < shares; t = next++) {
            work(bounds[t], bounds[t + 1]);
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned w = 1; w < workers && w < shares; ++w) {
        try {
            helpers.emplace_back(takeShares);
        } catch (const std::system_error&) {
            break;
        }
    }
    takeShares();
    for (std::thread& helper : helpers) {
        helper.join();
    }
}
