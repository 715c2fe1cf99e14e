#pragma once

// Waits until no connection of this machine to 127.0.0.1:serverPort is still established,
// that is, until the server's close has reached the client's kernel and its next readiness
// check reports it; false after limitMs. A test that needs "the client's loop looks after
// the close has arrived" orders it this way, not with a sleep that a busy machine outlasts.
bool WaitUntilServerCloseArrived(unsigned serverPort, int limitMs = 5000);
