#pragma once

// A loopback TCP port on which nothing listens: bound once, then released.
int UnusedLoopbackPort();
