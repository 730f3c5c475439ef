#pragma once

#include <QString>

// The live reads of a working day at a terminal, in the order a worker makes
// them: clock in, start work on an order position, change position, end the
// work, clock out. Every read is one the demo database accepts.
namespace TransitMix {

constexpr int ReadsPerDay = 5;

// The k-th read of `terminal` (each terminal its own employee of the demo
// data in turn, each five reads a new day in the past).
QString record(int terminal, int k);

} // namespace TransitMix
