#include "flash/flash_geometry.h"
#include "flash/flash_model.h"
#include "flash/flash_ops.h"

FlashModel g_flash_model;
FlashGeometry g_geometry;
FlashIdentity g_flash_id;

void flash_init()
{
    g_flash_model = FlashModel{};
    g_geometry = FlashGeometry{};
    g_flash_id = FlashIdentity{};
}
