// Hands the package of the next run, and its integrity record, to the
// updater under test.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

// An empty image means the updater carries no package; no record, none.
void SetTestPackage(const std::vector<uint8_t>& image,
                    const std::optional<std::vector<uint8_t>>& record = {});
