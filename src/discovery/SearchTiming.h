// The pace of one discovery search: the request, then one acknowledgement per tick for three
// ticks. The Find dialog and omblorctl's search both keep it.
#pragma once

namespace omblor::discovery {

inline constexpr unsigned kSearchTickMs = 1500;
inline constexpr int kAcknowledgements = 3;

}  // namespace omblor::discovery
