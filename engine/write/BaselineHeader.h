#pragma once
// The header libjpeg writes before the one scan of a baseline JPEG, read back from the
// first coding: the segments to copy, the scan's tables and how its MCUs are made.
// Only what the JPEG writer makes is accepted; anything else is Malformed.

#include "engine/write/HuffmanTables.h"
#include "engine/write/ScratchStore.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tessaplex::jpeg {

// The tables a block is coded with: indices into the four tables.
struct BlockCoding {
    int dc = 0;
    int ac = 2;
};

struct BaselineHeader {
    std::vector<uint8_t> segments;       // from SOI up to the scan, DHT left out
    size_t tablesAt = 0;                 // where in `segments` the DHT segments were
    uint64_t restartInterval = 0;        // MCUs from one restart marker to the next; 0: none
    std::vector<uint8_t> sos;            // the scan's header
    std::array<HuffmanTable, 4> tables;  // as first written: DC 0, DC 1, AC 0, AC 1
    std::array<BlockCoding, 10> blocks{};
    int blocksPerMcu = 0;
    std::vector<int> tableOrder;  // tables in the order their DHT segments go out
    uint64_t mcus = 0;
    uint64_t scanStart = 0;  // where the entropy-coded data starts
};

enum class HeaderParse { Complete, Incomplete, Malformed };

// Reads the header from the start of `store`; Incomplete while not all of it has arrived.
HeaderParse parseBaselineHeader(const ScratchStore& store, BaselineHeader& header);

}  // namespace tessaplex::jpeg
