// Opening and sizing the image file given with -f.
#pragma once

#include <cstdint>

// 0 and `write_length` = the image size, or -1 with a message.
int check_image_file(uint32_t* write_length);
