#pragma once
// Doubles of what the programs provide around the update (update_doubles.cpp).
namespace doubles {
extern int processSearches;
extern int noNewVersionReports;
}  // namespace doubles
