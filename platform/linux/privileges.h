// A setuid-root install needs root for the port alone: once the port is granted (ioperm
// permissions and open ppdev descriptors survive the change), the process becomes the user who
// ran it, before it opens the image or anything else.
#pragma once

// Nothing to do unless the effective user is root and the real one is not. nullptr when the
// process now runs as the real user and group (or did already), else a one-line reason: then the
// tool must not go on.
const char* drop_root_privileges();
