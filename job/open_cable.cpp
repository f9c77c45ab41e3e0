// SPDX-License-Identifier: Apache-2.0
#include "job/cable_inside.h"

namespace tarnflash {

Cable::Cable(std::unique_ptr<Inside> inside) : inside_(std::move(inside)) {}

Cable::~Cable()
{
    if (inside_ && inside_->cable)
        inside_->cable->park();
    if (inside_ && inside_->release)
        inside_->release();
}

std::unique_ptr<Cable> open_cable(const CableChoice&, std::string* cause)
{
    if (cause != nullptr)
        *cause = "not yet";
    return nullptr;
}

}  // namespace tarnflash
