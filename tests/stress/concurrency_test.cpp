// Eight threads call both exports at once, each on its own maps and trees,
// from the very first call of the process: they race to create the logger,
// to load and free the common module, and through the logging core. Every
// result must equal the reference decode, every tree the one a lone thread
// gets for the same map, and no record may be lost.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "reference_decode.h"
#include "stress_support.h"
#include "unitcmnparamio/paramioxml.h"

namespace {

constexpr int kThreads = 8;
constexpr int kBlocksPerThread = 4;
// Two calls per round: 8 threads x 12500 rounds = 200000 calls.
constexpr unsigned kFullRounds = 12500;

using Entries = std::vector<std::string>;

// A tree as comparable text, one line per entry.
Entries entriesOf(const ParamIoXML& tree) {
    Entries out;
    for (const auto& e : tree.getElements()) {
        std::string line = e.getName() + "=" + e.getValue();
        for (const auto& a : e.getAttributes()) {
            line += " " + a.name + "=" + a.value;
        }
        out.push_back(std::move(line));
    }
    return out;
}

struct Block {
    std::vector<std::uint8_t> bytes;
    StatusMap expected;
};

// Sizes and pinch-roller counts that take the decoding's different paths:
// none, within the table, past it into the following fields, cut at the end.
std::vector<Block> blocksFor(int thread) {
    const std::size_t sizes[kBlocksPerThread] = {1024, 1024 + 97u * thread, 2048, 1024};
    const std::uint8_t activated[kBlocksPerThread] = {0, 16, 40, 255};
    std::vector<Block> out;
    for (int b = 0; b < kBlocksPerThread; ++b) {
        Block block;
        block.bytes =
            stress::makeBlock(sizes[b], static_cast<unsigned>(thread * 16 + b),
                              static_cast<std::uint8_t>(activated[b] + (b == 3 ? 0 : thread)));
        block.expected = testsupport::referenceDecode(block.bytes.data(), block.bytes.size());
        out.push_back(std::move(block));
    }
    return out;
}

TEST(Concurrency, EightThreadsCallBothExportsFromTheFirstCallOn) {
    const stress::Analyzer analyzer = stress::loadAnalyzer();
    stress::CountingSink sink;
    const unsigned rounds = stress::rounds(kFullRounds);

    std::vector<std::vector<Block>> blocks;
    for (int t = 0; t < kThreads; ++t) {
        blocks.push_back(blocksFor(t));
    }
    // The tree each thread got first for each of its blocks; every later
    // round must give the same.
    std::vector<std::vector<Entries>> firstTrees(kThreads, std::vector<Entries>(kBlocksPerThread));

    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::atomic<unsigned> failures{0};
    std::mutex firstFailureMutex;
    std::string firstFailure;
    const auto failed = [&](int thread, unsigned round, const std::string& what) {
        if (failures.fetch_add(1) == 0) {
            std::lock_guard<std::mutex> lock(firstFailureMutex);
            firstFailure = "thread " + std::to_string(thread) + ", round " + std::to_string(round) +
                           ": " + what;
        }
    };

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (!go.load()) {
                std::this_thread::yield();
            }
            for (unsigned round = 0; round < rounds; ++round) {
                const int b = static_cast<int>(round % kBlocksPerThread);
                Block& block = blocks[t][b];
                StatusMap map;
                if (!analyzer.startStatusAnalysis(reinterpret_cast<char*>(block.bytes.data()),
                                                  block.bytes.size(), map)) {
                    failed(t, round, "startStatusAnalysis returned false");
                } else if (map != block.expected) {
                    failed(t, round, "the map differs from the reference decode");
                }
                ParamIoXML tree;
                if (!analyzer.startConvertXML(map, tree)) {
                    failed(t, round, "startConvertXML returned false");
                }
                Entries entries = entriesOf(tree);
                if (round < kBlocksPerThread) {
                    firstTrees[t][b] = std::move(entries);
                } else if (entries != firstTrees[t][b]) {
                    failed(t, round, "the tree differs from the thread's first one");
                }
            }
        });
    }
    while (ready.load() != kThreads) {
        std::this_thread::yield();
    }
    go.store(true);
    for (auto& thread : threads) {
        thread.join();
    }

    EXPECT_EQ(failures.load(), 0u) << firstFailure;
    // Per round: startStatusAnalysis and statusAnalysis, startConvertXML and
    // convertXML, each one entry and one exit record.
    const std::size_t calls = static_cast<std::size_t>(kThreads) * rounds * 4;
    EXPECT_EQ(sink.counts().entries.load(), calls);
    EXPECT_EQ(sink.counts().exits.load(), calls);
    EXPECT_EQ(sink.counts().errors.load(), 0u);
    EXPECT_EQ(sink.counts().other.load(), 0u);

    // What one thread alone makes of the same maps.
    for (int t = 0; t < kThreads; ++t) {
        for (int b = 0; b < kBlocksPerThread; ++b) {
            StatusMap map = blocks[t][b].expected;
            ParamIoXML tree;
            ASSERT_TRUE(analyzer.startConvertXML(map, tree));
            EXPECT_EQ(firstTrees[t][b], entriesOf(tree)) << "thread " << t << ", block " << b;
        }
    }
}

}  // namespace
