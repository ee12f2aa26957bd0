// Hands the package of the next run to the updater under test.
#pragma once
#include <cstdint>
#include <vector>

// An empty image means the updater carries no package.
void SetTestPackage(const std::vector<uint8_t>& image);
