// The scan sequences of a bus cycle once address and data sit in the image.
#pragma once

#include <cstdint>

// OE# low (scan), capture (scan), OE# high (scan); returns get_data of the capture.
uint32_t strobe_read(char* image, uint16_t oe_cell, uint32_t (*get_data)(const char* capture, uint32_t width));

// WE# low (scan), WE# high (scan).
void strobe_write(char* image, uint16_t we_cell);
