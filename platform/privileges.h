// SPDX-License-Identifier: Apache-2.0
// A setuid-root install needs root for parallel-port access alone (ioperm permissions and open
// ppdev descriptors survive the change). The tool becomes the user who ran it right after that
// access, and at once on every path without a parallel port, before it opens any file or USB
// device: an image, a backup, an adapter.
#pragma once

#include <string>

// Nothing to do unless the effective or saved user is root and the real one is not (Windows:
// never). Empty when the process now runs as the real user and group (or did already), else a
// one-line reason: then the tool must not go on.
std::string drop_root_privileges();

// Until the port is reached, a setuid-root start acts as the real user and group, root kept only
// as the saved user: every file it opens first is opened with the user's rights. Empty, or a
// one-line reason as above.
std::string suspend_root_privileges();
// Root again for the parallel port's access (after a suspension; else nothing to do).
std::string resume_root_privileges();
