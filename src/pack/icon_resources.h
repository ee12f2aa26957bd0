// An .ico file as an executable carries it: each image a resource of type 3,
// and the file's directory, which names the images by id instead of by
// offset, a resource of type 14 (the icon group Explorer shows).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pack/pe_resources.h"

struct IconImages {
  std::vector<std::vector<uint8_t>> images;  // ids 1, 2, ... in file order
  std::vector<uint8_t> group;
};

// Reads an .ico file. False, with `fault` naming what is wrong, for a file
// that is damaged or holds what a program's icon cannot (a cursor, a
// compressed bitmap, an image that is not a bitmap or a PNG).
bool ReadIconFile(const uint8_t* data, size_t size, IconImages* icon,
                  std::string* fault);

// Makes `icon` the program's only icon, in `language`: the icons the
// resources held are dropped. The resources point into `icon`.
void PutIconResources(std::vector<PeResource>* resources,
                      const IconImages& icon, uint16_t language);
