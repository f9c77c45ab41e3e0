// SPDX-License-Identifier: Apache-2.0
// A setuid-root install needs root for parallel-port access alone (ioperm permissions and open
// ppdev descriptors survive the change). The tool becomes the user who ran it right after that
// access, and at once on every path without a parallel port, before it opens any file or USB
// device: an image, a backup, an adapter.
#pragma once

#include <string>

// Nothing to do unless the effective user is root and the real one is not (Windows: never).
// Empty when the process now runs as the real user and group (or did already), else a one-line
// reason: then the tool must not go on.
std::string drop_root_privileges();
